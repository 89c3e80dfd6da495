// Start-up composition: the one unit above every layer. Each layer starts its own part; Connect only
// puts them in order.
#include <DOMKw/bridge/Connect.hpp>

#include "bridge/BridgeStartup.hpp"
#include "dom/DOMStartup.hpp"
#include "events/EventsStartup.hpp"
#include "serialize/SerializerStartup.hpp"
#include "xpath/XPathStartup.hpp"

namespace Kw {

void Connect(const ActivateRec& rec) {
    // The callback table, then the key constants: a refused registration ends Connect here.
    startBridge(rec);
    // Xerces-C and the published DOM implementation source.
    domImpl::startDOM();
    // The event-object factories.
    domImpl::eventsImpl::startEvents();
    // Xalan-C's one-time start-up, and the XPath support documents evaluate through.
    domImpl::xpathImpl::startXPath();
    // The serializer factory that createLSSerializer and saveToString use.
    domImpl::serializeImpl::startSerializer();
}

} // namespace Kw
