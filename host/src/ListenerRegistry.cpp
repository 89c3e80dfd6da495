#include "ListenerRegistry.hpp"

#include "EventNames.hpp"

#include <algorithm>

namespace kwhost {

using namespace Kw::host;

namespace {

bool sameRegistration(const ListenerEntry& e, Kw::HandleEventFn callback, void* listener, bool useCapture) {
    return e.callback == callback && e.listener == listener && e.useCapture == useCapture;
}

bool hears(const ListenerEntry& e, uint16_t phase) {
    return phase == AT_TARGET || e.useCapture == (phase == CAPTURING);
}

} // namespace

template <class Map>
int32_t ListenerRegistry::change(Map& map, const typename Map::key_type& where, HostKey type, int32_t remove,
                                 Kw::HandleEventFn callback, void* listener, bool useCapture) {
    if (!remove) {
        if (!listener) return OK; // no listener, nothing to hear
        std::vector<ListenerEntry>& list = map[where];
        for (const ListenerEntry& e : list)
            if (sameRegistration(e, callback, listener, useCapture)) return OK;
        list.push_back({nextId++, callback, listener, useCapture});
        ++perType[type];
        return OK;
    }
    auto at = map.find(where);
    if (at == map.end()) return NOT_FOUND;
    std::vector<ListenerEntry>& list = at->second;
    auto it = std::find_if(list.begin(), list.end(), [&](const ListenerEntry& e) {
        return sameRegistration(e, callback, listener, useCapture);
    });
    if (it == list.end()) return NOT_FOUND;
    list.erase(it);
    if (list.empty()) map.erase(at);
    if (--perType[type] == 0) perType.erase(type);
    return OK;
}

int32_t ListenerRegistry::changeOnTarget(const OnTarget& where, int32_t remove, Kw::HandleEventFn callback,
                                         void* listener, bool useCapture) {
    return change(onTargets, where, std::get<2>(where), remove, callback, listener, useCapture);
}

int32_t ListenerRegistry::changeByNames(const ByNames& names, int32_t remove, Kw::HandleEventFn callback,
                                        void* listener, bool useCapture) {
    return change(byNames, names, names.first, remove, callback, listener, useCapture);
}

std::vector<ListenerRegistry::Call> ListenerRegistry::callsAt(HostKey type, const Object* node, HostKey key,
                                                              uint16_t phase) const {
    std::vector<Call> calls;
    const auto onTarget = std::make_tuple(node->handle, key, type);
    if (auto it = onTargets.find(onTarget); it != onTargets.end())
        for (const ListenerEntry& e : it->second)
            if (hears(e, phase)) calls.push_back({e, false, onTarget, {}});
    const size_t own = calls.size();
    const EventNames& n = eventNames();
    const HostKey name = key != n.null ? key : node->tag;
    for (HostKey second : {name, n.empty, NO_KEY}) {
        const auto names = std::make_pair(type, second);
        if (auto it = byNames.find(names); it != byNames.end())
            for (const ListenerEntry& e : it->second)
                if (hears(e, phase)) calls.push_back({e, true, {}, names});
    }
    std::sort(calls.begin() + static_cast<std::ptrdiff_t>(own), calls.end(),
              [](const Call& a, const Call& b) { return a.entry.id < b.entry.id; });
    return calls;
}

bool ListenerRegistry::stillRegistered(const Call& call) const {
    const std::vector<ListenerEntry>* list = nullptr;
    if (call.byNames) {
        auto it = byNames.find(call.names);
        if (it != byNames.end()) list = &it->second;
    } else {
        auto it = onTargets.find(call.onTarget);
        if (it != onTargets.end()) list = &it->second;
    }
    return list && std::any_of(list->begin(), list->end(),
                               [&](const ListenerEntry& e) { return e.id == call.entry.id; });
}

std::vector<ListenerRegistration> ListenerRegistry::all() const {
    std::vector<std::pair<uint64_t, ListenerRegistration>> all;
    for (const auto& [where, list] : onTargets)
        for (const ListenerEntry& e : list) {
            ListenerRegistration r;
            std::tie(r.target, r.targetKey, r.type) = where;
            r.callback = e.callback, r.listener = e.listener, r.useCapture = e.useCapture;
            all.emplace_back(e.id, r);
        }
    for (const auto& [names, list] : byNames)
        for (const ListenerEntry& e : list) {
            ListenerRegistration r;
            r.byNames = true;
            r.first = names.first, r.second = names.second;
            r.callback = e.callback, r.listener = e.listener, r.useCapture = e.useCapture;
            all.emplace_back(e.id, r);
        }
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<ListenerRegistration> result;
    for (auto& entry : all) result.push_back(entry.second);
    return result;
}

void ListenerRegistry::clear() {
    onTargets.clear();
    byNames.clear();
    perType.clear();
}

} // namespace kwhost
