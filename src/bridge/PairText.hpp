// Reading the "first/second" text of a node-reference attribute straight from the host's UTF-16 text.
#pragma once

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>
#include <cstdint>

namespace Kw {

// The two 32-bit numbers of a "first/second" text, as the C library's "%ld/%ld" reads the text's first
// 255 characters converted to windows-1252, each number's low 32 bits kept: leading white space skipped
// before each number, an optional sign, decimal digits (a number past the 64-bit range saturates before
// its low bits are taken), the slash right after the first number. A number the text does not hold is 0.
// The text is read unit by unit as long as every unit the read looks at is ASCII, which that conversion
// keeps as it is; answers false, with nothing written, when the read meets a unit outside ASCII (whose
// conversion may depend on the code page's fallbacks): such a text takes the 8-bit route.
bool readPairText(const XMLCh* text, size_t length, int32_t& first, int32_t& second);

} // namespace Kw
