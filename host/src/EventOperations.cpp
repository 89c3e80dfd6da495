// The event operations of the table: listener registration, dispatch, control and creation of events.
#include "EventFlow.hpp"
#include "EventNames.hpp"
#include "EventObjects.hpp"
#include "HostOperations.hpp"

namespace kwhost {

using namespace Kw::host;

namespace {
const Keys& keys() {
    return state().store.keys;
}
} // namespace

int32_t opSetTargetEventListener(Kw::HandleEventFn callback, int32_t remove, HostKey type, HostRef target,
                                 HostKey targetKey, void* listener, bool useCapture) {
    KWHOST_ENTER(SetTargetEventListener);
    if (remove != 0 && remove != 1) return NOT_SUPPORTED;
    if (!callback) return INVALID_ACCESS;
    if (!keys().text(type) || !keys().text(targetKey) || !nodeObject(target)) return NOT_FOUND;
    return state().listeners.changeOnTarget(std::make_tuple(target, targetKey, type), remove, callback,
                                            listener, useCapture);
}

int32_t opSetTypeEventListener(Kw::HandleEventFn callback, int32_t remove, HostKey first, HostKey second,
                               void* listener, bool useCapture) {
    KWHOST_ENTER(SetTypeEventListener);
    if (remove != 0 && remove != 1) return NOT_SUPPORTED;
    if (!callback) return INVALID_ACCESS;
    if (!keys().text(first) || (second != NO_KEY && !keys().text(second))) return NOT_FOUND;
    return state().listeners.changeByNames(std::make_pair(first, second), remove, callback, listener,
                                           useCapture);
}

int32_t opDispatchEvent(HostRef target, HostKey targetKey, HostRef event, bool* out) {
    KWHOST_ENTER(DispatchEvent);
    if (!out) return INVALID_ACCESS;
    Object* obj = state().events.find(event);
    if (!obj || !nodeObject(target) || !keys().text(targetKey)) return NOT_FOUND;
    bool notPrevented = true;
    const int32_t status = dispatchEvent(obj, target, targetKey, nullptr, notPrevented);
    if (status == OK) *out = notPrevented;
    return status;
}

int32_t opControlEvent(HostRef event, int32_t what, int32_t) {
    KWHOST_ENTER(ControlEvent);
    Object* obj = state().events.find(event);
    if (!obj) return NOT_FOUND;
    if (what != 0 && what != 1) return NOT_SUPPORTED;
    EventRecord& record = state().events.record(event);
    if (!record.dispatching) return OK;
    if (what == 0)
        record.stopped = true;
    else if (eventFlag(obj, eventNames().cancelable))
        record.prevented = true;
    return OK;
}

int32_t opCreateEvent(HostRef* out, HostKey type) {
    KWHOST_ENTER(CreateEvent);
    if (!out) return INVALID_ACCESS;
    const std::u16string* name = keys().text(type);
    if (!name) return NOT_FOUND;
    if (name->empty()) return NOT_SUPPORTED;
    *out = state().events.make(type)->handle;
    return OK;
}

} // namespace kwhost
