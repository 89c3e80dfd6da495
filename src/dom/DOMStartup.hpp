// The dom layer's part of start-up.
#pragma once

namespace domImpl {

// Starts Xerces-C and adds the library's implementation source to its registry (once). A failed
// start-up of Xerces-C is DOMException -1.
void startDOM();

} // namespace domImpl
