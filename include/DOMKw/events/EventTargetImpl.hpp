// The event-target side of the library's nodes. Nodes keep no listeners: registrations and dispatch
// requests go to the host, which identifies a node by its target reference.
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/events/Events.hpp>

XERCES_CPP_NAMESPACE_BEGIN
class DOMNode;
XERCES_CPP_NAMESPACE_END

namespace domImpl::eventsImpl {

class EventTargetImpl : public virtual dom::events::EventTarget {
public:
    // A document's release() takes back the registrations made on its nodes. Every node object ends
    // here: while no document holds a registration (the walk, a write) the end is one test, inline.
    ~EventTargetImpl() override {
        if (ownersHoldingRegistrations != 0) takeBackOwnRegistrations();
    }

    // The host's name for this node: an element (or text) handle and an attribute key, the key being
    // that of "null" for the node itself.
    virtual Kw::ObjectRef::DoubleRef getTargetRef() const = 0;
    // The node this target is (registrations on it belong to its document).
    virtual const XERCES_CPP_NAMESPACE::DOMNode* targetNode() const = 0;

    void addEventListener(const XMLCh* type, dom::events::EventListener* listener, bool useCapture) override;
    void removeEventListener(const XMLCh* type, dom::events::EventListener* listener,
                             bool useCapture) override;
    bool dispatchEvent(dom::events::Event* evt) override;
    void addEventListenerNS(const XMLCh*, const XMLCh*, dom::events::EventListener*, bool) override;
    void removeEventListenerNS(const XMLCh*, const XMLCh*, dom::events::EventListener*, bool) override;
    bool willTriggerNS(const XMLCh*, const XMLCh*) override;
    bool hasEventListenerNS(const XMLCh*, const XMLCh*) override;

    // The target reference of a host element or text object itself.
    static Kw::ObjectRef::DoubleRef nodeTarget(Kw::HostRef handle);

    // How many targets (documents) hold registrations made on their nodes; kept by the registry.
    static size_t ownersHoldingRegistrations;

private:
    void takeBackOwnRegistrations() noexcept;
};

} // namespace domImpl::eventsImpl
