// The DOM event flow along the host tree: capture from the root down, the target, then bubbling back up.
#pragma once

#include "Store.hpp"

#include <vector>

namespace kwhost {

// The listener calls made so far, and what the last one answered.
struct Deliveries {
    uint64_t count = 0;
    long lastResult = 0;
};

// Runs the event flow of `event` at the target (`targetKey` an attribute's key, or the key of "null" for
// the node itself). `ancestors` (root first) replaces the target's own when given: a removed node's
// events travel along the ancestors it had. INVALID_STATE for an event already on its way or without a
// type; `notPrevented` is false when a listener cancelled a cancelable event.
int32_t dispatchEvent(Object* event, HostRef target, HostKey targetKey, const std::vector<HostRef>* ancestors,
                      bool& notPrevented);

} // namespace kwhost
