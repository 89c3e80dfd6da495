#include <DOMKw/text/TextConversion.hpp>

#include "text/ConverterCache.hpp"

#include "TextTestSupport.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace ZuText {
namespace {

IConverter* cached(uint32_t id, Direction direction) {
    return ConverterCache::Instance().With(id, direction, [](IConverter* c) { return c; });
}

TEST(ConverterCache, SamePairGivesTheSameConverterAndAnotherPairReplacesIt) {
    IConverter* first = cached(0, Direction::fromUnicode);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(cached(0, Direction::fromUnicode), first);

    // Leave the to-Unicode converter with a held-back byte, switch away and back: a fresh converter
    // holds nothing back, so it is a new one.
    ConverterCache::Instance().With(8, Direction::toUnicode, [](IConverter* c) {
        char16_t out[4];
        uint32_t consumed = 1, written = 4;
        EXPECT_EQ(c->ConvertBuffer("\x82", consumed, out, written, false), kPending);
        return 0;
    });
    cached(0, Direction::fromUnicode);
    uint32_t pending = 99;
    cached(8, Direction::toUnicode)->CountPending(pending);
    EXPECT_EQ(pending, 0u);
    EXPECT_EQ(cached(59, Direction::toUnicode), nullptr);
}

// The entry points convert a whole buffer: a trailing lead byte is substituted, not held back; the
// checking entry points refuse bad arguments and encodings that do not open.
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
