// Listener registration and event dispatch, as the host offers them. The host keeps the registry and
// runs the propagation; for each listener an event reaches it calls the delivery entry given with the
// registration (Kw::HandleEvent, which the events layer passes in: the bridge does not know it).
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>

namespace Kw {

// The host's operation codes for a registration.
enum class ListenerChange : int32_t { Add = 0, Remove = 1 };

// A registration on a node, named by its target reference (handle and attribute key). An addition the
// host refuses throws its status as a long; a refused removal is a DOMException with the host's code.
void setTargetListener(HandleEventFn deliver, ListenerChange change, HostKey type, HostRef target,
                       HostKey targetKey, void* listener, bool useCapture);
// The same for a registration by two names.
void setTypeListener(HandleEventFn deliver, ListenerChange change, HostKey first, HostKey second,
                     void* listener, bool useCapture);

// Removals the library makes by itself (a listener or a document ending): a registration the host no
// longer has, or refuses to remove, is gone as far as the library is concerned, so the status is not
// examined and nothing is thrown.
void takeBackTargetListener(HandleEventFn deliver, HostKey type, HostRef target, HostKey targetKey,
                            void* listener, bool useCapture) noexcept;
void takeBackTypeListener(HandleEventFn deliver, HostKey first, HostKey second, void* listener,
                          bool useCapture) noexcept;

// Dispatches the host event `event` at the target reference. A refusal throws the host's status as a
// long; otherwise true unless a listener prevented the default action.
bool dispatchHostEvent(HostRef target, HostKey targetKey, HostRef event);

} // namespace Kw
