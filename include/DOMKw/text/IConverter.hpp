// ZuText converter interface: one converter object converts in one direction between UTF-16 and one
// legacy encoding, named by its encoding identifier.
#pragma once

#include <cstdint>

namespace ZuText {

// 32-bit status of every converter operation. The top four bits are flags: 0, and any value with the top
// bit set, mean success.
using Status = int32_t;

constexpr Status kConverted = 0;                                  // converted completely
constexpr Status kPending = static_cast<Status>(0xA0000000u);     // units of an incomplete sequence held back
constexpr Status kSubstituted = static_cast<Status>(0x90000000u); // at least one substitution
constexpr Status kSubstitutedPending = static_cast<Status>(0xB0000000u);
constexpr Status kStopped = static_cast<Status>(0xC0000000u); // stopped at an invalid sequence
constexpr Status kNoRoom = 1;                                 // the target has no room
constexpr Status kQueryFailed = 4;     // a query failed, or there is no converter to query
constexpr Status kNoConverter = 5;     // the converter could not be opened
constexpr Status kConversionError = 6; // any other conversion failure

inline bool Succeeded(Status status) {
    return status <= 0;
}

enum class Direction : uint8_t { toUnicode = 0, fromUnicode = 1 };

// Room a caller gives GetInvalidChars at most (the longest invalid sequence kept).
constexpr uint32_t kMaxInvalidChars = 127;

// Buffers: in the to-Unicode direction the source is bytes (char) and the target UTF-16 units
// (char16_t); from Unicode the other way round. Lengths count elements of those types.
//
// `sourceLength`: in, the units offered; out, the units consumed (units of an incomplete sequence held
// back count as consumed). `targetLength`: in, the capacity of `target`; out, the units written plus one
// for the terminating zero that every successful conversion writes after its output. Nothing is ever
// written past the capacity. A failed conversion (status above 0) reports both lengths as 0, leaves the
// converter as it was before the call and, when there is room, leaves an empty terminated target.
// `flush`: the source ends here, so an incomplete sequence at its end is invalid rather than held back.
// `offsets` (optional, room for the capacity): for each output unit, the index of the input unit it came
// from, counted from the first unit held back by an earlier call.
class IConverter {
public:
    virtual ~IConverter();

    // Checks the arguments, then converts through ConvertBuffer.
    virtual Status Convert(const void* source, uint32_t& sourceLength, void* target, uint32_t& targetLength,
                           bool flush, int32_t* offsets = nullptr) = 0;
    // The converter's own buffer conversion.
    virtual Status ConvertBuffer(const void* source, uint32_t& sourceLength, void* target,
                                 uint32_t& targetLength, bool flush, int32_t* offsets = nullptr) = 0;
    // Discards held-back units and the record of the last invalid sequence.
    virtual Status Reset() = 0;
    virtual Status UsesFallback(bool& usesFallback) const = 0;
    virtual Status GetEncoding(uint32_t& encoding) const = 0;
    virtual Status GetDirection(Direction& direction) const = 0;
    // One character: from Unicode one unit, or a surrogate pair when at least two units are offered and
    // the first is a high surrogate; to Unicode the bytes offered (meant to be one character).
    virtual Status ConvertCharacter(const void* source, uint32_t& sourceLength, void* target,
                                    uint32_t& targetLength, bool flush) = 0;
    // ConvertCharacter into a buffer of GetMaxOutputSize units allocated with std::malloc; the caller frees
    // it with std::free. On failure nothing stays allocated and `target` is null.
    virtual Status ConvertAllocating(const void* source, uint32_t& sourceLength, void*& target,
                                     uint32_t& targetLength, bool flush) = 0;
    // `length`: in, the room in `chars`; out, the number of substitution bytes.
    virtual Status GetSubstitutionChars(char* chars, uint32_t& length) const = 0;
    virtual Status CountPending(uint32_t& count) const = 0;
    // Worst-case target capacity (terminator included) for `inputLength` more source units.
    virtual Status GetMaxOutputSize(uint32_t inputLength, uint32_t& size) const = 0;
    // The bytes (to Unicode) or UTF-16 units (from Unicode) of the last invalid sequence. `length`: in, the
    // room in `chars` in those units (at most kMaxInvalidChars is used); out, the units stored.
    virtual Status GetInvalidChars(void* chars, uint32_t& length) const = 0;
    // Minimum and maximum bytes per character, and for every byte value whether it may start a character.
    virtual Status GetCharSizeInfo(uint8_t& minSize, uint8_t& maxSize, uint8_t starters[256]) const = 0;
};

} // namespace ZuText
