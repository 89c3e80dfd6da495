// Typed value conversion: the parsers and formats against the C library's own results, the binary and
// character forms, and the conversions the host performs.
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/strings/SimpleType.hpp>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

bool sameFloat(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

TEST(SimpleType, ParsersAgreeWithTheCLibrary) {
    const char* inputs[] = {"0",
                            "42",
                            "-17",
                            "+7",
                            "  12abc",
                            "\t 5",
                            "abc",
                            "",
                            "65",
                            "300",
                            "3.99",
                            "-0.0",
                            "1e3",
                            "0x1F",
                            "2147483647",
                            "2147483648",
                            "-2147483649",
                            "4294967295",
                            "4294967296",
                            "65535",
                            "65536",
                            "-1",
                            "99999999999999999999",
                            "18446744073709551615",
                            "1.5",
                            "nan",
                            "-inf",
                            " ",
                            "9.99e99",
                            "1e-400"};
    for (const char* in : inputs) {
        SCOPED_TRACE(in);
        const DOMBTString text = latin1(in);
        const int n = std::atoi(in);
        EXPECT_EQ(SimpleType::ToInt(text), n);
        EXPECT_EQ(SimpleType::ToUInt(text), static_cast<unsigned int>(n));
        EXPECT_EQ(SimpleType::ToShort(text), static_cast<short>(n));
        EXPECT_EQ(SimpleType::ToUShort(text), static_cast<unsigned short>(n));
        EXPECT_EQ(SimpleType::ToLong(text), static_cast<int32_t>(n));
        EXPECT_EQ(SimpleType::ToULong(text), static_cast<uint32_t>(n));
        char c = 0;
        std::sscanf(in, "%c", &c);
        EXPECT_EQ(SimpleType::ToByte(text), c);
        unsigned short u = 0;
        std::sscanf(in, "%hu", &u);
        EXPECT_EQ(SimpleType::ToUByte(text), static_cast<unsigned char>(u & 0xFF));
        float f = 0;
        std::sscanf(in, "%f", &f);
        EXPECT_TRUE(sameFloat(SimpleType::ToFloat(text), f));
        double d = 0;
        std::sscanf(in, "%lf", &d);
        EXPECT_TRUE(sameFloat(SimpleType::ToDouble(text), d));
        unsigned long long ll = 0;
        std::sscanf(in, "%llu", &ll);
        EXPECT_EQ(SimpleType::To8Byte(text), static_cast<int64_t>(ll));
    }
    // The cases worth naming.
    EXPECT_EQ(SimpleType::ToByte(DOMBTString(u"65")), '6');
    EXPECT_EQ(SimpleType::ToUByte(DOMBTString(u"300")), 44);
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
    unsigned short u = 0;
    std::sscanf(std::string(255, '7').c_str(), "%hu", &u);
    EXPECT_EQ(SimpleType::ToUByte(latin1(std::string(300, '7'))), static_cast<unsigned char>(u & 0xFF));
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

TEST(SimpleType, FormatsAgreeWithTheCLibrary) {
    char buf[512];
    auto c = [&](const char* fmt, auto value) {
        std::snprintf(buf, sizeof buf, fmt, value);
        return widen(buf);
    };
    for (int v : {0, 1, -1, 42, INT32_MAX, INT32_MIN}) {
        EXPECT_EQ(SimpleType::ToString(v).str(), c("%d", v));
        EXPECT_EQ(SimpleType::ToString(static_cast<unsigned int>(v)).str(),
                  c("%u", static_cast<unsigned int>(v)));
        EXPECT_EQ(SimpleType::ToString(static_cast<short>(v)).str(), c("%hd", static_cast<short>(v)));
        EXPECT_EQ(SimpleType::ToString(static_cast<unsigned short>(v)).str(),
                  c("%hu", static_cast<unsigned short>(v)));
        EXPECT_EQ(SimpleType::ToString(static_cast<unsigned char>(v)).str(),
                  c("%u", static_cast<unsigned>(static_cast<unsigned char>(v))));
        EXPECT_EQ(SimpleType::ToString(static_cast<long>(v)).str(), c("%ld", static_cast<long>(v)));
        EXPECT_EQ(SimpleType::ToString(static_cast<unsigned long>(static_cast<unsigned>(v))).str(),
                  c("%lu", static_cast<unsigned long>(static_cast<unsigned>(v))));
        EXPECT_EQ(SimpleType::ToString(static_cast<long long>(v)).str(),
                  c("%llu", static_cast<unsigned long long>(v)));
    }
    for (double v : {0.0, 1.5, -2.25, 1e-7, 123456.789, 3.4e38, -1e100}) {
        EXPECT_EQ(SimpleType::ToString(v).str(), c("%lf", v));
        EXPECT_EQ(SimpleType::ToString(static_cast<float>(v)).str(),
                  c("%f", static_cast<double>(static_cast<float>(v))));
    }
    EXPECT_EQ(SimpleType::ToString(1.5f).str(), u"1.500000");
    EXPECT_EQ(SimpleType::ToString(-1LL).str(), u"18446744073709551615");
    EXPECT_EQ(SimpleType::ToString('A').str(), u"A");
    EXPECT_EQ(SimpleType::ToString(static_cast<char>(0xE9)).str(), u"\u00E9");
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
        {u"g0", 3, 9, {0xEE, 0xEE, 0xEE}},
        {u"12zz", 3, 9, {0x12, 0xEE, 0xEE}}, // bytes already stored stay stored
        {u"", 0, 0, {0xEE, 0xEE, 0xEE}},
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
    EXPECT_EQ(SimpleType::ToString(data, 0).str(), u"");
    EXPECT_EQ(SimpleType::ToString(nullptr, 4).str(), u"");
    const char16_t* expectedChars[][2] = {{u"%", u"25"}, {u"q", u"q"},       {u"Z", u"Z"}, {u"0", u"0"},
                                          {u" ", u"20"}, {u"\u00E9", u"E9"}, {u"_", u"5F"}};
    for (auto& e : expectedChars) EXPECT_EQ(SimpleType::chToString(static_cast<char>(e[0][0])).str(), e[1]);
}

TEST(SimpleType, aLongIsPrintedSignedOnEveryPlatform) {
    // `long` is 64 bits wide on LP64 systems; it still means a signed number, never its two's complement.
    EXPECT_EQ(SimpleType::ToString(-5L).str(), u"-5");
    EXPECT_EQ(SimpleType::ToString(static_cast<long>(INT32_MIN)).str(), u"-2147483648");
    EXPECT_EQ(SimpleType::ToString(int64_t{-5}).str(), SimpleType::ToString(-5L).str());
    EXPECT_EQ(SimpleType::ToString(-5LL).str(), u"18446744073709551611");
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
    uint64_t conversions() { return host.callCount(Kw::host::ConvertValue); }
};

TEST_F(HostConversions, aLongAttributeIsStoredWithItsSigned32BitMeaningAndAWiderOneIsRefused) {
    const Kw::ObjectRef box = Kw::ElementRef::fromHandle(host.find("project/layout/spread/page/box"));
    const Kw::StringKey key(u"count");
    box.SetAttribute(key, 5L);
    EXPECT_EQ(box.GetAttribute(key).str(), u"5");
    EXPECT_EQ(box.SetAttribute(key, -7L), 5);
    EXPECT_EQ(box.GetAttribute(key).str(), u"-7");
    EXPECT_EQ(box.SetAttribute(key, static_cast<long long>(INT32_MAX)), -7);
    EXPECT_EQ(box.GetAttributeLong(key), INT32_MAX);
    // Wider than the host's numbers: refused before the write, the attribute keeps its text.
    for (long long wide :
         {static_cast<long long>(INT32_MAX) + 1, static_cast<long long>(INT32_MIN) - 1, -(1LL << 40)}) {
        EXPECT_EQ(domExceptionCode([&] { box.SetAttribute(key, wide); }), 16) << wide;
        EXPECT_EQ(domExceptionCode([&] { box.SetAttribute(key, static_cast<long>(wide)); }), 16) << wide;
    }
    EXPECT_EQ(box.GetAttributeLong(key), INT32_MAX);
}

TEST_F(HostConversions, Measurements) {
    using namespace kwhost::units;
    EXPECT_EQ(Kw::StringToFixed(POINTS, DOMBTString(u"3p6"), 0), 42 * kwhost::FIXED_ONE);
    EXPECT_EQ(Kw::FixedToString(PICAS, 42 * kwhost::FIXED_ONE, 0).str(), u"3p6");
    EXPECT_EQ(SimpleType::ToFixed(DOMBTString(u"12.5pt"), PICAS, 1),
              12 * kwhost::FIXED_ONE + kwhost::FIXED_ONE / 2);
    EXPECT_EQ(SimpleType::ToString(72 * kwhost::FIXED_ONE, DECIMAL_INCHES, 0).str(), u"1in");
    EXPECT_EQ(SimpleType::ToFixed(DOMBTString(u"1in"), POINTS, 0), 72 * kwhost::FIXED_ONE);

    const uint64_t before = conversions();
    EXPECT_EQ(Kw::StringToFixed(POINTS, DOMBTString(), 2), 0); // no host call for an empty text
    EXPECT_EQ(conversions(), before);

    for (const char16_t* bad : {u"12xx", u"abc", u"pt", u"1..2pt", u"--1pt"}) {
        EXPECT_EQ(domExceptionCode([&] { Kw::StringToFixed(POINTS, DOMBTString(bad), 0); }), 16);
    }
    const DOMBTString huge(std::u16string(5000, u'9').c_str());
    EXPECT_EQ(domExceptionCode([&] { Kw::StringToFixed(POINTS, huge, 0); }), 16);
    EXPECT_EQ(domExceptionCode([&] { Kw::FixedToString(99, 0, 0); }), 16);     // unknown unit
    EXPECT_EQ(domExceptionCode([&] { Kw::FixedToString(POINTS, 0, 9); }), 16); // too many decimals
    host.failAt(Kw::host::ConvertValue, 0x70005);
    EXPECT_EQ(domExceptionCode([&] { Kw::FixedToString(POINTS, 0, 0); }), 16); // whatever the host's status
}

TEST_F(HostConversions, EnumerationsAreTheRegisteredValues) {
    using Kw::KWLIB::RegisterSchemaEnumValue;
    ASSERT_TRUE(RegisterSchemaEnumValue(DOMBTString(u"Left"), DOMBTString(u"kw:AlignEnum"), 0));
    ASSERT_TRUE(RegisterSchemaEnumValue(DOMBTString(u"Right"), DOMBTString(u"kw:AlignEnum"), 1));
    ASSERT_TRUE(RegisterSchemaEnumValue(DOMBTString(u"Centre"), DOMBTString(u"kw:AlignEnum"), 7));
    ASSERT_TRUE(RegisterSchemaEnumValue(DOMBTString(u"Center"), DOMBTString(u"kw:AlignEnum"), 7));
    ASSERT_TRUE(RegisterSchemaEnumValue(DOMBTString(u"Left"), DOMBTString(u"other:AlignEnum"), 5));

    EXPECT_EQ(Kw::StringToEnum(DOMBTString(u"kw:AlignEnum"), DOMBTString(u"Right")), 1);
    EXPECT_EQ(Kw::StringToEnum(DOMBTString(u"kw:AlignEnum"), DOMBTString(u"Center")), 7);
    EXPECT_EQ(Kw::StringToEnum(DOMBTString(u"other:AlignEnum"), DOMBTString(u"Left")), 5);
    EXPECT_EQ(SimpleType::ToEnum(DOMBTString(u"Left"), DOMBTString(u"kw:AlignEnum")), 0);
    EXPECT_EQ(Kw::EnumToString(DOMBTString(u"kw:AlignEnum"), 7).str(), u"Centre"); // the first with 7
    EXPECT_EQ(SimpleType::EnumToString(1, DOMBTString(u"kw:AlignEnum")).str(), u"Right");

    const std::pair<const char16_t*, const char16_t*> unknown[] = {
        {u"kw:AlignEnum", u"Middle"}, {u"kw:Other", u"Left"}, {u"AlignEnum", u"Left"}, {u"", u"Left"}};
    for (auto& u : unknown)
        EXPECT_EQ(domExceptionCode([&] { Kw::StringToEnum(DOMBTString(u.first), DOMBTString(u.second)); }),
                  16);
    EXPECT_EQ(domExceptionCode([&] { Kw::EnumToString(DOMBTString(u"kw:AlignEnum"), 2); }), 16);
    // A text that cannot fit the 256-unit buffer is refused, never cut or overrun.
    const std::u16string longText(300, u'x');
    ASSERT_TRUE(RegisterSchemaEnumValue(DOMBTString(longText.c_str()), DOMBTString(u"kw:Long"), 1));
    EXPECT_EQ(Kw::StringToEnum(DOMBTString(u"kw:Long"), DOMBTString(longText.c_str())), 1);
    EXPECT_EQ(domExceptionCode([&] { Kw::EnumToString(DOMBTString(u"kw:Long"), 1); }), 16);
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
