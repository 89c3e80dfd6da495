#include <DOMKw/events/EventTargetImpl.hpp>

#include <DOMKw/bridge/StringKey.hpp>
#include <DOMKw/events/HandleEvent.hpp>

#include <cstring>
#include <string>

#include "bridge/CallbackTable.hpp"
#include "bridge/HostStatus.hpp"
#include "events/EventFactory.hpp"
#include "events/EventImpl.hpp"

namespace domImpl::eventsImpl {

using Kw::throwDOMException;
using Kw::host::callbacks;

namespace {

enum : int32_t { ADD = 0, REMOVE = 1 };

// The host holds listeners by their root object; a null listener stays null.
void* listenerObject(dom::events::EventListener* listener) {
    return static_cast<dom::Object*>(listener);
}

// A refused addition throws the host's status itself; a refused removal is a DOMException.
void checkRegistration(int32_t operation, Kw::HostStatus status) {
    if (operation == ADD)
        Kw::checkStatusAsLong(status);
    else
        Kw::checkStatus(status);
}

// The host names its mutation events "MutationEvent,DOMAttrModified"; code written for the W3C DOM
// names them "DOMAttrModified", which the host would take as another type that never fires. The seven
// W3C mutation names, exactly as written, stand for the host's type; every other name goes to the host
// unchanged (a plug-in's own event types included). Delivered events report the host's name.
const XMLCh* hostEventType(const XMLCh* type) {
    static const XMLCh* const kHostMutationTypes[] = {
        u"MutationEvent,DOMSubtreeModified",         u"MutationEvent,DOMNodeInserted",
        u"MutationEvent,DOMNodeRemoved",             u"MutationEvent,DOMNodeRemovedFromDocument",
        u"MutationEvent,DOMNodeInsertedIntoDocument", u"MutationEvent,DOMAttrModified",
        u"MutationEvent,DOMCharacterDataModified",
    };
    if (!type || type[0] != u'D') return type;
    constexpr size_t kPrefixLength = 14; // "MutationEvent,"
    for (const XMLCh* known : kHostMutationTypes)
        if (std::char_traits<XMLCh>::compare(type, known + kPrefixLength,
                                             std::char_traits<XMLCh>::length(known + kPrefixLength) + 1) == 0)
            return known;
    return type;
}

void registerOnTarget(const EventTargetImpl& node, int32_t operation, const XMLCh* type,
                      dom::events::EventListener* listener, bool useCapture) {
    const Kw::ObjectRef::DoubleRef target = node.getTargetRef();
    void* object = listenerObject(listener);
    const Kw::StringKey typeKey(hostEventType(type));
    checkRegistration(operation, callbacks().SetTargetEventListener(
                                     &Kw::HandleEvent, operation, typeKey.value(), target.first,
                                     static_cast<Kw::HostKey>(target.second), object, useCapture));
}

void registerByNames(int32_t operation, const XMLCh* first, const XMLCh* second,
                     dom::events::EventListener* listener, bool useCapture) {
    // The host learns the second name first; the keys go in the order first, second.
    const Kw::StringKey secondKey(second);
    const Kw::StringKey firstKey(hostEventType(first));
    checkRegistration(operation, callbacks().SetTypeEventListener(&Kw::HandleEvent, operation,
                                                                  firstKey.value(), secondKey.value(),
                                                                  listenerObject(listener), useCapture));
}

} // namespace

Kw::ObjectRef::DoubleRef EventTargetImpl::nodeTarget(Kw::HostRef handle) {
    Kw::ObjectRef::DoubleRef target;
    target.first = handle;
    target.second = Kw::StringKey(Kw::NULL_KEY).value();
    return target;
}

void EventTargetImpl::addEventListener(const XMLCh* type, dom::events::EventListener* listener,
                                       bool useCapture) {
    registerOnTarget(*this, ADD, type, listener, useCapture);
}

void EventTargetImpl::removeEventListener(const XMLCh* type, dom::events::EventListener* listener,
                                          bool useCapture) {
    registerOnTarget(*this, REMOVE, type, listener, useCapture);
}

bool EventTargetImpl::dispatchEvent(dom::events::Event* evt) {
    // Only our event objects carry a host event to hand over.
    const EventImpl* event = asEventImpl(evt);
    if (!event) throwDOMException(9);
    const Kw::ObjectRef::DoubleRef target = getTargetRef();
    bool flag = false;
    Kw::checkStatusAsLong(callbacks().DispatchEvent(target.first, static_cast<Kw::HostKey>(target.second),
                                                    event->ref().get(), &flag));
    // Any non-zero byte counts as set, whatever the host stored there.
    unsigned char raw = 0;
    std::memcpy(&raw, &flag, 1);
    return raw != 0;
}

void EventTargetImpl::addEventListenerNS(const XMLCh*, const XMLCh*, dom::events::EventListener*, bool) {
    throwDOMException(-1);
}

void EventTargetImpl::removeEventListenerNS(const XMLCh*, const XMLCh*, dom::events::EventListener*, bool) {
    throwDOMException(-1);
}

bool EventTargetImpl::willTriggerNS(const XMLCh*, const XMLCh*) {
    throwDOMException(-1);
}
bool EventTargetImpl::hasEventListenerNS(const XMLCh*, const XMLCh*) {
    throwDOMException(-1);
}

dom::events::Event* DocumentEventImpl::createEvent(const XMLCh* eventType) {
    const Kw::EventRef event = Kw::EventRef::CreateFrom(DOMBTString(eventType));
    return createEventObject(event);
}

bool DocumentEventImpl::canDispatch(const XMLCh*, const XMLCh*) {
    throwDOMException(-1);
}

} // namespace domImpl::eventsImpl

namespace dom::events {

void EventTarget::addEventListener(const XMLCh* first, const XMLCh* second, EventListener* const listener,
                                   bool useCapture) {
    domImpl::eventsImpl::registerByNames(domImpl::eventsImpl::ADD, first, second, listener, useCapture);
}

void EventTarget::removeEventListener(const XMLCh* first, const XMLCh* second, EventListener* const listener,
                                      bool useCapture) {
    domImpl::eventsImpl::registerByNames(domImpl::eventsImpl::REMOVE, first, second, listener, useCapture);
}

} // namespace dom::events
