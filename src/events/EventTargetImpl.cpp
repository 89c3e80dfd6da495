#include <DOMKw/events/EventTargetImpl.hpp>

#include <DOMKw/bridge/StringKey.hpp>
#include <DOMKw/events/HandleEvent.hpp>

#include <xercesc/dom/DOMNode.hpp>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "bridge/HostStatus.hpp"
#include "bridge/Listeners.hpp"
#include "dom/Identity.hpp"
#include "events/EventDocument.hpp"
#include "events/EventImpl.hpp"
#include "events/ListenerCast.hpp"

namespace domImpl::eventsImpl {

using Kw::ListenerChange;
using Kw::throwDOMException;

namespace {

constexpr ListenerChange ADD = ListenerChange::Add;
constexpr ListenerChange REMOVE = ListenerChange::Remove;

// The host holds listeners by their root object; a null listener stays null.
void* listenerObject(dom::events::EventListener* listener) {
    return static_cast<dom::Object*>(listener);
}

// The registrations made through the library, so that none outlives what it was made through: the
// listener object (its destructor removes them) or the document whose node it was made on (its
// release() removes them). The host keeps the registry that dispatch uses; this one only remembers what
// to take back.
struct Registration {
    bool byNames = false;
    Kw::HostRef target = -1;
    Kw::HostKey targetKey = Kw::NO_KEY, type = Kw::NO_KEY, second = Kw::NO_KEY;
    const dom::events::EventListener* listener = nullptr;
    bool useCapture = false;
    const EventTargetImpl* owner = nullptr; // the document, for a registration on a node

    bool sameAs(const Registration& o) const {
        return byNames == o.byNames && target == o.target && targetKey == o.targetKey && type == o.type &&
               second == o.second && listener == o.listener && useCapture == o.useCapture;
    }
};

struct Registrations {
    std::vector<Registration> entries;
    std::unordered_map<const EventTargetImpl*, size_t> perOwner;
};

// Never destroyed: listeners and documents may end during the process's exit.
Registrations& registrations() {
    static Registrations* r = new Registrations;
    return *r;
}

void remember(const Registration& added) {
    Registrations& r = registrations();
    for (const Registration& e : r.entries)
        if (e.sameAs(added) && e.owner == added.owner) return;
    r.entries.push_back(added);
    if (added.owner) ++r.perOwner[added.owner];
    EventTargetImpl::ownersHoldingRegistrations = r.perOwner.size();
}

void forget(const Registration& removed) {
    Registrations& r = registrations();
    auto gone = std::remove_if(r.entries.begin(), r.entries.end(), [&](const Registration& e) {
        if (!e.sameAs(removed)) return false;
        if (e.owner && --r.perOwner[e.owner] == 0) r.perOwner.erase(e.owner);
        return true;
    });
    r.entries.erase(gone, r.entries.end());
    EventTargetImpl::ownersHoldingRegistrations = r.perOwner.size();
}

// The host's removal of a registration the library takes back by itself; one the host no longer has
// (or refuses to remove) is gone as far as the library is concerned.
void removeFromHost(const Registration& e) noexcept {
    void* object = static_cast<dom::Object*>(const_cast<dom::events::EventListener*>(e.listener));
    if (e.byNames)
        Kw::takeBackTypeListener(&Kw::HandleEvent, e.type, e.second, object, e.useCapture);
    else
        Kw::takeBackTargetListener(&Kw::HandleEvent, e.type, e.target, e.targetKey, object, e.useCapture);
}

// Takes back every registration that `match` selects; one still held through another owner stays.
template <class Match> void takeBack(Match match) {
    Registrations& r = registrations();
    std::vector<Registration> dropped;
    auto gone = std::remove_if(r.entries.begin(), r.entries.end(), [&](const Registration& e) {
        if (!match(e)) return false;
        if (e.owner && --r.perOwner[e.owner] == 0) r.perOwner.erase(e.owner);
        dropped.push_back(e);
        return true;
    });
    r.entries.erase(gone, r.entries.end());
    EventTargetImpl::ownersHoldingRegistrations = r.perOwner.size();
    for (size_t i = 0; i < dropped.size(); ++i) {
        const Registration& e = dropped[i];
        const bool again = std::any_of(dropped.begin(), dropped.begin() + static_cast<std::ptrdiff_t>(i),
                                       [&](const Registration& d) { return d.sameAs(e); });
        const bool stillHeld = std::any_of(r.entries.begin(), r.entries.end(),
                                           [&](const Registration& kept) { return kept.sameAs(e); });
        if (!again && !stillHeld) removeFromHost(e);
    }
}

// The document a node's registrations belong to: the document itself, or the node's owner document.
const EventTargetImpl* owningDocument(const EventTargetImpl& target) {
    const XERCES_CPP_NAMESPACE::DOMNode* node = target.targetNode();
    if (!node) return nullptr;
    const XERCES_CPP_NAMESPACE::DOMNode* docNode =
        node->getNodeType() == XERCES_CPP_NAMESPACE::DOMNode::DOCUMENT_NODE ? node : node->getOwnerDocument();
    // The event document lives only while a delivery runs and is ended by the library, not by the plug-in:
    // a listener added to an event's target inside a delivery stays until it is removed or destroyed.
    if (docNode && docNode == eventDocument()) return nullptr;
    const DocumentImpl* doc = asDocumentImpl(docNode);
    return doc ? static_cast<const EventTargetImpl*>(doc) : nullptr;
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

void registerOnTarget(const EventTargetImpl& node, ListenerChange operation, const XMLCh* type,
                      dom::events::EventListener* listener, bool useCapture) {
    const Kw::ObjectRef::DoubleRef target = node.getTargetRef();
    void* object = listenerObject(listener);
    const Kw::StringKey typeKey(hostEventType(type));
    Kw::setTargetListener(&Kw::HandleEvent, operation, typeKey.value(), target.first,
                          static_cast<Kw::HostKey>(target.second), object, useCapture);
    if (!listener) return; // the host keeps nothing for a null listener
    Registration r;
    r.target = target.first;
    r.targetKey = static_cast<Kw::HostKey>(target.second);
    r.type = typeKey.value();
    r.listener = listener;
    r.useCapture = useCapture;
    if (operation == ADD) {
        r.owner = owningDocument(node);
        remember(r);
    } else {
        forget(r);
    }
}

void registerByNames(ListenerChange operation, const XMLCh* first, const XMLCh* second,
                     dom::events::EventListener* listener, bool useCapture) {
    // The host learns the second name first; the keys go in the order first, second.
    const Kw::StringKey secondKey(second);
    const Kw::StringKey firstKey(hostEventType(first));
    Kw::setTypeListener(&Kw::HandleEvent, operation, firstKey.value(), secondKey.value(),
                        listenerObject(listener), useCapture);
    if (!listener) return;
    Registration r;
    r.byNames = true;
    r.type = firstKey.value();
    r.second = secondKey.value();
    r.listener = listener;
    r.useCapture = useCapture;
    if (operation == ADD)
        remember(r);
    else
        forget(r);
}

} // namespace

size_t EventTargetImpl::ownersHoldingRegistrations = 0;

void EventTargetImpl::takeBackOwnRegistrations() noexcept {
    // A document takes back the registrations made on its nodes; any other node has none of its own.
    Registrations& r = registrations();
    if (r.perOwner.count(this) == 0) return;
    takeBack([this](const Registration& e) { return e.owner == this; });
}

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
    return Kw::dispatchHostEvent(target.first, static_cast<Kw::HostKey>(target.second), event->ref().get());
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

} // namespace domImpl::eventsImpl

namespace dom::events {

EventListener::~EventListener() {
    // A listener that ends while registered would be called at the next delivery: its registrations go
    // with it.
    domImpl::eventsImpl::forgetListener(this);
    domImpl::eventsImpl::takeBack(
        [this](const domImpl::eventsImpl::Registration& e) { return e.listener == this; });
}

void EventTarget::addEventListener(const XMLCh* first, const XMLCh* second, EventListener* const listener,
                                   bool useCapture) {
    domImpl::eventsImpl::registerByNames(domImpl::eventsImpl::ADD, first, second, listener, useCapture);
}

void EventTarget::removeEventListener(const XMLCh* first, const XMLCh* second, EventListener* const listener,
                                      bool useCapture) {
    domImpl::eventsImpl::registerByNames(domImpl::eventsImpl::REMOVE, first, second, listener, useCapture);
}

} // namespace dom::events
