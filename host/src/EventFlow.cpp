#include "EventFlow.hpp"

#include "EventNames.hpp"
#include "HostState.hpp"
#include "KeepAlive.hpp"

#include <algorithm>

namespace kwhost {

using namespace Kw::host;

int32_t dispatchEvent(Object* event, HostRef targetHandle, HostKey targetKey,
                      const std::vector<HostRef>* ancestors, bool& notPrevented) {
    HostState& host = state();
    Store& store = host.store;
    const EventNames& n = eventNames();
    EventRecord& record = host.events.record(event->handle);
    if (record.dispatching) return INVALID_STATE;
    const Attribute* typeAttribute = event->attribute(n.type);
    if (!typeAttribute || typeAttribute->value.empty()) return INVALID_STATE;
    const HostKey type = store.keys.intern(typeAttribute->value);
    const bool bubbles = eventFlag(event, n.canBubble);

    std::vector<HostRef> path;
    if (ancestors) {
        path = *ancestors;
    } else if (targetKey == n.null) {
        for (Object* p = store.get(targetHandle)->parent; p; p = p->parent) path.push_back(p->handle);
        std::reverse(path.begin(), path.end());
    }
    std::vector<HostRef> kept = path;
    kept.push_back(targetHandle);
    kept.push_back(event->handle);
    KeepAlive keep(kept);

    struct Running {
        EventRecord& record;
        explicit Running(EventRecord& r) : record(r) { record = {true, false, false}; }
        ~Running() { record.dispatching = false; }
    } running(record);

    const std::u16string targetText = nodeReference(targetHandle, targetKey);
    // Calls every listener of one node; false once propagation is stopped.
    auto visit = [&](HostRef handle, HostKey key, uint16_t phase) {
        Object* node = store.get(handle);
        if (!node) return true;
        for (const ListenerRegistry::Call& call : host.listeners.callsAt(type, node, key, phase)) {
            if (!host.listeners.stillRegistered(call)) continue;
            setEventAttribute(event, n.phase, decimal(phase));
            setEventAttribute(event, n.target, targetText);
            setEventAttribute(event, n.currentTarget, nodeReference(handle, key));
            const long result =
                call.entry.callback(call.entry.listener, phase, reinterpret_cast<void*>(event->handle));
            ++host.deliveries.count;
            host.deliveries.lastResult = result;
        }
        return !record.stopped;
    };

    bool going = true;
    for (auto it = path.begin(); going && it != path.end(); ++it) going = visit(*it, n.null, CAPTURING);
    if (going) going = visit(targetHandle, targetKey, AT_TARGET);
    if (bubbles)
        for (auto it = path.rbegin(); going && it != path.rend(); ++it) going = visit(*it, n.null, BUBBLING);
    notPrevented = !record.prevented;
    return OK;
}

} // namespace kwhost
