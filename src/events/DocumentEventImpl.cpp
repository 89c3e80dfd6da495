#include "events/DocumentEventImpl.hpp"

#include <DOMKw/bridge/ObjectRef.hpp>

#include "bridge/HostStatus.hpp"
#include "events/EventFactory.hpp"

namespace domImpl::eventsImpl {

dom::events::Event* DocumentEventImpl::createEvent(const XMLCh* eventType) {
    const Kw::EventRef event = Kw::EventRef::CreateFrom(DOMBTString(eventType));
    return createEventObject(event);
}

bool DocumentEventImpl::canDispatch(const XMLCh*, const XMLCh*) {
    Kw::throwDOMException(-1);
}

} // namespace domImpl::eventsImpl
