// The sample tables entry by entry against ICU and the C library's iconv, both ways.
#include "text/TextFileParser.hpp"

#include "TextTestSupport.hpp"

#include <gtest/gtest.h>
#include <iconv.h>
#include <unicode/ucnv.h>

#include <map>
#include <set>

namespace ZuText {
namespace {

using testing::readFile;
using testing::RegisteredMapping;
using testing::samplePath;

// Where ICU's table disagrees with the C library's (the sample's source); "": ICU refuses the input.
struct KnownDifference {
    std::u16string icuDecodes; // what ICU makes of the file's bytes
    std::string icuEncodes;    // what ICU makes of the file's Unicode text
};

struct Sample {
    const char* file;
    const char* icuName;
    const char* iconvName;
    std::map<uint16_t, KnownDifference> differences; // by byte sequence, high byte first
};

const Sample kSamples[] = {
    {"CP1252.map", "windows-1252", "CP1252", {}},
    {"SHIFT_JIS.map",
     "Shift_JIS",
     "SHIFT_JIS",
     {
         // ICU's Shift_JIS is IBM's ibm-943, which rotates three control codes (0x1A, 0x1C, 0x7F).
         {0x1A, {u"\x1C", "\x7F"}},
         {0x1C, {u"\x7F", "\x1A"}},
         {0x7F, {u"\x1A", "\x1C"}},
         // The C library keeps JIS X 0201 Roman in the single bytes (yen sign and overline); ibm-943
         // keeps ASCII there and has no round trip for U+00A5 and U+203E.
         {0x5C, {u"\\", ""}},
         {0x7E, {u"~", ""}},
         // Six JIS X 0208 symbols: the C library follows JIS, ibm-943 follows Microsoft's code page 932
         // (fullwidth and other look-alikes), and does not take the JIS code points.
         {0x8160, {u"\uFF5E", ""}}, // WAVE DASH U+301C
         {0x8161, {u"\u2225", ""}}, // DOUBLE VERTICAL LINE U+2016
         {0x817C, {u"\uFF0D", ""}}, // MINUS SIGN U+2212
         {0x8191, {u"\uFFE0", ""}}, // CENT SIGN U+00A2
         {0x8192, {u"\uFFE1", ""}}, // POUND SIGN U+00A3
         {0x81CA, {u"\uFFE2", ""}}, // NOT SIGN U+00AC
     }},
    {"EUC-KR.map",
     "EUC-KR",
     "EUC-KR",
     {
         // SS2 and SS3: C1 controls as single bytes in the C library's table; ICU's ibm-970 reserves them.
         {0x8E, {u"", ""}},
         {0x8F, {u"", ""}},
         // Added to KS X 1001 in 1998 (euro sign, registered sign) and 2002 (circled hangul ieung);
         // ibm-970 predates them.
         {0xA2E6, {u"", ""}},
         {0xA2E7, {u"", ""}},
         {0xA2E8, {u"", ""}},
     }},
};

std::string bytesOf(const MappingEntry& e) {
    return std::string(reinterpret_cast<const char*>(e.bytes), e.byteLength);
}
uint16_t keyOf(const MappingEntry& e) {
    return static_cast<uint16_t>(e.byteLength == 2 ? (e.bytes[0] << 8) | e.bytes[1] : e.bytes[0]);
}

std::u16string icuDecode(UConverter* c, const std::string& bytes) {
    UChar out[16];
    UErrorCode error = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(c, out, 16, bytes.data(), static_cast<int32_t>(bytes.size()), &error);
    return U_SUCCESS(error) ? std::u16string(out, static_cast<size_t>(n)) : u"";
}

std::string icuEncode(UConverter* c, const std::u16string& units) {
    char out[16];
    UErrorCode error = U_ZERO_ERROR;
    const int32_t n = ucnv_fromUChars(c, out, 16, units.data(), static_cast<int32_t>(units.size()), &error);
    return U_SUCCESS(error) ? std::string(out, static_cast<size_t>(n)) : "";
}

std::string iconvRun(iconv_t cd, const std::string& in) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string input = in;
    char out[32];
    char* inPtr = input.data();
    size_t inLeft = input.size();
    char* outPtr = out;
    size_t outLeft = sizeof out;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return "<refused>";
    return std::string(out, sizeof out - outLeft);
}

std::string utf16le(const std::u16string& units) {
    std::string out;
    for (char16_t u : units) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

TEST(Differential, SampleTablesAgainstIcuAndIconv) {
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.file);
        const std::string text = readFile(samplePath(sample.file));
        ASSERT_FALSE(text.empty());
        std::string log;
        RegisteredMapping mapping(52, text, &log);
        auto toU = CreateConverter(52, Direction::toUnicode, false, false);
        auto fromU = CreateConverter(52, Direction::fromUnicode, false, false);
        EXPECT_EQ(log, "") << "the generated table is clean";

        UErrorCode error = U_ZERO_ERROR;
        UConverter* icu = ucnv_open(sample.icuName, &error);
        ASSERT_TRUE(U_SUCCESS(error));
        ucnv_setToUCallBack(icu, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
        ucnv_setFromUCallBack(icu, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
        iconv_t decoder = iconv_open("UTF-16LE", sample.iconvName);
        iconv_t encoder = iconv_open(sample.iconvName, "UTF-16LE");
        ASSERT_NE(decoder, reinterpret_cast<iconv_t>(-1));
        ASSERT_NE(encoder, reinterpret_cast<iconv_t>(-1));

        TextFileParser parser(text.data(), text.size(), nullptr);
        MappingHeader header;
        ASSERT_TRUE(parser.ParseHeader(header));
        std::set<uint16_t> seen;
        size_t entries = 0;
        while (auto entry = parser.ParseNextEntry()) {
            ++entries;
            const std::string bytes = bytesOf(*entry);
            const std::u16string units(entry->unicode, entry->unicodeLength);
            const auto known = sample.differences.find(keyOf(*entry));
            SCOPED_TRACE(::testing::Message() << std::hex << "bytes 0x" << keyOf(*entry));

            // Ours gives the table's mapping; ICU agrees but where a difference is listed; iconv agrees.
            const bool same = known == sample.differences.end();
            if (!same) seen.insert(known->first);
            const uint32_t length = static_cast<uint32_t>(bytes.size());
            testing::expectGave(testing::toUnicode(*toU, bytes), kConverted, units, "", length);
            EXPECT_EQ(icuDecode(icu, bytes), same ? units : known->second.icuDecodes);
            EXPECT_EQ(iconvRun(decoder, bytes), utf16le(units));
            if (entry->fallback != kRoundTrip) continue;
            const uint32_t unitCount = static_cast<uint32_t>(units.size());
            testing::expectGave(testing::fromUnicode(*fromU, units), kConverted, u"", bytes, unitCount);
            EXPECT_EQ(icuEncode(icu, units), same ? bytes : known->second.icuEncodes);
            EXPECT_EQ(iconvRun(encoder, utf16le(units)), bytes);
        }
        EXPECT_GT(entries, 200u);
        EXPECT_EQ(seen.size(), sample.differences.size()) << "every listed difference still exists";
        iconv_close(decoder);
        iconv_close(encoder);
        ucnv_close(icu);
    }
}

} // namespace
} // namespace ZuText
