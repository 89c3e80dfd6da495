// The ZuText entry points.
#include <DOMKw/text/TextConversion.hpp>

#include "text/BConverter.hpp"
#include "text/ConverterCache.hpp"
#include "text/EncodingTable.hpp"
#include "text/ICUConverter.hpp"
#include "text/MappingRegistry.hpp"

namespace ZuText {

std::unique_ptr<IConverter> CreateConverter(uint32_t id, Direction direction, bool useFallback,
                                            bool substitute, const char* substChars, uint32_t substLength) {
    if (id < kFirstMappingEncoding)
        return std::make_unique<ICUConverter>(id, direction, useFallback, substitute, substChars,
                                              substLength);
    if (id <= kLastMappingEncoding)
        return std::make_unique<BConverter>(id, direction, MappingRegistry::Instance().Tables(id),
                                            useFallback, substitute, substChars, substLength);
    return nullptr;
}

namespace {

template <bool checked>
bool convertCached(uint32_t id, Direction direction, const void* source, uint32_t& sourceLength, void* target,
                   uint32_t& targetLength, size_t unitSize) {
    if (id == kSystemDefaultEncoding) id = GetSystemDefaultEncoding();
    return ConverterCache::Instance().With(id, direction, [&](IConverter* converter) {
        if (!converter) {
            if (target && targetLength > 0) {
                if (unitSize == 1)
                    *static_cast<char*>(target) = 0;
                else
                    *static_cast<char16_t*>(target) = 0;
            }
            sourceLength = 0;
            targetLength = 0;
            return false;
        }
        const Status status =
            checked ? converter->Convert(source, sourceLength, target, targetLength, true)
                    : converter->ConvertBuffer(source, sourceLength, target, targetLength, true);
        return Succeeded(status);
    });
}

} // namespace

bool ToUnicode(uint32_t id, const char* source, uint32_t& sourceLength, char16_t* target,
               uint32_t& targetLength) {
    return convertCached<false>(id, Direction::toUnicode, source, sourceLength, target, targetLength,
                                sizeof(char16_t));
}

bool FromUnicode(uint32_t id, const char16_t* source, uint32_t& sourceLength, char* target,
                 uint32_t& targetLength) {
    return convertCached<false>(id, Direction::fromUnicode, source, sourceLength, target, targetLength, 1);
}

bool ConvertToUnicode(uint32_t id, const char* source, uint32_t& sourceLength, char16_t* target,
                      uint32_t& targetLength) {
    return convertCached<true>(id, Direction::toUnicode, source, sourceLength, target, targetLength,
                               sizeof(char16_t));
}

bool ConvertFromUnicode(uint32_t id, const char16_t* source, uint32_t& sourceLength, char* target,
                        uint32_t& targetLength) {
    return convertCached<true>(id, Direction::fromUnicode, source, sourceLength, target, targetLength, 1);
}

int32_t RegisterMapping(uint32_t id, const char* text, size_t length) {
    return MappingRegistry::Instance().Register(id, text, length);
}

int32_t SetMappingErrorLog(uint32_t id, std::string* log) {
    return MappingRegistry::Instance().SetErrorLog(id, log);
}

int32_t UnregisterMapping(uint32_t id) {
    const int32_t status = MappingRegistry::Instance().Unregister(id);
    // A cached converter would otherwise go on converting with the tables of the old registration.
    if (status == 0) ConverterCache::Instance().Discard(id);
    return status;
}

} // namespace ZuText
