#include "text/MappingConverters.hpp"

#include <algorithm>
#include <cstring>

namespace ZuText {

namespace {

bool isHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

constexpr Status addFlags(Status status, Status flags) {
    return static_cast<Status>(static_cast<uint32_t>(status) | static_cast<uint32_t>(flags));
}

} // namespace

TableConverter::~TableConverter() = default;

// ---- to Unicode ----

ToUnicodeConverter::~ToUnicodeConverter() = default;

void ToUnicodeConverter::Reset() {
    fHasCarry = false;
    fInvalidLength = 0;
}

uint32_t ToUnicodeConverter::InvalidChars(void* chars, uint32_t room) const {
    const uint32_t n = std::min<uint32_t>(room, fInvalidLength);
    std::memcpy(chars, fInvalid, n);
    return n;
}

uint32_t ToUnicodeConverter::SubstitutionChars(char* chars, uint32_t room) const {
    if (room < fTables->ReplacementLength()) return 0;
    std::memcpy(chars, fTables->Replacement(), fTables->ReplacementLength());
    return fTables->ReplacementLength();
}

uint64_t ToUnicodeConverter::MaxOutputSize(uint32_t inputLength) const {
    return static_cast<uint64_t>(fTables->MaxUnitsPerSequence()) *
               (static_cast<uint64_t>(inputLength) + PendingCount()) +
           1;
}

Status ToUnicodeConverter::Convert(const void* source, uint32_t& sourceLength, void* target,
                                   uint32_t& targetLength, bool flush, bool substitute, int32_t* offsets) {
    const BaseBConverterImpl& tables = *fTables;
    const uint8_t* const classes = tables.ByteClasses();
    const uint8_t* const in = static_cast<const uint8_t*>(source);
    char16_t* const out = static_cast<char16_t*>(target);
    const uint32_t length = sourceLength;
    const uint32_t limit = targetLength - 1; // room for the terminator
    const bool hadCarry = fHasCarry;
    const uint8_t savedCarry = fCarry;
    const int32_t shift = hadCarry ? 1 : 0; // offsets count the held-back byte first

    uint32_t i = 0, o = 0;
    Status status = kConverted;
    bool carried = hadCarry;

    auto overflow = [&]() {
        fHasCarry = hadCarry;
        fCarry = savedCarry;
        if (offsets) offsets[0] = 0;
        out[0] = 0;
        sourceLength = 0;
        targetLength = 0;
        return kNoRoom;
    };
    auto put = [&](const char16_t* units, uint32_t n, int32_t offset) {
        for (uint32_t k = 0; k < n; ++k) {
            if (offsets) offsets[o] = offset;
            out[o++] = units[k];
        }
    };

    const uint32_t* const codes = tables.ToUnicodeCodes();
    const uint16_t* const leadBlocks = tables.LeadBlocks();
    for (;;) {
        // Fast path: characters of one unit, away from a held-back byte and from the end of the source.
        // The code tables only hold what the byte classes allow, so this agrees with the full step below.
        if (!carried && !offsets && i + 1 < length) {
            // Each character writes one unit, so the run ends when the room does.
            const uint8_t* s = in + i;
            const uint8_t* const last = in + length - 1; // a lead byte here has no trail byte yet
            char16_t* dst = out + o;
            char16_t* const dstEnd = out + limit;
            while (s < last && dst < dstEnd) {
                uint32_t code = codes[s[0]];
                uint32_t step = 1;
                if (!code) {
                    const uint32_t block = leadBlocks[s[0]];
                    if (!block) break;
                    code = codes[(block << 8) | s[1]];
                    step = 2;
                }
                if ((code >> BaseBConverterImpl::kLengthShift) != 1) break;
                *dst++ = static_cast<char16_t>(code);
                s += step;
            }
            i = static_cast<uint32_t>(s - in);
            o = static_cast<uint32_t>(dst - out);
        }

        uint8_t b0;
        if (carried)
            b0 = fCarry;
        else if (i < length)
            b0 = in[i];
        else
            break;
        const uint32_t next = carried ? i : i + 1; // index of the byte after b0
        const int32_t offset = carried ? 0 : static_cast<int32_t>(i) + shift;
        const uint8_t cls = classes[b0];

        uint32_t code = 0;
        uint32_t resume = next;
        uint8_t bad[2] = {b0, 0};
        uint8_t badLength = 1;
        if (cls & kSingleByte) {
            code = tables.SingleByteCode(b0);
        } else if (cls & kLeadByte) {
            if (next >= length) {
                if (!flush) { // the trail byte comes with the next call
                    fCarry = b0;
                    fHasCarry = true;
                    i = length;
                    carried = false;
                    break;
                }
            } else if (classes[in[next]] & kTrailByte) {
                code = tables.DoubleByteCode(b0, in[next]);
                bad[1] = in[next];
                badLength = 2;
                resume = next + 1;
            }
            // A lead byte without a trail byte is invalid by itself; the byte after it starts afresh.
        }

        if (code) {
            const uint32_t n = code >> BaseBConverterImpl::kLengthShift;
            if (o + n > limit) return overflow();
            if (n == 1) {
                if (offsets) offsets[o] = offset;
                out[o++] = static_cast<char16_t>(code);
            } else {
                put(tables.UnitsOf(code), n, offset);
            }
        } else if (!substitute) {
            std::memcpy(fInvalid, bad, badLength);
            fInvalidLength = badLength;
            fHasCarry = false;
            out[o] = 0;
            // The invalid sequence is not consumed; it starts before this source when it began with the
            // held-back byte.
            sourceLength = carried ? 0 : i;
            targetLength = o + 1;
            return kStopped;
        } else {
            const uint32_t n = tables.ReplacementUnitLength();
            if (o + n > limit) return overflow();
            put(tables.ReplacementUnits(), n, offset);
            status = addFlags(status, kSubstituted);
        }
        i = resume;
        if (carried) {
            carried = false;
            fHasCarry = false;
        }
    }

    if (fHasCarry) status = addFlags(status, kPending);
    out[o] = 0;
    sourceLength = i;
    targetLength = o + 1;
    return status;
}

// ---- from Unicode ----

FromUnicodeConverter::FromUnicodeConverter(std::shared_ptr<const BaseBConverterImpl> tables, bool useFallback,
                                           const char* substChars, uint32_t substLength)
    : fTables(std::move(tables)), fUseFallback(useFallback) {
    if (substChars && substLength >= 1 && substLength <= fTables->MaxCharSize()) {
        std::memcpy(fSubst, substChars, substLength);
        fSubstLength = static_cast<uint8_t>(substLength);
    } else {
        std::memcpy(fSubst, fTables->Replacement(), 2);
        fSubstLength = fTables->ReplacementLength();
    }
}

FromUnicodeConverter::~FromUnicodeConverter() = default;

void FromUnicodeConverter::Reset() {
    fCarryLength = 0;
    fInvalidLength = 0;
}

uint32_t FromUnicodeConverter::InvalidChars(void* chars, uint32_t room) const {
    const uint32_t n = std::min<uint32_t>(room, fInvalidLength);
    std::memcpy(chars, fInvalid, n * sizeof(char16_t));
    return n;
}

uint32_t FromUnicodeConverter::SubstitutionChars(char* chars, uint32_t room) const {
    if (room < fSubstLength) return 0;
    std::memcpy(chars, fSubst, fSubstLength);
    return fSubstLength;
}

uint64_t FromUnicodeConverter::MaxOutputSize(uint32_t inputLength) const {
    const uint64_t perUnit = std::max<uint64_t>(fTables->MaxCharSize(), fSubstLength);
    return perUnit * (static_cast<uint64_t>(inputLength) + PendingCount()) + 1;
}

Status FromUnicodeConverter::Convert(const void* source, uint32_t& sourceLength, void* target,
                                     uint32_t& targetLength, bool flush, bool substitute, int32_t* offsets) {
    const BaseBConverterImpl& tables = *fTables;
    const char16_t* const in = static_cast<const char16_t*>(source);
    uint8_t* const out = static_cast<uint8_t*>(target);
    const uint32_t length = sourceLength;
    const uint32_t limit = targetLength - 1;

    // The input is the held-back units followed by the source; positions count from the first held-back unit.
    char16_t saved[kMaxCarry];
    const uint8_t savedLength = fCarryLength;
    std::copy(fCarry, fCarry + savedLength, saved);
    const uint64_t total = static_cast<uint64_t>(savedLength) + length;
    auto at = [&](uint64_t k) { return k < savedLength ? saved[k] : in[k - savedLength]; };

    uint64_t p = 0;
    uint32_t o = 0;
    Status status = kConverted;
    fCarryLength = 0;

    auto overflow = [&]() {
        fCarryLength = savedLength;
        std::copy(saved, saved + savedLength, fCarry);
        if (offsets) offsets[0] = 0;
        out[0] = 0;
        sourceLength = 0;
        targetLength = 0;
        return kNoRoom;
    };
    auto holdBack = [&]() {
        fCarryLength = static_cast<uint8_t>(total - p);
        for (uint8_t k = 0; k < fCarryLength; ++k) fCarry[k] = at(p + k);
        p = total;
    };

    const uint32_t* const unitCodes = tables.FromUnicodeCodes();
    // Codes the fast path leaves to the full step: the start of a longer sequence, and a fallback when
    // fallbacks are not used.
    const uint32_t slowBits =
        BaseBConverterImpl::kLongerKeysBit | (fUseFallback ? 0 : BaseBConverterImpl::kFallbackBit);
    char16_t window[kMaxMappingUnits];
    while (p < total) {
        if (p >= savedLength && !offsets) {
            // Fast path: one unit to one or two bytes.
            // No unit writes more than two bytes, so `stop` bounds the run by the room left.
            const char16_t* s = in + (p - savedLength);
            const char16_t* const stop =
                s + std::min<size_t>(static_cast<size_t>(in + length - s), (limit - o) / 2);
            uint8_t* dst = out + o;
            while (s < stop) {
                const uint32_t code = unitCodes[*s];
                const uint32_t n = (code >> BaseBConverterImpl::kByteLengthShift) & 3;
                if (!n || (code & slowBits)) break;
                dst[0] = static_cast<uint8_t>(code >> (8 * (n - 1)));
                dst[1] = static_cast<uint8_t>(code); // overwritten by the next unit when n is 1
                dst += n;
                ++s;
            }
            o = static_cast<uint32_t>(dst - out);
            p = savedLength + static_cast<uint64_t>(s - in);
            if (p >= total) break;
        }
        const uint64_t available = total - p;
        const char16_t* w;
        if (p < savedLength) {
            const uint64_t n = std::min<uint64_t>(available, kMaxMappingUnits);
            for (uint64_t k = 0; k < n; ++k) window[k] = at(p + k);
            w = window;
        } else {
            w = in + (p - savedLength);
        }
        const char16_t unit = w[0];
        const uint32_t code = tables.UnitCode(unit);
        const int32_t offset = static_cast<int32_t>(p);

        uint32_t bytes = 0, byteLength = 0, matched = 0;
        if (code & BaseBConverterImpl::kLongerKeysBit) {
            const uint8_t longest = static_cast<uint8_t>(std::min<uint64_t>(available, kMaxMappingUnits));
            if (!flush && available < kMaxMappingUnits && tables.IsProperPrefix(w, longest)) {
                holdBack(); // the rest of a longer sequence may come with the next call
                break;
            }
            for (uint8_t n = longest; n >= 2 && !matched; --n) {
                const auto* m = tables.FindSequence(w, n);
                if (m && (m->fallback != kFromUnicodeOnly || fUseFallback)) {
                    matched = n;
                    bytes = m->bytes;
                    byteLength = m->byteLength;
                }
            }
        }
        if (!matched) {
            const uint32_t n = (code >> BaseBConverterImpl::kByteLengthShift) & 3;
            if (n && (!(code & BaseBConverterImpl::kFallbackBit) || fUseFallback)) {
                matched = 1;
                bytes = code & BaseBConverterImpl::kBytesMask;
                byteLength = n;
            }
        }

        if (matched) {
            if (o + byteLength > limit) return overflow();
            if (byteLength == 2) {
                if (offsets) offsets[o] = offset;
                out[o++] = static_cast<uint8_t>(bytes >> 8);
            }
            if (offsets) offsets[o] = offset;
            out[o++] = static_cast<uint8_t>(bytes);
            p += matched;
            continue;
        }

        uint8_t badLength = 1;
        if (isHighSurrogate(unit)) {
            if (available == 1 && !flush) {
                holdBack();
                break;
            }
            if (available >= 2 && isLowSurrogate(w[1])) badLength = 2;
        }
        if (!substitute) {
            fInvalid[0] = unit;
            fInvalid[1] = badLength == 2 ? w[1] : 0;
            fInvalidLength = badLength;
            out[o] = 0;
            sourceLength = p < savedLength ? 0 : static_cast<uint32_t>(p - savedLength);
            targetLength = o + 1;
            return kStopped;
        }
        if (o + fSubstLength > limit) return overflow();
        for (uint8_t k = 0; k < fSubstLength; ++k) {
            if (offsets) offsets[o] = offset;
            out[o++] = fSubst[k];
        }
        status = addFlags(status, kSubstituted);
        p += badLength;
    }

    if (fCarryLength) status = addFlags(status, kPending);
    out[o] = 0;
    sourceLength = length;
    targetLength = o + 1;
    return status;
}

} // namespace ZuText
