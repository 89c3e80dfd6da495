#include "text/BaseConverter.hpp"

#include <cstdlib>

namespace ZuText {

IConverter::~IConverter() = default;
BaseConverter::~BaseConverter() = default;

Status BaseConverter::refuseBuffer(bool open, const void* source, uint32_t& sourceLength, void* target,
                                   uint32_t& targetLength, int32_t* offsets) const {
    if (!open) return fail(kNoConverter, target, sourceLength, targetLength, offsets);
    if (!target || targetLength < 1) {
        sourceLength = 0;
        targetLength = 0;
        return kNoRoom;
    }
    if (!source && sourceLength > 0) return fail(kConversionError, target, sourceLength, targetLength, offsets);
    return kConverted;
}

Status BaseConverter::fail(Status status, void* target, uint32_t& sourceLength, uint32_t& targetLength,
                           int32_t* offsets) const {
    if (target && targetLength > 0) {
        if (toUnicode())
            *static_cast<char16_t*>(target) = 0;
        else
            *static_cast<char*>(target) = 0;
    }
    if (offsets && targetLength > 0) offsets[0] = 0;
    sourceLength = 0;
    targetLength = 0;
    return status;
}

Status BaseConverter::Convert(const void* source, uint32_t& sourceLength, void* target,
                              uint32_t& targetLength, bool flush, int32_t* offsets) {
    if (!target || targetLength < 1) {
        sourceLength = 0;
        targetLength = 0;
        return kNoRoom;
    }
    if (!source && sourceLength > 0)
        return fail(kConversionError, target, sourceLength, targetLength, offsets);
    return ConvertBuffer(source, sourceLength, target, targetLength, flush, offsets);
}

Status BaseConverter::GetEncoding(uint32_t& encoding) const {
    encoding = fEncoding;
    return kConverted;
}

Status BaseConverter::GetDirection(Direction& direction) const {
    direction = fDirection;
    return kConverted;
}

uint32_t BaseConverter::characterLength(const void* source, uint32_t sourceLength) const {
    if (toUnicode() || sourceLength == 0 || !source) return sourceLength;
    const char16_t first = *static_cast<const char16_t*>(source);
    return (sourceLength >= 2 && first >= 0xD800 && first <= 0xDBFF) ? 2 : 1;
}

Status BaseConverter::ConvertAllocating(const void* source, uint32_t& sourceLength, void*& target,
                                        uint32_t& targetLength, bool flush) {
    target = nullptr;
    targetLength = 0;
    uint32_t size = 0;
    if (const Status status = GetMaxOutputSize(sourceLength, size); status > 0) {
        sourceLength = 0;
        return status;
    }
    void* buffer = std::malloc(static_cast<size_t>(size) * (toUnicode() ? sizeof(char16_t) : 1));
    if (!buffer) {
        sourceLength = 0;
        return kConversionError;
    }
    uint32_t written = size;
    const Status status = ConvertCharacter(source, sourceLength, buffer, written, flush);
    if (status > 0) {
        std::free(buffer);
        sourceLength = 0;
        return status;
    }
    target = buffer;
    targetLength = written;
    return status;
}

} // namespace ZuText
