// Keeps store objects alive while events run over them.
#pragma once

#include "Store.hpp"

#include <vector>

namespace kwhost {

// Pins the objects for its lifetime; afterwards they go when nothing else keeps them. Listeners may drop
// their references, or take a node out of the tree, while an event is on its way.
class KeepAlive {
public:
    explicit KeepAlive(const std::vector<HostRef>& candidates);
    ~KeepAlive();
    KeepAlive(const KeepAlive&) = delete;
    KeepAlive& operator=(const KeepAlive&) = delete;

private:
    std::vector<HostRef> handles;
};

} // namespace kwhost
