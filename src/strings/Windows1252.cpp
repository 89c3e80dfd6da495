#include "strings/Windows1252.hpp"

#include <DOMKw/text/TextConversion.hpp>

#include <cstdint>

namespace Kw::strings {

void toWindows1252(const XMLCh* source, long length, unsigned char* target, long capacity) {
    if (!target || capacity <= 0) return;
    target[0] = 0;
    if (!source || length <= 0) return;
    // The converters count in 32 bits; a longer string is cut rather than overrun.
    uint32_t sourceLength =
        length > static_cast<long>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(length);
    uint32_t targetLength =
        capacity > static_cast<long>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(capacity);
    ZuText::FromUnicode(0, source, sourceLength, reinterpret_cast<char*>(target), targetLength);
}

} // namespace Kw::strings
