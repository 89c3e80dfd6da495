#include "EventObjects.hpp"

#include "EventNames.hpp"
#include "HostState.hpp"

#include <algorithm>
#include <string>

namespace kwhost {

namespace {
Store& S() {
    return state().store;
}
} // namespace

std::u16string decimal(int64_t n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string nodeReference(HostRef handle, HostKey key) {
    return decimal(static_cast<int32_t>(handle)) + u"/" + decimal(static_cast<int32_t>(key));
}

void setEventAttribute(Object* event, HostKey name, std::u16string value) {
    if (Attribute* a = event->attribute(name)) {
        a->value = std::move(value);
        return;
    }
    Attribute a;
    a.name = a.local = name;
    a.value = std::move(value);
    event->attributes.push_back(std::move(a));
}

bool eventFlag(Object* event, HostKey name) {
    const Attribute* a = event->attribute(name);
    return a && (a->value == u"true" || a->value == u"1");
}

Object* nodeObject(HostRef handle) {
    Object* obj = S().get(handle);
    return obj && !state().events.isEvent(handle) ? obj : nullptr;
}

Object* EventObjects::find(HostRef handle) {
    auto it = records.find(handle);
    if (it == records.end()) return nullptr;
    Object* obj = S().get(handle);
    if (!obj) records.erase(it);
    return obj;
}

size_t EventObjects::live() const {
    size_t n = 0;
    for (const auto& entry : records)
        if (S().get(entry.first)) ++n;
    return n;
}

void EventObjects::sweep() {
    if (records.size() < pruneAt) return;
    for (auto it = records.begin(); it != records.end();) {
        Object* obj = S().get(it->first);
        if (obj && obj->refs == 0 && obj->pins == 0 && !it->second.dispatching) {
            S().collect(obj);
            obj = S().get(it->first);
        }
        it = obj ? std::next(it) : records.erase(it);
    }
    pruneAt = std::max<size_t>(64, records.size() * 2);
}

Object* EventObjects::make(HostKey type) {
    sweep();
    const EventNames& n = eventNames();
    Object* event = S().makeElement(n.eventTag, NO_KEY);
    records.emplace(event->handle, EventRecord{});
    const std::u16string name = *S().keys.text(type);
    setEventAttribute(event, n.type, name);
    setEventAttribute(event, n.canBubble, u"false");
    setEventAttribute(event, n.cancelable, u"false");
    setEventAttribute(event, n.phase, u"0");
    setEventAttribute(event, n.target, nodeReference(-1, n.null));
    setEventAttribute(event, n.currentTarget, nodeReference(-1, n.null));
    const std::u16string face = name.substr(0, name.find(u','));
    if (face == u"UIEvent" || face == u"MouseEvent" || face == u"TextEvent")
        setEventAttribute(event, n.detail, u"0");
    if (face == u"MouseEvent") {
        for (HostKey k : {n.screenX, n.screenY, n.clientX, n.clientY, n.modifiers, n.button})
            setEventAttribute(event, k, u"0");
        setEventAttribute(event, n.relatedTarget, u"null");
    } else if (face == u"TextEvent") {
        setEventAttribute(event, n.outputString, u"");
        for (HostKey k : {n.keyVal, n.virtKeyVal, n.modifiers}) setEventAttribute(event, k, u"0");
        setEventAttribute(event, n.visibleOutput, u"false");
        setEventAttribute(event, n.numPad, u"false");
    } else if (face == u"MutationEvent") {
        setEventAttribute(event, n.relatedNode, u"null");
        for (HostKey k : {n.prevValue, n.newValue, n.attrName}) setEventAttribute(event, k, u"");
        setEventAttribute(event, n.attrChange, u"0");
        setEventAttribute(event, n.mutationState, u"0");
    } else if (face == u"SlugEvent") {
        for (HostKey k : {n.slugID, n.importBinary, n.exportBinary}) setEventAttribute(event, k, u"");
    }
    return event;
}

} // namespace kwhost
