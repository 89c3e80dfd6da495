#include <DOMKw/events/HandleEvent.hpp>

#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/events/Events.hpp>

#include <xercesc/dom/DOMException.hpp>

#include <memory>
#include <optional>

#include "events/EventDocument.hpp"
#include "events/EventFactory.hpp"

namespace Kw {

namespace {
// Deliveries running on this thread, the current one included. A listener that changes the tree raises
// events inside its own delivery; one that repeats the change it is told about (removing again the node
// whose removal it hears of) would recurse until the stack ends.
thread_local int deliveryDepth = 0;

struct DepthScope {
    DepthScope() { ++deliveryDepth; }
    ~DepthScope() { --deliveryDepth; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;
};
} // namespace

long HandleEvent(void* listenerObject, int, void* hostEvent) {
    auto* listener = dynamic_cast<dom::events::EventListener*>(static_cast<dom::Object*>(listenerObject));
    if (!listener) return 0;
    if (deliveryDepth >= MAX_NESTED_DELIVERIES) return DELIVERY_TOO_DEEP;
    const DepthScope depth;
    try {
        // Everything the delivery makes is held here, so that however it ends (a listener's exception, a
        // host refusal) no event document stays set and no event object outlives it. The reference is
        // declared first so that it goes last: the event object, then the document, then the reference.
        std::optional<EventRef> event;
        domImpl::eventsImpl::EventDocumentScope document;
        event.emplace(hostEvent);
        std::unique_ptr<dom::events::Event> object(domImpl::eventsImpl::createEventObject(*event));
        listener->handleEvent(object.get());
    } catch (const XERCES_CPP_NAMESPACE::DOMException& e) {
        return static_cast<short>(e.code);
    } catch (...) {
        return -2;
    }
    return 0;
}

} // namespace Kw
