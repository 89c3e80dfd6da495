// The two start-up steps Connect calls today, forwarded to the layers' own start-up functions. Declared
// here as well, so that this unit does not depend on where Connect declares them; it goes once Connect
// calls the layers' functions itself.
#include "dom/DOMStartup.hpp"
#include "events/EventsStartup.hpp"
#include "xpath/XPathWrapperImpl.hpp"

namespace Kw::startup {

void registerDOMImplementation();
void fillEventFactoryTable();

void registerDOMImplementation() {
    domImpl::startDOM();
    // Xalan-C's XPath classes need their own one-time start-up.
    domImpl::xpathImpl::startXPath();
}

void fillEventFactoryTable() {
    domImpl::eventsImpl::startEvents();
}

} // namespace Kw::startup
