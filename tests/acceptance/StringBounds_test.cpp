// Strings built from a part of a C string: a start or a count that reaches past the text's end gives
// what the text holds and never a read beyond its terminator (AddressSanitizer sees any).
#include <DOMKw/strings/DOMBTString.hpp>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(StringBounds, aStartPastTheEndOfACStringGivesTheEmptyStringWithoutReadingBeyondIt) {
    // The text in a heap block of exactly its size, so that any read past the terminator is reported.
    const std::u16string source = u"abc";
    std::unique_ptr<XMLCh[]> text(new XMLCh[source.size() + 1]);
    std::copy(source.begin(), source.end(), text.get());
    text[source.size()] = 0;
    struct Case {
        long start, count;
        const char16_t* expected;
    };
    const Case cases[] = {
        {0, -1, u"abc"}, {1, -1, u"bc"}, {3, -1, u""}, {4, -1, u""},  {100, -1, u""},
        {1, 100, u"bc"}, {3, 1, u""},    {5, 2, u""},  {-3, 2, u"ab"}, {2, 0, u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DOMBTString(text.get(), c.start, c.count).str(), c.expected) << c.start << ", " << c.count;
}

} // namespace
