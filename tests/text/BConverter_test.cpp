#include "text/BConverter.hpp"

#include "TextTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace ZuText {
namespace {

using testing::fromUnicode;
using testing::kDbcsHeader;
using testing::readFile;
using testing::RegisteredMapping;
using testing::samplePath;
using testing::toUnicode;

// A small double-byte table: ASCII, two kanji, a five-unit mapping, a sequence of two units, a
// supplementary character, a fallback each way.
const std::string kSmallTable = kDbcsHeader +
                                "0x3F 0x003F |0\n0x41 0x0041 |0\n0x42 0x0042 |0\n0x61 0x0061 |0\n"
                                "0x8140 0x3000 |0\n0x8141 0x3001 |0\n"
                                "0x8142 0x0041+0x030A |0  # A with ring, as two units\n"
                                "0x8143 0x1F600 |0\n"
                                "0x8144 0x0031+0x0032+0x0033+0x0034+0x0035 |0\n"
                                "0x5C 0x00A5 |1   # yen written as backslash, from Unicode only\n"
                                "0x8145 0x2015 |2 # decodes only\n"
                                "0x8146 0x2015 |0\n";

std::u16string lone(char16_t surrogate) {
    return std::u16string(1, surrogate);
}

std::unique_ptr<IConverter> make(uint32_t id, Direction d, bool substitute = true, bool fallback = false) {
    return CreateConverter(id, d, fallback, substitute);
}

TEST(MappingRegistry, StatusCodes) {
    const std::string text = kSmallTable;
    std::string log;
    EXPECT_EQ(RegisterMapping(53, text.data(), text.size()), 0);
    EXPECT_EQ(RegisterMapping(53, text.data(), text.size()), 3);
    EXPECT_EQ(SetMappingErrorLog(53, &log), 0);
    EXPECT_EQ(SetMappingErrorLog(53, &log), 3);
    EXPECT_EQ(SetMappingErrorLog(54, &log), 4);
    EXPECT_EQ(RegisterMapping(55, nullptr, 0), 0);
    EXPECT_EQ(SetMappingErrorLog(55, &log), 4); // registered without text
    EXPECT_FALSE(dynamic_cast<BConverter&>(*make(55, Direction::toUnicode)).HasTables());
    EXPECT_EQ(UnregisterMapping(55), 0);
    EXPECT_EQ(UnregisterMapping(56), 2);
    EXPECT_EQ(UnregisterMapping(53), 0);
    EXPECT_EQ(UnregisterMapping(53), 2);
    EXPECT_EQ(log, "");
}

TEST(MappingRegistry, StateTableRepairAndDuplicateWarnings) {
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
              // 0x8140 no longer starts with a lead byte: U+3000 would be written as bytes that read back
              // as U+00C5 and "@".
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

// The registry keeps no pointer to a caller's log: the log is written while SetMappingErrorLog runs, and
// a log destroyed right after (heap-allocated, so AddressSanitizer sees any later write) is never
// touched by the conversions that follow.
TEST(MappingRegistry, aMappingErrorLogNeedNotOutliveTheCall) {
    const std::string text = kDbcsHeader + "0x41 0x0041 |0\n0x42 0x0041 |0\nnot a mapping line\n";
    ASSERT_EQ(RegisterMapping(56, text.data(), text.size()), 0);
    auto log = std::make_unique<std::string>();
    ASSERT_EQ(SetMappingErrorLog(56, log.get()), 0);
    const std::string written = *log;
    EXPECT_NE(written.find("Duplicate Mapping for Unicode Value : 0x0041"), std::string::npos) << written;
    log.reset();
    for (Direction d : {Direction::toUnicode, Direction::fromUnicode}) {
        auto c = make(56, d);
        ASSERT_TRUE(c);
    }
    EXPECT_EQ(toUnicode(*make(56, Direction::toUnicode), "AB").units, u"AA");
    // A second log is refused as before, and a log given after the tables were built stays empty.
    std::string second;
    EXPECT_EQ(SetMappingErrorLog(56, &second), 3);
    EXPECT_EQ(UnregisterMapping(56), 0);
    ASSERT_EQ(RegisterMapping(56, text.data(), text.size()), 0);
    ASSERT_TRUE(make(56, Direction::toUnicode));
    EXPECT_EQ(SetMappingErrorLog(56, &second), 0);
    EXPECT_EQ(second, "");
    EXPECT_EQ(UnregisterMapping(56), 0);
}

TEST(BConverter, SubstituteAndStopModes) {
    RegisteredMapping mapping(52, kSmallTable);
    {
        auto c = make(52, Direction::toUnicode, true);
        const auto r = toUnicode(*c, "A\x80"
                                     "B\x81\x7E"
                                     "a");
        EXPECT_EQ(r.status, kSubstituted);
        EXPECT_EQ(r.units, u"A?B?a"); // 0x80 starts no character; 0x81 0x7E is a pair without a mapping
        EXPECT_EQ(toUnicode(*c, "A\x81?").units, u"A??"); // a lead byte without a trail byte stands alone
    }
    {
        auto c = make(52, Direction::toUnicode, false);
        const auto r = toUnicode(*c, "AB\x81\x7Ezz");
        EXPECT_EQ(r.status, kStopped);
        EXPECT_EQ(r.units, u"AB");
        EXPECT_EQ(r.consumed, 2u);
        char bad[kMaxInvalidChars];
        uint32_t length = kMaxInvalidChars;
        EXPECT_EQ(c->GetInvalidChars(bad, length), kConverted);
        EXPECT_EQ(std::string(bad, length), "\x81\x7E");
    }
    {
        auto c = make(52, Direction::fromUnicode, true);
        const auto r = fromUnicode(*c, u"A\u00E9" + lone(0xDC00) + u"\U0001F601B");
        EXPECT_EQ(r.status, kSubstituted);
        EXPECT_EQ(r.bytes, "A???B"); // a lone low surrogate and an unmapped pair are one character each
    }
    {
        auto c = make(52, Direction::fromUnicode, false);
        const auto r = fromUnicode(*c, u"AB\U0001F601C");
        EXPECT_EQ(r.status, kStopped);
        EXPECT_EQ(r.bytes, "AB");
        EXPECT_EQ(r.consumed, 2u);
        char16_t bad[kMaxInvalidChars];
        uint32_t length = kMaxInvalidChars;
        EXPECT_EQ(c->GetInvalidChars(bad, length), kConverted);
        EXPECT_EQ(std::u16string(bad, length), u"\U0001F601");
    }
    {
        // The caller's substitution bytes, used from Unicode only.
        auto c = CreateConverter(52, Direction::fromUnicode, false, true, "\x81\x40", 2);
        EXPECT_EQ(fromUnicode(*c, u"\u00E9").bytes, "\x81\x40");
        auto tooLong = CreateConverter(52, Direction::fromUnicode, false, true, "abc", 3);
        EXPECT_EQ(fromUnicode(*tooLong, u"\u00E9").bytes, "?");
    }
}

TEST(BConverter, SequencesFallbacksAndSupplementaryCharacters) {
    RegisteredMapping mapping(52, kSmallTable);
    auto toU = make(52, Direction::toUnicode);
    EXPECT_EQ(toUnicode(*toU, "\x81\x42\x81\x43\x81\x44\x81\x45\x81\x46").units, u"A\u030A\U0001F600"
                                                                                 u"12345\u2015\u2015");
    EXPECT_EQ(toUnicode(*toU, "\x5C").status, kSubstituted); // the yen fallback does not decode

    auto fromU = make(52, Direction::fromUnicode);
    EXPECT_EQ(fromUnicode(*fromU, u"A\u030A"
                                  u"A"
                                  u"12345\U0001F600\u2015")
                  .bytes,
              "\x81\x42"
              "A\x81\x44\x81\x43\x81\x46");
    EXPECT_EQ(fromUnicode(*fromU, u"\u00A5").status, kSubstituted);
    auto withFallback = make(52, Direction::fromUnicode, true, true);
    EXPECT_EQ(fromUnicode(*withFallback, u"\u00A5").bytes, "\x5C");
    bool uses = false;
    EXPECT_EQ(withFallback->UsesFallback(uses), kConverted);
    EXPECT_TRUE(uses);
}

TEST(BConverter, IncompleteSequencesAreCarriedToTheNextCall) {
    RegisteredMapping mapping(52, kSmallTable);
    {
        auto c = make(52, Direction::toUnicode);
        auto r = toUnicode(*c, "A\x81", false);
        EXPECT_EQ(r.status, kPending);
        EXPECT_EQ(r.units, u"A");
        EXPECT_EQ(r.consumed, 2u);
        uint32_t pending = 0;
        c->CountPending(pending);
        EXPECT_EQ(pending, 1u);
        r = toUnicode(*c,
                      "\x40"
                      "B",
                      false);
        EXPECT_EQ(r.status, kConverted);
        EXPECT_EQ(r.units, u"\u3000B");
        EXPECT_EQ(toUnicode(*c, "\x80\x81", false).status, kSubstitutedPending);
        r = toUnicode(*c, "", true); // the end of the text: the held lead byte is invalid
        EXPECT_EQ(r.status, kSubstituted);
        EXPECT_EQ(r.units, u"?");
    }
    {
        auto c = make(52, Direction::fromUnicode);
        auto r = fromUnicode(*c, u"BA", false); // "A" may be the start of "A" + ring
        EXPECT_EQ(r.status, kPending);
        EXPECT_EQ(r.bytes, "B");
        EXPECT_EQ(r.consumed, 2u);
        r = fromUnicode(*c, u"\u030A" + lone(0xD83D), false);
        EXPECT_EQ(r.status, kPending);
        EXPECT_EQ(r.bytes, "\x81\x42");
        r = fromUnicode(*c, lone(0xDE00) + u"A", true);
        EXPECT_EQ(r.status, kConverted);
        EXPECT_EQ(r.bytes, "\x81\x43"
                           "A");
    }
    {
        // Stop mode on a pair that began with a held-back lead byte: nothing of this source is consumed.
        auto c = make(52, Direction::toUnicode, false);
        toUnicode(*c, "\x81", false);
        const auto r = toUnicode(*c,
                                 "\x7F"
                                 "A",
                                 true);
        EXPECT_EQ(r.status, kStopped);
        EXPECT_EQ(r.consumed, 0u);
    }
}

// Whatever the capacity, nothing is written past it; a capacity that is too small fails with 1, leaves
// an empty terminated target and keeps the converter's state, so a retry gives the whole text.
TEST(BConverter, CapacityLimitsAndRetryAfterNoRoom) {
    RegisteredMapping mapping(52, kSmallTable);
    const std::string bytes = "A\x81\x44\x81\x42"
                              "B\x80\x81\x43";
    const std::u16string units = u"A12345A\u030AB?\U0001F600";
    for (Direction d : {Direction::toUnicode, Direction::fromUnicode}) {
        const bool toU = d == Direction::toUnicode;
        const size_t needed = (toU ? units.size() : bytes.size()) + 1;
        for (uint32_t capacity = 1; capacity <= needed + 1; ++capacity) {
            SCOPED_TRACE(::testing::Message() << (toU ? "to" : "from") << " capacity " << capacity);
            auto c = make(52, d);
            // A first call that leaves something held back.
            if (toU) {
                EXPECT_EQ(toUnicode(*c, bytes.substr(0, 2), false).units, u"A");
            } else {
                EXPECT_EQ(fromUnicode(*c, units.substr(0, 7), false).bytes, "A\x81\x44");
            }
            std::u16string u16(capacity + 4, u'\x5A5A');
            std::string b8(capacity + 4, '\x5A');
            uint32_t consumed = static_cast<uint32_t>(toU ? bytes.size() - 2 : units.size() - 7);
            uint32_t written = capacity;
            const Status status =
                toU ? c->ConvertBuffer(bytes.data() + 2, consumed, u16.data(), written, true)
                    : c->ConvertBuffer(units.data() + 7, consumed, b8.data(), written, true);
            const size_t rest =
                toU ? units.size() : bytes.size() - 2; // what the second call writes, terminator included
            if (capacity < rest) {
                EXPECT_EQ(status, kNoRoom);
                EXPECT_EQ(consumed + written, 0u);
                EXPECT_TRUE(toU ? u16[0] == 0 : b8[0] == 0);
            } else {
                EXPECT_EQ(status, toU ? kSubstituted : kConverted); // 0x80 decodes to the replacement
            }
            if (toU) {
                EXPECT_EQ(u16.substr(capacity), std::u16string(4, u'\x5A5A'));
            } else {
                EXPECT_EQ(b8.substr(capacity), std::string(4, '\x5A'));
            }
            if (status == kNoRoom) {
                if (toU) {
                    EXPECT_EQ(toUnicode(*c, bytes.substr(2)).units, units.substr(1));
                } else {
                    EXPECT_EQ(fromUnicode(*c, units.substr(7)).bytes, bytes.substr(3, 3) + "?" + "\x81\x43");
                }
            }
        }
    }
}

// Converting a text in two pieces, split anywhere, gives the same result as converting it whole.
TEST(BConverter, SplitAnywhereMatchesWholeConversion) {
    const std::string table = readFile(samplePath("SHIFT_JIS.map"));
    ASSERT_FALSE(table.empty());
    RegisteredMapping mapping(57, table);
    auto whole = make(57, Direction::fromUnicode);
    const std::u16string text =
        u"Shift_JIS \u65E5\u672C\u8A9E\uFF76\uFF85 \u3042\u3044 \U0001F600 \u00A5\u203E!";
    const auto reference = fromUnicode(*whole, text);
    EXPECT_EQ(reference.status, kSubstituted); // the emoji has no Shift_JIS code
    auto decoder = make(57, Direction::toUnicode);
    const auto decoded = toUnicode(*decoder, reference.bytes);
    for (size_t split = 0; split <= text.size(); ++split) {
        auto c = make(57, Direction::fromUnicode);
        const auto a = fromUnicode(*c, text.substr(0, split), false);
        const auto b = fromUnicode(*c, text.substr(split), true);
        EXPECT_EQ(a.bytes + b.bytes, reference.bytes) << split;
    }
    for (size_t split = 0; split <= reference.bytes.size(); ++split) {
        auto c = make(57, Direction::toUnicode);
        const auto a = toUnicode(*c, reference.bytes.substr(0, split), false);
        const auto b = toUnicode(*c, reference.bytes.substr(split), true);
        EXPECT_EQ(a.units + b.units, decoded.units) << split;
    }
}

// Asking for offsets takes the converters' full step for every character; the result must match the
// fast path's, and each offset must point at the input the unit came from.
TEST(BConverter, OffsetsAndTheFullStepAgreeWithTheFastPath) {
    const std::string table = readFile(samplePath("SHIFT_JIS.map"));
    RegisteredMapping mapping(57, table);
    std::u16string text;
    for (char16_t u = 0x20; u < 0x7F; ++u) text += u;
    text += u"\uFF61\uFF9F\u3000\u4E00\u9ED1\u00A5\u203E\u00E9";
    auto encoder = make(57, Direction::fromUnicode);
    const auto fast = fromUnicode(*encoder, text);
    auto slowEncoder = make(57, Direction::fromUnicode);
    std::string bytes(text.size() * 2 + 1, '\0');
    std::vector<int32_t> offsets(bytes.size());
    uint32_t consumed = static_cast<uint32_t>(text.size()), written = static_cast<uint32_t>(bytes.size());
    EXPECT_EQ(slowEncoder->ConvertBuffer(text.data(), consumed, bytes.data(), written, true, offsets.data()),
              kSubstituted); // U+00E9 has no Shift_JIS code
    EXPECT_EQ(bytes.substr(0, written - 1), fast.bytes);
    EXPECT_EQ(offsets[0], 0);
    EXPECT_EQ(offsets[written - 2], static_cast<int32_t>(text.size() - 1));
    EXPECT_EQ(offsets[written - 3], static_cast<int32_t>(text.size() - 2)); // U+203E, one byte
    auto decoder = make(57, Direction::toUnicode);
    const auto fastUnits = toUnicode(*decoder, fast.bytes);
    auto slowDecoder = make(57, Direction::toUnicode);
    std::u16string units(fast.bytes.size() + 1, u'\0');
    std::vector<int32_t> unitOffsets(units.size());
    consumed = static_cast<uint32_t>(fast.bytes.size()), written = static_cast<uint32_t>(units.size());
    EXPECT_EQ(slowDecoder->ConvertBuffer(fast.bytes.data(), consumed, units.data(), written, true,
                                         unitOffsets.data()),
              kConverted);
    EXPECT_EQ(units.substr(0, written - 1), fastUnits.units);
    for (uint32_t k = 0; k + 1 < written; ++k) {
        const uint8_t byte = static_cast<uint8_t>(fast.bytes[static_cast<size_t>(unitOffsets[k])]);
        EXPECT_TRUE(k == 0 || unitOffsets[k] > unitOffsets[k - 1]);
        const bool lead = (byte >= 0x81 && byte <= 0x9F) || byte >= 0xE0;
        EXPECT_EQ(lead, units[k] >= 0x3000 && units[k] < 0xFF00) << k;
    }
}

TEST(BConverter, QueriesAndUnusableTables) {
    RegisteredMapping mapping(52, kSmallTable);
    auto c = make(52, Direction::toUnicode);
    uint8_t minSize = 0, maxSize = 0, starters[256];
    EXPECT_EQ(c->GetCharSizeInfo(minSize, maxSize, starters), kConverted);
    EXPECT_EQ(minSize, 1);
    EXPECT_EQ(maxSize, 2);
    EXPECT_EQ(starters[0x41] + starters[0x81], 2);
    EXPECT_EQ(starters[0xA0], 0);
    uint32_t size = 0;
    EXPECT_EQ(c->GetMaxOutputSize(10, size), kConverted);
    EXPECT_EQ(size, 51u); // a byte sequence may decode to five units
    auto f = make(52, Direction::fromUnicode);
    EXPECT_EQ(f->GetMaxOutputSize(10, size), kConverted);
    EXPECT_EQ(size, 21u);
    char subst[4];
    uint32_t length = sizeof subst;
    EXPECT_EQ(f->GetSubstitutionChars(subst, length), kConverted);
    EXPECT_EQ(std::string(subst, length), "?");
    void* allocated = nullptr;
    uint32_t consumed = 2, written = 0;
    EXPECT_EQ(f->ConvertAllocating(u"\U0001F600", consumed, allocated, written, true), kConverted);
    EXPECT_EQ(std::string(static_cast<char*>(allocated)), "\x81\x43");
    std::free(allocated);

    // A header that cannot be read: logged, and the converters refuse instead of substituting everything.
    std::string log;
    RegisteredMapping broken(58, "(HeaderStart)\nReplacementChar:0x3f\n", &log);
    auto b = make(58, Direction::toUnicode);
    EXPECT_EQ(log, "Header entries not complete : Last Processed Line 2\r\n");
    char16_t out[4] = {u'x'};
    consumed = 1, written = 4;
    EXPECT_EQ(b->Convert("A", consumed, out, written, true), kNoConverter);
    EXPECT_EQ(out[0], 0);
}

TEST(BConverter, ConverterOutlivesItsRegistration) {
    auto text = std::make_unique<std::string>(kSmallTable);
    ASSERT_EQ(RegisterMapping(56, text->data(), text->size()), 0);
    text.reset(); // the registry keeps its own copy
    auto c = make(56, Direction::toUnicode);
    EXPECT_EQ(UnregisterMapping(56), 0);
    EXPECT_EQ(toUnicode(*c, "A\x81\x40").units, u"A\u3000");
    EXPECT_FALSE(dynamic_cast<BConverter&>(*make(56, Direction::toUnicode)).HasTables());
}

// The cache must not go on using the tables of a registration that was replaced.
TEST(BConverter, ReRegisteredMappingReachesTheCachedConverter) {
    char16_t out[4];
    uint32_t consumed = 1, written = 4;
    {
        RegisteredMapping first(52, kDbcsHeader + "0x41 0x0041 |0\n");
        ASSERT_TRUE(ToUnicode(52, "A", consumed, out, written));
        EXPECT_EQ(out[0], u'A');
    }
    RegisteredMapping second(52, kDbcsHeader + "0x41 0x00C4 |0\n");
    consumed = 1, written = 4;
    ASSERT_TRUE(ToUnicode(52, "A", consumed, out, written));
    EXPECT_EQ(out[0], u'\u00C4');
}

// Junk in place of a mapping file never crashes the table build or a conversion over it.
TEST(BConverter, JunkMappingTextConvertsSafely) {
    std::mt19937 random(52);
    for (int i = 0; i < 50; ++i) {
        std::string text = kDbcsHeader;
        for (int k = 0; k < 200; ++k) {
            const uint32_t pick = random() % 4;
            char line[64];
            std::snprintf(line, sizeof line, "0x%X 0x%X%s |%u\n", static_cast<unsigned>(random() % 0x1FFFF),
                          static_cast<unsigned>(random() % 0x11FFFF), pick == 0 ? "+0x41+0x10000" : "",
                          static_cast<unsigned>(random() % 4));
            text += line;
            if (pick == 1) text += static_cast<char>(random() & 0xFF);
        }
        std::string log;
        RegisteredMapping mapping(52, text, &log);
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
