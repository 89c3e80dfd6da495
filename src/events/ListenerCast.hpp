// The listener behind a registered object, as deliveries find it.
#pragma once

#include <DOMKw/events/Events.hpp>

namespace domImpl::eventsImpl {

// The listener the host hands back as `object` (a dom::Object), or null when it is not a listener. The
// last answer is remembered: a listener hears one delivery after another, and the run-time type search
// costs more than the rest of the library's part of a delivery.
dom::events::EventListener* listenerOf(void* object);

// A listener that ends is forgotten, so that an object made later at its address is looked at afresh.
void forgetListener(const dom::events::EventListener* listener) noexcept;

} // namespace domImpl::eventsImpl
