#include <DOMKw/strings/DOMBTString.hpp>

#include <cstring>
#include <memory>

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

DOMBTString::~DOMBTString() = default;

// A view is built once per state of the text. Two readers of one const string may both find none and
// both build one: the first to publish wins and the other's buffer is freed before anyone saw it.
const unsigned char* DOMBTString::GetUChar() const {
    if (const unsigned char* view = fByteView.get()) return view;
    const long length = GetLength();
    std::unique_ptr<unsigned char[]> view(new unsigned char[static_cast<size_t>(length) + 1]);
    Kw::strings::toWindows1252(GetBuffer(), length, view.get(), length + 1);
    return fByteView.publish(std::move(view));
}

const unsigned int* DOMBTString::GetUChar32() const {
    if (const unsigned int* view = fWideView.get()) return view;
    const long length = GetLength();
    std::unique_ptr<unsigned int[]> view(new unsigned int[static_cast<size_t>(length) + 1]);
    const XMLCh* units = GetBuffer();
    for (long i = 0; i < length; ++i) view[i] = units[i];
    view[length] = 0;
    return fWideView.publish(std::move(view));
}

unsigned char* DOMBTString::GetUCharC(unsigned char* dst, long n) const {
    if (!dst) Kw::throwDOMException(11);
    const size_t count = static_cast<uint16_t>(n);
    std::strncpy(reinterpret_cast<char*>(dst), reinterpret_cast<const char*>(GetUChar()), count);
    return dst;
}

DOMBTString& DOMBTString::operator=(const DOMBTString& other) {
    BTStringMutator::operator=(static_cast<const BTString&>(other));
    return *this;
}

DOMBTString& DOMBTString::operator=(unsigned short unit) {
    const XMLCh one = static_cast<XMLCh>(unit);
    fText.assign(1, one);
    textChanged();
    return *this;
}

BTStringRef__* DOMBTString::Release() const {
    return (new DOMBTString(*this))->GetBTStringRef();
}

void DOMBTString::DestroyBTStringRef(BTStringRef__* handle) {
    delete GetDOMStringFromBTStringRef(handle);
}

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
