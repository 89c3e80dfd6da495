#include "bridge/HostStatus.hpp"

#include <mutex>

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/util/PlatformUtils.hpp>

namespace Kw {

void ensureXercesStarted() {
    // Xerces-C counts its initialisations; this one is never undone, so its statics outlive every
    // exception the library throws.
    static std::once_flag once;
    std::call_once(once, [] { xercesc::XMLPlatformUtils::Initialize(); });
}

UnexaminedFailures& unexaminedFailures() {
    static UnexaminedFailures failures;
    return failures;
}

void throwDOMException(short code) {
    ensureXercesStarted();
    throw xercesc::DOMException(code, 0, xercesc::XMLPlatformUtils::fgMemoryManager);
}

} // namespace Kw
