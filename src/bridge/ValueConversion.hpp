// The host's value conversion (ConvertValue), the one host operation the strings layer may call: typed
// attribute values (XSD::SimpleType, Kw::StringToEnum and friends) convert through the host's schema.
// Only this header of the bridge may be included from src/strings.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>

#include <cstdint>

namespace Kw::host {

// Calls ConvertValue(out, mode, x, y, z). Every conversion the host refuses is a validation error:
// whatever its status, a refusal throws DOMException 16 (the conversion convention of the bridge).
void convertValue(void* out, ConvertMode mode, intptr_t x, intptr_t y, int32_t z);

} // namespace Kw::host
