// The delivery entry: the host calls it for each listener an event reaches.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>

#include <type_traits>

namespace Kw {

// Wraps the host event in the event object of its class and calls the listener registered as
// `listenerObject` (a dom::Object). Throws nothing: 0 when the delivery ran (or the object is not a
// listener), the code of a DOMException that ended it (sign-extended from 16 bits), -2 for any other
// exception. The int argument is not read.
//
// Deliveries nest when a listener changes the tree; at most MAX_NESTED_DELIVERIES run on one thread at a
// time. A delivery past that depth is not made: the listener is not called and the answer is
// DELIVERY_TOO_DEEP. This keeps a listener that repeats the change it hears of (removing again the node
// whose DOMNodeRemoved it receives) from exhausting the stack of the host's thread.
constexpr int MAX_NESTED_DELIVERIES = 16;
constexpr long DELIVERY_TOO_DEEP = -3;
long HandleEvent(void* listenerObject, int unused, void* hostEvent);

static_assert(std::is_same_v<decltype(&HandleEvent), HandleEventFn>,
              "the callback given with every registration");

} // namespace Kw
