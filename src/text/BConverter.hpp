// BConverter: a converter over the tables of a registered mapping file (encoding identifiers 52 to 58).
#pragma once

#include "text/BaseBConverterImpl.hpp"
#include "text/BaseConverter.hpp"
#include "text/MappingConverters.hpp"

#include <memory>

namespace ZuText {

class BConverter : public BaseConverter {
public:
    // Without usable tables (no registered text, or a header that could not be read) conversions answer
    // kNoConverter and queries kQueryFailed. The converter shares the tables, so unregistering the mapping
    // does not pull them from under it.
    BConverter(uint32_t encoding, Direction direction, std::shared_ptr<const BaseBConverterImpl> tables,
               bool useFallback, bool substitute, const char* substChars = nullptr, uint32_t substLength = 0);
    ~BConverter() override;

    Status ConvertBuffer(const void* source, uint32_t& sourceLength, void* target, uint32_t& targetLength,
                         bool flush, int32_t* offsets = nullptr) override;
    Status Reset() override;
    Status UsesFallback(bool& usesFallback) const override;
    Status ConvertCharacter(const void* source, uint32_t& sourceLength, void* target, uint32_t& targetLength,
                            bool flush) override;
    Status GetSubstitutionChars(char* chars, uint32_t& length) const override;
    Status CountPending(uint32_t& count) const override;
    Status GetMaxOutputSize(uint32_t inputLength, uint32_t& size) const override;
    Status GetInvalidChars(void* chars, uint32_t& length) const override;
    Status GetCharSizeInfo(uint8_t& minSize, uint8_t& maxSize, uint8_t starters[256]) const override;

    bool HasTables() const { return fConverter != nullptr; }

private:
    std::shared_ptr<const BaseBConverterImpl> fTables;
    std::unique_ptr<TableConverter> fConverter;
    bool fUseFallback;
};

} // namespace ZuText
