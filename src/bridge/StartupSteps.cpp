// Until the DOM implementation and the event layer exist, the start-up steps only start Xerces-C.
#include "bridge/StartupSteps.hpp"

#include "bridge/HostStatus.hpp"

namespace Kw::startup {

void registerDOMImplementation() { ensureXercesStarted(); }

void fillEventFactoryTable() {}

} // namespace Kw::startup
