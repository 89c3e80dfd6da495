#include "KeepAlive.hpp"

#include "HostState.hpp"

namespace kwhost {

KeepAlive::KeepAlive(const std::vector<HostRef>& candidates) {
    Store& store = state().store;
    for (HostRef h : candidates)
        if (Object* obj = store.get(h)) {
            ++obj->pins;
            handles.push_back(h);
        }
}

KeepAlive::~KeepAlive() {
    Store& store = state().store;
    for (HostRef h : handles) --store.get(h)->pins;
    // By handle: collecting one object may free another.
    for (HostRef h : handles)
        if (Object* obj = store.get(h)) store.collect(obj);
}

} // namespace kwhost
