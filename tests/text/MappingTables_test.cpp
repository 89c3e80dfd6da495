// What only the mapping-table converter has.
#include "text/BConverter.hpp"
#include "text/TextFileParser.hpp"

#include "TextTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace ZuText {
namespace {

using testing::expectGave;
using testing::fromUnicode;
using testing::kDbcsHeader;
using testing::RegisteredMapping;
using testing::toUnicode;

// ASCII, two kanji, a two-unit and a five-unit sequence, a supplementary character, fallbacks.
const std::string kSmallTable = kDbcsHeader +
                                "0x3F 0x003F |0\n0x41 0x0041 |0\n0x42 0x0042 |0\n0x61 0x0061 |0\n"
                                "0x8140 0x3000 |0\n0x8141 0x3001 |0\n"
                                "0x8142 0x0041+0x030A |0  # A with ring, as two units\n"
                                "0x8143 0x1F600 |0\n"
                                "0x8144 0x0031+0x0032+0x0033+0x0034+0x0035 |0\n"
                                "0x5C 0x00A5 |1   # yen written as backslash, from Unicode only\n"
                                "0x8145 0x2015 |2 # decodes only\n"
                                "0x8146 0x2015 |0\n";

std::unique_ptr<IConverter> make(uint32_t id, Direction d, bool substitute = true, bool fallback = false) {
    return CreateConverter(id, d, fallback, substitute);
}

// The registry copies the text and keeps no pointer to a caller's log (heap-allocated for ASan).
TEST(MappingTables, RegistryStatusesAndLifetimes) {
    auto text =
        std::make_unique<std::string>(kDbcsHeader + "0x41 0x0041 |0\n0x42 0x0041 |0\nnot a mapping line\n");
    auto log = std::make_unique<std::string>();
    EXPECT_EQ(RegisterMapping(56, text->data(), text->size()), 0);
    EXPECT_EQ(RegisterMapping(56, text->data(), text->size()), 3);
    text.reset();
    EXPECT_EQ(SetMappingErrorLog(54, log.get()), 4);
    EXPECT_EQ(SetMappingErrorLog(56, log.get()), 0);
    EXPECT_NE(log->find("Duplicate Mapping for Unicode Value : 0x0041"), std::string::npos) << *log;
    EXPECT_EQ(SetMappingErrorLog(56, log.get()), 3);
    log.reset();
    auto c = make(56, Direction::toUnicode);
    EXPECT_EQ(UnregisterMapping(56), 0);
    EXPECT_EQ(UnregisterMapping(56), 2);
    EXPECT_EQ(toUnicode(*c, "AB").units, u"AA");
    EXPECT_FALSE(dynamic_cast<BConverter&>(*make(56, Direction::toUnicode)).HasTables());
    std::string second;

    char16_t out[4];
    uint32_t consumed = 1, written = 4;
    {
        RegisteredMapping first(52, kDbcsHeader + "0x41 0x0041 |0\n");
        ASSERT_TRUE(ToUnicode(52, "A", consumed, out, written));
        EXPECT_EQ(out[0], u'A');
    }
    RegisteredMapping replaced(52, kDbcsHeader + "0x41 0x00C4 |0\n", &second);
    consumed = 1, written = 4;
    ASSERT_TRUE(ToUnicode(52, "A", consumed, out, written));
    EXPECT_EQ(out[0], u'\u00C4');
    EXPECT_EQ(second, "");
}

TEST(MappingTables, StateTableRepairAndDuplicateWarnings) {
    const std::string text =
        "(HeaderStart)\nReplacementChar:0x3f\nSingleByte:0x00-0x81\nDoubleByteLeadByte:0x81-0x82\n"
        "DoubleByteTrailByte:0x40-0x7e\n(HeaderEnd)\n"
        "0x40 0x0040 |0\n0x81 0x00C5 |0\n0x8140 0x3000 |0\n0x8240 0x3001 |0\n"
        "0x41 0x0041 |0\n0x42 0x0041 |0\n0x41 0x0061 |0\n"
        "0x43 0x0043+0x0301 |0\n0x44 0x0043+0x0301 |0\n"
        "0x45 0x0041 |2\n0x46 0x00C0 |1\n0x47 0x00C0 |0\n";
    std::string log;
    RegisteredMapping mapping(54, text, &log);
    auto toU = make(54, Direction::toUnicode);
    EXPECT_EQ(log,
              "Duplicate state table entry(as a single byte char and lead byte of two byte char) for byte "
              "value : 0x81. Fixing it to consider it as a single byte char.\r\n"
              // 0x8140 no longer starts with a lead byte: U+3000 would read back as U+00C5 and "@".
              "The MBCS Value is incorrect : Line No 9\r\n"
              "Duplicate Mapping for MBCS Value : 0x0041\r\n"
              "Duplicate Mapping for Unicode Value : 0x0041 \r\n"
              "Duplicate Mapping for Unicode Value : 0x0043 0301 \r\n");
    // 0x81 is a single byte now; 0x82 is still a lead byte.
    EXPECT_EQ(toUnicode(*toU, "\x81\x40\x82\x40").units, u"\u00C5@\u3001");
    // The first round-trip mapping of a key wins; one-way mappings never displace it.
    EXPECT_EQ(toUnicode(*toU, "AE").units, u"AA");
    auto fromU = make(54, Direction::fromUnicode);
    EXPECT_EQ(fromUnicode(*fromU, u"A\u00C0C\u0301").bytes, "AGC");
}

TEST(MappingTables, SequencesFallbacksAndSupplementaryCharacters) {
    RegisteredMapping mapping(52, kSmallTable);
    auto toU = make(52, Direction::toUnicode);
    EXPECT_EQ(toUnicode(*toU, "\x81\x42\x81\x43\x81\x44\x81\x45\x81\x46").units,
              u"A\u030A\U0001F60012345\u2015\u2015");
    EXPECT_EQ(toUnicode(*toU, "\x5C").status, kSubstituted); // the yen fallback does not decode

    auto fromU = make(52, Direction::fromUnicode);
    EXPECT_EQ(fromUnicode(*fromU, u"A\u030AA12345\U0001F600\u2015").bytes, "\x81\x42\x41\x81\x44\x81\x43\x81\x46");
    EXPECT_EQ(fromUnicode(*fromU, u"\u00A5").status, kSubstituted);
    auto withFallback = make(52, Direction::fromUnicode, true, true);
    EXPECT_EQ(fromUnicode(*withFallback, u"\u00A5").bytes, "\x5C");
    bool uses = false;
    EXPECT_EQ(withFallback->UsesFallback(uses), kConverted);
    EXPECT_TRUE(uses);
}

// A mapping may start with the same unit as a longer sequence: that unit waits for the next call.
TEST(MappingTables, IncompleteSequencesAreCarriedToTheNextCall) {
    RegisteredMapping mapping(52, kSmallTable);
    auto c = make(52, Direction::fromUnicode);
    expectGave(fromUnicode(*c, u"BA", false), kPending, u"", "B", 2); // "A" may start "A" + ring
    expectGave(fromUnicode(*c, u"\u030A" + std::u16string(1, 0xD83D), false), kPending, u"", "\x81\x42", 2);
    expectGave(fromUnicode(*c, std::u16string(1, 0xDE00) + u"A"), kConverted, u"", "\x81\x43\x41", 2);
    // Stop mode on a pair that began with a held-back lead byte: nothing of this source is consumed.
    auto stop = make(52, Direction::toUnicode, false);
    toUnicode(*stop, "\x81", false);
    expectGave(toUnicode(*stop, "\x7F\x41"), kStopped, u"", "", 0);
}

// Junk in place of a mapping file never crashes nor yields an entry outside the record's bounds.
TEST(MappingTables, JunkMappingTextParsesAndConvertsSafely) {
    {
        std::string log;
        RegisteredMapping broken(58, "(HeaderStart)\nReplacementChar:0x3f\n", &log);
        EXPECT_EQ(log, "Header entries not complete : Last Processed Line 2\r\n");
        char16_t out[4] = {u'x'};
        uint32_t consumed = 1, written = 4;
        EXPECT_EQ(make(58, Direction::toUnicode)->Convert("A", consumed, out, written, true), kNoConverter);
        EXPECT_EQ(out[0], 0);
    }
    const std::string valid =
        kDbcsHeader + "0x41 0x0041 |0\n0x8140 0x3000+0x1F600+0x41+0x42 |1\n0x9fFC 0xFFFF |2\n";
    std::vector<std::string> texts = {std::string(1000, '\0'),
                                      kDbcsHeader + "0xFFFFFFFF 0xFFFFFFFF |0\n0x41 0xFFFFFFFFF |0\n"};
    for (size_t n = 0; n <= valid.size(); ++n) texts.push_back(valid.substr(0, n));
    std::mt19937 random(52);
    for (const std::string& text : texts) {
        std::string log;
        TextFileParser parser(text.data(), text.size(), &log);
        MappingHeader header;
        EXPECT_TRUE(parser.ParseHeader(header) || !log.empty());
        while (auto entry = header.byteClasses ? parser.ParseNextEntry() : nullptr) {
            EXPECT_TRUE(entry->byteLength == 1 || entry->byteLength == 2);
            EXPECT_GE(entry->unicodeLength, 1);
            EXPECT_LE(entry->unicodeLength, kMaxMappingUnits);
            EXPECT_LE(entry->fallback, 2);
        }
        RegisteredMapping mapping(52, text);
        std::string bytes;
        std::u16string units;
        for (int k = 0; k < 64; ++k) {
            bytes += static_cast<char>(random() & 0xFF);
            units += static_cast<char16_t>(random() & 0xFFFF);
        }
        for (uint32_t capacity : {1u, 7u, 1000u}) {
            auto t = make(52, Direction::toUnicode);
            auto f = make(52, Direction::fromUnicode);
            toUnicode(*t, bytes, false, capacity);
            toUnicode(*t, bytes, true, capacity);
            fromUnicode(*f, units, false, capacity);
            fromUnicode(*f, units, true, capacity);
        }
    }
}

} // namespace
} // namespace ZuText
