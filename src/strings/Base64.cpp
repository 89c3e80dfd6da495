#include <DOMKw/strings/DOMBTString.hpp>

#include <xercesc/util/Base64.hpp>

#include "bridge/HostStatus.hpp"

DOMBTString BinToBase64(const void* data, unsigned int length) {
    Kw::ensureXercesStarted();
    XMLSize_t encodedLength = 0;
    XMLByte* encoded = xercesc::Base64::encode(static_cast<const XMLByte*>(data), length, &encodedLength);
    if (!encoded) return DOMBTString();
    DOMBTString text(encoded, 0, static_cast<long>(encodedLength));
    text.FindAndReplace(DOMBTString(u"\n"), DOMBTString());
    delete[] encoded;
    return text;
}

void Base64ToBin(const DOMBTString& s, void** out, unsigned int& length) {
    if (!out) return;
    Kw::ensureXercesStarted();
    XMLSize_t decodedLength = 0;
    *out = xercesc::Base64::decode(s.GetUChar(), &decodedLength, nullptr, xercesc::Base64::Conf_RFC2045);
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
