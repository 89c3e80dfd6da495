#include "bridge/Listeners.hpp"

#include <cstring>

#include "bridge/CallbackTable.hpp"
#include "bridge/HostStatus.hpp"

namespace Kw {

namespace {

// A refused addition throws the host's status itself; a refused removal is a DOMException.
void checkRegistration(ListenerChange change, HostStatus status) {
    if (change == ListenerChange::Add)
        checkStatusAsLong(status);
    else
        checkStatus(status);
}

} // namespace

void setTargetListener(HandleEventFn deliver, ListenerChange change, HostKey type, HostRef target,
                       HostKey targetKey, void* listener, bool useCapture) {
    checkRegistration(change,
                      host::callbacks().SetTargetEventListener(deliver, static_cast<int32_t>(change), type,
                                                               target, targetKey, listener, useCapture));
}

void setTypeListener(HandleEventFn deliver, ListenerChange change, HostKey first, HostKey second,
                     void* listener, bool useCapture) {
    checkRegistration(change, host::callbacks().SetTypeEventListener(deliver, static_cast<int32_t>(change),
                                                                     first, second, listener, useCapture));
}

void takeBackTargetListener(HandleEventFn deliver, HostKey type, HostRef target, HostKey targetKey,
                            void* listener, bool useCapture) noexcept {
    (void)host::callbacks().SetTargetEventListener(deliver, static_cast<int32_t>(ListenerChange::Remove),
                                                   type, target, targetKey, listener, useCapture);
}

void takeBackTypeListener(HandleEventFn deliver, HostKey first, HostKey second, void* listener,
                          bool useCapture) noexcept {
    (void)host::callbacks().SetTypeEventListener(deliver, static_cast<int32_t>(ListenerChange::Remove), first,
                                                 second, listener, useCapture);
}

bool dispatchHostEvent(HostRef target, HostKey targetKey, HostRef event) {
    bool flag = false;
    checkStatusAsLong(host::callbacks().DispatchEvent(target, targetKey, event, &flag));
    // Any non-zero byte counts as set, whatever the host stored there.
    unsigned char raw = 0;
    std::memcpy(&raw, &flag, 1);
    return raw != 0;
}

} // namespace Kw
