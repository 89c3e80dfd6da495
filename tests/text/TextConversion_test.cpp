// The whole-buffer entry points over the shared converter cache.
#include <DOMKw/text/TextConversion.hpp>

#include "TextTestSupport.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace ZuText {
namespace {

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
