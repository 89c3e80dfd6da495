// The bridge's part of start-up: the host's callback table and the registered key constants.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>

namespace Kw {

// Fills the callback table from the host's GetCallbacks, then registers the key constants in table
// order. The first refused registration throws and leaves the later constants untouched (the failing
// one keeps its name, unregistered).
void startBridge(const ActivateRec& rec);

} // namespace Kw
