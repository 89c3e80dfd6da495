#include "bridge/StartupSteps.hpp"

#include "bridge/HostStatus.hpp"

namespace Kw::startup {

} // namespace Kw::startup
