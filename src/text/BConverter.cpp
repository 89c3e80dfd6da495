#include "text/BConverter.hpp"

#include <algorithm>

namespace ZuText {

BConverter::BConverter(uint32_t encoding, Direction direction,
                       std::shared_ptr<const BaseBConverterImpl> tables, bool useFallback, bool substitute,
                       const char* substChars, uint32_t substLength)
    : BaseConverter(encoding, direction, substitute), fTables(std::move(tables)), fUseFallback(useFallback) {
    if (!fTables || !fTables->IsUsable()) return;
    if (toUnicode())
        fConverter = std::make_unique<ToUnicodeConverter>(fTables);
    else
        fConverter = std::make_unique<FromUnicodeConverter>(fTables, useFallback, substChars, substLength);
}

BConverter::~BConverter() = default;

Status BConverter::ConvertBuffer(const void* source, uint32_t& sourceLength, void* target,
                                 uint32_t& targetLength, bool flush, int32_t* offsets) {
    if (Status refused = refuseBuffer(fConverter != nullptr, source, sourceLength, target, targetLength, offsets))
        return refused;
    return fConverter->Convert(source, sourceLength, target, targetLength, flush, fSubstitute, offsets);
}

Status BConverter::ConvertCharacter(const void* source, uint32_t& sourceLength, void* target,
                                    uint32_t& targetLength, bool flush) {
    uint32_t length = characterLength(source, sourceLength);
    const Status status = Convert(source, length, target, targetLength, flush);
    sourceLength = length;
    return status;
}

Status BConverter::Reset() {
    if (!fConverter) return kQueryFailed;
    fConverter->Reset();
    return kConverted;
}

Status BConverter::UsesFallback(bool& usesFallback) const {
    if (!fConverter) return kQueryFailed;
    usesFallback = fUseFallback;
    return kConverted;
}

Status BConverter::GetSubstitutionChars(char* chars, uint32_t& length) const {
    if (!fConverter || !chars) return kQueryFailed;
    const uint32_t n = fConverter->SubstitutionChars(chars, length);
    if (n == 0) return kQueryFailed;
    length = n;
    return kConverted;
}

Status BConverter::CountPending(uint32_t& count) const {
    if (!fConverter) return kQueryFailed;
    count = fConverter->PendingCount();
    return kConverted;
}

Status BConverter::GetMaxOutputSize(uint32_t inputLength, uint32_t& size) const {
    if (!fConverter) return kQueryFailed;
    const uint64_t worst = fConverter->MaxOutputSize(inputLength);
    if (worst > UINT32_MAX) return kQueryFailed;
    size = static_cast<uint32_t>(worst);
    return kConverted;
}

Status BConverter::GetInvalidChars(void* chars, uint32_t& length) const {
    if (!fConverter || !chars) return kQueryFailed;
    length = fConverter->InvalidChars(chars, std::min(length, kMaxInvalidChars));
    return kConverted;
}

Status BConverter::GetCharSizeInfo(uint8_t& minSize, uint8_t& maxSize, uint8_t starters[256]) const {
    if (!fConverter || !starters) return kQueryFailed;
    minSize = 1;
    maxSize = fTables->MaxCharSize();
    const uint8_t* classes = fTables->ByteClasses();
    for (int b = 0; b < 256; ++b) starters[b] = (classes[b] & (kSingleByte | kLeadByte)) ? 1 : 0;
    return kConverted;
}

} // namespace ZuText
