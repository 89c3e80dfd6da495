#include "text/BaseBConverterImpl.hpp"

#include "text/MappingLog.hpp"
#include "text/TextFileParser.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ZuText {

namespace {

bool unitsLess(const char16_t* a, uint8_t aLength, const char16_t* b, uint8_t bLength) {
    return std::lexicographical_compare(a, a + aLength, b, b + bLength);
}

bool sameUnits(const char16_t* a, uint8_t aLength, const char16_t* b, uint8_t bLength) {
    return aLength == bLength && std::equal(a, a + aLength, b);
}

std::string mbcsValue(uint16_t bytes) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", bytes);
    return text;
}

std::string unicodeValue(const char16_t* units, uint8_t length) {
    std::string text = "0x";
    for (uint8_t i = 0; i < length; ++i) {
        char unit[8];
        std::snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(units[i]));
        text += unit;
    }
    return text;
}

// Among mappings with the same key the first round-trip one wins, else the first one. Another mapping of
// the same kind is a conflict worth a warning; a one-way mapping shadowed by a round-trip one is not.
template <typename Mapping, typename SameKey, typename Warn>
void keepOnePerKey(std::vector<Mapping>& table, SameKey sameKey, Warn warn) {
    std::vector<Mapping> kept;
    kept.reserve(table.size());
    for (size_t begin = 0; begin < table.size();) {
        size_t end = begin + 1;
        while (end < table.size() && sameKey(table[begin], table[end])) ++end;
        size_t winner = begin;
        for (size_t i = begin; i < end; ++i)
            if (table[i].fallback == kRoundTrip) {
                winner = i;
                break;
            }
        for (size_t i = begin; i < end; ++i)
            if (i != winner && table[i].fallback == table[winner].fallback) warn(table[i]);
        kept.push_back(table[winner]);
        begin = end;
    }
    table.swap(kept);
}

} // namespace

std::shared_ptr<const BaseBConverterImpl> BaseBConverterImpl::Build(const char* text, size_t length,
                                                                    std::string* errorLog) {
    std::shared_ptr<BaseBConverterImpl> impl(new BaseBConverterImpl());
    // The parser's errors and the warnings below share one bounded log.
    MappingLog log(errorLog);
    TextFileParser parser(text, length, log);
    MappingHeader header;
    if (!parser.ParseHeader(header)) return impl;

    std::memcpy(impl->fByteClasses, header.byteClasses.get(), 256);
    std::memcpy(impl->fReplacement, header.replacement, 2);
    impl->fReplacementLength = header.replacementLength;
    for (int b = 0; b < 256; ++b) {
        uint8_t& cls = impl->fByteClasses[b];
        if ((cls & kSingleByte) && (cls & kLeadByte)) {
            cls &= static_cast<uint8_t>(~kLeadByte);
            char value[8];
            std::snprintf(value, sizeof value, "0x%02X", b);
            log.Line(std::string("Duplicate state table entry") +
                     "(as a single byte char and lead byte of two byte char)" + " for byte value : " + value +
                     ". Fixing it to consider it as a single byte char.");
        }
    }

    auto& toU = impl->fToUnicode;
    auto& fromU = impl->fFromUnicode;
    toU.reserve(32768);
    fromU.reserve(32768);
    while (const std::unique_ptr<MappingEntry> entry = parser.ParseNextEntry()) {
        const uint16_t bytes = static_cast<uint16_t>(
            entry->byteLength == 2 ? (entry->bytes[0] << 8) | entry->bytes[1] : entry->bytes[0]);
        if (entry->fallback != kFromUnicodeOnly) {
            ToUnicodeMapping m{bytes, entry->byteLength, entry->unicodeLength, {}, entry->fallback};
            std::copy(entry->unicode, entry->unicode + entry->unicodeLength, m.units);
            toU.push_back(m);
        }
        if (entry->fallback != kToUnicodeOnly) {
            FromUnicodeMapping m{{}, entry->unicodeLength, entry->byteLength, bytes, entry->fallback};
            std::copy(entry->unicode, entry->unicode + entry->unicodeLength, m.units);
            fromU.push_back(m);
        }
    }

    std::stable_sort(toU.begin(), toU.end(),
                     [](const ToUnicodeMapping& a, const ToUnicodeMapping& b) { return a.bytes < b.bytes; });
    keepOnePerKey(
        toU, [](const ToUnicodeMapping& a, const ToUnicodeMapping& b) { return a.bytes == b.bytes; },
        [&log](const ToUnicodeMapping& m) {
            log.Line("Duplicate Mapping for MBCS Value : " + mbcsValue(m.bytes));
        });
    std::stable_sort(fromU.begin(), fromU.end(),
                     [](const FromUnicodeMapping& a, const FromUnicodeMapping& b) {
                         return unitsLess(a.units, a.unitLength, b.units, b.unitLength);
                     });
    keepOnePerKey(
        fromU,
        [](const FromUnicodeMapping& a, const FromUnicodeMapping& b) {
            return sameUnits(a.units, a.unitLength, b.units, b.unitLength);
        },
        [&log](const FromUnicodeMapping& m) {
            log.Line("Duplicate Mapping for Unicode Value : " + unicodeValue(m.units, m.unitLength));
        });

    impl->buildLookup();
    impl->fUsable = true;
    return impl;
}

void BaseBConverterImpl::buildLookup() {
    // To Unicode.
    // Only sequences the byte classes let a decoder reach go in: a single byte of class single, a pair
    // of a lead byte and a trail byte. Everything else stays in the sorted table only.
    fToUnicodeCodes.assign(256, 0);
    uint16_t blocks = 1;
    for (const ToUnicodeMapping& m : fToUnicode) {
        uint32_t slot = m.bytes;
        if (m.byteLength == 1 && !(fByteClasses[m.bytes] & kSingleByte)) continue;
        if (m.byteLength == 2) {
            const uint8_t lead = static_cast<uint8_t>(m.bytes >> 8);
            if (!(fByteClasses[lead] & kLeadByte) || !(fByteClasses[m.bytes & 0xFF] & kTrailByte)) continue;
            if (!fLeadBlocks[lead]) {
                fLeadBlocks[lead] = blocks++;
                fToUnicodeCodes.resize(static_cast<size_t>(blocks) << 8, 0);
            }
            slot = (static_cast<uint32_t>(fLeadBlocks[lead]) << 8) | (m.bytes & 0xFF);
        }
        uint32_t code = static_cast<uint32_t>(m.unitLength) << kLengthShift;
        if (m.unitLength == 1) {
            code |= m.units[0];
        } else {
            code |= static_cast<uint32_t>(fUnitPool.size());
            fUnitPool.insert(fUnitPool.end(), m.units, m.units + m.unitLength);
        }
        fToUnicodeCodes[slot] = code;
        fMaxUnitsPerSequence = std::max(fMaxUnitsPerSequence, m.unitLength);
        if (m.byteLength == 2) fMaxCharSize = 2;
    }
    for (int b = 0; b < 256; ++b)
        if (fByteClasses[b] & kLeadByte) fMaxCharSize = 2;

    // The replacement character as text, for substitutions to Unicode.
    if (fReplacementLength > 0) {
        const uint16_t key = static_cast<uint16_t>(
            fReplacementLength == 2 ? (fReplacement[0] << 8) | fReplacement[1] : fReplacement[0]);
        auto it = std::lower_bound(fToUnicode.begin(), fToUnicode.end(), key,
                                   [](const ToUnicodeMapping& m, uint16_t k) { return m.bytes < k; });
        if (it != fToUnicode.end() && it->bytes == key) {
            fReplacementUnitLength = it->unitLength;
            std::copy(it->units, it->units + it->unitLength, fReplacementUnits);
        }
        fMaxCharSize = std::max(fMaxCharSize, fReplacementLength);
    }
    fMaxUnitsPerSequence = std::max(fMaxUnitsPerSequence, fReplacementUnitLength);

    // From Unicode.
    fFromUnicodeCodes.assign(0x10000, 0);
    auto codeOf = [&](char16_t unit) -> uint32_t& { return fFromUnicodeCodes[unit]; };
    for (const FromUnicodeMapping& m : fFromUnicode) {
        if (m.byteLength == 2) fMaxCharSize = 2;
        if (m.unitLength == 1) {
            uint32_t& code = codeOf(m.units[0]);
            code = (code & kLongerKeysBit) | m.bytes |
                   (static_cast<uint32_t>(m.byteLength) << kByteLengthShift) |
                   (m.fallback == kFromUnicodeOnly ? kFallbackBit : 0);
        } else {
            codeOf(m.units[0]) |= kLongerKeysBit;
            fSequences.push_back(m);
        }
    }
}

const BaseBConverterImpl::FromUnicodeMapping* BaseBConverterImpl::FindSequence(const char16_t* units,
                                                                               uint8_t length) const {
    auto it =
        std::lower_bound(fSequences.begin(), fSequences.end(), 0, [&](const FromUnicodeMapping& m, int) {
            return unitsLess(m.units, m.unitLength, units, length);
        });
    if (it != fSequences.end() && sameUnits(it->units, it->unitLength, units, length)) return &*it;
    return nullptr;
}

bool BaseBConverterImpl::IsProperPrefix(const char16_t* units, uint8_t length) const {
    auto it =
        std::lower_bound(fSequences.begin(), fSequences.end(), 0, [&](const FromUnicodeMapping& m, int) {
            return unitsLess(m.units, m.unitLength, units, length);
        });
    for (int step = 0; step < 2 && it != fSequences.end(); ++step, ++it)
        if (it->unitLength > length && std::equal(units, units + length, it->units)) return true;
    return false;
}

} // namespace ZuText
