#include <DOMKw/platform/Exceptions.hpp>
#include <DOMKw/strings/SimpleType.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bridge/ValueConversion.hpp"
#include "platform/XercesSupport.hpp"

namespace {

using dom::Exceptions::NOT_SUPPORTED_ERR;
using dom::Exceptions::VALIDATION_ERR;

// What every parser scans: the text's 8-bit form, cut to its first 255 bytes and always terminated.
// GetUCharC copies like strncpy and leaves its destination unterminated for a long text, so the last
// byte is set here and never copied over.
class ScanBuffer {
public:
    explicit ScanBuffer(const DOMBTString& text) {
        text.GetUCharC(bytes, sizeof bytes - 1);
        bytes[sizeof bytes - 1] = 0;
    }
    const char* c_str() const { return reinterpret_cast<const char*>(bytes); }

private:
    unsigned char bytes[256];
};

// printf into a 256-byte buffer, or a larger one when the text needs it ("%f" of a large double has
// more than 300 digits), then the 8-bit string constructor.
template <class... Args> DOMBTString format(const char* fmt, Args... args) {
    char small[256];
    const int n = std::snprintf(small, sizeof small, fmt, args...);
    if (n < 0) return DOMBTString();
    if (static_cast<size_t>(n) < sizeof small)
        return DOMBTString(reinterpret_cast<const unsigned char*>(small), 0, -1);
    std::vector<char> large(static_cast<size_t>(n) + 1);
    std::snprintf(large.data(), large.size(), fmt, args...);
    return DOMBTString(reinterpret_cast<const unsigned char*>(large.data()), 0, -1);
}

int hexDigit(XMLCh c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// The host writes at most 255 units and a terminating zero; the last unit is forced to zero anyway so
// that a host overrunning its text cannot make us read past the buffer.
struct TextBuffer {
    XMLCh units[256] = {};
    DOMBTString text() {
        units[255] = 0;
        return DOMBTString(units);
    }
};

} // namespace

namespace XSD {

// Parsing.

bool SimpleType::ToBoolean(const DOMBTString& text) {
    const std::string s = ScanBuffer(text).c_str();
    if (s == "true" || s == "1") return true;
    if (s == "false" || s == "0") return false;
    Kw::throwDOMException(VALIDATION_ERR);
}

int SimpleType::ToInt(const DOMBTString& text) {
    return std::atoi(ScanBuffer(text).c_str());
}
unsigned int SimpleType::ToUInt(const DOMBTString& text) {
    return static_cast<unsigned int>(ToInt(text));
}
short SimpleType::ToShort(const DOMBTString& text) {
    return static_cast<short>(ToInt(text));
}
unsigned short SimpleType::ToUShort(const DOMBTString& text) {
    return static_cast<unsigned short>(ToInt(text));
}
int32_t SimpleType::ToLong(const DOMBTString& text) {
    return static_cast<int32_t>(ToInt(text));
}
uint32_t SimpleType::ToULong(const DOMBTString& text) {
    return static_cast<uint32_t>(ToInt(text));
}

char SimpleType::ToByte(const DOMBTString& text) {
    char c = 0;
    std::sscanf(ScanBuffer(text).c_str(), "%c", &c);
    return c;
}

unsigned char SimpleType::ToUByte(const DOMBTString& text) {
    unsigned short n = 0;
    std::sscanf(ScanBuffer(text).c_str(), "%hu", &n);
    return static_cast<unsigned char>(n & 0xFF);
}

float SimpleType::ToFloat(const DOMBTString& text) {
    float f = 0;
    std::sscanf(ScanBuffer(text).c_str(), "%f", &f);
    return f;
}

double SimpleType::ToDouble(const DOMBTString& text) {
    double d = 0;
    std::sscanf(ScanBuffer(text).c_str(), "%lf", &d);
    return d;
}

int64_t SimpleType::To8Byte(const DOMBTString& text) {
    unsigned long long n = 0;
    std::sscanf(ScanBuffer(text).c_str(), "%llu", &n);
    return static_cast<int64_t>(n);
}

int SimpleType::ToEnum(const DOMBTString& value, const DOMBTString& typeName) {
    return Kw::StringToEnum(typeName, value);
}

int32_t SimpleType::ToFixed(const DOMBTString& text, Measurement::Enum unit, int n) {
    return Kw::StringToFixed(unit, text, n);
}

void SimpleType::ToHexBinary(const DOMBTString& text, void* out, unsigned capacity) {
    const size_t length = static_cast<size_t>(text.GetLength());
    if (length % 2 != 0) Kw::throwDOMException(NOT_SUPPORTED_ERR);
    if (!out) capacity = 0; // nowhere to store anything
    if (length / 2 > capacity) Kw::throwDOMException(NOT_SUPPORTED_ERR);
    const XMLCh* units = text.GetUChar16();
    unsigned char* bytes = static_cast<unsigned char*>(out);
    for (size_t i = 0; i < length / 2; ++i) {
        const int high = hexDigit(units[2 * i]);
        if (high < 0) Kw::throwDOMException(NOT_SUPPORTED_ERR);
        const int low = hexDigit(units[2 * i + 1]);
        if (low < 0) Kw::throwDOMException(NOT_SUPPORTED_ERR);
        bytes[i] = static_cast<unsigned char>(high * 16 + low);
    }
}

// Formatting.

DOMBTString SimpleType::ToString(bool value) {
    return DOMBTString(value ? u"true" : u"false");
}
DOMBTString SimpleType::ToString(int value) {
    return format("%d", value);
}
DOMBTString SimpleType::ToString(unsigned int value) {
    return format("%u", value);
}
DOMBTString SimpleType::ToString(short value) {
    return format("%hd", value);
}
DOMBTString SimpleType::ToString(unsigned short value) {
    return format("%hu", value);
}
DOMBTString SimpleType::ToString(char value) {
    return format("%c", value);
}
DOMBTString SimpleType::ToString(unsigned char value) {
    return format("%u", static_cast<unsigned int>(value));
}
DOMBTString SimpleType::ToString(float value) {
    return format("%f", static_cast<double>(value));
}
DOMBTString SimpleType::ToString(double value) {
    return format("%lf", value);
}
DOMBTString SimpleType::ToString(long value) {
    return format("%ld", value);
}
DOMBTString SimpleType::ToString(unsigned long value) {
    return format("%lu", value);
}
DOMBTString SimpleType::ToString(long long value) {
    return format("%llu", static_cast<unsigned long long>(value));
}
DOMBTString SimpleType::ToString(unsigned long long value) {
    return format("%llu", value);
}

DOMBTString SimpleType::ToString(const void* data, unsigned n) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    if (!data) n = 0;
    std::vector<XMLCh> units(2 * static_cast<size_t>(n) + 1);
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) {
        units[2 * i] = digits[bytes[i] >> 4];
        units[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    units[2 * static_cast<size_t>(n)] = 0;
    return DOMBTString(units.data());
}

DOMBTString SimpleType::chToString(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return format("%c", c);
    return ToString(&c, 1);
}

DOMBTString SimpleType::EnumToString(int value, const DOMBTString& typeName) {
    return Kw::EnumToString(typeName, value);
}

DOMBTString SimpleType::ToString(int32_t value, Measurement::Enum unit, int n) {
    return Kw::FixedToString(unit, value, n);
}

} // namespace XSD

namespace Kw {

using host::convertValue;

int StringToEnum(const DOMBTString& typeName, const DOMBTString& value) {
    int32_t number = 0;
    convertValue(&number, host::TextToEnum, reinterpret_cast<intptr_t>(value.GetUChar16()),
                 reinterpret_cast<intptr_t>(typeName.GetUChar16()), -1);
    return number;
}

DOMBTString EnumToString(const DOMBTString& typeName, int value) {
    TextBuffer out;
    convertValue(out.units, host::EnumToText, value, reinterpret_cast<intptr_t>(typeName.GetUChar16()), -1);
    return out.text();
}

int32_t StringToFixed(int unit, const DOMBTString& text, int n) {
    if (text.IsEmpty()) return 0;
    int32_t fixed = 0;
    convertValue(&fixed, host::TextToFixed, reinterpret_cast<intptr_t>(text.GetUChar16()), unit, n);
    return fixed;
}

DOMBTString FixedToString(int unit, int32_t value, int n) {
    TextBuffer out;
    convertValue(out.units, host::FixedToText, value, unit, n);
    return out.text();
}

} // namespace Kw
