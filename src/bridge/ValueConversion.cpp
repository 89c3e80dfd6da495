#include "bridge/ValueConversion.hpp"

#include <DOMKw/platform/Exceptions.hpp>

#include "bridge/CallbackTable.hpp"
#include "platform/XercesSupport.hpp"

namespace Kw::host {

void convertValue(void* out, ConvertMode mode, intptr_t x, intptr_t y, int32_t z) {
    if (callbacks().ConvertValue(out, mode, x, y, z) != 0) throwDOMException(dom::Exceptions::VALIDATION_ERR);
}

} // namespace Kw::host
