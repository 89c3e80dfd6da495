// Typed value parsers: Base64, hex binary, booleans and numbers, on any text.
#include <DOMKw/strings/DOMBTString.hpp>
#include <DOMKw/strings/SimpleType.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <xercesc/dom/DOMException.hpp>

template <class F> void documented(F&& f) {
    try {
        f();
    } catch (const xercesc::DOMException&) {
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The same bytes as 8-bit text and, in pairs, as UTF-16.
    const DOMBTString narrow(data, 0, static_cast<long>(size));
    std::u16string units(size / 2, u'\0');
    std::memcpy(&units[0], data, units.size() * 2);
    const DOMBTString wide(units.c_str(), 0, static_cast<long>(units.size()));
    for (const DOMBTString* text : {&narrow, &wide}) {
        void* decoded = nullptr;
        unsigned int length = 0;
        Base64ToBin(*text, &decoded, length);
        delete[] static_cast<unsigned char*>(decoded);
        Base64ToBin(*text);
        unsigned char hex[64];
        // Refusals are DOMExceptions by design; anything else escapes and is reported.
        documented([&] { XSD::SimpleType::ToHexBinary(*text, hex, sizeof hex); });
        documented([&] { XSD::SimpleType::ToBoolean(*text); });
        documented([&] { XSD::SimpleType::ToInt(*text); });
        documented([&] { XSD::SimpleType::ToUShort(*text); });
        documented([&] { XSD::SimpleType::ToLong(*text); });
        documented([&] { XSD::SimpleType::ToUByte(*text); });
        documented([&] { XSD::SimpleType::ToFloat(*text); });
        documented([&] { XSD::SimpleType::ToDouble(*text); });
        documented([&] { XSD::SimpleType::To8Byte(*text); });
        documented([&] { XSD::SimpleType::ToByte(*text); });
    }
    BinToBase64(data, static_cast<unsigned int>(size));
    XSD::SimpleType::ToString(data, static_cast<unsigned int>(size > 128 ? 128 : size));
    return 0;
}
