#include "text/TextFileParser.hpp"

#include "TextTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace ZuText {
namespace {

using testing::kDbcsHeader;

struct HeaderCase {
    const char* name;
    std::string text;
    std::string log; // empty: the header is accepted
};

TEST(TextFileParser, HeaderRulesAndTheirLogLines) {
    const std::string rest =
        "SingleByte:0x00-0x7f\nDoubleByteLeadByte:0x81-0x9f\nDoubleByteTrailByte:0x40-0xfc\n";
    const HeaderCase cases[] = {
        {"valid", kDbcsHeader, ""},
        {"capitals, blanks and comments",
         "# a comment\n\n( HEADERSTART )  # start\n\tReplacementChar : 0X3F\n"
         "SingleByte : 0x00 - 0x7F ; 0x80\nDOUBLEBYTELEADBYTE:;\n"
         "DoubleByteTrailByte : 0x20-0x10\n(HeaderEnd)",
         ""},
        {"empty text", "", "Header entries not complete : Last Processed Line 0\r\n"},
        {"no start", "HeaderStart\n", "The Header start was expected : Last Processed Line 1\r\n"},
        {"ends after the start", "# one\n(headerstart)\n  \n",
         "Header entries not complete : Last Processed Line 3\r\n"},
        {"replacement above 0xFFFF", "(headerstart)\nreplacementchar:0x10000\n",
         "The Replacement Character Entry is invalid  : Line No 2\r\n"},
        {"replacement with three parts", "(headerstart)\nreplacementchar:0x3f:0x20\n",
         "The Replacement Character Entry is invalid  : Line No 2\r\n"},
        {"replacement keyword", "(headerstart)\nreplacement:0x3f\n",
         "The Replacement Character Entry is invalid  : Line No 2\r\n"},
        {"0x alone", "(headerstart)\nreplacementchar:0x\n",
         "The Replacement Character Entry is invalid  : Line No 2\r\n"},
        {"state lines out of order", "(headerstart)\nreplacementchar:0x3f\ndoublebyteleadbyte:0x81\n",
         "The Header state entry is incorrect : Line No 3\r\n"},
        {"state value missing", "(headerstart)\nreplacementchar:0x3f\nsinglebyte:\n",
         "The Header state entry is incorrect : Line No 3\r\n"},
        {"state number above 0xFF", "(headerstart)\nreplacementchar:0x3f\nsinglebyte:0x00-0x100\n",
         "The Header state entry is incorrect : Line No 3\r\n"},
        {"range of three numbers", "(headerstart)\nreplacementchar:0x3f\nsinglebyte:0x00-0x10-0x20\n",
         "The Header state entry is incorrect : Line No 3\r\n"},
        {"nine digits", "(headerstart)\nreplacementchar:0x3f\nsinglebyte:0x000000001\n",
         "The Header state entry is incorrect : Line No 3\r\n"},
        {"truncated before the end", "(headerstart)\nreplacementchar:0x3f\n" + rest,
         "Header entries not complete : Last Processed Line 5\r\n"},
        {"wrong end", "(headerstart)\nreplacementchar:0x3f\n" + rest + "(headerstop)\n",
         "The Header end was expected : Last Processed Line 6\r\n"},
        {"CR LF counts once", "(headerstart)\r\n\r\nreplacementchar:0x3f\r\nsinglebyte:0xzz\r\n",
         "The Header state entry is incorrect : Line No 4\r\n"},
        {"CR alone ends a line", "(headerstart)\r\rreplacementchar:0x3f\rsinglebyte:0xzz\r",
         "The Header state entry is incorrect : Line No 4\r\n"},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string log;
        TextFileParser parser(c.text.data(), c.text.size(), &log);
        MappingHeader header;
        const bool ok = parser.ParseHeader(header);
        EXPECT_EQ(ok, c.log.empty());
        EXPECT_EQ(log, c.log);
        EXPECT_EQ(header.byteClasses != nullptr, ok);
    }
}

TEST(TextFileParser, HeaderFillsReplacementAndByteClasses) {
    const std::string text = kDbcsHeader;
    TextFileParser parser(text.data(), text.size(), nullptr);
    MappingHeader header;
    ASSERT_TRUE(parser.ParseHeader(header));
    EXPECT_EQ(header.replacementLength, 1);
    EXPECT_EQ(header.replacement[0], 0x3F);
    EXPECT_EQ(header.byteClasses[0x30], kSingleByte);
    EXPECT_EQ(header.byteClasses[0x40], kSingleByte | kTrailByte);
    EXPECT_EQ(header.byteClasses[0x81], kLeadByte | kTrailByte);
    EXPECT_EQ(header.byteClasses[0xFD], 0);

    const std::string wide = "(headerstart)\nreplacementchar:0x8148\nsinglebyte:;\ndoublebyteleadbyte:0x81\n"
                             "doublebytetrailbyte:0x48\n(headerend)\n";
    TextFileParser wideParser(wide.data(), wide.size(), nullptr);
    ASSERT_TRUE(wideParser.ParseHeader(header));
    EXPECT_EQ(header.replacementLength, 2);
    EXPECT_EQ(header.replacement[0], 0x81);
    EXPECT_EQ(header.replacement[1], 0x48);
}

struct EntryCase {
    const char* line;
    int code; // -1: accepted
    std::vector<uint8_t> bytes;
    std::u16string units;
    uint8_t fallback;
};

TEST(TextFileParser, EntryRulesAndTheirLogLines) {
    const EntryCase cases[] = {
        {"0x41 0x0041 |0", -1, {0x41}, u"A", 0},
        {"0x8140 0x3000 |0 # ideographic space", -1, {0x81, 0x40}, u"\u3000", 0},
        {"0X41\t0X00E9  |1", -1, {0x41}, u"\u00E9", 1},
        {"0x00 0x0000 |2", -1, {0x00}, std::u16string(1, u'\0'), 2},
        {"0x41 0x0041+0x0042+0x0043+0x0044+0x0045 |0", -1, {0x41}, u"ABCDE", 0},
        {"0x41 0x1F600 |0", -1, {0x41}, u"\U0001F600", 0},
        {"0x41 0x10000+0x10001+0x41 |0", -1, {0x41}, u"\U00010000\U00010001A", 0},
        {"0x41 0x10000+0x10001+0x10002 |0", 7, {}, u"", 0},
        {"0x41 0x41+0x42+0x43+0x44+0x45+0x46 |0", 7, {}, u"", 0},
        {"0x41 0x110000 |0", 7, {}, u"", 0},
        {"0x41 0x00zz |0", 7, {}, u"", 0},
        {"0x41 + |0", 7, {}, u"", 0},
        {"0x41 0x |0", 7, {}, u"", 0},
        {"0x 0x0041 |0", 6, {}, u"", 0},
        {"0x000000041 0x0041 |0", 6, {}, u"", 0},
        {"0x10000 0x0041 |0", 6, {}, u"", 0},
        {"41 0x0041 |0", 6, {}, u"", 0},
        {"0x41 0x0041 |0 extra", 5, {}, u"", 0},
        {"0x41 0x0041", 5, {}, u"", 0},
        {"0x41 0x0041 |3", 8, {}, u"", 0},
        {"0x41 0x0041 |00", 8, {}, u"", 0},
        {"0x41 0x0041 0", 8, {}, u"", 0},
        {"0x41 0x0041 |0#glued comment", 5, {}, u"", 0},
        {"0x41 0x0041 |0#glued", 8, {}, u"", 0},
        // Bytes the header's classes never let a decoder read.
        {"0x80 0x20AC |0", 6, {}, u"", 0},
        {"0x1FF 0x0041 |0", 6, {}, u"", 0},
        {"0x8120 0x3000 |0", 6, {}, u"", 0},
        {"0xA040 0x3000 |0", 6, {}, u"", 0},
        // Surrogates only as a pair.
        {"0x41 0xD800 |0", 7, {}, u"", 0},
        {"0x41 0xDFFF |0", 7, {}, u"", 0},
        {"0x41 0x0041+0xDC00 |0", 7, {}, u"", 0},
        {"0x41 0xDE00+0xD83D |0", 7, {}, u"", 0},
        {"0x41 0xD83D+0x0041 |0", 7, {}, u"", 0},
        {"0x41 0xD83D+0xDE00 |0", -1, {0x41}, u"\U0001F600", 0},
    };
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string text = kDbcsHeader + "# mappings\n" + c.line + "\n";
        std::string log;
        TextFileParser parser(text.data(), text.size(), &log);
        MappingHeader header;
        ASSERT_TRUE(parser.ParseHeader(header));
        const auto entry = parser.ParseNextEntry();
        if (c.code < 0) {
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(log, "");
            EXPECT_EQ(std::vector<uint8_t>(entry->bytes, entry->bytes + entry->byteLength), c.bytes);
            EXPECT_EQ(std::u16string(entry->unicode, entry->unicodeLength), c.units);
            EXPECT_EQ(entry->fallback, c.fallback);
            EXPECT_EQ(parser.ParseNextEntry(), nullptr);
        } else {
            EXPECT_EQ(entry, nullptr);
            // The entry sits on physical line 8, after six header lines and a comment.
            EXPECT_EQ(log, std::string(TextFileParser::MessageOf(c.code)) + "8\r\n");
        }
    }
}

TEST(TextFileParser, BadEntryLinesAreSkippedAndCountedWithCrLf) {
    const std::string text =
        "(HeaderStart)\r\nReplacementChar:0x3f\r\nSingleByte:0x00-0x7f\r\n"
        "DoubleByteLeadByte:;\r\nDoubleByteTrailByte:;\r\n(HeaderEnd)\r\n"
        "0x41 0x0041 |0\r\n\r\n0x42 0x0042 |9\r\n   # comment\r\n0x43 0x0043 |0 # C\r\n0x44";
    std::string log;
    TextFileParser parser(text.data(), text.size(), &log);
    MappingHeader header;
    ASSERT_TRUE(parser.ParseHeader(header));
    std::u16string decoded;
    while (auto entry = parser.ParseNextEntry()) decoded.append(entry->unicode, entry->unicodeLength);
    EXPECT_EQ(decoded, u"AC");
    EXPECT_EQ(log, "The FallBack indicator value is incorrect : Line No 9\r\n"
                   "No of fields of the mapping entry is incorrect : Line No 12\r\n");
}

TEST(TextFileParser, TheErrorLogIsBoundedWithAFinalCountLine) {
    const size_t bad = MappingLog::kMaxLines + 4000;
    std::string text = kDbcsHeader;
    for (size_t i = 0; i < bad; ++i) text += "0x41 0xD800 |0\n";
    text += "0x41 0x0041 |0\n";
    auto lines = [](const std::string& log) { return std::count(log.begin(), log.end(), '\n'); };
    {
        std::string log;
        TextFileParser parser(text.data(), text.size(), &log);
        MappingHeader header;
        ASSERT_TRUE(parser.ParseHeader(header));
        size_t entries = 0;
        while (parser.ParseNextEntry()) ++entries;
        EXPECT_EQ(entries, 1u);
        EXPECT_EQ(lines(log), static_cast<long>(MappingLog::kMaxLines + 1));
        EXPECT_EQ(log.substr(log.rfind("\r\n", log.size() - 3) + 2),
                  "Further lines left out of this log : 4000\r\n");
    }
    {
        // A parser abandoned half-way still ends its log with the count.
        std::string log;
        {
            TextFileParser parser(text.data(), text.size(), &log);
            MappingHeader header;
            ASSERT_TRUE(parser.ParseHeader(header));
            for (int i = 0; i < 2; ++i) parser.ParseNextEntry();
        }
        EXPECT_EQ(lines(log), static_cast<long>(MappingLog::kMaxLines + 1));
        EXPECT_NE(log.find("Further lines left out of this log : "), std::string::npos);
    }
    {
        // Through the registry: format errors and duplicate warnings share one bound.
        std::string table = kDbcsHeader;
        for (size_t i = 0; i < 600; ++i) table += "0x41 0xDC00 |0\n";
        for (size_t i = 0; i < 900; ++i) table += "0x42 0x0042 |0\n";
        std::string log;
        {
            testing::RegisteredMapping mapping(57, table, &log);
            auto c = CreateConverter(57, Direction::toUnicode, false, true);
            ASSERT_NE(c, nullptr);
        }
        EXPECT_EQ(lines(log), static_cast<long>(MappingLog::kMaxLines + 1));
        EXPECT_EQ(log.substr(log.rfind("\r\n", log.size() - 3) + 2),
                  "Further lines left out of this log : 1398\r\n"); // 600 + 2 * 899 - 1000
    }
}

TEST(TextFileParser, TheBundledMappingFilesParseWithoutALogLine) {
    for (const char* name : {"CP1252.map", "SHIFT_JIS.map", "EUC-KR.map"}) {
        const std::string text = testing::readFile(testing::samplePath(name));
        ASSERT_FALSE(text.empty()) << name;
        std::string log;
        TextFileParser parser(text.data(), text.size(), &log);
        MappingHeader header;
        ASSERT_TRUE(parser.ParseHeader(header));
        size_t entries = 0;
        while (parser.ParseNextEntry()) ++entries;
        EXPECT_GT(entries, 100u) << name;
        EXPECT_EQ(log, "") << name;
    }
}

TEST(TextFileParser, ExceptionIsCatchableAsEveryBase) {
    auto thrower = [] { throw TextFileParser::Exception(TextFileParser::BadMbcsValue, 42); };
    EXPECT_THROW(thrower(), TextFileParser::Exception);
    EXPECT_THROW(thrower(), Brixo::TellamBaseException);
    EXPECT_THROW(thrower(), Brixo::ITellamBaseException);
    EXPECT_THROW(thrower(), Brixo::BaseException);
    EXPECT_THROW(thrower(), std::exception);
    try {
        thrower();
    } catch (const Brixo::ITellamBaseException& e) {
        EXPECT_STREQ(e.what(), "The MBCS Value is incorrect : Line No ");
        EXPECT_EQ(e.GetErrorCode(), 6);
        EXPECT_STREQ(e.GetModuleName(), "src\\MappingFileParser");
        EXPECT_EQ(e.GetSourceLine(), 42u);
    }
    EXPECT_STREQ(Brixo::BaseException().what(), "Unknown Brixo exception");
    EXPECT_STREQ(Brixo::BaseException("stored").GetMessage(), "stored");
    EXPECT_STREQ(TextFileParser::MessageOf(9), "Unknown Error!");
}

// Truncation anywhere, junk bytes and out-of-range numbers end in log lines, never in a crash or in
// entries outside the record's bounds.
TEST(TextFileParser, TruncatedAndJunkTextNeverYieldsUnboundedEntries) {
    const std::string valid =
        kDbcsHeader + "0x41 0x0041 |0\n0x8140 0x3000+0x1F600+0x41+0x42 |1\n0x9fFC 0xFFFF |2\n";
    std::vector<std::string> texts;
    for (size_t n = 0; n <= valid.size(); ++n) texts.push_back(valid.substr(0, n));
    std::mt19937 random(8);
    for (int i = 0; i < 200; ++i) {
        std::string junk = kDbcsHeader;
        const size_t length = random() % 400;
        for (size_t k = 0; k < length; ++k) junk += static_cast<char>(random() & 0xFF);
        texts.push_back(i % 2 ? junk : junk.substr(kDbcsHeader.size()));
    }
    texts.push_back(std::string(1000, '\0'));
    texts.push_back(kDbcsHeader + "0xFFFFFFFF 0xFFFFFFFF |0\n0x41 0xFFFFFFFFF |0\n");
    for (const std::string& text : texts) {
        std::string log;
        TextFileParser parser(text.data(), text.size(), &log);
        MappingHeader header;
        if (!parser.ParseHeader(header)) {
            EXPECT_FALSE(log.empty());
            continue;
        }
        while (auto entry = parser.ParseNextEntry()) {
            EXPECT_TRUE(entry->byteLength == 1 || entry->byteLength == 2);
            EXPECT_GE(entry->unicodeLength, 1);
            EXPECT_LE(entry->unicodeLength, kMaxMappingUnits);
            EXPECT_LE(entry->fallback, 2);
        }
    }
}

} // namespace
} // namespace ZuText
