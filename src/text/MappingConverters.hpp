// The two directions of a mapping-table converter. BConverter holds one of them and forwards to it.
#pragma once

#include "text/BaseBConverterImpl.hpp"

#include <DOMKw/text/IConverter.hpp>

#include <memory>

namespace ZuText {

class TableConverter {
public:
    virtual ~TableConverter();
    // As IConverter::ConvertBuffer, with a target of at least one unit.
    virtual Status Convert(const void* source, uint32_t& sourceLength, void* target, uint32_t& targetLength,
                           bool flush, bool substitute, int32_t* offsets) = 0;
    virtual uint32_t PendingCount() const = 0;
    virtual void Reset() = 0;
    // Copies at most `room` units of the last invalid sequence; returns how many.
    virtual uint32_t InvalidChars(void* chars, uint32_t room) const = 0;
    // Copies at most `room` substitution bytes; returns how many (0 when they do not fit).
    virtual uint32_t SubstitutionChars(char* chars, uint32_t room) const = 0;
    // Worst-case target capacity for `inputLength` more units, terminator included.
    virtual uint64_t MaxOutputSize(uint32_t inputLength) const = 0;
};

class ToUnicodeConverter : public TableConverter {
public:
    explicit ToUnicodeConverter(std::shared_ptr<const BaseBConverterImpl> tables)
        : fTables(std::move(tables)) {}
    ~ToUnicodeConverter() override;

    Status Convert(const void* source, uint32_t& sourceLength, void* target, uint32_t& targetLength,
                   bool flush, bool substitute, int32_t* offsets) override;
    uint32_t PendingCount() const override { return fHasCarry ? 1 : 0; }
    void Reset() override;
    uint32_t InvalidChars(void* chars, uint32_t room) const override;
    uint32_t SubstitutionChars(char* chars, uint32_t room) const override;
    uint64_t MaxOutputSize(uint32_t inputLength) const override;

private:
    std::shared_ptr<const BaseBConverterImpl> fTables;
    uint8_t fCarry = 0; // a lead byte that ended the previous source
    bool fHasCarry = false;
    uint8_t fInvalid[2] = {0, 0};
    uint8_t fInvalidLength = 0;
};

class FromUnicodeConverter : public TableConverter {
public:
    // `substChars` replaces the file's replacement character when it has 1 to MaxCharSize bytes.
    FromUnicodeConverter(std::shared_ptr<const BaseBConverterImpl> tables, bool useFallback,
                         const char* substChars, uint32_t substLength);
    ~FromUnicodeConverter() override;

    Status Convert(const void* source, uint32_t& sourceLength, void* target, uint32_t& targetLength,
                   bool flush, bool substitute, int32_t* offsets) override;
    uint32_t PendingCount() const override { return fCarryLength; }
    void Reset() override;
    uint32_t InvalidChars(void* chars, uint32_t room) const override;
    uint32_t SubstitutionChars(char* chars, uint32_t room) const override;
    uint64_t MaxOutputSize(uint32_t inputLength) const override;

private:
    static constexpr uint8_t kMaxCarry = kMaxMappingUnits - 1;

    std::shared_ptr<const BaseBConverterImpl> fTables;
    bool fUseFallback;
    uint8_t fSubst[2];
    uint8_t fSubstLength;
    // Units that ended the previous source: a high surrogate, or the start of a longer mapped sequence.
    char16_t fCarry[kMaxCarry] = {};
    uint8_t fCarryLength = 0;
    char16_t fInvalid[2] = {0, 0};
    uint8_t fInvalidLength = 0;
};

} // namespace ZuText
