#include "platform/XercesSupport.hpp"

#include <mutex>

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

namespace Kw {

void ensureXercesStarted() {
    // Xerces-C counts its initialisations; this one is never undone, so its statics outlive every
    // exception the library throws.
    static std::once_flag once;
    std::call_once(once, [] { xercesc::XMLPlatformUtils::Initialize(); });
}

void throwDOMException(short code) {
    ensureXercesStarted();
    xercesc::MemoryManager* memory = xercesc::XMLPlatformUtils::fgMemoryManager;
    xercesc::DOMException failure(code, 0, memory);
    if (code == -1) {
        // Xerces-C has no message for -1 (its loader answers the name of its first message); say what the
        // code means here. The exception owns its message and frees it with the same manager.
        memory->deallocate(const_cast<XMLCh*>(failure.msg));
        failure.msg = xercesc::XMLString::replicate(u"not provided by this DOM", memory);
    }
    throw failure;
}

} // namespace Kw
