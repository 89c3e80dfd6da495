// Until the event layer exists, filling the event factory table does nothing.
#include "bridge/StartupSteps.hpp"

#include "bridge/HostStatus.hpp"

namespace Kw::startup {

void fillEventFactoryTable() {}

} // namespace Kw::startup
