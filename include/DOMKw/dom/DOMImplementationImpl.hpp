// The registry's answer for a feature list. The library's own DOMImplementation is found through
// Xerces-C's registry by the feature "Tellam" (DOMImplementationRegistry::getDOMImplementation).
#pragma once

#include <xercesc/dom/DOMImplementation.hpp>

// The registry's answer for a feature list, whichever implementation it is (or null).
XERCES_CPP_NAMESPACE::DOMImplementation* DOMImplementationRegistryGet(const XMLCh* features);
