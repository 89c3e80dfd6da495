// The "first/second" read straight from UTF-16, against the 8-bit route (ICU's windows-1252, sscanf).
#include <DOMKw/bridge/ObjectRef.hpp>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bridge/PairText.hpp"
#include "common/HostFixture.hpp"

using namespace Kw;

namespace {

struct Pair {
    int64_t first = 0, second = 0;
    bool operator==(const Pair& o) const { return first == o.first && second == o.second; }
};

// The 8-bit route: "%ld/%ld", each number's low 32 bits kept, sign-extended.
Pair through8Bit(const std::u16string& text) {
    const DOMBTString s(text.data(), 0, static_cast<long>(text.size()));
    unsigned char bytes[256];
    s.GetUCharC(bytes, sizeof bytes - 1);
    bytes[sizeof bytes - 1] = 0;
    long a = 0, b = 0;
    std::sscanf(reinterpret_cast<const char*>(bytes), "%ld/%ld", &a, &b);
    Pair pair;
    pair.first = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(a)));
    pair.second = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(b)));
    return pair;
}

std::string printable(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += c >= 0x20 && c < 0x7F ? std::string(1, char(c)) : "\\" + std::to_string(c);
    return out;
}

const std::vector<std::u16string>& edgeTexts() {
    static const std::vector<std::u16string> texts = [] {
        std::vector<std::u16string> t = {
            u"", u"12/-3", u"4", u"x/5", u"2147483648/1", u" 8 / 9", u"-1/-1", u"+5/+6", u"5/ 6", u"5 /6",
            u" \t\n5/\v\f\r-6", u"--5/1", u"+-5/1", u"-/5", u"/5", u"5/", u"5//6", u"0005/0006", u"-0/-0",
            u"4294967295/4294967296", u"4294967297/-4294967297", u"9223372036854775807/9223372036854775808",
            u"-9223372036854775808/-9223372036854775809", u"18446744073709551615/18446744073709551616",
            u"123456789012345678901234567890/-123456789012345678901234567890", u"2147483647/-2147483648",
            u"-2147483649/2147483648", u"7x/8", u"7/8x", u"7/8/9", u"\x1A" u"5/6", u"\x7F" u"5", u"5/\x7F" u"6",
            u"\u00A05/6", u"5/\u00A06", u"\uFF11/\uFF12", u"\u22125/6", u"5/\u22126", u"\u00B2/3", u"\u0660/1",
            u"\U0001F600" u"5", u"5/\U0001F600", u"\xD800" u"5/6", u"5/\xDC00", u"5/6\u00E9", u"\u00E95/6",
            u"\u20AC", u"\u0085" u"5/6", u"5\u00AD/6", u"+\uFF15",
            std::u16string(u"5\0/6", 4), std::u16string(u"\0" u"5/6", 4), std::u16string(u"5/\0" u"6", 4),
        };
        // Around the 255th unit: padding, then a number cut by the end of what the 8-bit route sees.
        for (size_t pad = 248; pad <= 258; ++pad) {
            t.push_back(std::u16string(pad, u' ') + u"12/34");
            t.push_back(u"7/" + std::u16string(pad, u'0') + u"999");
            t.push_back(std::u16string(pad, u'1') + u"/2");
            t.push_back(u"9/" + std::u16string(pad, u' ') + u"\u00E9");
            t.push_back(std::u16string(pad, u'\t') + u"\uFF11");
        }
        return t;
    }();
    return texts;
}

// Random texts: units the read treats specially, any ASCII unit, and units outside ASCII.
std::u16string randomText(std::mt19937& rng) {
    static const char16_t special[] = u"0123456789 \t\n\v\f\r+-/x";
    static const char16_t foreign[] = {0x00A0, 0xFF10, 0xFF11, 0xFF0B, 0xFF0D, 0xFF0F, 0x2212, 0x00B2, 0x0660,
                                       0xD83D, 0xDE00, 0x0085, 0x00E9, 0x20AC, 0x2044, 0x3000, 0x2002, 0xFFFD};
    std::uniform_int_distribution<int> kind(0, 99);
    std::uniform_int_distribution<int> ascii(0, 0x7F);
    const int lengthKind = kind(rng);
    size_t length = lengthKind < 90 ? static_cast<size_t>(kind(rng) % 24) : 240 + static_cast<size_t>(kind(rng) % 30);
    std::u16string text;
    for (size_t i = 0; i < length; ++i) {
        const int k = kind(rng);
        if (k < 80)
            text += special[static_cast<size_t>(kind(rng)) % (sizeof special / sizeof special[0] - 1)];
        else if (k < 92)
            text += static_cast<char16_t>(ascii(rng));
        else
            text += foreign[static_cast<size_t>(kind(rng)) % (sizeof foreign / sizeof foreign[0])];
    }
    return text;
}

class PairText : public testing_support::HostTest {};

// The direct read answers as the 8-bit route whenever it answers, and leaves to that route only texts
// with a unit outside ASCII; GetAttributeDoubleRef reads through the host as the 8-bit route does.
TEST_F(PairText, ReadsWhatTheEightBitRouteReads) {
    const ElementRef box = ElementRef::fromHandle(host.find("project/layout/spread/page/box"));
    const StringKey bounds(u"bounds");
    std::mt19937 rng(20261207);
    std::vector<std::u16string> texts = edgeTexts();
    const size_t edges = texts.size();
    for (int i = 0; i < 200000; ++i) texts.push_back(randomText(rng));
    size_t direct = 0, handedOver = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::u16string& text = texts[i];
        const Pair expected = through8Bit(text);
        // The host's texts end at their first zero unit.
        if ((i < edges || i % 64 == 0) && text.find(u'\0') == std::u16string::npos) {
            box.SetAttribute(bounds, DOMBTString(text.c_str()));
            const ObjectRef::DoubleRef pair = box.GetAttributeDoubleRef(bounds);
            EXPECT_TRUE((Pair{pair.first, pair.second} == expected)) << "through the host: " << printable(text);
        }
        int32_t first = 12345, second = 12345;
        if (!readPairText(text.data(), text.size(), first, second)) {
            ++handedOver;
            bool foreignUnit = false;
            for (char16_t c : text) foreignUnit |= c >= 0x80;
            EXPECT_TRUE(foreignUnit) << printable(text);
            EXPECT_EQ(first, 12345);
            continue;
        }
        ++direct;
        EXPECT_TRUE((Pair{first, second} == expected))
            << printable(text) << " read " << first << "/" << second << ", the 8-bit route " << expected.first
            << "/" << expected.second;
    }
    EXPECT_GT(direct, texts.size() * 3 / 4);
    std::printf("pair texts: %zu read directly, %zu handed to the 8-bit route\n", direct, handedOver);
    // A null text reads as no numbers.
    int32_t first = 1, second = 1;
    ASSERT_TRUE(readPairText(nullptr, 5, first, second));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
}

} // namespace
