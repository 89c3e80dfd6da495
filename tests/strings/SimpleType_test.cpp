// Typed value conversion: parsers and formats, the binary and character forms, and the conversions the
// host performs.
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/strings/SimpleType.hpp>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <tuple>
#include <variant>

#include "bridge/CallbackTable.hpp"
#include "common/HostFixture.hpp"

using testing_support::domExceptionCode;
using XSD::SimpleType;

namespace {

DOMBTString latin1(const std::string& s) {
    return DOMBTString(reinterpret_cast<const unsigned char*>(s.c_str()), 0, static_cast<long>(s.size()));
}

std::u16string widen(const char* s) {
    return std::u16string(s, s + std::strlen(s));
}

// Parsers read a leading number the way the C library's scanners do and stop at the first other unit;
// the expected values are written out by hand.
TEST(SimpleType, ParsersReadTheLeadingNumber) {
    struct Case {
        const char* text;
        int asInt;
        double asDouble;
        char asByte;
        unsigned char asUByte;
        int64_t as8Byte;
    } cases[] = {
        {"42", 42, 42.0, '4', 42, 42},        {"-17", -17, -17.0, '-', 0xEF, -17},
        {"  12abc", 12, 12.0, ' ', 12, 12},   {"abc", 0, 0.0, 'a', 0, 0},
        {"", 0, 0.0, 0, 0, 0},                {"3.99", 3, 3.99, '3', 3, 3},
        {"300", 300, 300.0, '3', 44, 300},    {"1e3", 1, 1000.0, '1', 1, 1},
        {"65536", 65536, 65536.0, '6', 0, 65536}, {"18446744073709551615", -1, 1.8446744073709552e19, '1', 0xFF, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const DOMBTString text = latin1(c.text);
        EXPECT_EQ(SimpleType::ToInt(text), c.asInt);
        EXPECT_EQ(SimpleType::ToLong(text), c.asInt);
        EXPECT_EQ(SimpleType::ToUShort(text), static_cast<unsigned short>(c.asInt));
        EXPECT_EQ(SimpleType::ToDouble(text), c.asDouble);
        EXPECT_EQ(SimpleType::ToFloat(text), static_cast<float>(c.asDouble));
        EXPECT_EQ(SimpleType::ToByte(text), c.asByte);
        EXPECT_EQ(SimpleType::ToUByte(text), c.asUByte);
        EXPECT_EQ(SimpleType::To8Byte(text), c.as8Byte);
    }
}

TEST(SimpleType, ParsersScanOnlyTheFirst255BytesOfAnOverLongText) {
    // 250 zeros then "123456789": the first 255 bytes end after "12345". Under AddressSanitizer this also
    // shows that nothing reads past the 256-byte buffer, which the 8-bit copy alone leaves unterminated.
    const std::string digits = std::string(250, '0') + "123456789";
    const DOMBTString text = latin1(digits);
    EXPECT_EQ(SimpleType::ToInt(text), 12345);
    EXPECT_EQ(SimpleType::ToLong(text), 12345);
    EXPECT_EQ(SimpleType::ToDouble(text), 12345.0);
    EXPECT_EQ(SimpleType::ToFloat(text), 12345.0f);
    EXPECT_EQ(SimpleType::To8Byte(text), 12345);
    // Exactly 255 and 256 bytes, and a long text of nothing numeric.
    EXPECT_EQ(SimpleType::ToInt(latin1(std::string(254, ' ') + "9")), 9);
    EXPECT_EQ(SimpleType::ToInt(latin1(std::string(255, ' ') + "9")), 0);
    EXPECT_EQ(SimpleType::ToDouble(latin1(std::string(4000, 'x'))), 0.0);
}

TEST(SimpleType, BooleansAreExact) {
    struct Case {
        const char16_t* text;
        int expected; // 1 true, 0 false, -1 throws 16
    } cases[] = {{u"true", 1}, {u"1", 1},      {u"false", 0}, {u"0", 0},  {u"TRUE", -1}, {u"True", -1},
                 {u"", -1},    {u" true", -1}, {u"yes", -1},  {u"2", -1}, {u"01", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
        if (c.expected < 0)
            EXPECT_EQ(domExceptionCode([&] { SimpleType::ToBoolean(DOMBTString(c.text)); }), 16);
        else
            EXPECT_EQ(SimpleType::ToBoolean(DOMBTString(c.text)), c.expected == 1);
    }
    EXPECT_EQ(SimpleType::ToString(true).str(), u"true");
    EXPECT_EQ(SimpleType::ToString(false).str(), u"false");
}

TEST(SimpleType, FormatsAsWrittenOut) {
    const std::pair<DOMBTString, std::u16string> cases[] = {
        {SimpleType::ToString(-1), u"-1"},
        {SimpleType::ToString(static_cast<unsigned int>(-1)), u"4294967295"},
        {SimpleType::ToString(static_cast<short>(-32768)), u"-32768"},
        {SimpleType::ToString(static_cast<unsigned short>(65535)), u"65535"},
        {SimpleType::ToString(static_cast<unsigned char>(200)), u"200"},
        {SimpleType::ToString(1.5), u"1.500000"},
        {SimpleType::ToString(1e-7), u"0.000000"},
        {SimpleType::ToString(-2.25f), u"-2.250000"},
        {SimpleType::ToString('A'), u"A"},
        {SimpleType::ToString(static_cast<char>(0xE9)), u"\u00E9"},
        // `long` is 64 bits wide on LP64 systems; it still means a signed number.
        {SimpleType::ToString(-5L), u"-5"},
        {SimpleType::ToString(static_cast<long>(INT32_MIN)), u"-2147483648"},
        {SimpleType::ToString(int64_t{-5}), u"-5"},
        {SimpleType::ToString(-5LL), u"18446744073709551611"},
        // Every standard integer type picks an overload without ambiguity.
        {SimpleType::ToString(18446744073709551615ull), u"18446744073709551615"},
        {SimpleType::ToString(uint64_t{5}), u"5"},
        {SimpleType::ToString(size_t{7}), u"7"},
        {SimpleType::ToString(int8_t{-3}), u"-3"},
        {SimpleType::ToString(uint8_t{200}), u"200"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(text.str(), expected);
}

TEST(SimpleType, ToStringOfTheLargestDoublesWritesEveryDigit) {
    for (double v : {DBL_MAX, -DBL_MAX, 1e300}) {
        std::vector<char> expected(512);
        const int n = std::snprintf(expected.data(), expected.size(), "%lf", v);
        ASSERT_GT(n, 255);
        EXPECT_EQ(SimpleType::ToString(v).str(), widen(expected.data()));
    }
}

TEST(SimpleType, HexBinary) {
    struct Case {
        const char16_t* text;
        unsigned capacity;
        int code;                // 0: no exception
        std::vector<int> stored; // the buffer afterwards (preset 0xEE)
    } cases[] = {
        {u"0aFF", 2, 0, {0x0A, 0xFF, 0xEE}},
        {u"0aFF", 1, 9, {0xEE, 0xEE, 0xEE}}, // too little room: refused before storing
        {u"abc", 3, 9, {0xEE, 0xEE, 0xEE}},  // odd length
        {u"0g", 3, 9, {0xEE, 0xEE, 0xEE}},
        {u"12zz", 3, 9, {0x12, 0xEE, 0xEE}}, // bytes already stored stay stored
        {u"00ff7F", 3, 0, {0x00, 0xFF, 0x7F}},
        {u"\u0661\u0662", 3, 9, {0xEE, 0xEE, 0xEE}}, // digits of another script are not hexadecimal
    };
    for (const Case& c : cases) {
        unsigned char out[3] = {0xEE, 0xEE, 0xEE};
        int code = 0;
        try {
            SimpleType::ToHexBinary(DOMBTString(c.text), out, c.capacity);
        } catch (const xercesc::DOMException& e) {
            code = e.code;
        }
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(std::vector<int>(out, out + 3), c.stored);
    }
    // No buffer: nothing can be stored.
    EXPECT_EQ(domExceptionCode([] { SimpleType::ToHexBinary(DOMBTString(u"00"), nullptr, 8); }), 9);

    const unsigned char data[] = {0x00, 0xAB, 0x7F, 0x10};
    EXPECT_EQ(SimpleType::ToString(data, 4).str(), u"00AB7F10");
    EXPECT_EQ(SimpleType::ToString(nullptr, 4).str(), u"");
    const char16_t* expectedChars[][2] = {{u"%", u"25"}, {u"q", u"q"}, {u"\u00E9", u"E9"}, {u"_", u"5F"}};
    for (auto& e : expectedChars) EXPECT_EQ(SimpleType::chToString(static_cast<char>(e[0][0])).str(), e[1]);
}

// The conversions the host performs.
class HostConversions : public testing_support::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        host.clearRegistrations();
    }
    void TearDown() override {
        host.clearRegistrations();
        HostTest::TearDown();
    }
  };

// Measurements and enumerations through the host: each row a text the call gives, or the code it throws.
TEST_F(HostConversions, MeasurementsAndEnumerations) {
    using namespace kwhost::units;
    using Kw::KWLIB::RegisterSchemaEnumValue;
    const DOMBTString align(u"kw:AlignEnum");
    for (auto [name, type, value] : {std::tuple{u"Left", u"kw:AlignEnum", 0}, {u"Right", u"kw:AlignEnum", 1},
                                     {u"Centre", u"kw:AlignEnum", 7}, {u"Center", u"kw:AlignEnum", 7},
                                     {u"Left", u"other:AlignEnum", 5}}) {
        ASSERT_TRUE(RegisterSchemaEnumValue(DOMBTString(name), DOMBTString(type), value));
    }
    const std::u16string longText(300, u'x'); // cannot fit the 256-unit buffer: refused, never cut
    ASSERT_TRUE(RegisterSchemaEnumValue(DOMBTString(longText.c_str()), DOMBTString(u"kw:Long"), 1));
    const auto digits = [](int64_t v) {
        const std::string s = std::to_string(v);
        return std::u16string(s.begin(), s.end());
    };
    const auto fixed = [&](int64_t v) { return DOMBTString(digits(v).c_str()); };
    const std::pair<std::function<DOMBTString()>, std::variant<std::u16string, int>> rows[] = {
        {[&] { return fixed(Kw::StringToFixed(POINTS, DOMBTString(u"3p6"), 0)); }, digits(42 * kwhost::FIXED_ONE)},
        {[] { return Kw::FixedToString(PICAS, 42 * kwhost::FIXED_ONE, 0); }, u"3p6"},
        {[&] { return fixed(SimpleType::ToFixed(DOMBTString(u"12.5pt"), PICAS, 1)); },
         digits(12 * kwhost::FIXED_ONE + kwhost::FIXED_ONE / 2)},
        {[] { return SimpleType::ToString(72 * kwhost::FIXED_ONE, DECIMAL_INCHES, 0); }, u"1in"},
        {[&] { return fixed(Kw::StringToFixed(POINTS, DOMBTString(), 2)); }, u"0"},
        {[&] { return fixed(Kw::StringToFixed(POINTS, DOMBTString(u"12xx"), 0)); }, 16},
        {[&] { return fixed(Kw::StringToFixed(POINTS, DOMBTString(std::u16string(5000, u'9').c_str()), 0)); }, 16},
        {[] { return Kw::FixedToString(99, 0, 0); }, 16},     // unknown unit
        {[&] { return fixed(Kw::StringToEnum(align, DOMBTString(u"Center"))); }, u"7"},
        {[&] { return fixed(Kw::StringToEnum(DOMBTString(u"other:AlignEnum"), DOMBTString(u"Left"))); }, u"5"},
        {[&] { return fixed(SimpleType::ToEnum(DOMBTString(u"Left"), align)); }, u"0"},
        {[&] { return Kw::EnumToString(align, 7); }, u"Centre"}, // the first with 7
        {[&] { return SimpleType::EnumToString(1, align); }, u"Right"},
        {[&] { return fixed(Kw::StringToEnum(align, DOMBTString(u"Middle"))); }, 16},
        {[&] { return fixed(Kw::StringToEnum(DOMBTString(u"AlignEnum"), DOMBTString(u"Left"))); }, 16},
        {[&] { return Kw::EnumToString(align, 2); }, 16},
        {[&] { return fixed(Kw::StringToEnum(DOMBTString(u"kw:Long"), DOMBTString(longText.c_str()))); }, u"1"},
        {[&] { return Kw::EnumToString(DOMBTString(u"kw:Long"), 1); }, 16},
    };
    int row = 0;
    for (const auto& [call, expected] : rows) {
        SCOPED_TRACE(row++);
        if (std::holds_alternative<int>(expected)) {
            EXPECT_EQ(domExceptionCode([&] { call(); }), std::get<int>(expected));
        } else {
            EXPECT_EQ(call().str(), std::get<std::u16string>(expected));
        }
    }
    host.failAt(Kw::host::ConvertValue, 0x70005);
    EXPECT_EQ(domExceptionCode([&] { Kw::FixedToString(POINTS, 0, 0); }), 16); // whatever the host's status
}

// A host that fills the whole 256-unit buffer and writes no terminator.
int32_t fillWithoutTerminator(void* out, int32_t, intptr_t, intptr_t, int32_t) {
    std::fill_n(static_cast<XMLCh*>(out), 256, u'x');
    return 0;
}

TEST_F(HostConversions, HostTextIsReadOnlyWithinItsBuffer) {
    uint64_t words[Kw::host::SelectorCount];
    std::memcpy(words, &Kw::host::callbacks(), sizeof words);
    uint64_t rogue[Kw::host::SelectorCount];
    std::memcpy(rogue, words, sizeof rogue);
    rogue[Kw::host::ConvertValue] = reinterpret_cast<uint64_t>(&fillWithoutTerminator);
    struct Restore {
        uint64_t (&words)[Kw::host::SelectorCount];
        ~Restore() { Kw::host::installCallbacks(words); }
    } restore{words};
    Kw::host::installCallbacks(rogue);
    EXPECT_EQ(Kw::EnumToString(DOMBTString(u"kw:Any"), 0).str(), std::u16string(255, u'x'));
    EXPECT_EQ(Kw::FixedToString(0, 0, 0).str(), std::u16string(255, u'x'));
}

} // namespace
