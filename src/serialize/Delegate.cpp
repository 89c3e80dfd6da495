#include "serialize/Delegate.hpp"

#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMImplementationRegistry.hpp>
#include <xercesc/util/PlatformUtils.hpp>

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::serializeImpl {

namespace {

// The process-wide delegate slot.
DOMLSSerializer*& delegateSlot() {
    static DOMLSSerializer* slot = nullptr;
    return slot;
}

} // namespace

DOMLSSerializer* delegate() {
    DOMLSSerializer*& slot = delegateSlot();
    if (!slot)
        slot = DOMImplementationRegistry::getDOMImplementation(u"Core LS")
                   ->createLSSerializer(XMLPlatformUtils::fgMemoryManager);
    return slot;
}

void dropDelegate() {
    DOMLSSerializer*& slot = delegateSlot();
    if (slot) slot->release();
    slot = nullptr;
}

} // namespace domImpl::serializeImpl
