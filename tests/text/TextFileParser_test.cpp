#include "text/TextFileParser.hpp"

#include "TextTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace ZuText {
namespace {

using testing::kDbcsHeader;

// Entries follow the six header lines and a comment, on physical line 8.
TEST(TextFileParser, HeaderAndEntryRulesAndTheirLogLines) {
    const std::string rest =
        "SingleByte:0x00-0x7f\nDoubleByteLeadByte:0x81-0x9f\nDoubleByteTrailByte:0x40-0xfc\n";
    const std::string start = "(headerstart)\nreplacementchar:0x3f\n";
    const auto bad = [](int code) { return std::string(TextFileParser::MessageOf(code)) + "8\r\n"; };
    const auto entry = [](const std::string& line) { return kDbcsHeader + "# mappings\n" + line + "\n"; };
    struct Case {
        std::string text;
        std::string log;
        std::u16string units = u""; // an accepted entry: its bytes are 0x41, or 0x81 0x40 for U+3000
        uint8_t fallback = 0;
    };
    const std::string headerState = "The Header state entry is incorrect : Line No 3\r\n";
    const std::string replacement = "The Replacement Character Entry is invalid  : Line No 2\r\n";
    const Case cases[] = {
        {kDbcsHeader, ""},
        {"# a comment\n\n( HEADERSTART )  # start\n\tReplacementChar : 0X3F\nSingleByte : 0x00 - 0x7F ; "
         "0x80\n"
         "DOUBLEBYTELEADBYTE:;\nDoubleByteTrailByte : 0x20-0x10\n(HeaderEnd)",
         ""},
        {"", "Header entries not complete : Last Processed Line 0\r\n"},
        {"HeaderStart\n", "The Header start was expected : Last Processed Line 1\r\n"},
        {"(headerstart)\nreplacementchar:0x10000\n", replacement},
        {start + "doublebyteleadbyte:0x81\n", headerState}, // out of order
        {start + "singlebyte:0x00-0x100\n", headerState},
        {start + rest, "Header entries not complete : Last Processed Line 5\r\n"},
        {start + rest + "(headerstop)\n", "The Header end was expected : Last Processed Line 6\r\n"},
        {"(headerstart)\r\n\r\nreplacementchar:0x3f\r\nsinglebyte:0xzz\r\n", // CR LF counts once
         "The Header state entry is incorrect : Line No 4\r\n"},
        {entry("0x41 0x0041 |0"), "", u"A"},
        {entry("0x8140 0x3000 |0 # ideographic space"), "", u"\u3000"},
        {entry("0X41\t0X00E9  |1"), "", u"\u00E9", 1},
        {entry("0x41 0x0041+0x0042+0x0043+0x0044+0x0045 |2"), "", u"ABCDE", 2},
        {entry("0x41 0x1F600 |0"), "", u"\U0001F600"},
        {entry("0x41 0xD83D+0xDE00 |0"), "", u"\U0001F600"},
        {entry("0x41 0x10000+0x10001+0x10002 |0"), bad(7)},
        {entry("0x41 0x110000 |0"), bad(7)},
        {entry("0x 0x0041 |0"), bad(6)},
        {entry("0x41 0x0041 |0 extra"), bad(5)},
        {entry("0x41 0x0041"), bad(5)},
        {entry("0x41 0x0041 |3"), bad(8)},
        {entry("0x41 0x0041 |0#glued comment"), bad(5)},
        {entry("0x41 0x0041 |0#glued"), bad(8)},
        // Bytes the header's classes never let a decoder read.
        {entry("0x80 0x20AC |0"), bad(6)},
        {entry("0x8120 0x3000 |0"), bad(6)},
        // Surrogates only as a pair.
        {entry("0x41 0xD800 |0"), bad(7)},
        {entry("0x41 0x0041+0xDC00 |0"), bad(7)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string log;
        TextFileParser parser(c.text.data(), c.text.size(), &log);
        MappingHeader header;
        const bool headerRead = parser.ParseHeader(header);
        EXPECT_EQ(header.byteClasses != nullptr, headerRead);
        const auto mapped = headerRead ? parser.ParseNextEntry() : nullptr;
        EXPECT_EQ(log, c.log);
        EXPECT_EQ(mapped != nullptr, !c.units.empty());
        if (mapped) {
            EXPECT_EQ(std::u16string(mapped->unicode, mapped->unicodeLength), c.units);
            EXPECT_EQ(mapped->byteLength, c.units == u"\u3000" ? 2 : 1);
            EXPECT_EQ(mapped->bytes[0], c.units == u"\u3000" ? 0x81 : 0x41);
            EXPECT_EQ(mapped->fallback, c.fallback);
            EXPECT_EQ(parser.ParseNextEntry(), nullptr);
        }
    }
    // A replacement of two bytes.
    MappingHeader header;
    const std::string wide = "(headerstart)\nreplacementchar:0x8148\nsinglebyte:;\ndoublebyteleadbyte:0x81\n"
                             "doublebytetrailbyte:0x48\n(headerend)\n";
    TextFileParser wideParser(wide.data(), wide.size(), nullptr);
    ASSERT_TRUE(wideParser.ParseHeader(header));
    EXPECT_EQ(std::vector<int>({header.replacementLength, header.replacement[0], header.replacement[1]}),
              std::vector<int>({2, 0x81, 0x48}));
}

// Format errors alone, and with duplicate warnings (one bound for both).
TEST(TextFileParser, TheErrorLogIsBoundedWithAFinalCountLine) {
    const auto lines = [](size_t n, const std::string& line) {
        std::string out;
        for (size_t i = 0; i < n; ++i) out += line;
        return out;
    };
    const std::pair<std::string, size_t> cases[] = {
        {lines(MappingLog::kMaxLines + 4000, "0x41 0xD800 |0\n"), 4000},
        {lines(600, "0x41 0xDC00 |0\n") + lines(900, "0x42 0x0042 |0\n"), 1398}, // 600 + 2 * 899 - 1000
    };
    for (const auto& [entries, leftOut] : cases) {
        std::string log;
        {
            testing::RegisteredMapping mapping(57, kDbcsHeader + entries + "0x41 0x0041 |0\n", &log);
            auto converter = CreateConverter(57, Direction::toUnicode, false, true);
            EXPECT_EQ(testing::toUnicode(*converter, "A").units, u"A");
        }
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), static_cast<long>(MappingLog::kMaxLines + 1));
        EXPECT_EQ(log.substr(log.rfind("\r\n", log.size() - 3) + 2),
                  "Further lines left out of this log : " + std::to_string(leftOut) + "\r\n");
    }
}

} // namespace
} // namespace ZuText
