// Typed values: conversions between attribute text and numbers, booleans, measurements, enumerations
// and binary data, in the lexical forms of XML Schema simple types.
//
// The host keeps every attribute as text. The numeric parsers follow the C library (atoi, sscanf) and
// never fail; only the first 255 bytes of a text's 8-bit form take part. Enumerations and fixed-point
// measurements belong to the host's schema and are converted by the host (Kw::StringToEnum and the
// three functions beside it).
//
// Widths: the host's numbers are 32 bits wide. ToLong, ToULong, fixed-point values and the functions
// taking them use int32_t / uint32_t, so results do not depend on the platform's `long`. ToString of a
// `long` prints it signed ("-5" for -5L, also where `long` is 64 bits wide); ToString of a `long long`
// (the host platform's 64-bit integer) prints it as unsigned, so -1LL gives 18446744073709551615.
#pragma once

#include <DOMKw/strings/DOMBTString.hpp>

#include <cstdint>

namespace XSD {

struct Measurement {
    // A unit number; the numbers and what they mean are the host's, the library passes them on unchanged.
    enum Enum : int32_t {};
};

class SimpleType {
public:
    // Parsing. ToBoolean accepts exactly "true", "1", "false" and "0" and throws DOMException 16 for any
    // other text; the numeric parsers give 0 for text without a leading number.
    static bool ToBoolean(const DOMBTString& text);
    static int ToInt(const DOMBTString& text);               // atoi
    static unsigned int ToUInt(const DOMBTString& text);     // atoi
    static short ToShort(const DOMBTString& text);           // atoi, low 16 bits
    static unsigned short ToUShort(const DOMBTString& text); // atoi, low 16 bits
    static int32_t ToLong(const DOMBTString& text);          // atoi
    static uint32_t ToULong(const DOMBTString& text);        // atoi
    static char ToByte(const DOMBTString& text);             // the first character (not a number)
    static unsigned char ToUByte(const DOMBTString& text);   // "%hu", low 8 bits
    static float ToFloat(const DOMBTString& text);           // "%f"
    static double ToDouble(const DOMBTString& text);         // "%lf"
    static int64_t To8Byte(const DOMBTString& text);         // "%llu"
    // The enumeration value's number, by the host (Kw::StringToEnum).
    static int ToEnum(const DOMBTString& value, const DOMBTString& typeName);
    // A measurement's fixed-point value, by the host (Kw::StringToFixed).
    static int32_t ToFixed(const DOMBTString& text, Measurement::Enum unit, int n);
    // Hexadecimal text into `out` (room for `capacity` bytes). DOMException 9 for an odd length, too
    // little room or a character that is not a hexadecimal digit; bytes already stored stay stored.
    static void ToHexBinary(const DOMBTString& text, void* out, unsigned capacity);

    // Formatting.
    static DOMBTString ToString(bool value);           // "true" / "false"
    static DOMBTString ToString(int value);            // "%d" (the host's 32-bit numbers)
    static DOMBTString ToString(unsigned int value);   // "%u"
    static DOMBTString ToString(short value);          // "%hd"
    static DOMBTString ToString(unsigned short value); // "%hu"
    static DOMBTString ToString(char value);           // the character itself
    static DOMBTString ToString(unsigned char value);  // "%u" (decimal)
    static DOMBTString ToString(float value);          // "%f" (six decimals)
    static DOMBTString ToString(double value);         // "%lf" (six decimals)
    static DOMBTString ToString(long value);           // "%ld": signed, on every platform
    static DOMBTString ToString(unsigned long value);  // "%lu"
    // The 64-bit integer of the host's platform (its __int64): "%llu", printed as unsigned. Pass a
    // `long long`: on LP64 systems int64_t is `long` and prints signed through the overload above.
    static DOMBTString ToString(long long value);
    static DOMBTString ToString(unsigned long long value); // "%llu"
    // Upper-case hexadecimal, two digits per byte, high nibble first.
    static DOMBTString ToString(const void* data, unsigned n);
    // ASCII letters and digits as themselves; any other character as its two hexadecimal digits.
    static DOMBTString chToString(char c);
    // The enumeration value's text, by the host (Kw::EnumToString).
    static DOMBTString EnumToString(int value, const DOMBTString& typeName);
    // A fixed-point measurement as text, by the host (Kw::FixedToString).
    static DOMBTString ToString(int32_t value, Measurement::Enum unit, int n);
};

} // namespace XSD

namespace Kw {

// Conversions the host performs (host operation ConvertValue). Any refusal of the host throws
// xercesc::DOMException 16 (validation error), whatever the host's status.
int StringToEnum(const DOMBTString& typeName, const DOMBTString& value);
DOMBTString EnumToString(const DOMBTString& typeName, int value);
// An empty text gives 0 without asking the host.
int32_t StringToFixed(int unit, const DOMBTString& text, int n);
DOMBTString FixedToString(int unit, int32_t value, int n);

} // namespace Kw
