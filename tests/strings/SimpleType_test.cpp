#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/strings/SimpleType.hpp>

#include <cfloat>
#include <cstring>
#include <functional>
#include <tuple>
#include <variant>

#include "bridge/CallbackTable.hpp"
#include "common/HostFixture.hpp"

using testing_support::domExceptionCode;
using XSD::SimpleType;

namespace {

// A call giving a text, and the text it must give or the DOMException code it must throw.
using Expected = std::variant<std::u16string, int>;
struct Row {
    std::function<std::u16string()> call;
    Expected expected;
};

void check(const std::vector<Row>& rows) {
    int row = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(row++);
        if (std::holds_alternative<int>(r.expected)) {
            EXPECT_EQ(domExceptionCode([&] { r.call(); }), std::get<int>(r.expected));
        } else {
            EXPECT_EQ(r.call(), std::get<std::u16string>(r.expected));
        }
    }
}

DOMBTString latin1(const std::string& s) {
    return DOMBTString(reinterpret_cast<const unsigned char*>(s.c_str()), 0, static_cast<long>(s.size()));
}

template <class T> std::u16string digits(T v) {
    const std::string s = std::to_string(v);
    return std::u16string(s.begin(), s.end());
}

// Parsers read a leading number as the C library's scanners do, from the first 255 bytes only.
TEST(SimpleType, ParsersAndFormatsAtTheirEdges) {
    using S = SimpleType;
    const std::string longNumber =
        std::string(250, '0') + "123456789"; // the first 255 bytes end after "12345"
    const auto boolean = [](const char16_t* t) {
        return std::u16string(S::ToBoolean(DOMBTString(t)) ? u"T" : u"F");
    };
    const auto str = [](const DOMBTString& s) { return s.str(); };
    const std::vector<Row> rows = {
        {[] { return digits(S::ToInt(latin1("  12abc"))); }, u"12"},
        {[] { return digits(S::ToInt(latin1("18446744073709551615"))); }, u"-1"},
        {[] { return digits(S::ToLong(latin1("-17"))); }, u"-17"}, // 32 bits wide, also on LP64
        {[] { return digits(S::ToULong(latin1("-1"))); }, u"4294967295"},
        {[] { return digits(static_cast<int>(S::ToByte(latin1("-17")))); }, u"45"}, // the character '-'
        {[] { return digits(static_cast<int>(S::ToUByte(latin1("300")))); }, u"44"},
        {[] { return digits(S::ToDouble(latin1("1e3"))); }, u"1000.000000"},
        {[] { return digits(S::ToFloat(latin1("-2.5x"))); }, u"-2.500000"},
        {[] { return digits(S::To8Byte(latin1("4294967296"))); }, u"4294967296"},
        {[&] { return digits(S::ToInt(latin1(longNumber))); }, u"12345"},
        {[] { return digits(S::ToInt(latin1(std::string(254, ' ') + "9"))); }, u"9"},
        {[] { return digits(S::ToInt(latin1(std::string(255, ' ') + "9"))); }, u"0"},
        {[] { return digits(S::ToDouble(latin1(std::string(4000, 'x')))); }, u"0.000000"},
        {[&] { return boolean(u"true"); }, u"T"},
        {[&] { return boolean(u"1"); }, u"T"},
        {[&] { return boolean(u"false"); }, u"F"},
        {[&] { return boolean(u"0"); }, u"F"},
        {[&] { return boolean(u"TRUE"); }, 16},
        {[&] { return boolean(u""); }, 16},
        {[&] { return boolean(u"2"); }, 16},
        {[&] { return boolean(u"01"); }, 16},
        {[&] { return str(S::ToString(static_cast<unsigned int>(-1))); }, u"4294967295"},
        {[&] { return str(S::ToString(1e-7)); }, u"0.000000"},
        {[&] { return str(S::ToString(static_cast<char>(0xE9))); }, u"\u00E9"},
        // `long` is a signed number; `long long` is the host platform's 64-bit integer, printed unsigned.
        {[&] { return str(S::ToString(static_cast<long>(INT32_MIN))); }, u"-2147483648"},
        {[&] { return str(S::ToString(-5LL)); }, u"18446744073709551611"},
        {[&] { return str(S::ToString(18446744073709551615ull)); }, u"18446744073709551615"},
        // The largest doubles need more than the usual 256 bytes: every digit is written.
        {[&] { return str(S::ToString(-DBL_MAX)).substr(0, 17) + digits(S::ToString(-DBL_MAX).GetLength()); },
         u"-1797693134862315"
         u"317"},
    };
    check(rows);
}

// The code ToHexBinary threw (0: none) and the three bytes, preset 0xEE, afterwards.
std::u16string hexInto(const char16_t* text, unsigned room) {
    unsigned char out[3] = {0xEE, 0xEE, 0xEE};
    int code = 0;
    try {
        SimpleType::ToHexBinary(DOMBTString(text), out, room);
    } catch (const xercesc::DOMException& e) {
        code = e.code;
    }
    return digits(code) + u" " + SimpleType::ToString(out, 3).str();
}

TEST(SimpleType, HexBinary) {
    const unsigned char data[] = {0x00, 0xAB, 0x7F, 0x10};
    check({
        {[] { return hexInto(u"0aFF", 2); }, u"0 0AFFEE"},
        {[] { return hexInto(u"0aFF", 1); }, u"9 EEEEEE"},         // too little room: refused before storing
        {[] { return hexInto(u"abc", 3); }, u"9 EEEEEE"},          // odd length
        {[] { return hexInto(u"12zz", 3); }, u"9 12EEEE"},         // bytes already stored stay stored
        {[] { return hexInto(u"\u0661\u0662", 3); }, u"9 EEEEEE"}, // other scripts' digits are no hex
        {[&] { return SimpleType::ToString(data, 4).str(); }, u"00AB7F10"},
        {[] { return SimpleType::ToString(nullptr, 4).str(); }, u""},
        {[] { return SimpleType::chToString('%').str(); }, u"25"},
        {[] { return SimpleType::chToString('q').str(); }, u"q"},
        {[] { return SimpleType::chToString(static_cast<char>(0xE9)).str(); }, u"E9"},
    });
    // No buffer: nothing can be stored.
    EXPECT_EQ(domExceptionCode([] { SimpleType::ToHexBinary(DOMBTString(u"00"), nullptr, 8); }), 9);
}

// The conversions the host performs.
class HostConversions : public testing_support::RegistrationTest {};

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
    const auto fixed = [](int64_t v) { return digits(v); };
    const std::vector<Row> rows = {
        {[&] { return fixed(Kw::StringToFixed(POINTS, DOMBTString(u"3p6"), 0)); },
         digits(42 * kwhost::FIXED_ONE)},
        {[] { return SimpleType::ToString(72 * kwhost::FIXED_ONE, DECIMAL_INCHES, 0).str(); }, u"1in"},
        {[&] { return fixed(Kw::StringToFixed(POINTS, DOMBTString(), 2)); }, u"0"},
        {[&] { return fixed(Kw::StringToFixed(POINTS, DOMBTString(std::u16string(5000, u'9').c_str()), 0)); },
         16},
        {[] { return Kw::FixedToString(99, 0, 0).str(); }, 16}, // unknown unit
        {[&] { return fixed(SimpleType::ToEnum(DOMBTString(u"Left"), align)); }, u"0"},
        {[&] { return Kw::EnumToString(align, 7).str(); }, u"Centre"}, // the first with 7
        {[&] { return Kw::EnumToString(align, 2).str(); }, 16},
        {[&] { return fixed(Kw::StringToEnum(DOMBTString(u"kw:Long"), DOMBTString(longText.c_str()))); },
         u"1"},
        {[&] { return Kw::EnumToString(DOMBTString(u"kw:Long"), 1).str(); }, 16},
    };
    check(rows);
}

// Every standard integer type means the host's signed 32-bit number; one it cannot hold is refused.
TEST_F(HostConversions, unsignedAndSizeTypesCompileAndWriteTheHostsNumberOrAreRefusedWhole) {
    const Kw::ElementRef box = Kw::ElementRef::fromHandle(host.find("project/layout/spread/page/box"));
    const Kw::StringKey key(u"count");
    const auto written = [&](auto value) {
        box.SetAttribute(key, u"before");
        try {
            box.SetAttribute(key, value);
        } catch (const xercesc::DOMException&) {
            EXPECT_EQ(box.GetAttribute(key).str(), u"before") << "written although refused";
            throw;
        }
        return box.GetAttribute(key).str();
    };
    const std::vector<Row> rows = {
        {[&] { return written(5u); }, u"5"},
        {[&] { return written(UINT32_MAX); }, 16},
        {[&] { return written(uint32_t{INT32_MAX}); }, u"2147483647"},
        {[&] { return written(size_t{42}); }, u"42"},
        {[&] { return written(UINT64_MAX); }, 16},
        // `long` is 64 bits wide on LP64 systems: it still means the host's signed 32-bit number.
        {[&] { return written(-7L); }, u"-7"},
        {[&] { return written(static_cast<long>(INT32_MAX) + 1); }, 16},
        {[&] { return written(static_cast<long long>(INT32_MIN) - 1); }, 16},
    };
    check(rows);
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
