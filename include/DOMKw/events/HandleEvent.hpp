// The delivery entry: the host calls it for each listener an event reaches.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>

#include <type_traits>

namespace Kw {

// Wraps the host event in the event object of its class and calls the listener registered as
// `listenerObject` (a dom::Object). Throws nothing: 0 when the delivery ran (or the object is not a
// listener), the code of a DOMException that ended it (sign-extended from 16 bits), -2 for any other
// exception. The int argument is not read.
long HandleEvent(void* listenerObject, int unused, void* hostEvent);

static_assert(std::is_same_v<decltype(&HandleEvent), HandleEventFn>,
              "the callback given with every registration");

} // namespace Kw
