// What every converter promises: the ICU and the mapping-table Shift_JIS converters, and the cache.

#include "TextTestSupport.hpp"
#include "text/ICUConverter.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace ZuText {
namespace {

using testing::Converted;
using testing::fromUnicode;
using testing::toUnicode;

template <typename Kind> class ConverterContract : public ::testing::Test {
protected:
    std::unique_ptr<IConverter> make(Direction d, bool substitute = true, const char* subst = nullptr,
                                     uint32_t substLength = 0) {
        return CreateConverter(Kind::kId, d, false, substitute, subst, substLength);
    }

    // `in` converted in two calls, split after `split` units, the second into every capacity in turn.
    template <class In, class Out>
    void expectNoRoomLosesNothing(Direction d, const In& in, const Out& whole, size_t split) {
        using Unit = typename Out::value_type;
        const Out guard(4, static_cast<Unit>(0x5A5A));
        const uint32_t rest = static_cast<uint32_t>(in.size() - split);
        for (uint32_t capacity = 1; capacity <= whole.size() + 1; ++capacity) {
            SCOPED_TRACE(::testing::Message() << int(d) << " capacity " << capacity);
            auto c = make(d);
            const Converted first = testing::convert<Out>(*c, in.substr(0, split), false, 0);
            ASSERT_TRUE(Succeeded(first.status));
            Out out(capacity + 4, static_cast<Unit>(0x5A5A));
            uint32_t consumed = rest, written = capacity;
            Status status = c->ConvertBuffer(in.data() + split, consumed, out.data(), written, true);
            EXPECT_EQ(out.substr(capacity), guard) << "written past the capacity";
            if (status == kNoRoom) {
                EXPECT_EQ(consumed + written, 0u);
                EXPECT_EQ(out[0], 0);
                out.assign(whole.size() + 1, 0);
                consumed = rest, written = static_cast<uint32_t>(out.size());
                status = c->ConvertBuffer(in.data() + split, consumed, out.data(), written, true);
            }
            ASSERT_EQ(status, kConverted);
            EXPECT_EQ(first.text<Out>() + out.substr(0, written - 1), whole);
            consumed = 0, written = 1;
            EXPECT_EQ(c->ConvertBuffer(In().data(), consumed, out.data(), written, true), kConverted);
        }
    }

    Kind fKind; // keeps the mapping table registered while the test runs
};

struct IcuShiftJis {
    static constexpr uint32_t kId = 8;
};
struct MappedShiftJis {
    static constexpr uint32_t kId = 57;
    testing::RegisteredMapping fMapping{kId, testing::readFile(testing::samplePath("SHIFT_JIS.map"))};
};
struct KindNames {
    template <typename T> static std::string GetName(int) {
        return std::is_same_v<T, IcuShiftJis> ? "ICU" : "MappingTable";
    }
};
using Kinds = ::testing::Types<IcuShiftJis, MappedShiftJis>;
TYPED_TEST_SUITE(ConverterContract, Kinds, KindNames);

const std::string kBytes = "ab\x82\xA0\x93\xFA\x96\x7B\x8C\xEA!"; // "ab" + hiragana A + three kanji + "!"
const std::u16string kUnits = u"ab\u3042\u65E5\u672C\u8A9E!";

TYPED_TEST(ConverterContract, StatusValuesAndSubstituteVersusStop) {
    char subst[8];
    uint32_t substLength = sizeof subst;
    auto substituting = this->make(Direction::fromUnicode);
    ASSERT_EQ(substituting->GetSubstitutionChars(subst, substLength), kConverted);
    const std::string substituted = "a" + std::string(subst, substLength) + "b";
    testing::expectGave(fromUnicode(*substituting, u"a\U0001F600b"), kSubstituted, u"", substituted, 4);

    auto pending = this->make(Direction::toUnicode);
    testing::expectGave(toUnicode(*pending, "a\x82\xA0\x82", false), kPending, u"a\u3042", "", 4);
    uint32_t held = 0;
    EXPECT_EQ(pending->CountPending(held), kConverted);
    EXPECT_EQ(held, 1u);
    EXPECT_EQ(toUnicode(*pending, "\xA2").units, u"\u3044");

    auto stopping = this->make(Direction::fromUnicode, false);
    testing::expectGave(fromUnicode(*stopping, u"ab\U0001F600c"), kStopped, u"", "ab", 2);
    char16_t bad[kMaxInvalidChars];
    uint32_t badLength = kMaxInvalidChars;
    EXPECT_EQ(stopping->GetInvalidChars(bad, badLength), kConverted);
    EXPECT_EQ(std::u16string(bad, badLength), u"\U0001F600");

    // A lead byte cut off by the end of the text stops a converter that may not substitute.
    testing::expectGave(toUnicode(*this->make(Direction::toUnicode, false), "a\x82"), kStopped, u"a", "", 1);

    char out[4] = {'x', 'x', 'x', 'x'};
    uint32_t consumed = 3, written = 4;
    EXPECT_EQ(substituting->Convert(nullptr, consumed, out, written, true), kConversionError);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(consumed + written, 0u);
    consumed = 3, written = 0;
    EXPECT_EQ(substituting->Convert(u"abc", consumed, out, written, true), kNoRoom);
    consumed = 3, written = 4;
    EXPECT_EQ(substituting->Convert(u"abc", consumed, nullptr, written, true), kNoRoom);
}

// Too little room fails, writes nothing past it and loses nothing (a held-back lead byte included).
TYPED_TEST(ConverterContract, NoRoomNeverWritesPastTheCapacityAndLosesNothing) {
    this->expectNoRoomLosesNothing(Direction::toUnicode, kBytes, kUnits, 3); // leaves a lead byte behind
    this->expectNoRoomLosesNothing(Direction::fromUnicode, kUnits, kBytes, 2);
}

// Offsets point into the caller's source; a byte held back from the call before counts as offset 0.
TYPED_TEST(ConverterContract, OffsetsCountFromUnitsHeldBack) {
    auto c = this->make(Direction::toUnicode);
    char16_t out[8];
    int32_t offsets[8];
    uint32_t consumed = 4, written = 8;
    ASSERT_EQ(c->ConvertBuffer("a\x82\xA0\x82", consumed, out, written, false, offsets), kPending);
    ASSERT_EQ(written, 3u);
    EXPECT_EQ(offsets[0], 0);
    EXPECT_EQ(offsets[1], 1);
    consumed = 2, written = 8;
    ASSERT_EQ(c->ConvertBuffer("\xA2z", consumed, out, written, true, offsets), kConverted);
    ASSERT_EQ(written, 3u);
    EXPECT_EQ(std::u16string(out, 2), u"\u3044z");
    EXPECT_EQ(offsets[0], 0);
    EXPECT_EQ(offsets[1], 2); // "z": index 1 of this source, after one held-back byte

    std::u16string text;
    for (char16_t u = 0x20; u < 0x7F; ++u) text += u;
    text += u"\uFF61\uFF9F\u3000\u4E00\u9ED1" + kUnits + u"\u00E9"; // U+00E9 has no Shift_JIS code
    const Converted fast = fromUnicode(*this->make(Direction::fromUnicode), text);
    std::string bytes(text.size() * 2 + 1, '\0');
    std::vector<int32_t> from(bytes.size(), -1);
    consumed = static_cast<uint32_t>(text.size()), written = static_cast<uint32_t>(bytes.size());
    EXPECT_EQ(this->make(Direction::fromUnicode)
                  ->ConvertBuffer(text.data(), consumed, bytes.data(), written, true, from.data()),
              kSubstituted);
    ASSERT_EQ(bytes.substr(0, written - 1), fast.bytes);
    for (size_t i = 0; i < fast.bytes.size(); ++i) {
        const size_t unit = static_cast<size_t>(from[i]);
        ASSERT_LT(unit, text.size()) << i;
        // Each byte comes from a unit at or after the one before, a letter's or digit's from that character.
        EXPECT_TRUE(i == 0 ? unit == 0 : unit >= static_cast<size_t>(from[i - 1])) << i;
        if (text[unit] < 0x7F && std::isalnum(text[unit])) {
            EXPECT_EQ(fast.bytes[i], static_cast<char>(text[unit])) << i;
        }
    }
    EXPECT_EQ(from[fast.bytes.size() - 1], static_cast<int32_t>(text.size() - 1));
}

TYPED_TEST(ConverterContract, ConvertCharacterAndConvertAllocating) {
    auto toU = this->make(Direction::toUnicode);
    char16_t units[4];
    uint32_t consumed = 2, written = 1;
    EXPECT_EQ(toU->ConvertCharacter("\x82\xA0", consumed, units, written, true), kNoRoom);
    EXPECT_EQ(consumed + written, 0u);
    consumed = 2, written = 4;
    EXPECT_EQ(toU->ConvertCharacter("\x82\xA0", consumed, units, written, true), kConverted);
    EXPECT_EQ(std::u16string(units, written), std::u16string(u"\u3042\0", 2));

    auto fromU = this->make(Direction::fromUnicode);
    char bytes[8];
    consumed = 2, written = sizeof bytes;
    EXPECT_EQ(fromU->ConvertCharacter(u"\u65E5x", consumed, bytes, written, true), kConverted);
    EXPECT_EQ(consumed, 1u);
    EXPECT_EQ(std::string(bytes, written), std::string("\x93\xFA", 3));

    void* allocated = nullptr;
    consumed = 1, written = 0;
    ASSERT_EQ(fromU->ConvertAllocating(u"\u8A9E", consumed, allocated, written, true), kConverted);
    ASSERT_NE(allocated, nullptr);
    EXPECT_EQ(std::string(static_cast<char*>(allocated), written), std::string("\x8C\xEA", 3));
    std::free(allocated);
}

// The substitution bytes are handed back only into room for all of them.
TYPED_TEST(ConverterContract, SubstitutionCharsNeedRoomForAllOfThem) {
    auto c = this->make(Direction::fromUnicode, true, "\x81\x48", 2);
    EXPECT_EQ(fromUnicode(*c, u"a\U0001F600").bytes, "a\x81\x48");
    char chars[4] = {'#', '#', '#', '#'};
    uint32_t length = 2;
    EXPECT_EQ(c->GetSubstitutionChars(chars, length), kConverted);
    EXPECT_EQ(std::string(chars, 3), "\x81\x48#");
    std::fill(chars, chars + 4, '#');
    length = 1;
    EXPECT_EQ(c->GetSubstitutionChars(chars, length), kQueryFailed);
    EXPECT_EQ(chars[1], '#') << "written past the room given";
}

// A trailing lead byte is substituted, not held back; bad arguments and encodings are refused.
TEST(ConverterCache, EntryPointsConvertWholeBuffers) {
    char16_t units[16];
    char bytes[16];
    uint32_t consumed = 2, written = 16;
    ASSERT_TRUE(ConvertToUnicode(8, "a\x82", consumed, units, written));
    EXPECT_EQ(std::u16string(units, written - 1), u"a\x1A");
    consumed = 2, written = 16;
    EXPECT_FALSE(ConvertFromUnicode(8, nullptr, consumed, bytes, written));
    consumed = 1, written = 16;
    EXPECT_FALSE(ConvertFromUnicode(34, u"a", consumed, bytes, written)); // Apple_Symbols does not open
    units[0] = u'x';
    consumed = 1, written = 16;
    EXPECT_FALSE(ToUnicode(59, "a", consumed, units, written));
    EXPECT_EQ(units[0], 0);
    EXPECT_EQ(consumed + written, 0u);
}


// The same guard over ICU's other kinds of encoding: single byte, UTF-8, stateful JIS (shift sequences
// at the end) and gb18030 (four-byte characters).
TEST(ICUConverter, GuardAfterTheCapacityStaysUntouchedInEveryKindOfEncoding) {
    const std::u16string text = u"\u65E5\u672C\u8A9E and \u00E9\u20AC";
    for (uint32_t id : {0u, 3u, 10u, 49u}) {
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

// Conversions from two threads share the one cached converter; the lock covers the conversion as well as
// the lookup, so neither thread can delete the converter the other is using.
TEST(ConverterCache, TwoThreadsAlternatingPairs) {
    auto work = [](bool sjis) {
        for (int i = 0; i < 300; ++i) {
            char16_t units[8];
            char bytes[8];
            uint32_t consumed = 2, written = 8;
            if (sjis) {
                ASSERT_TRUE(ToUnicode(8, "\x82\xA0", consumed, units, written));
                ASSERT_EQ(std::u16string(units, written - 1), u"\u3042");
            } else {
                ASSERT_TRUE(FromUnicode(0, u"\u00E9\u20AC", consumed, bytes, written));
                ASSERT_EQ(std::string(bytes, written - 1), "\xE9\x80");
            }
        }
    };
    std::thread a(work, true), b(work, false);
    a.join();
    b.join();
}

} // namespace
} // namespace ZuText
