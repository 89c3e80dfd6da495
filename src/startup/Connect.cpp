// Start-up composition: the one unit above every layer. Each layer starts its own part; Connect only
// puts them in order.
#include <DOMKw/bridge/Connect.hpp>

#include "bridge/BridgeStartup.hpp"

// The later steps, defined by the layers that own them (dom: the DOM implementation source and the
// XPath start-up; events: the event factory table).
namespace Kw::startup {
void registerDOMImplementation();
void fillEventFactoryTable();
} // namespace Kw::startup

namespace Kw {

void Connect(const ActivateRec& rec) {
    // The callback table, then the key constants: a refused registration ends Connect here.
    startBridge(rec);
    // Xerces-C and the published DOM implementation, then the event factories.
    startup::registerDOMImplementation();
    startup::fillEventFactoryTable();
}

} // namespace Kw
