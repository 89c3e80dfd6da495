#include <DOMKw/strings/DOMBTString.hpp>

#include <xercesc/util/Base64.hpp>

#include "platform/XercesSupport.hpp"

#include <cstring>

// Without a memory manager, Xerces-C's Base64 allocates its results with the scalar operator new:
// they are released with the matching operator delete, and callers receive array buffers of our own.
namespace {
void releaseXercesBuffer(XMLByte* p) { ::operator delete(p); }
} // namespace

DOMBTString BinToBase64(const void* data, unsigned int length) {
    Kw::ensureXercesStarted();
    XMLSize_t encodedLength = 0;
    XMLByte* encoded = xercesc::Base64::encode(static_cast<const XMLByte*>(data), length, &encodedLength);
    if (!encoded) return DOMBTString();
    DOMBTString text(encoded, 0, static_cast<long>(encodedLength));
    text.FindAndReplace(DOMBTString(u"\n"), DOMBTString());
    releaseXercesBuffer(encoded);
    return text;
}

void Base64ToBin(const DOMBTString& s, void** out, unsigned int& length) {
    if (!out) return;
    Kw::ensureXercesStarted();
    XMLSize_t decodedLength = 0;
    XMLByte* decoded = xercesc::Base64::decode(s.GetUChar(), &decodedLength, nullptr, xercesc::Base64::Conf_RFC2045);
    if (!decoded) {
        *out = nullptr;
        length = 0;
        return;
    }
    // The caller releases the buffer with delete[].
    XMLByte* copy = new XMLByte[decodedLength ? decodedLength : 1];
    std::memcpy(copy, decoded, decodedLength);
    releaseXercesBuffer(decoded);
    *out = copy;
    length = static_cast<unsigned int>(decodedLength);
}

DOMBTString Base64ToBin(const DOMBTString& s) {
    void* decoded = nullptr;
    unsigned int length = 0;
    Base64ToBin(s, &decoded, length);
    if (!decoded) return DOMBTString();
    DOMBTString text(static_cast<const unsigned char*>(decoded), 0, static_cast<long>(length));
    delete[] static_cast<XMLByte*>(decoded);
    return text;
}
