// The qualified name the host resolves for one of an element's attribute keys, on a borrowed handle:
// the name an attribute node of that key carries (see AttributeRef::resolveName).
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>

#include "bridge/CallbackTable.hpp"
#include "bridge/HostStatus.hpp"

namespace Kw::handleReads {

// The key of the attribute's qualified name; throws the host's refusal.
inline HostKey attributeQualifiedName(HostRef element, HostKey name) {
    HostKey out[4] = {NO_KEY, NO_KEY, NO_KEY, NO_KEY};
    checkStatus(host::callbacks().ResolveAttributeName(out, element, NO_KEY, name));
    return out[1];
}

} // namespace Kw::handleReads
