#include <DOMKw/schema/DomSchemaConstants.hpp>
#include <DOMKw/strings/DOMBTString.hpp>

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/util/Base64.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace {

std::u16string str(const DOMBTString& s) {
    return s.str();
}

TEST(DOMBTString, ViewsFollowEveryChangeOfTheText) {
    DOMBTString s(u"abc");
    const unsigned char* first = s.GetUChar();
    EXPECT_STREQ(reinterpret_cast<const char*>(first), "abc");
    // The text has not changed: the same view, still readable.
    EXPECT_EQ(s.GetUChar(), first);
    EXPECT_STREQ(reinterpret_cast<const char*>(first), "abc");
    const unsigned int* wide = s.GetUChar32();
    EXPECT_EQ(wide[0], 0x61u);
    EXPECT_EQ(wide[3], 0u);

    // Every way of changing the text drops both views; the next ones show the new text.
    struct Change {
        const char* what;
        std::function<void(DOMBTString&)> apply;
        const char* expected;
    };
    const Change changes[] = {
        {"assignment", [](DOMBTString& t) { t = DOMBTString(u"xy"); }, "xy"},
        {"assignment of one unit", [](DOMBTString& t) { t = static_cast<unsigned short>(u'q'); }, "q"},
        {"base assignment", [](DOMBTString& t) { static_cast<BTStringMutator&>(t) = BTString(u"base"); },
         "base"},
        {"SetTo", [](DOMBTString& t) { t.SetTo(u"set", 3); }, "set"},
        {"SetTo nothing", [](DOMBTString& t) { t.SetTo(nullptr, 0); }, ""},
        {"append", [](DOMBTString& t) { t += BTString(u"++"); }, "abc++"},
        {"FindAndReplace", [](DOMBTString& t) { t.FindAndReplace(BTString(u"b"), BTString(u"BB")); }, "aBBc"},
        {"Extract into it", [](DOMBTString& t) { DOMBTString(u"0123").Extract(1, 2, t); }, "12"},
        {"GetBuffer", [](DOMBTString& t) { t.GetBuffer(2)[1] = u'!'; }, "a!"},
    };
    for (const Change& c : changes) {
        DOMBTString t(u"abc");
        ASSERT_STREQ(reinterpret_cast<const char*>(t.GetUChar()), "abc");
        ASSERT_EQ(t.GetUChar32()[0], 0x61u);
        c.apply(t);
        EXPECT_STREQ(reinterpret_cast<const char*>(t.GetUChar()), c.expected) << c.what;
        const unsigned int* w = t.GetUChar32();
        const std::string expected = c.expected;
        for (size_t i = 0; i <= expected.size(); ++i)
            EXPECT_EQ(w[i], i < expected.size() ? static_cast<unsigned char>(expected[i]) : 0u) << c.what;
    }
}

// A temporary's text is taken over instead of copied: the target shows the new text in every view, the
// source is left empty with no view of the old text, and a string moved onto itself keeps its text.
TEST(DOMBTString, movesTakeTheTextOverAndLeaveNoStaleView) {
    struct Case {
        const char* what;
        std::function<void(DOMBTString& target, DOMBTString& source)> move;
    };
    const std::vector<Case> cases = {
        {"move construction", [](DOMBTString& target, DOMBTString& source) {
             DOMBTString made(std::move(source));
             target = made; // a copy, so that `made` can be checked to hold the text
             EXPECT_EQ(str(made), u"new text");
         }},
        {"move assignment", [](DOMBTString& target, DOMBTString& source) { target = std::move(source); }},
        {"assignment from a temporary", [](DOMBTString& target, DOMBTString& source) {
             target = DOMBTString(source.GetUChar16());
             source = DOMBTString();
         }},
        {"construction from a mutator temporary", [](DOMBTString& target, DOMBTString& source) {
             target = DOMBTString(BTStringMutator(source) + BTString());
             source = DOMBTString();
         }},
    };
    for (const Case& c : cases) {
        DOMBTString target(u"old");
        DOMBTString source(u"new text");
        // Views built before the move belong to the texts as they were.
        ASSERT_STREQ(reinterpret_cast<const char*>(target.GetUChar()), "old");
        ASSERT_EQ(source.GetUChar32()[0], u'n');
        c.move(target, source);
        EXPECT_EQ(str(target), u"new text") << c.what;
        EXPECT_STREQ(reinterpret_cast<const char*>(target.GetUChar()), "new text") << c.what;
        EXPECT_EQ(target.GetUChar32()[4], u't') << c.what;
        EXPECT_EQ(target.GetLength(), 8) << c.what;
        EXPECT_TRUE(source.IsEmpty()) << c.what;
        EXPECT_STREQ(reinterpret_cast<const char*>(source.GetUChar()), "") << c.what;
        EXPECT_EQ(source.GetUChar32()[0], 0u) << c.what;
        // The moved-from string is an ordinary string again.
        source = DOMBTString(u"again");
        EXPECT_STREQ(reinterpret_cast<const char*>(source.GetUChar()), "again") << c.what;
    }
    DOMBTString self(u"self");
    self.GetUChar();
    DOMBTString& alias = self;
    self = std::move(alias);
    EXPECT_EQ(str(self), u"self");
    EXPECT_STREQ(reinterpret_cast<const char*>(self.GetUChar()), "self");
}

// A cache handed out by a getter is often assigned a fresh value while a caller still holds the old
// pointer: a text that fits goes into the same buffer, as copy assignment did; a longer one takes the
// temporary's buffer over.
TEST(DOMBTString, moveAssignmentKeepsTheBufferWhenTheTextFits) {
    DOMBTString cache(u"a first text longer than any inline buffer");
    const XMLCh* handedOut = cache.GetUChar16();
    cache = DOMBTString(u"a shorter text, still not inline");
    EXPECT_EQ(cache.GetUChar16(), handedOut);
    EXPECT_EQ(std::u16string(handedOut), u"a shorter text, still not inline");
    DOMBTString longer(u"a text far longer than the buffer the cache has had so far, so it is taken over");
    const XMLCh* taken = longer.GetUChar16();
    cache = std::move(longer);
    EXPECT_EQ(cache.GetUChar16(), taken);
    EXPECT_TRUE(longer.IsEmpty());
}

// A shared constant (a key name, a schema constant) is read from any thread: its views are built once
// and never rebuilt or freed under another reader.
TEST(DOMBTString, threadsReadingOneConstStringNeverFreeEachOthersViews) {
    const DOMBTString shared(u"caf\u00e9 cr\u00e8me \u20ac and more text so that the views are not tiny");
    const std::string bytes = "caf\xe9 cr\xe8me \x80 and more text so that the views are not tiny";
    const DOMBTString& constant = DomSchemaConstants::kPaperHeightTypeStr;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                const unsigned char* view = shared.GetUChar();
                const unsigned int* wide = shared.GetUChar32();
                if (std::strcmp(reinterpret_cast<const char*>(view), bytes.c_str()) != 0) ++mismatches;
                if (wide[0] != u'c' || wide[3] != 0xE9u || wide[shared.GetLength()] != 0) ++mismatches;
                if (std::strcmp(reinterpret_cast<const char*>(constant.GetUChar()), "paperHeightType") != 0)
                    ++mismatches;
            }
        });
    }
    for (std::thread& r : readers) r.join();
    EXPECT_EQ(mismatches.load(), 0);
    // Every reader ended up with the one published view.
    EXPECT_EQ(shared.GetUChar(), shared.GetUChar());
}

TEST(DOMBTString, EightBitTextRoundTripsThroughTheEightBitView) {
    // Every byte but NUL: read as windows-1252 (as ICU reads it), and given back unchanged by GetUChar.
    UErrorCode status = U_ZERO_ERROR;
    UConverter* icu = ucnv_open("windows-1252", &status);
    ASSERT_TRUE(U_SUCCESS(status));
    unsigned char bytes[256];
    for (int i = 1; i < 256; ++i) bytes[i - 1] = static_cast<unsigned char>(i);
    bytes[255] = 0;
    DOMBTString s(bytes, 0, -1);
    ASSERT_EQ(s.GetLength(), 255);
    UChar expected[512];
    const int32_t n = ucnv_toUChars(icu, expected, 512, reinterpret_cast<const char*>(bytes), 255, &status);
    ucnv_close(icu);
    ASSERT_TRUE(U_SUCCESS(status));
    ASSERT_EQ(n, 255);
    for (int i = 0; i < 255; ++i) EXPECT_EQ(s.CharAt(i), expected[i]) << "byte " << i + 1;
    EXPECT_EQ(s.CharAt(0x7F), u'\u20AC');
    EXPECT_EQ(std::memcmp(s.GetUChar(), bytes, 256), 0);
    // Base64 builds its string form through the same constructor: 0x80 comes back as 0x80.
    const DOMBTString euro = Base64ToBin(DOMBTString(u"gA=="));
    ASSERT_EQ(euro.GetLength(), 1);
    EXPECT_EQ(euro.CharAt(0), u'\u20AC');
    EXPECT_EQ(euro.GetUChar()[0], 0x80);
    EXPECT_EQ(str(BinToBase64(euro.GetUChar(), 1)), u"gA==");
}

TEST(DOMBTString, Utf32ConstructorAndViewKeepLow16Bits) {
    const unsigned int units[] = {0x41, 0x1F600, 0x42, 0, 0x43};
    DOMBTString s(units, -1);
    EXPECT_EQ(str(s), std::u16string(u"A\uF600B"));
    DOMBTString counted(units, 2);
    EXPECT_EQ(str(counted), std::u16string(u"A\uF600"));
    // A 0 unit stops the copy even when the count goes further.
    DOMBTString stopped(units, 5);
    EXPECT_EQ(stopped.GetLength(), 3);
    // Surrogates are not paired in the UTF-32 view.
    DOMBTString pair(u"\U0001F600");
    const unsigned int* v = pair.GetUChar32();
    EXPECT_EQ(v[0], 0xD83Du);
    EXPECT_EQ(v[1], 0xDE00u);
    EXPECT_EQ(v[2], 0u);
}

// A start or a count that reaches past the end of a C string gives what the text holds and never reads
// beyond its terminator: the text sits in a heap block of exactly its size, so AddressSanitizer sees any.
TEST(DOMBTString, aStartPastTheEndOfACStringGivesTheEmptyStringWithoutReadingBeyondIt) {
    const std::u16string source = u"abc";
    std::unique_ptr<XMLCh[]> text(new XMLCh[source.size() + 1]);
    std::copy(source.begin(), source.end(), text.get());
    text[source.size()] = 0;
    const std::tuple<long, long, std::u16string> cases[] = {
        {0, -1, u"abc"}, {1, -1, u"bc"}, {3, -1, u""}, {4, -1, u""},  {100, -1, u""},
        {1, 100, u"bc"}, {3, 1, u""},    {5, 2, u""},  {-3, 2, u"ab"}, {2, 0, u""},
    };
    for (const auto& [start, count, expected] : cases) {
        EXPECT_EQ(DOMBTString(text.get(), start, count).str(), expected) << start << ", " << count;
    }
    EXPECT_EQ(str(DOMBTString(DOMBTString(u"abcdef"), 2, 3)), u"cde");
    EXPECT_EQ(str(DOMBTString(DOMBTString(u"abc"), 2, 99)), u"c");
}

TEST(DOMBTString, HandlesOwnHeapCopies) {
    DOMBTString s(u"handle");
    BTStringRef__* h = s.Release();
    DOMBTString* copy = DOMBTString::GetDOMStringFromBTStringRef(h);
    EXPECT_NE(copy, &s);
    EXPECT_EQ(str(*copy), u"handle");
    EXPECT_EQ(str(DOMBTString(h)), u"handle");
    s = DOMBTString(u"changed");
    EXPECT_EQ(str(*copy), u"handle");
    DOMBTString::DestroyBTStringRef(h);
    DOMBTString::DestroyBTStringRef(nullptr);
    DOMBTString::DestroyBTMutableStringRef(nullptr);
}

TEST(DOMBTString, GetUCharCKeepsStrncpyContract) {
    DOMBTString s(u"abcdef");
    unsigned char buf[8];
    std::memset(buf, 'Z', sizeof buf);
    s.GetUCharC(buf, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "abcZ"); // not terminated
    s.GetUCharC(buf, 8);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "abcdef");
    try {
        s.GetUCharC(nullptr, 8);
        FAIL() << "a null destination must throw";
    } catch (const xercesc::DOMException& e) {
        EXPECT_EQ(e.code, 11);
    }
}

TEST(Base64, AgreesWithXercesOnRandomDataAndHasNoLineFeeds) {
    xercesc::XMLPlatformUtils::Initialize();
    std::mt19937 rng(42);
    for (unsigned length : {0u, 1u, 2u, 3u, 57u, 58u, 100u, 1000u, 4099u}) {
        std::string data(length, '\0');
        for (char& c : data) c = static_cast<char>(rng());
        DOMBTString encoded = BinToBase64(data.data(), length);
        XMLSize_t n = 0;
        XMLByte* reference =
            xercesc::Base64::encode(reinterpret_cast<const XMLByte*>(data.data()), length, &n);
        std::u16string expected;
        for (XMLSize_t i = 0; reference && i < n; ++i)
            if (reference[i] != '\n') expected += static_cast<char16_t>(reference[i]);
        ::operator delete(reference); // Xerces-C's own allocation without a memory manager
        EXPECT_EQ(str(encoded), expected) << "length " << length;
        EXPECT_EQ(encoded.Find(static_cast<XMLCh>(u'\n')), -1);

        void* decoded = nullptr;
        unsigned int decodedLength = 0;
        Base64ToBin(encoded, &decoded, decodedLength);
        if (length == 0) {
            delete[] static_cast<XMLByte*>(decoded);
            continue;
        }
        ASSERT_NE(decoded, nullptr) << "length " << length;
        EXPECT_EQ(decodedLength, length);
        EXPECT_EQ(std::memcmp(decoded, data.data(), length), 0);
        delete[] static_cast<XMLByte*>(decoded);
        // The string form carries each byte as one unit.
        DOMBTString bytes = Base64ToBin(encoded);
        ASSERT_EQ(bytes.GetLength(), static_cast<long>(length));
        EXPECT_EQ(bytes.GetUChar()[0], static_cast<unsigned char>(data[0]));
    }
}

TEST(Base64, EdgeCases) {
    std::string hundred(100, 'x');
    EXPECT_EQ(BinToBase64(hundred.data(), 100).GetLength(), 136);
    unsigned int length = 77;
    Base64ToBin(DOMBTString(u"eHl6"), nullptr, length);
    EXPECT_EQ(length, 77u);
    // Malformed text decodes to nothing rather than garbage.
    EXPECT_TRUE(Base64ToBin(DOMBTString(u"not base64!")).IsEmpty());
    EXPECT_TRUE(Base64ToBin(DOMBTString(u"eHl")).IsEmpty());
    EXPECT_EQ(Base64ToBin(DOMBTString(u"eHl6")).str(), u"xyz");
}

} // namespace
