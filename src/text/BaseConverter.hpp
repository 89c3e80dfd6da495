// BaseConverter: what both kinds of converter share (encoding, direction, substitute flag) and the
// operations that are the same for both.
#pragma once

#include <DOMKw/text/IConverter.hpp>

namespace ZuText {

class BaseConverter : public IConverter {
public:
    ~BaseConverter() override;

    Status Convert(const void* source, uint32_t& sourceLength, void* target, uint32_t& targetLength,
                   bool flush, int32_t* offsets = nullptr) override;
    Status GetEncoding(uint32_t& encoding) const override;
    Status GetDirection(Direction& direction) const override;
    Status ConvertAllocating(const void* source, uint32_t& sourceLength, void*& target,
                             uint32_t& targetLength, bool flush) override;

protected:
    BaseConverter(uint32_t encoding, Direction direction, bool substitute)
        : fEncoding(encoding), fDirection(direction), fSubstitute(substitute) {}

    bool toUnicode() const { return fDirection == Direction::toUnicode; }
    // How many source units ConvertCharacter takes: from Unicode one unit or a surrogate pair; to Unicode
    // everything offered.
    uint32_t characterLength(const void* source, uint32_t sourceLength) const;
    // Failure epilogue shared by the converters: nothing consumed, nothing written, an empty terminated
    // target when there is room.
    Status fail(Status status, void* target, uint32_t& sourceLength, uint32_t& targetLength,
                int32_t* offsets) const;
    // The checks every buffer conversion starts with (a converter that did not open, no room, no source):
    // the status to answer when the conversion must stop there, else 0.
    Status refuseBuffer(bool open, const void* source, uint32_t& sourceLength, void* target,
                        uint32_t& targetLength, int32_t* offsets) const;

    uint32_t fEncoding;
    Direction fDirection;
    bool fSubstitute;
};

} // namespace ZuText
