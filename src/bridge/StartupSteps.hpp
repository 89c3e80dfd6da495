// The later steps of Connect, each owned by the layer that needs it.
#pragma once

namespace Kw::startup {

// Starts Xerces-C and publishes the library's DOM implementation source.
void registerDOMImplementation();

// Fills the process-wide event-object factory table.
void fillEventFactoryTable();

} // namespace Kw::startup
