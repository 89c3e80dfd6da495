// BaseBConverterImpl: the conversion tables built from one code-page mapping file.
//
// Besides the two sorted tables of the file's mappings it keeps direct lookup structures, so that the
// common case (one byte or one lead/trail pair to one UTF-16 unit, and back) costs one or two array reads.
#pragma once

#include "text/IMappingFileParser.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ZuText {

class BaseBConverterImpl {
public:
    // Builds the tables of a mapping text, appending format errors and repair warnings to `log` (may be
    // null). A text whose header cannot be read gives tables that are not usable.
    static std::shared_ptr<const BaseBConverterImpl> Build(const char* text, size_t length, std::string* log);

    struct ToUnicodeMapping {
        uint16_t bytes;     // the byte sequence as a number: one byte, or high byte * 256 + low byte
        uint8_t byteLength; // 1 or 2
        uint8_t unitLength;
        char16_t units[kMaxMappingUnits];
        uint8_t fallback;
    };
    struct FromUnicodeMapping {
        char16_t units[kMaxMappingUnits];
        uint8_t unitLength;
        uint8_t byteLength;
        uint16_t bytes;
        uint8_t fallback;
    };

    // Whether the header was read; tables that are not usable convert nothing.
    bool IsUsable() const { return fUsable; }
    const uint8_t* ByteClasses() const { return fByteClasses; }
    const uint8_t* Replacement() const { return fReplacement; }
    uint8_t ReplacementLength() const { return fReplacementLength; }
    // The replacement character decoded, or U+FFFD when the file gives it no mapping.
    const char16_t* ReplacementUnits() const { return fReplacementUnits; }
    uint8_t ReplacementUnitLength() const { return fReplacementUnitLength; }
    uint8_t MaxCharSize() const { return fMaxCharSize; }
    // Most UTF-16 units one byte sequence decodes to (the replacement included).
    uint8_t MaxUnitsPerSequence() const { return fMaxUnitsPerSequence; }

    // Sorted by byte sequence (length, then value) and by Unicode sequence.
    const std::vector<ToUnicodeMapping>& ToUnicodeTable() const { return fToUnicode; }
    const std::vector<FromUnicodeMapping>& FromUnicodeTable() const { return fFromUnicode; }

    // Direct to-Unicode lookup. A code is 0 when unmapped; otherwise its length (1 to 5 units) is in bits
    // 24 to 26 and bits 0 to 23 hold the unit itself (one unit) or an index into the unit pool.
    static constexpr uint32_t kLengthShift = 24;
    uint32_t SingleByteCode(uint8_t byte) const { return fToUnicodeCodes[byte]; }
    uint32_t DoubleByteCode(uint8_t lead, uint8_t trail) const {
        const uint32_t block = fLeadBlocks[lead];
        return block ? fToUnicodeCodes[(block << 8) | trail] : 0;
    }
    // The raw tables behind SingleByteCode and DoubleByteCode, for the converters' inner loops: codes of
    // the single bytes are the first 256 entries, a lead byte's block is 256 entries at block * 256.
    const uint32_t* ToUnicodeCodes() const { return fToUnicodeCodes.data(); }
    const uint16_t* LeadBlocks() const { return fLeadBlocks; }
    const char16_t* UnitsOf(uint32_t code) const {
        return (code >> kLengthShift) == 1 ? nullptr : fUnitPool.data() + (code & 0xFFFFFF);
    }

    // Direct from-Unicode lookup of one unit. 0 when neither mapped nor the start of a longer sequence.
    static constexpr uint32_t kBytesMask = 0xFFFF;
    static constexpr uint32_t kByteLengthShift = 16;     // 2 bits: 1 or 2 bytes, 0 when unmapped
    static constexpr uint32_t kFallbackBit = 1u << 18;   // a fallback, used only when asked for
    static constexpr uint32_t kLongerKeysBit = 1u << 19; // longer Unicode sequences start with this unit
    uint32_t UnitCode(char16_t unit) const { return fFromUnicodeCodes[unit]; }
    // The raw table behind UnitCode, one entry per UTF-16 unit.
    const uint32_t* FromUnicodeCodes() const { return fFromUnicodeCodes.data(); }
    // The mapping of exactly this multi-unit sequence, or null.
    const FromUnicodeMapping* FindSequence(const char16_t* units, uint8_t length) const;
    // Whether some mapped sequence is longer than `length` and starts with these units.
    bool IsProperPrefix(const char16_t* units, uint8_t length) const;

private:
    BaseBConverterImpl() = default;
    void buildLookup();

    bool fUsable = false;
    uint8_t fByteClasses[256] = {};
    uint8_t fReplacement[2] = {0, 0};
    uint8_t fReplacementLength = 0;
    char16_t fReplacementUnits[kMaxMappingUnits] = {0xFFFD};
    uint8_t fReplacementUnitLength = 1;
    uint8_t fMaxCharSize = 1;
    uint8_t fMaxUnitsPerSequence = 1;

    std::vector<ToUnicodeMapping> fToUnicode;
    std::vector<FromUnicodeMapping> fFromUnicode;

    uint16_t fLeadBlocks[256] = {};             // block of each lead byte's trail codes; 0 = none
    std::vector<uint32_t> fToUnicodeCodes;      // block 0: single bytes; then one block per lead byte
    std::vector<char16_t> fUnitPool;            // units of multi-unit results
    std::vector<uint32_t> fFromUnicodeCodes;    // 65536 entries: one array read per unit
    std::vector<FromUnicodeMapping> fSequences; // multi-unit keys, sorted
};

} // namespace ZuText
