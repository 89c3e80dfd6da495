#include <DOMKw/events/HandleEvent.hpp>

#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/events/Events.hpp>

#include <xercesc/dom/DOMException.hpp>

#include <optional>

#include "events/EventDocument.hpp"
#include "events/EventFactory.hpp"
#include "events/ListenerCast.hpp"

namespace domImpl::eventsImpl {

namespace {
// Only listeners are remembered, and a listener's destructor forgets itself: the entry never names an
// object that has ended. Deliveries run on the host's thread, as every entry point does.
struct LastListener {
    const void* object = nullptr;
    dom::events::EventListener* listener = nullptr;
};
LastListener lastListener;
} // namespace

dom::events::EventListener* listenerOf(void* object) {
    if (object && object == lastListener.object) return lastListener.listener;
    auto* listener = dynamic_cast<dom::events::EventListener*>(static_cast<dom::Object*>(object));
    if (listener) lastListener = {object, listener};
    return listener;
}

void forgetListener(const dom::events::EventListener* listener) noexcept {
    if (lastListener.listener == listener) lastListener = {};
}

} // namespace domImpl::eventsImpl

namespace Kw {

namespace {
// Deliveries running on this thread, the current one included, and the room of each one's event
// object. A listener that changes the tree raises events inside its own delivery; one that repeats the
// change it is told about (removing again the node whose removal it hears of) would recurse until the
// stack ends.
struct Deliveries {
    int depth = 0;
    domImpl::eventsImpl::EventObjectRoom rooms[MAX_NESTED_DELIVERIES];
};
thread_local Deliveries deliveries;

struct DepthScope {
    explicit DepthScope(int& d) : depth(d) { ++depth; }
    ~DepthScope() { --depth; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;
    int& depth;
};
} // namespace

long HandleEvent(void* listenerObject, int, void* hostEvent) {
    dom::events::EventListener* listener = domImpl::eventsImpl::listenerOf(listenerObject);
    if (!listener) return 0;
    Deliveries& running = deliveries;
    if (running.depth >= MAX_NESTED_DELIVERIES) return DELIVERY_TOO_DEEP;
    domImpl::eventsImpl::EventObjectRoom& room = running.rooms[running.depth];
    const DepthScope depth(running.depth);
    try {
        // Everything the delivery makes is held here, so that however it ends (a listener's exception, a
        // host refusal) no event document stays set and no event object outlives it. The reference is
        // declared first so that it goes last: the event object, then the document, then the reference.
        // The event object is built in this depth's room: a delivery allocates nothing of its own.
        std::optional<EventRef> event;
        domImpl::eventsImpl::EventDocumentScope document;
        event.emplace(hostEvent);
        const domImpl::eventsImpl::PlacedEvent object(*event, room);
        listener->handleEvent(object.get());
    } catch (const XERCES_CPP_NAMESPACE::DOMException& e) {
        return static_cast<short>(e.code);
    } catch (...) {
        return -2;
    }
    return 0;
}

} // namespace Kw
