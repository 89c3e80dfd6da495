// The conversion behind DOMBTString::GetUChar: UTF-16 to windows-1252 (encoding 0) through the text
// layer's converter cache, with substitution.
#pragma once

#include <xercesc/util/XercesDefs.hpp>

namespace Kw::strings {

// Converts `length` units into `target` (room for `capacity` bytes, the terminating zero included);
// unconvertible characters become the code page's substitution byte. The result is always terminated
// when capacity > 0, and nothing is written past the capacity.
void toWindows1252(const XMLCh* source, long length, unsigned char* target, long capacity);

} // namespace Kw::strings
