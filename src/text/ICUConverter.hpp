// ICUConverter: a converter over one ICU converter, for encoding identifiers 0 to 51.
#pragma once

#include "text/BaseConverter.hpp"

#include <unicode/ucnv.h>

#include <vector>

namespace ZuText {

class ICUConverter : public BaseConverter {
public:
    // Opens the ICU converter of the encoding's name. A name ICU does not know (or no name) still gives an
    // object; its conversions then answer kNoConverter and its queries kQueryFailed.
    ICUConverter(uint32_t encoding, Direction direction, bool useFallback, bool substitute,
                 const char* substChars = nullptr, uint32_t substLength = 0);
    ~ICUConverter() override;
    ICUConverter(const ICUConverter&) = delete;
    ICUConverter& operator=(const ICUConverter&) = delete;

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

    bool IsOpen() const { return fConverter != nullptr; }

private:
    static void U_CALLCONV substituteToUnicode(const void* context, UConverterToUnicodeArgs* args,
                                               const char* codeUnits, int32_t length,
                                               UConverterCallbackReason reason, UErrorCode* error);
    static void U_CALLCONV substituteFromUnicode(const void* context, UConverterFromUnicodeArgs* args,
                                                 const UChar* codeUnits, int32_t length, UChar32 codePoint,
                                                 UConverterCallbackReason reason, UErrorCode* error);

    int32_t pending() const;
    bool isStateful() const;
    // Worst-case target capacity, terminator included, for `units` source units (pending ones included).
    uint64_t worstCase(uint64_t units) const;

    UConverter* fConverter = nullptr;
    bool fSubstituted = false;
    std::vector<int32_t> fOffsets; // ICU's offsets, kept between calls to avoid reallocation
};

} // namespace ZuText
