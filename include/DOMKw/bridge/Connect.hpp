// The library's start-up entry: the host calls it once, before anything else.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>

namespace Kw {

// Fills the host callback table, registers the key constants, starts Xerces-C and publishes the
// library's DOM implementation, and fills the event factory table. Throws xercesc::DOMException.
void Connect(const ActivateRec& rec);

} // namespace Kw
