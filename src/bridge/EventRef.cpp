#include <DOMKw/bridge/EventRef.hpp>

#include "bridge/CallbackTable.hpp"
#include "bridge/HostStatus.hpp"

namespace Kw {

using host::callbacks;

// The host's answer to an event control is not examined: the event goes on either way.
void EventRef::StopPropagation() const {
    notExamined(callbacks().ControlEvent(handle, 0, 0));
}
void EventRef::PreventDefault() const {
    notExamined(callbacks().ControlEvent(handle, 1, 0));
}

EventRef EventRef::CreateFrom(const DOMBTString& type) {
    HostKey key = NO_KEY;
    checkStatus(callbacks().StringToKey(&key, type.GetUChar16()));
    HostRef out = NIL;
    checkStatus(callbacks().CreateEvent(&out, key));
    return EventRef(reinterpret_cast<void*>(out < 0 ? NIL : out));
}

} // namespace Kw
