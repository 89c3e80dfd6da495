#include <DOMKw/schema/DomSchemaConstants.hpp>
#include <DOMKw/strings/DOMBTString.hpp>

#include <xercesc/util/Base64.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <thread>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/HostFixture.hpp"

using testing_support::domExceptionCode;

namespace {

std::u16string str(const DOMBTString& s) {
    return s.str();
}

// The 8-bit view as text, and the UTF-32 view up to and with its terminator.
std::string bytes(const DOMBTString& s) {
    return reinterpret_cast<const char*>(s.GetUChar());
}
std::vector<unsigned> wide(const DOMBTString& s) {
    const unsigned int* w = s.GetUChar32();
    return std::vector<unsigned>(w, w + s.GetLength() + 1);
}
std::vector<unsigned> wideOf(const std::string& text) {
    std::vector<unsigned> out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

// Every way of changing the text drops both views.
TEST(DOMBTString, ViewsFollowEveryChangeOfTheText) {
    DOMBTString s(u"abc");
    const unsigned char* first = s.GetUChar();
    EXPECT_EQ(s.GetUChar(), first); // unchanged: the same view
    const std::pair<std::function<void(DOMBTString&)>, const char*> changes[] = {
        {[](DOMBTString& t) { t = DOMBTString(u"xy"); }, "xy"},
        {[](DOMBTString& t) { t = static_cast<unsigned short>(u'q'); }, "q"},
        {[](DOMBTString& t) { static_cast<BTStringMutator&>(t) = BTString(u"base"); }, "base"},
        {[](DOMBTString& t) { t.SetTo(u"set", 3); }, "set"},
        {[](DOMBTString& t) { t.SetTo(nullptr, 0); }, ""},
        {[](DOMBTString& t) { t += BTString(u"++"); }, "abc++"},
        {[](DOMBTString& t) { t.FindAndReplace(BTString(u"b"), BTString(u"BB")); }, "aBBc"},
        {[](DOMBTString& t) { DOMBTString(u"0123").Extract(1, 2, t); }, "12"},
        {[](DOMBTString& t) { t.GetBuffer(2)[1] = u'!'; }, "a!"},
        // A string moved onto itself keeps its text.
        {[](DOMBTString& t) { t = std::move(static_cast<DOMBTString&>(t)); }, "abc"},
    };
    for (const auto& [change, expected] : changes) {
        SCOPED_TRACE(expected);
        DOMBTString t(u"abc");
        ASSERT_EQ(bytes(t), "abc");
        ASSERT_EQ(wide(t), wideOf("abc"));
        change(t);
        EXPECT_EQ(bytes(t), expected);
        EXPECT_EQ(wide(t), wideOf(expected));
    }
}

// The source of a move is left empty with no view of the old text, and is an ordinary string again.
TEST(DOMBTString, movesLeaveNoStaleViewAndKeepABufferThatFits) {
    for (bool construct : {true, false}) {
        DOMBTString target(u"old"), source(u"new text");
        ASSERT_EQ(bytes(source), "new text");
        ASSERT_EQ(wide(source), wideOf("new text"));
        if (construct) {
            DOMBTString made(std::move(source));
            target = made;
        } else {
            target = std::move(source);
        }
        EXPECT_EQ(wide(target), wideOf("new text"));
        EXPECT_EQ(bytes(source), "");
        EXPECT_EQ(wide(source), wideOf(""));
        source = DOMBTString(u"again");
        EXPECT_EQ(bytes(source), "again");
    }
    // A cache handed out by a getter is often assigned a fresh value while a caller still holds the old
    // pointer: a text that fits goes into the same buffer; a longer one takes the temporary's over.
    DOMBTString cache(u"a first text longer than any inline buffer");
    const XMLCh* handedOut = cache.GetUChar16();
    cache = DOMBTString(u"a shorter text, still not inline");
    EXPECT_EQ(cache.GetUChar16(), handedOut);
    EXPECT_EQ(std::u16string(handedOut), u"a shorter text, still not inline");
    DOMBTString longer(u"a text far longer than the buffer the cache has had so far, so it is taken over");
    const XMLCh* taken = longer.GetUChar16();
    cache = std::move(longer);
    EXPECT_EQ(cache.GetUChar16(), taken);
}

// Every BMP unit (lone surrogates included) gives ICU's substituting bytes.
TEST(DOMBTString, EightBitViewAndConstructorAgreeWithIcuWindows1252) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* icu = ucnv_open("windows-1252", &status);
    ASSERT_TRUE(U_SUCCESS(status));
    std::u16string units;
    for (uint32_t u = 1; u <= 0xFFFF; ++u) units += static_cast<char16_t>(u);
    units += u"\U0001F600";
    std::string expected(units.size() + 1, '\0');
    expected.resize(
        static_cast<size_t>(ucnv_fromUChars(icu, expected.data(), static_cast<int32_t>(expected.size()),
                                            units.data(), static_cast<int32_t>(units.size()), &status)));
    const DOMBTString text(units.data(), 0, static_cast<long>(units.size()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.GetUChar()), expected.size() + 1),
              expected + std::string(1, '\0'));

    unsigned char all[256];
    for (int i = 1; i < 256; ++i) all[i - 1] = static_cast<unsigned char>(i);
    all[255] = 0;
    DOMBTString s(all, 0, -1);
    UChar decoded[512];
    const int32_t n = ucnv_toUChars(icu, decoded, 512, reinterpret_cast<const char*>(all), 255, &status);
    ucnv_close(icu);
    ASSERT_TRUE(U_SUCCESS(status));
    EXPECT_EQ(str(s), std::u16string(decoded, decoded + n));
    EXPECT_EQ(std::memcmp(s.GetUChar(), all, 256), 0);
    EXPECT_EQ(bytes(DOMBTString()), "");
}

// The text sits in a heap block of exactly its size, so AddressSanitizer sees any overread.
TEST(DOMBTString, aStartPastTheEndOfACStringGivesTheEmptyStringWithoutReadingBeyondIt) {
    std::unique_ptr<XMLCh[]> text(new XMLCh[4]{u'a', u'b', u'c', 0});
    const std::tuple<long, long, std::u16string> cases[] = {
        {0, -1, u"abc"}, {1, -1, u"bc"}, {3, -1, u""}, {4, -1, u""},   {100, -1, u""},
        {1, 100, u"bc"}, {3, 1, u""},    {5, 2, u""},  {-3, 2, u"ab"}, {2, 0, u""},
    };
    for (const auto& [start, count, expected] : cases) {
        EXPECT_EQ(DOMBTString(text.get(), start, count).str(), expected) << start << ", " << count;
    }
    EXPECT_EQ(str(DOMBTString(DOMBTString(u"abcdef"), 2, 3)), u"cde");
    EXPECT_EQ(str(DOMBTString(DOMBTString(u"abc"), 2, 99)), u"c");
}

TEST(DOMBTString, GetUCharCKeepsStrncpyContract) {
    DOMBTString s(u"changed");
    unsigned char buf[8];
    std::memset(buf, 'Z', sizeof buf);
    s.GetUCharC(buf, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "chaZ"); // not terminated
    s.GetUCharC(buf, 8);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "changed");
    EXPECT_EQ(domExceptionCode([&] { s.GetUCharC(nullptr, 8); }), 11);
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

        void* decoded = nullptr;
        unsigned int decodedLength = 0;
        Base64ToBin(encoded, &decoded, decodedLength);
        EXPECT_EQ(decodedLength, length);
        EXPECT_TRUE(length == 0 || std::memcmp(decoded, data.data(), length) == 0) << "length " << length;
        delete[] static_cast<XMLByte*>(decoded);
        // The string form carries each byte as one unit (built as 8-bit text: 0x80 comes back as 0x80).
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(Base64ToBin(encoded).GetUChar()), length), data);
    }
    unsigned int length = 77;
    Base64ToBin(DOMBTString(u"eHl6"), nullptr, length);
    EXPECT_EQ(length, 77u);
    // Malformed text decodes to nothing rather than garbage.
    EXPECT_TRUE(Base64ToBin(DOMBTString(u"not base64!")).IsEmpty());
    EXPECT_TRUE(Base64ToBin(DOMBTString(u"eHl")).IsEmpty());
}


// A shared constant (a key name, a schema constant) is read from any thread: its views are built once
// and never rebuilt or freed under another reader.
TEST(DOMBTString, threadsReadingOneConstStringNeverFreeEachOthersViews) {
    const DOMBTString shared(u"caf\u00e9 cr\u00e8me \u20ac and more text so that the views are not tiny");
    const std::string expected = "caf\xe9 cr\xe8me \x80 and more text so that the views are not tiny";
    const DOMBTString& constant = DomSchemaConstants::kPaperHeightTypeStr;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                const unsigned int* w = shared.GetUChar32();
                if (bytes(shared) != expected || bytes(constant) != "paperHeightType") ++mismatches;
                if (w[0] != u'c' || w[3] != 0xE9u || w[shared.GetLength()] != 0) ++mismatches;
            }
        });
    }
    for (std::thread& r : readers) r.join();
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
