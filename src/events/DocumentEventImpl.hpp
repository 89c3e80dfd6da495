// The document's event factory: a new event object over a new host event.
#pragma once

#include <DOMKw/events/Events.hpp>

namespace domImpl::eventsImpl {

class DocumentEventImpl : public virtual dom::events::DocumentEvent {
public:
    dom::events::Event* createEvent(const XMLCh* eventType) override;
    bool canDispatch(const XMLCh*, const XMLCh*) override;
};

} // namespace domImpl::eventsImpl
