// The encoding identifier table and the system default encoding (identifier 21).
#pragma once

#include <cstdint>

namespace ZuText {

// Number of identifiers with an entry in the name table (0 to 51).
constexpr uint32_t kIcuEncodingCount = 52;

// Forgets the cached system default, so that the next request reads the system language again.
void ResetSystemDefaultEncoding();

// The encoding of a Windows language identifier: primary language in the low byte, sublanguage from bit
// 10 up. `supported` is false (and the result 0) for a language without an encoding of its own.
uint32_t EncodingOfLanguage(uint16_t langId, bool& supported);

} // namespace ZuText
