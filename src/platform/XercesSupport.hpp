// Xerces-C as every layer meets it: started once, and its DOMException thrown with a message the
// library can always load. Lowest in the picture, so that strings (Base64, DOMBTString) and the bridge
// share one way of doing both.
#pragma once

namespace Kw {

// Starts Xerces-C once (a DOMException needs its message loader and memory manager).
void ensureXercesStarted();

// Throws xercesc::DOMException(code, message code 0, XMLPlatformUtils::fgMemoryManager).
[[noreturn]] void throwDOMException(short code);

} // namespace Kw
