// The listener registry: who listens for which event type, on a node or by names.
#pragma once

#include "Store.hpp"

#include <map>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace kwhost {

// The phases of the event flow, as the library reads them from "eventPhase".
enum EventPhase : uint16_t { CAPTURING = 1, AT_TARGET = 2, BUBBLING = 3 };

// One listener registration. Registrations are identified by where they are (target and type, or the
// two names) together with callback, listener and capture flag.
struct ListenerEntry {
    uint64_t id = 0; // registration order
    Kw::HandleEventFn callback = nullptr;
    void* listener = nullptr;
    bool useCapture = false;
};

class ListenerRegistry {
public:
    // On a node: (element or text handle, attribute key or the key of "null", type key).
    using OnTarget = std::tuple<HostRef, HostKey, HostKey>;
    // By names: (first, second).
    using ByNames = std::pair<HostKey, HostKey>;

    // A listener to call at one node, with where it is registered (to see whether it still is).
    struct Call {
        ListenerEntry entry;
        bool byNames;
        OnTarget onTarget;
        ByNames names;
    };

    // Adds (remove 0) or drops (remove 1) a registration; adding one that is there changes nothing,
    // dropping one that is not answers NOT_FOUND.
    int32_t changeOnTarget(const OnTarget& where, int32_t remove, Kw::HandleEventFn callback, void* listener,
                           bool useCapture);
    int32_t changeByNames(const ByNames& names, int32_t remove, Kw::HandleEventFn callback, void* listener,
                          bool useCapture);

    // Whether anyone listens for `type` (a node's type key, or a first name) at all.
    bool listened(HostKey type) const { return perType.count(type) != 0; }

    // The listeners that hear `type` at `node` (with `key`, an attribute's or the key of "null") in this
    // phase: the node's own, then those by names, each in registration order. Taken before any is
    // called, so that registrations made meanwhile do not join.
    std::vector<Call> callsAt(HostKey type, const Object* node, HostKey key, uint16_t phase) const;
    bool stillRegistered(const Call& call) const;

    // Every registration in force, in registration order.
    std::vector<ListenerRegistration> all() const;
    void clear();

private:
    template <class Map>
    int32_t change(Map& map, const typename Map::key_type& where, HostKey type, int32_t remove,
                   Kw::HandleEventFn callback, void* listener, bool useCapture);

    std::map<OnTarget, std::vector<ListenerEntry>> onTargets;
    std::map<ByNames, std::vector<ListenerEntry>> byNames;
    // Registrations per event type: who listens at all.
    std::unordered_map<HostKey, size_t> perType;
    uint64_t nextId = 1;
};

} // namespace kwhost
