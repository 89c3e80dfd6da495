// ZuText entry points: converters by encoding identifier, the one-entry converter cache, and the
// registration of code-page mapping files.
//
// Identifiers 0 to 51 convert through ICU under fixed encoding names; 21 stands for the system default
// encoding; 52 to 58 convert through tables built from a registered mapping file.
#pragma once

#include <DOMKw/text/IConverter.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace ZuText {

constexpr uint32_t kSystemDefaultEncoding = 21;
constexpr uint32_t kFirstMappingEncoding = 52;
constexpr uint32_t kLastMappingEncoding = 58;

// The encoding name handed to ICU for `id`, or null when there is none (20, 52 and above).
const char* GetEncodingName(uint32_t id);

// The identifier that 21 stands for, from the system language. `languageSupported`, when given, tells
// whether the system language has an encoding of its own (otherwise the result is 0, windows-1252).
uint32_t GetSystemDefaultEncoding(bool* languageSupported = nullptr);

// A new converter: ICU for `id` below 52, a mapping-table converter for 52 to 58, null otherwise.
// `substChars`/`substLength` replace the substitution bytes of the from-Unicode direction.
std::unique_ptr<IConverter> CreateConverter(uint32_t id, Direction direction, bool useFallback,
                                            bool substitute, const char* substChars = nullptr,
                                            uint32_t substLength = 0);

// Whole-buffer conversions through the cached converter of (`id`, direction), substituting what the
// encoding cannot represent, with the source ending at its end. Lengths as in IConverter. True when the
// status is 0 or below. ToUnicode and FromUnicode call ConvertBuffer; ConvertToUnicode and
// ConvertFromUnicode call the argument-checking Convert.
bool ToUnicode(uint32_t id, const char* source, uint32_t& sourceLength, char16_t* target,
               uint32_t& targetLength);
bool FromUnicode(uint32_t id, const char16_t* source, uint32_t& sourceLength, char* target,
                 uint32_t& targetLength);
bool ConvertToUnicode(uint32_t id, const char* source, uint32_t& sourceLength, char16_t* target,
                      uint32_t& targetLength);
bool ConvertFromUnicode(uint32_t id, const char16_t* source, uint32_t& sourceLength, char* target,
                        uint32_t& targetLength);

// Mapping files. The registry keeps its own copy of the text. Results: RegisterMapping 3 when `id` is
// already registered; SetMappingErrorLog 4 when `id` is not registered or has no text, 3 when it already
// has a log; UnregisterMapping 2 when `id` is not registered; 0 otherwise. SetMappingErrorLog builds the
// tables of `id` (unless a converter built them already) and appends their format errors and repairs to
// `log` as "\r\n" lines before it returns; the log is not kept, so it need only live through the call.
int32_t RegisterMapping(uint32_t id, const char* text, size_t length);
int32_t SetMappingErrorLog(uint32_t id, std::string* log);
int32_t UnregisterMapping(uint32_t id);

} // namespace ZuText
