#include "text/ICUConverter.hpp"

#include "TextTestSupport.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace ZuText {
namespace {

using testing::fromUnicode;
using testing::toUnicode;

constexpr uint32_t kWindows1252 = 0, kUtf8 = 3, kUtf16BE = 4, kShiftJis = 8, kJis = 10;

TEST(ICUConverter, StatusValues) {
    {
        SCOPED_TRACE("converted completely");
        ICUConverter c(kWindows1252, Direction::fromUnicode, false, true);
        const auto r = fromUnicode(c, u"caf\u00E9\u20AC");
        EXPECT_EQ(r.status, kConverted);
        EXPECT_EQ(r.bytes, "caf\xE9\x80");
        EXPECT_EQ(r.consumed, 5u);
    }
    {
        SCOPED_TRACE("substituted");
        ICUConverter c(kWindows1252, Direction::fromUnicode, false, true);
        const auto r = fromUnicode(c, u"a\u4E00b");
        EXPECT_EQ(r.status, kSubstituted);
        EXPECT_EQ(r.bytes, "a\x1A"
                           "b"); // ICU's substitution byte for windows-1252
    }
    {
        SCOPED_TRACE("pending without flush");
        ICUConverter c(kShiftJis, Direction::toUnicode, false, true);
        const auto r = toUnicode(c, "a\x82\xA0\x82", false);
        EXPECT_EQ(r.status, kPending);
        EXPECT_EQ(r.units, u"a\u3042");
        EXPECT_EQ(r.consumed, 4u);
        uint32_t pending = 0;
        EXPECT_EQ(c.CountPending(pending), kConverted);
        EXPECT_EQ(pending, 1u);
        const auto rest = toUnicode(c, "\xA2", true);
        EXPECT_EQ(rest.status, kConverted);
        EXPECT_EQ(rest.units, u"\u3044");
    }
    {
        SCOPED_TRACE("substituted and pending");
        ICUConverter c(kUtf8, Direction::toUnicode, false, true);
        const auto r = toUnicode(c,
                                 "\xFF"
                                 "a\xE3\x81",
                                 false);
        EXPECT_EQ(r.status, kSubstitutedPending);
        EXPECT_EQ(r.units, u"\uFFFDa");
    }
    {
        SCOPED_TRACE("stopped at the invalid sequence");
        ICUConverter c(kWindows1252, Direction::fromUnicode, false, false);
        const auto r = fromUnicode(c, u"ab\U0001F600c");
        EXPECT_EQ(r.status, kStopped);
        EXPECT_EQ(r.bytes, "ab");
        EXPECT_EQ(r.consumed, 2u);
        char16_t bad[kMaxInvalidChars];
        uint32_t length = kMaxInvalidChars;
        EXPECT_EQ(c.GetInvalidChars(bad, length), kConverted);
        EXPECT_EQ(std::u16string(bad, length), u"\U0001F600");
    }
    {
        SCOPED_TRACE("stopped to Unicode");
        ICUConverter c(kUtf8, Direction::toUnicode, false, false);
        const auto r = toUnicode(c, "ok\xC3\x28!");
        EXPECT_EQ(r.status, kStopped);
        EXPECT_EQ(r.units, u"ok");
        EXPECT_EQ(r.consumed, 2u);
        char bad[kMaxInvalidChars];
        uint32_t length = kMaxInvalidChars;
        EXPECT_EQ(c.GetInvalidChars(bad, length), kConverted);
        EXPECT_EQ(std::string(bad, length), "\xC3");
    }
    {
        SCOPED_TRACE("truncated at flush in stop mode");
        ICUConverter c(kShiftJis, Direction::toUnicode, false, false);
        const auto r = toUnicode(c, "a\x82", true);
        EXPECT_EQ(r.status, kStopped);
        EXPECT_EQ(r.units, u"a");
        EXPECT_EQ(r.consumed, 1u);
    }
    {
        SCOPED_TRACE("no room");
        ICUConverter c(kWindows1252, Direction::fromUnicode, false, true);
        const auto r = fromUnicode(c, u"abc", true, 3);
        EXPECT_EQ(r.status, kNoRoom);
        EXPECT_EQ(r.consumed, 0u);
    }
    {
        SCOPED_TRACE("bad arguments");
        ICUConverter c(kWindows1252, Direction::fromUnicode, false, true);
        char out[4] = {'x', 'x', 'x', 'x'};
        uint32_t consumed = 3, written = 4;
        EXPECT_EQ(c.ConvertBuffer(nullptr, consumed, out, written, true), kConversionError);
        EXPECT_EQ(out[0], '\0');
        EXPECT_EQ(consumed + written, 0u);
        consumed = 3, written = 0;
        EXPECT_EQ(c.Convert(u"abc", consumed, out, written, true), kNoRoom);
        consumed = 3, written = 4;
        EXPECT_EQ(c.Convert(u"abc", consumed, nullptr, written, true), kNoRoom);
    }
}

// Identifier 20 has no name, 21 is resolved before a converter is made, and these names are not in
// ICU's data: every such converter is an object that refuses.
TEST(ICUConverter, UnknownEncodingNamesAnswerFiveOrFour) {
    for (uint32_t id : {11u, 12u, 20u, 21u, 34u, 35u, 36u, 37u, 38u, 39u, 43u, 45u, 46u, 50u}) {
        SCOPED_TRACE(id);
        ICUConverter c(id, Direction::fromUnicode, false, true);
        EXPECT_FALSE(c.IsOpen());
        char out[8] = {'x'};
        uint32_t consumed = 1, written = sizeof out;
        EXPECT_EQ(c.ConvertBuffer(u"a", consumed, out, written, true), kNoConverter);
        EXPECT_EQ(out[0], '\0');
        EXPECT_EQ(c.Convert(u"a", consumed, out, written, true), kNoRoom); // lengths were zeroed
        bool fallback;
        uint32_t n = 8;
        uint8_t minSize, maxSize, starters[256];
        EXPECT_EQ(c.Reset(), kQueryFailed);
        EXPECT_EQ(c.UsesFallback(fallback), kQueryFailed);
        EXPECT_EQ(c.GetSubstitutionChars(out, n), kQueryFailed);
        EXPECT_EQ(c.CountPending(n), kQueryFailed);
        EXPECT_EQ(c.GetMaxOutputSize(10, n), kQueryFailed);
        EXPECT_EQ(c.GetInvalidChars(out, n), kQueryFailed);
        EXPECT_EQ(c.GetCharSizeInfo(minSize, maxSize, starters), kQueryFailed);
        void* allocated = &n;
        consumed = 1;
        EXPECT_EQ(c.ConvertAllocating(u"a", consumed, allocated, n, true), kQueryFailed);
        EXPECT_EQ(allocated, nullptr);
        uint32_t encoding = 0;
        EXPECT_EQ(c.GetEncoding(encoding), kConverted);
        EXPECT_EQ(encoding, id);
    }
    for (uint32_t id = 0; id < 52; ++id) {
        const bool expectedOpen = !(id == 11 || id == 12 || id == 20 || id == 21 || (id >= 34 && id <= 39) ||
                                    id == 43 || id == 45 || id == 46 || id == 50);
        EXPECT_EQ(ICUConverter(id, Direction::toUnicode, false, true).IsOpen(), expectedOpen) << id;
    }
}

TEST(ICUConverter, CapacityOneReceivesOnlyTheTerminator) {
    for (Direction d : {Direction::toUnicode, Direction::fromUnicode}) {
        ICUConverter c(kShiftJis, d, false, true);
        char16_t units[3] = {u'\x1111', u'\x2222', u'\x3333'};
        char bytes[3] = {'x', 'y', 'z'};
        uint32_t consumed = 2, written = 1;
        const Status status = d == Direction::toUnicode
                                  ? c.ConvertBuffer("ab", consumed, units, written, true)
                                  : c.ConvertBuffer(u"ab", consumed, bytes, written, true);
        EXPECT_EQ(status, kNoRoom);
        EXPECT_EQ(consumed, 0u);
        EXPECT_EQ(written, 0u);
        if (d == Direction::toUnicode) {
            EXPECT_EQ(units[0], 0);
            EXPECT_EQ(units[1], u'\x2222');
        } else {
            EXPECT_EQ(bytes[0], 0);
            EXPECT_EQ(bytes[1], 'y');
        }
        // An empty source fits: only the terminator is written, and the call succeeds.
        consumed = 0, written = 1;
        const Status empty = d == Direction::toUnicode ? c.ConvertBuffer("", consumed, units, written, true)
                                                       : c.ConvertBuffer(u"", consumed, bytes, written, true);
        EXPECT_EQ(empty, kConverted);
        EXPECT_EQ(written, 1u);
    }
}

// Every capacity below what the text needs fails cleanly without touching the byte after the
// capacity, and the converter is left as it was: a retry with enough room gives the whole text.
TEST(ICUConverter, NoRoomNeverWritesPastTheCapacityAndLosesNothing) {
    struct Case {
        uint32_t id;
        Direction direction;
        std::string bytes;
        std::u16string units;
    };
    const Case cases[] = {
        {kJis, Direction::fromUnicode, "", u"abc\u65E5\u672C\u8A9Exyz\u3042"},
        {kUtf8, Direction::fromUnicode, "", u"a\U0001F600\u00E9\u4E00"},
        {kShiftJis, Direction::toUnicode, "ab\x93\xFA\x96\x7B\x8C\xEA\xB1", u""},
        {kUtf16BE, Direction::toUnicode,
         std::string("\x00"
                     "a\xD8\x3D\xDE\x00\x00z",
                     8),
         u""},
    };
    for (const Case& k : cases) {
        const bool toU = k.direction == Direction::toUnicode;
        ICUConverter reference(k.id, k.direction, false, true);
        const auto whole = toU ? toUnicode(reference, k.bytes) : fromUnicode(reference, k.units);
        ASSERT_TRUE(Succeeded(whole.status));
        const uint32_t needed = static_cast<uint32_t>((toU ? whole.units.size() : whole.bytes.size()) + 1);
        for (uint32_t capacity = 1; capacity < needed; ++capacity) {
            SCOPED_TRACE(::testing::Message() << "encoding " << k.id << " capacity " << capacity);
            ICUConverter c(k.id, k.direction, false, true);
            // A first call without flush leaves state behind (a lead byte or a shift state) to be kept.
            const size_t split = toU ? k.bytes.size() / 2 : k.units.size() / 2;
            std::u16string units(needed + 4, u'\xAAAA');
            std::string bytes(needed + 4, '\xAA');
            uint32_t consumed = static_cast<uint32_t>(split), written = needed;
            Status first = toU ? c.ConvertBuffer(k.bytes.data(), consumed, units.data(), written, false)
                               : c.ConvertBuffer(k.units.data(), consumed, bytes.data(), written, false);
            ASSERT_TRUE(Succeeded(first));
            const std::u16string firstUnits = units.substr(0, written - 1);
            const std::string firstBytes = bytes.substr(0, written - 1);
            units.assign(needed + 4, u'\xAAAA');
            bytes.assign(needed + 4, '\xAA');
            consumed = static_cast<uint32_t>((toU ? k.bytes.size() : k.units.size()) - split);
            written = capacity;
            const Status second =
                toU ? c.ConvertBuffer(k.bytes.data() + split, consumed, units.data(), written, true)
                    : c.ConvertBuffer(k.units.data() + split, consumed, bytes.data(), written, true);
            if (second == kNoRoom) {
                EXPECT_EQ(consumed + written, 0u);
                if (toU) {
                    EXPECT_EQ(units[0], 0);
                } else {
                    EXPECT_EQ(bytes[0], 0);
                }
                consumed = static_cast<uint32_t>((toU ? k.bytes.size() : k.units.size()) - split);
                written = needed + 4;
                ASSERT_TRUE(Succeeded(
                    toU ? c.ConvertBuffer(k.bytes.data() + split, consumed, units.data(), written, true)
                        : c.ConvertBuffer(k.units.data() + split, consumed, bytes.data(), written, true)));
            } else {
                ASSERT_TRUE(Succeeded(second));
            }
            if (toU) {
                EXPECT_EQ(firstUnits + units.substr(0, written - 1), whole.units);
            } else {
                EXPECT_EQ(firstBytes + bytes.substr(0, written - 1), whole.bytes);
            }
        }
    }
}

TEST(ICUConverter, GuardAfterTheCapacityStaysUntouched) {
    const std::u16string text = u"\u65E5\u672C\u8A9E and \u00E9\u20AC";
    for (uint32_t id : {kWindows1252, kUtf8, kShiftJis, kJis, 49u /* gb18030 */}) {
        for (uint32_t capacity = 1; capacity < 40; ++capacity) {
            ICUConverter c(id, Direction::fromUnicode, false, true);
            std::string out(capacity + 8, '\x5A');
            uint32_t consumed = static_cast<uint32_t>(text.size()), written = capacity;
            c.ConvertBuffer(text.data(), consumed, out.data(), written, true);
            EXPECT_EQ(out.substr(capacity), std::string(8, '\x5A')) << id << " " << capacity;
            EXPECT_LE(written, capacity);
        }
    }
}

TEST(ICUConverter, GetMaxOutputSize) {
    struct Case {
        uint32_t id;
        Direction direction;
        uint32_t input;
        uint32_t expected;
    };
    const Case cases[] = {
        {kWindows1252, Direction::fromUnicode, 10, 11},
        {kShiftJis, Direction::fromUnicode, 10, 21},
        {kUtf8, Direction::fromUnicode, 10, 31},
        // Stateful: room for the shift sequences as well, (10 + 10) * 6 + 1; see ConvertAllocating below.
        {kJis, Direction::fromUnicode, 10, 121},
        {kShiftJis, Direction::toUnicode, 10, 21},
        {kUtf16BE, Direction::toUnicode, 10, 11},
        {6 /* UTF-32BE */, Direction::toUnicode, 10, 6},
    };
    for (const Case& k : cases) {
        ICUConverter c(k.id, k.direction, false, true);
        uint32_t size = 0;
        EXPECT_EQ(c.GetMaxOutputSize(k.input, size), kConverted);
        EXPECT_EQ(size, k.expected) << k.id;
    }
    // Units held back count as input still to come.
    ICUConverter c(kShiftJis, Direction::toUnicode, false, true);
    toUnicode(c, "\x82", false);
    uint32_t size = 0;
    EXPECT_EQ(c.GetMaxOutputSize(10, size), kConverted);
    EXPECT_EQ(size, 23u);
    EXPECT_EQ(c.GetMaxOutputSize(UINT32_MAX, size), kQueryFailed);
}

TEST(ICUConverter, CharacterQueries) {
    ICUConverter sjis(kShiftJis, Direction::toUnicode, true, true);
    uint8_t minSize = 0, maxSize = 0, starters[256];
    EXPECT_EQ(sjis.GetCharSizeInfo(minSize, maxSize, starters), kConverted);
    EXPECT_EQ(minSize, 1);
    EXPECT_EQ(maxSize, 2);
    EXPECT_EQ(starters[0x82], 1);
    EXPECT_EQ(starters[0x41], 0);
    bool fallback = false;
    EXPECT_EQ(sjis.UsesFallback(fallback), kConverted);
    EXPECT_TRUE(fallback);

    ICUConverter utf8(kUtf8, Direction::fromUnicode, false, true);
    std::memset(starters, 7, sizeof starters);
    EXPECT_EQ(utf8.GetCharSizeInfo(minSize, maxSize, starters), kConverted); // ICU has no starters for UTF-8
    EXPECT_EQ(starters[0x41] + starters[0xE3], 0);
    char subst[8];
    uint32_t length = sizeof subst;
    EXPECT_EQ(utf8.GetSubstitutionChars(subst, length), kConverted);
    EXPECT_EQ(std::string(subst, length), "\xEF\xBF\xBD");
    length = 2;
    EXPECT_EQ(utf8.GetSubstitutionChars(subst, length), kQueryFailed);

    // Substitution bytes of the caller: refused when shorter than the minimum character size.
    ICUConverter custom(kShiftJis, Direction::fromUnicode, false, true, "\x81\x48", 2);
    EXPECT_EQ(fromUnicode(custom, u"a\U0001F600").bytes, "a\x81\x48");
    ICUConverter utf16(kUtf16BE, Direction::fromUnicode, false, true, "?", 1);
    length = sizeof subst;
    EXPECT_EQ(utf16.GetSubstitutionChars(subst, length), kConverted);
    EXPECT_EQ(std::string(subst, length), "\xFF\xFD");
}

TEST(ICUConverter, ConvertCharacterAndConvertAllocating) {
    ICUConverter utf8(kUtf8, Direction::fromUnicode, false, true);
    char out[8];
    uint32_t consumed = 3, written = sizeof out;
    EXPECT_EQ(utf8.ConvertCharacter(u"\U0001F600x", consumed, out, written, true), kConverted);
    EXPECT_EQ(consumed, 2u);
    EXPECT_EQ(std::string(out, written), std::string("\xF0\x9F\x98\x80", 5));
    consumed = 2, written = sizeof out;
    EXPECT_EQ(utf8.ConvertCharacter(u"ab", consumed, out, written, true), kConverted);
    EXPECT_EQ(consumed, 1u);
    EXPECT_EQ(std::string(out), "a");

    ICUConverter sjis(kShiftJis, Direction::toUnicode, false, true);
    char16_t units[4];
    consumed = 2, written = 1;
    EXPECT_EQ(sjis.ConvertCharacter("\x82\xA0", consumed, units, written, true), kNoRoom);
    EXPECT_EQ(consumed + written, 0u);
    consumed = 2, written = 4;
    EXPECT_EQ(sjis.ConvertCharacter("\x82\xA0", consumed, units, written, true), kConverted);
    EXPECT_EQ(std::u16string(units, written), std::u16string(u"\u3042\0", 2));

    for (uint32_t id : {kUtf8, kJis, kShiftJis, 2u /* UTF-7 */}) {
        ICUConverter c(id, Direction::fromUnicode, false, true);
        void* buffer = nullptr;
        consumed = 1, written = 0;
        const Status status = c.ConvertAllocating(u"\u65E5", consumed, buffer, written, true);
        ASSERT_EQ(status, kConverted) << id;
        ASSERT_NE(buffer, nullptr);
        ICUConverter reference(id, Direction::fromUnicode, false, true);
        EXPECT_EQ(std::string(static_cast<char*>(buffer), written - 1),
                  fromUnicode(reference, u"\u65E5").bytes);
        std::free(buffer);
    }
}

TEST(ICUConverter, OffsetsCountFromUnitsHeldBack) {
    ICUConverter c(kShiftJis, Direction::toUnicode, false, true);
    char16_t out[8];
    int32_t offsets[8];
    uint32_t consumed = 4, written = 8;
    ASSERT_EQ(c.ConvertBuffer("a\x82\xA0\x82", consumed, out, written, false, offsets), kPending);
    ASSERT_EQ(written, 3u);
    EXPECT_EQ(offsets[0], 0);
    EXPECT_EQ(offsets[1], 1);
    consumed = 2, written = 8;
    ASSERT_EQ(c.ConvertBuffer("\xA2z", consumed, out, written, true, offsets), kConverted);
    ASSERT_EQ(written, 3u);
    EXPECT_EQ(offsets[0], 0); // from the held-back lead byte
    EXPECT_EQ(offsets[1], 2); // "z": index 1 of this source, after one held-back byte
}

} // namespace
} // namespace ZuText
