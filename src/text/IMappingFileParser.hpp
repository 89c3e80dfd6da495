// Code-page mapping files: the records a parser hands out and the parser interface.
//
// A mapping file is 8-bit text: a six-line header (replacement character and the class of every byte
// value), then one line per mapping between a byte sequence and a Unicode sequence.
#pragma once

#include <cstdint>
#include <memory>

namespace ZuText {

// Bits of the byte-class table.
constexpr uint8_t kSingleByte = 1;
constexpr uint8_t kLeadByte = 2;
constexpr uint8_t kTrailByte = 4;

constexpr uint8_t kMaxMappingUnits = 5;

struct MappingHeader {
    uint8_t replacement[2] = {0, 0};        // high byte first when there are two
    uint8_t replacementLength = 0;          // 1 or 2
    std::unique_ptr<uint8_t[]> byteClasses; // 256 entries of kSingleByte | kLeadByte | kTrailByte
};

// Fallback indicator of an entry: how it may be used.
enum : uint8_t {
    kRoundTrip = 0,       // both directions
    kFromUnicodeOnly = 1, // a fallback from Unicode, used when the converter uses fallbacks
    kToUnicodeOnly = 2,   // decodes only (the Unicode value has other round-trip bytes)
};

struct MappingEntry {
    uint8_t bytes[2] = {0, 0}; // high byte first
    uint8_t byteLength = 0;    // 1 or 2
    char16_t unicode[kMaxMappingUnits] = {};
    uint8_t unicodeLength = 0; // 1 to 5
    uint8_t fallback = 0;      // kRoundTrip, kFromUnicodeOnly or kToUnicodeOnly
};

class IMappingFileParser {
public:
    virtual ~IMappingFileParser();
    // Reads the header. On failure the error is logged, the header keeps no table and the result is false.
    virtual bool ParseHeader(MappingHeader& header) = 0;
    // The next valid entry, or null at the end of the text. Invalid lines are logged and skipped.
    virtual std::unique_ptr<MappingEntry> ParseNextEntry() = 0;
};

} // namespace ZuText
