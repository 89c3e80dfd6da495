#include <DOMKw/strings/DOMBTString.hpp>

#include <cstring>

#include "platform/XercesSupport.hpp"
#include "strings/Windows1252.hpp"

DOMBTString::DOMBTString(const unsigned int* utf32, long count) {
    if (!utf32) return;
    if (count < 0) {
        count = 0;
        while (utf32[count] != 0) ++count;
    }
    if (count == 0) return;
    XMLCh* buffer = new XMLCh[static_cast<size_t>(count)];
    long n = 0;
    for (; n < count && utf32[n] != 0; ++n) buffer[n] = static_cast<XMLCh>(utf32[n] & 0xFFFF);
    SetTo(buffer, n);
    delete[] buffer;
}

DOMBTString::~DOMBTString() { releaseViews(); }

void DOMBTString::releaseViews() const {
    delete[] ucharView;
    ucharView = nullptr;
    delete[] uchar32View;
    uchar32View = nullptr;
}

const unsigned char* DOMBTString::GetUChar() const {
    delete[] ucharView;
    ucharView = nullptr;
    const long length = GetLength();
    ucharView = new unsigned char[static_cast<size_t>(length) + 1];
    Kw::strings::toWindows1252(GetBuffer(), length, ucharView, length + 1);
    return ucharView;
}

const unsigned int* DOMBTString::GetUChar32() const {
    delete[] uchar32View;
    uchar32View = nullptr;
    const long length = GetLength();
    uchar32View = new unsigned int[static_cast<size_t>(length) + 1];
    const XMLCh* units = GetBuffer();
    for (long i = 0; i < length; ++i) uchar32View[i] = units[i];
    uchar32View[length] = 0;
    return uchar32View;
}

unsigned char* DOMBTString::GetUCharC(unsigned char* dst, long n) const {
    if (!dst) Kw::throwDOMException(11);
    const size_t count = static_cast<uint16_t>(n);
    std::strncpy(reinterpret_cast<char*>(dst), reinterpret_cast<const char*>(GetUChar()), count);
    return dst;
}

DOMBTString& DOMBTString::operator=(const DOMBTString& other) {
    BTStringMutator::operator=(static_cast<const BTString&>(other));
    releaseViews();
    return *this;
}

DOMBTString& DOMBTString::operator=(unsigned short unit) {
    const XMLCh one = static_cast<XMLCh>(unit);
    fText.assign(1, one);
    releaseViews();
    return *this;
}

BTStringRef__* DOMBTString::Release() const { return (new DOMBTString(*this))->GetBTStringRef(); }

void DOMBTString::DestroyBTStringRef(BTStringRef__* handle) { delete GetDOMStringFromBTStringRef(handle); }

void DOMBTString::DestroyBTMutableStringRef(BTMutableStringRef__* handle) {
    delete GetDOMStringFromBTMutableStringRef(handle);
}

DOMBTString* DOMBTString::GetDOMStringFromBTStringRef(BTStringRef__* handle) {
    return reinterpret_cast<DOMBTString*>(handle);
}

DOMBTString* DOMBTString::GetDOMStringFromBTMutableStringRef(BTMutableStringRef__* handle) {
    return reinterpret_cast<DOMBTString*>(handle);
}

DOMBTString operator+(const DOMBTString& a, const DOMBTString& b) {
    return DOMBTString(static_cast<const BTStringMutator&>(a).operator+(b));
}
