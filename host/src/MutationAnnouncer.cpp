// The host's events: event objects, the listener registry, the DOM event flow along the host tree, and
// the mutation events announced for changes made through the host operations.
#include "HostOperations.hpp"

#include <algorithm>
#include <string>

namespace kwhost {

using namespace Kw::host;

namespace {

Store& S() {
    return state().store;
}
EventRegistry& R() {
    return state().events;
}

#define ENTER KWHOST_ENTER

enum : uint16_t { CAPTURING = 1, AT_TARGET = 2, BUBBLING = 3 };

// The names the host reads and writes, interned once (keys live as long as the store).
struct Names {
    HostKey null, empty, eventTag, type, canBubble, cancelable, phase, target, currentTarget, detail, screenX,
        screenY, clientX, clientY, modifiers, button, relatedTarget, outputString, keyVal, virtKeyVal,
        visibleOutput, numPad, relatedNode, prevValue, newValue, attrName, attrChange, mutationState, slugID,
        importBinary, exportBinary;
    HostKey subtreeModified, nodeInserted, nodeRemoved, insertedIntoDocument, removedFromDocument,
        attrModified, characterDataModified;
};

const Names& N() {
    static const Names names = [] {
        Keys& k = S().keys;
        Names n;
        n.null = k.intern(u"null");
        n.empty = k.intern(u"");
        n.eventTag = k.intern(u"#event");
        n.type = k.intern(u"eventType");
        n.canBubble = k.intern(u"canBubble");
        n.cancelable = k.intern(u"cancelable");
        n.phase = k.intern(u"eventPhase");
        n.target = k.intern(u"target");
        n.currentTarget = k.intern(u"currentTarget");
        n.detail = k.intern(u"detail");
        n.screenX = k.intern(u"ScreenX");
        n.screenY = k.intern(u"ScreenY");
        n.clientX = k.intern(u"ClientX");
        n.clientY = k.intern(u"ClientY");
        n.modifiers = k.intern(u"modifiers");
        n.button = k.intern(u"Button");
        n.relatedTarget = k.intern(u"relatedTarget");
        n.outputString = k.intern(u"OutputString");
        n.keyVal = k.intern(u"keyVal");
        n.virtKeyVal = k.intern(u"VirtKeyVal");
        n.visibleOutput = k.intern(u"VisibleOutputGenerated");
        n.numPad = k.intern(u"numPad");
        n.relatedNode = k.intern(u"relatedNode");
        n.prevValue = k.intern(u"prevValue");
        n.newValue = k.intern(u"newValue");
        n.attrName = k.intern(u"attrName");
        n.attrChange = k.intern(u"attrChange");
        n.mutationState = k.intern(u"mutationState");
        n.slugID = k.intern(u"slugID");
        n.importBinary = k.intern(u"SlugEvent,ImportBinary");
        n.exportBinary = k.intern(u"SlugEvent,ExportBinary");
        n.subtreeModified = k.intern(u"MutationEvent,DOMSubtreeModified");
        n.nodeInserted = k.intern(u"MutationEvent,DOMNodeInserted");
        n.nodeRemoved = k.intern(u"MutationEvent,DOMNodeRemoved");
        n.insertedIntoDocument = k.intern(u"MutationEvent,DOMNodeInsertedIntoDocument");
        n.removedFromDocument = k.intern(u"MutationEvent,DOMNodeRemovedFromDocument");
        n.attrModified = k.intern(u"MutationEvent,DOMAttrModified");
        n.characterDataModified = k.intern(u"MutationEvent,DOMCharacterDataModified");
        return n;
    }();
    return names;
}

// Event attributes. The host writes them straight into the event: they are not document changes.

std::u16string number(int64_t n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

// A node reference as the library reads it: two 32-bit numbers.
std::u16string reference(HostRef handle, HostKey key) {
    return number(static_cast<int32_t>(handle)) + u"/" + number(static_cast<int32_t>(key));
}

void put(Object* event, HostKey name, std::u16string value) {
    if (Attribute* a = event->attribute(name)) {
        a->value = std::move(value);
        return;
    }
    Attribute a;
    a.name = a.local = name;
    a.value = std::move(value);
    event->attributes.push_back(std::move(a));
}

bool flag(Object* event, HostKey name) {
    const Attribute* a = event->attribute(name);
    return a && (a->value == u"true" || a->value == u"1");
}

// Objects by kind.

// A live host event (null for anything else).
Object* eventObject(HostRef handle) {
    auto it = R().events.find(handle);
    if (it == R().events.end()) return nullptr;
    Object* obj = S().get(handle);
    if (!obj) R().events.erase(it);
    return obj;
}

// An element or text object: what listeners can be put on and events aimed at.
Object* nodeObject(HostRef handle) {
    Object* obj = S().get(handle);
    return obj && R().events.find(handle) == R().events.end() ? obj : nullptr;
}

bool inDocument(const Object* obj) {
    while (obj->parent) obj = obj->parent;
    return obj == S().application;
}

// Keeps objects alive while events run over them; afterwards they go when nothing else keeps them.
class Keep {
public:
    explicit Keep(std::vector<HostRef> candidates) {
        for (HostRef h : candidates)
            if (Object* obj = S().get(h)) {
                ++obj->pins;
                handles.push_back(h);
            }
    }
    ~Keep() {
        for (HostRef h : handles) --S().get(h)->pins;
        // By handle: collecting one object may free another.
        for (HostRef h : handles)
            if (Object* obj = S().get(h)) S().collect(obj);
    }
    Keep(const Keep&) = delete;
    Keep& operator=(const Keep&) = delete;

private:
    std::vector<HostRef> handles;
};

// Event objects made by CreateEvent are borrowed: the caller acquires a reference at once. One that
// nobody took (or that everybody released) goes with the next sweep.
void sweepEvents() {
    auto& events = R().events;
    if (events.size() < R().pruneAt) return;
    for (auto it = events.begin(); it != events.end();) {
        Object* obj = S().get(it->first);
        if (obj && obj->refs == 0 && obj->pins == 0 && !it->second.dispatching) {
            S().collect(obj);
            obj = S().get(it->first);
        }
        it = obj ? std::next(it) : events.erase(it);
    }
    R().pruneAt = std::max<size_t>(64, events.size() * 2);
}

Object* makeEvent(HostKey type) {
    sweepEvents();
    const Names& n = N();
    Object* event = S().makeElement(n.eventTag, NO_KEY);
    R().events.emplace(event->handle, EventRecord{});
    const std::u16string name = *S().keys.text(type);
    put(event, n.type, name);
    put(event, n.canBubble, u"false");
    put(event, n.cancelable, u"false");
    put(event, n.phase, u"0");
    put(event, n.target, reference(-1, n.null));
    put(event, n.currentTarget, reference(-1, n.null));
    const std::u16string face = name.substr(0, name.find(u','));
    if (face == u"UIEvent" || face == u"MouseEvent" || face == u"TextEvent") put(event, n.detail, u"0");
    if (face == u"MouseEvent") {
        for (HostKey k : {n.screenX, n.screenY, n.clientX, n.clientY, n.modifiers, n.button})
            put(event, k, u"0");
        put(event, n.relatedTarget, u"null");
    } else if (face == u"TextEvent") {
        put(event, n.outputString, u"");
        for (HostKey k : {n.keyVal, n.virtKeyVal, n.modifiers}) put(event, k, u"0");
        put(event, n.visibleOutput, u"false");
        put(event, n.numPad, u"false");
    } else if (face == u"MutationEvent") {
        put(event, n.relatedNode, u"null");
        for (HostKey k : {n.prevValue, n.newValue, n.attrName}) put(event, k, u"");
        put(event, n.attrChange, u"0");
        put(event, n.mutationState, u"0");
    } else if (face == u"SlugEvent") {
        for (HostKey k : {n.slugID, n.importBinary, n.exportBinary}) put(event, k, u"");
    }
    return event;
}

// The registry.

bool sameRegistration(const ListenerEntry& e, Kw::HandleEventFn callback, void* listener, bool useCapture) {
    return e.callback == callback && e.listener == listener && e.useCapture == useCapture;
}

template <class Map>
int32_t changeRegistration(Map& map, const typename Map::key_type& where, HostKey type, int32_t remove,
                           Kw::HandleEventFn callback, void* listener, bool useCapture) {
    EventRegistry& r = R();
    if (!remove) {
        if (!listener) return OK; // no listener, nothing to hear
        std::vector<ListenerEntry>& list = map[where];
        for (const ListenerEntry& e : list)
            if (sameRegistration(e, callback, listener, useCapture)) return OK;
        list.push_back({r.nextId++, callback, listener, useCapture});
        ++r.perType[type];
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
    if (--r.perType[type] == 0) r.perType.erase(type);
    return OK;
}

bool listened(HostKey type) {
    return R().perType.count(type) != 0;
}

// The dispatch.

// A listener to call at one node, with where it is registered (to see whether it still is).
struct Call {
    ListenerEntry entry;
    bool byNames;
    std::tuple<HostRef, HostKey, HostKey> onTarget;
    std::pair<HostKey, HostKey> names;
};

bool hears(const ListenerEntry& e, uint16_t phase) {
    return phase == AT_TARGET || e.useCapture == (phase == CAPTURING);
}

bool stillRegistered(const Call& call) {
    const std::vector<ListenerEntry>* list = nullptr;
    if (call.byNames) {
        auto it = R().byNames.find(call.names);
        if (it != R().byNames.end()) list = &it->second;
    } else {
        auto it = R().onTargets.find(call.onTarget);
        if (it != R().onTargets.end()) list = &it->second;
    }
    return list && std::any_of(list->begin(), list->end(),
                               [&](const ListenerEntry& e) { return e.id == call.entry.id; });
}

// The listeners that hear `type` at one node in this phase: the node's own, then those by names, each in
// registration order. Taken before any is called, so that registrations made meanwhile do not join.
std::vector<Call> callsAt(HostKey type, Object* node, HostKey key, uint16_t phase) {
    std::vector<Call> calls;
    const auto onTarget = std::make_tuple(node->handle, key, type);
    if (auto it = R().onTargets.find(onTarget); it != R().onTargets.end())
        for (const ListenerEntry& e : it->second)
            if (hears(e, phase)) calls.push_back({e, false, onTarget, {}});
    const size_t own = calls.size();
    const HostKey name = key != N().null ? key : node->tag;
    for (HostKey second : {name, N().empty, NO_KEY}) {
        const auto names = std::make_pair(type, second);
        if (auto it = R().byNames.find(names); it != R().byNames.end())
            for (const ListenerEntry& e : it->second)
                if (hears(e, phase)) calls.push_back({e, true, {}, names});
    }
    std::sort(calls.begin() + static_cast<std::ptrdiff_t>(own), calls.end(),
              [](const Call& a, const Call& b) { return a.entry.id < b.entry.id; });
    return calls;
}

// Runs the event flow. `ancestors` (root first) replaces the target's own when given: a removed node's
// events travel along the ancestors it had.
int32_t dispatch(Object* event, HostRef targetHandle, HostKey targetKey,
                 const std::vector<HostRef>* ancestors, bool& notPrevented) {
    const Names& n = N();
    EventRecord& record = R().events[event->handle]; // stable: records are dropped only when not dispatching
    if (record.dispatching) return INVALID_STATE;
    const Attribute* typeAttribute = event->attribute(n.type);
    if (!typeAttribute || typeAttribute->value.empty()) return INVALID_STATE;
    const HostKey type = S().keys.intern(typeAttribute->value);
    const bool bubbles = flag(event, n.canBubble);

    std::vector<HostRef> path;
    if (ancestors) {
        path = *ancestors;
    } else if (targetKey == n.null) {
        for (Object* p = S().get(targetHandle)->parent; p; p = p->parent) path.push_back(p->handle);
        std::reverse(path.begin(), path.end());
    }
    std::vector<HostRef> kept = path;
    kept.push_back(targetHandle);
    kept.push_back(event->handle);
    Keep keep(kept);

    struct Running {
        EventRecord& record;
        explicit Running(EventRecord& r) : record(r) { record = {true, false, false}; }
        ~Running() { record.dispatching = false; }
    } running(record);

    const std::u16string targetText = reference(targetHandle, targetKey);
    // Calls every listener of one node; false once propagation is stopped.
    auto visit = [&](HostRef handle, HostKey key, uint16_t phase) {
        Object* node = S().get(handle);
        if (!node) return true;
        for (const Call& call : callsAt(type, node, key, phase)) {
            if (!stillRegistered(call)) continue;
            put(event, n.phase, number(phase));
            put(event, n.target, targetText);
            put(event, n.currentTarget, reference(handle, key));
            const long result =
                call.entry.callback(call.entry.listener, phase, reinterpret_cast<void*>(event->handle));
            ++R().deliveries;
            R().lastResult = result;
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

// Mutation events.

constexpr HostRef NO_NODE = -1;

struct Mutation {
    Mutation(HostKey type, bool bubbles, HostRef target) : type(type), bubbles(bubbles), target(target) {}
    // Along the ancestors a node had (root first) rather than those it has.
    Mutation& along(const std::vector<HostRef>* had) {
        ancestors = had;
        return *this;
    }
    // The related node: a node itself, or one of its attributes.
    Mutation& relatedTo(HostRef handle, HostKey key = NO_KEY) {
        related = handle;
        relatedKey = key;
        return *this;
    }

    HostKey type;
    bool bubbles;
    HostRef target;
    const std::vector<HostRef>* ancestors = nullptr;
    HostRef related = NO_NODE;
    HostKey relatedKey = NO_KEY;
    std::u16string prevValue, newValue, attrName;
    uint16_t attrChange = 0;
};

void raise(const Mutation& m) {
    if (!listened(m.type) || !S().get(m.target)) return;
    const Names& n = N();
    Object* event = makeEvent(m.type);
    put(event, n.canBubble, m.bubbles ? u"true" : u"false");
    if (m.related != NO_NODE)
        put(event, n.relatedNode, reference(m.related, m.relatedKey == NO_KEY ? n.null : m.relatedKey));
    put(event, n.prevValue, m.prevValue);
    put(event, n.newValue, m.newValue);
    put(event, n.attrName, m.attrName);
    put(event, n.attrChange, number(m.attrChange));
    bool notPrevented = true;
    // The event goes with the dispatch's end unless a listener still holds it.
    dispatch(event, m.target, n.null, m.ancestors, notPrevented);
}

bool anyMutationListened() {
    const Names& n = N();
    for (HostKey type : {n.subtreeModified, n.nodeInserted, n.nodeRemoved, n.insertedIntoDocument,
                         n.removedFromDocument, n.attrModified, n.characterDataModified})
        if (listened(type)) return true;
    return false;
}

// Where a node was: its parent, its next sibling and its ancestors (root first).
struct Placement {
    HostRef parent = NO_NODE, next = NO_NODE;
    std::vector<HostRef> ancestors;
    bool inDocument = false;
};

Placement placementOf(const Object* obj) {
    Placement p;
    p.parent = obj->parent ? obj->parent->handle : NO_NODE;
    p.next = obj->next ? obj->next->handle : NO_NODE;
    for (const Object* a = obj->parent; a; a = a->parent) p.ancestors.push_back(a->handle);
    std::reverse(p.ancestors.begin(), p.ancestors.end());
    p.inDocument = inDocument(obj);
    return p;
}

// The subtree of `root` in document order, as handles (listeners may change it while we go).
std::vector<HostRef> subtree(const Object* root) {
    std::vector<HostRef> handles;
    for (const Object* o = root; o;) {
        handles.push_back(o->handle);
        if (o->firstChild) {
            o = o->firstChild;
            continue;
        }
        while (o != root && !o->next) o = o->parent;
        o = o == root ? nullptr : o->next;
    }
    return handles;
}

// Each node of the subtree at `root`, at target only. `above` (root first) are the ancestors `root` had,
// when it has left them.
void raiseOnSubtree(HostKey type, HostRef root, const std::vector<HostRef>* above) {
    if (!listened(type)) return;
    const Object* top = S().get(root);
    if (!top) return;
    for (HostRef h : subtree(top)) {
        const Object* node = S().get(h);
        if (!node) continue;
        const std::vector<HostRef>* ancestors = nullptr;
        std::vector<HostRef> path;
        if (above) {
            // The ancestors it had: those of `root`, then its own from `root` down.
            std::vector<HostRef> up;
            if (h != root) {
                const Object* a = node->parent;
                for (; a && a->handle != root; a = a->parent) up.push_back(a->handle);
                if (!a) continue; // no longer below the removed node
                up.push_back(root);
            }
            path = *above;
            path.insert(path.end(), up.rbegin(), up.rend());
            ancestors = &path;
        }
        raise(Mutation(type, false, h).along(ancestors));
    }
}

// DOMNodeRemoved and DOMNodeRemovedFromDocument go out before the removal, as a real host's do: the
// listeners still find the node under its parent and among its parent's children.
void announceRemoving(HostRef child, const Placement& was, bool leavesDocument) {
    const Names& n = N();
    raise(Mutation(n.nodeRemoved, true, child).relatedTo(was.parent));
    if (was.inDocument && leavesDocument) raiseOnSubtree(n.removedFromDocument, child, nullptr);
}

// DOMSubtreeModified goes out once the node has left.
void announceRemoved(const Placement& was) {
    raise(Mutation(N().subtreeModified, true, was.parent));
}

// Whether the next call of `selector` answers an injected failure (so that nothing is announced for a
// change that is not going to happen).
bool failureDue(int selector) {
    return state().injections[selector].countdown == 1;
}

bool ancestorOrSelf(const Object* candidate, const Object* of) {
    for (; of; of = of->parent)
        if (of == candidate) return true;
    return false;
}

// What RemoveChild checks, checked beforehand.
bool removalWillHappen(HostRef parentRef, const Object* child) {
    const Object* parent = S().get(parentRef);
    return parent && child->parent == parent && !readOnly(parent) && !failureDue(RemoveChild);
}

// What InsertBeforeChild checks, checked beforehand: true when `child` is going to leave its place.
bool moveWillHappen(HostRef parentRef, const Object* child, HostRef beforeRef) {
    const Object* parent = S().get(parentRef);
    if (!parent || !child->parent || failureDue(InsertBeforeChild)) return false;
    const Object* before = beforeRef >= 0 ? S().get(beforeRef) : nullptr;
    if (beforeRef >= 0 && (!before || before->parent != parent)) return false;
    if (parent->kind != Object::Element || ancestorOrSelf(child, parent)) return false;
    if (readOnly(parent) || readOnly(child->parent)) return false;
    const bool staysPut = child->parent == parent && (before == child || before == child->next);
    return !staysPut;
}

void announceInserted(HostRef child, bool wasInDocument) {
    const Names& n = N();
    const Object* obj = S().get(child);
    if (!obj || !obj->parent) return;
    const HostRef parent = obj->parent->handle;
    raise(Mutation(n.nodeInserted, true, child).relatedTo(parent));
    obj = S().get(child);
    if (!wasInDocument && obj && inDocument(obj)) raiseOnSubtree(n.insertedIntoDocument, child, nullptr);
    raise(Mutation(n.subtreeModified, true, parent));
}

void announceAttribute(HostRef element, bool existed, const std::u16string& prev, const Attribute* now) {
    if (!now || (existed && prev == now->value)) return;
    const Names& n = N();
    const std::u16string* name = S().keys.text(now->name);
    Mutation m(n.attrModified, true, element);
    m.relatedTo(element, now->name);
    m.prevValue = prev;
    m.newValue = now->value;
    m.attrName = name ? *name : std::u16string();
    m.attrChange = existed ? 1 : 2;
    raise(m);
    raise(Mutation(n.subtreeModified, true, element));
}

void announceText(HostRef text, const std::u16string& prev) {
    const Object* obj = S().get(text);
    if (!obj || obj->text == prev) return;
    const Names& n = N();
    Mutation m(n.characterDataModified, true, text);
    m.prevValue = prev;
    m.newValue = obj->text;
    raise(m);
    raise(Mutation(n.subtreeModified, true, text));
}

// The plain operations the announcers stand in front of.
InsertBeforeChildFn plainInsertBeforeChild;
InsertNewChildFn plainInsertNewChild;
RemoveChildFn plainRemoveChild;
SetAttributeValueFn plainSetAttributeValue;
SetAttributeValueNSFn plainSetAttributeValueNS;
SetTextValueFn plainSetTextValue;
DeleteTextValueFn plainDeleteTextValue;
ImportFn plainImport;

int32_t announcingInsertBeforeChild(HostRef parent, HostRef child, HostRef before) {
    Object* obj = nodeObject(child);
    if (!obj || !anyMutationListened()) return plainInsertBeforeChild(parent, child, before);
    const Placement was = placementOf(obj);
    Keep keep({child}); // a listener may drop its references while the node is out of the tree
    const bool leaving = moveWillHappen(parent, obj, before);
    const Object* to = S().get(parent);
    if (leaving) announceRemoving(child, was, !(to && inDocument(to)));
    const int32_t status = plainInsertBeforeChild(parent, child, before);
    obj = S().get(child);
    if (status != OK || !obj) return status;
    const Placement now = placementOf(obj);
    if (now.parent == was.parent && now.next == was.next) return status; // it stayed where it was
    if (was.parent != NO_NODE) announceRemoved(was);
    announceInserted(child, was.inDocument);
    return status;
}

int32_t announcingInsertNewChild(HostRef* out, HostRef parent, const XMLCh* text, HostRef before,
                                 uint8_t flag) {
    const int32_t status = plainInsertNewChild(out, parent, text, before, flag);
    if (status == OK && anyMutationListened()) announceInserted(*out, false);
    return status;
}

int32_t announcingImport(const XMLCh* path) {
    if (!anyMutationListened()) return plainImport(path);
    const Object* app = S().application;
    const HostRef lastBefore = app && app->lastChild ? app->lastChild->handle : NO_NODE;
    const int32_t status = plainImport(path);
    app = S().application;
    if (status == OK && app && app->lastChild && app->lastChild->handle != lastBefore)
        announceInserted(app->lastChild->handle, false);
    return status;
}

int32_t announcingRemoveChild(HostRef parent, HostRef child) {
    Object* obj = nodeObject(child);
    if (!obj || !anyMutationListened()) return plainRemoveChild(parent, child);
    const Placement was = placementOf(obj);
    Keep keep({child}); // the removed node outlives its events
    if (removalWillHappen(parent, obj)) announceRemoving(child, was, true);
    // A listener may have moved or removed the node meanwhile: the removal then answers as it finds it.
    const int32_t status = plainRemoveChild(parent, child);
    if (status == OK) announceRemoved(was);
    return status;
}

// The element whose attributes a write may change, when anyone listens.
Object* watchedElement(HostRef ref) {
    Object* obj = nodeObject(ref);
    return obj && obj->kind == Object::Element && anyMutationListened() ? obj : nullptr;
}

int32_t announcingSetAttributeValue(HostRef ref, HostKey name, const XMLCh* text) {
    Object* obj = watchedElement(ref);
    if (!obj) return plainSetAttributeValue(ref, name, text);
    const Attribute* before = obj->attribute(name);
    const bool existed = before != nullptr;
    const std::u16string prev = before ? before->value : std::u16string();
    const int32_t status = plainSetAttributeValue(ref, name, text);
    if (status == OK) announceAttribute(ref, existed, prev, obj->attribute(name));
    return status;
}

int32_t announcingSetAttributeValueNS(HostRef ref, HostKey ns, HostKey local, const XMLCh* text) {
    Object* obj = watchedElement(ref);
    if (!obj) return plainSetAttributeValueNS(ref, ns, local, text);
    const Attribute* before = obj->attributeNS(ns, local);
    const bool existed = before != nullptr;
    const std::u16string prev = before ? before->value : std::u16string();
    const int32_t status = plainSetAttributeValueNS(ref, ns, local, text);
    if (status == OK) announceAttribute(ref, existed, prev, obj->attributeNS(ns, local));
    return status;
}

// The text object an edit may change, when anyone listens.
Object* watchedText(HostRef ref) {
    Object* obj = nodeObject(ref);
    return obj && obj->kind == Object::Text && anyMutationListened() ? obj : nullptr;
}

int32_t announcingSetTextValue(HostRef ref, int32_t position, const XMLCh* text) {
    Object* obj = watchedText(ref);
    if (!obj) return plainSetTextValue(ref, position, text);
    const std::u16string prev = obj->text;
    const int32_t status = plainSetTextValue(ref, position, text);
    if (status == OK) announceText(ref, prev);
    return status;
}

int32_t announcingDeleteTextValue(HostRef ref, int32_t start, int32_t count) {
    Object* obj = watchedText(ref);
    if (!obj) return plainDeleteTextValue(ref, start, count);
    const std::u16string prev = obj->text;
    const int32_t status = plainDeleteTextValue(ref, start, count);
    if (status == OK) announceText(ref, prev);
    return status;
}

template <class Fn> void standInFront(uint64_t table[], int selector, Fn& plain, Fn announcer) {
    const uint64_t announcing = reinterpret_cast<uint64_t>(announcer);
    if (table[selector] == announcing) return; // already there
    plain = reinterpret_cast<Fn>(table[selector]);
    table[selector] = announcing;
}

} // namespace

// The operations.

int32_t opSetTargetEventListener(Kw::HandleEventFn callback, int32_t remove, HostKey type, HostRef target,
                                 HostKey targetKey, void* listener, bool useCapture) {
    ENTER(SetTargetEventListener);
    if (remove != 0 && remove != 1) return NOT_SUPPORTED;
    if (!callback) return INVALID_ACCESS;
    if (!S().keys.text(type) || !S().keys.text(targetKey) || !nodeObject(target)) return NOT_FOUND;
    return changeRegistration(R().onTargets, std::make_tuple(target, targetKey, type), type, remove, callback,
                              listener, useCapture);
}

int32_t opSetTypeEventListener(Kw::HandleEventFn callback, int32_t remove, HostKey first, HostKey second,
                               void* listener, bool useCapture) {
    ENTER(SetTypeEventListener);
    if (remove != 0 && remove != 1) return NOT_SUPPORTED;
    if (!callback) return INVALID_ACCESS;
    if (!S().keys.text(first) || (second != NO_KEY && !S().keys.text(second))) return NOT_FOUND;
    return changeRegistration(R().byNames, std::make_pair(first, second), first, remove, callback, listener,
                              useCapture);
}

int32_t opDispatchEvent(HostRef target, HostKey targetKey, HostRef event, bool* out) {
    ENTER(DispatchEvent);
    if (!out) return INVALID_ACCESS;
    Object* obj = eventObject(event);
    if (!obj || !nodeObject(target) || !S().keys.text(targetKey)) return NOT_FOUND;
    bool notPrevented = true;
    const int32_t status = dispatch(obj, target, targetKey, nullptr, notPrevented);
    if (status == OK) *out = notPrevented;
    return status;
}

int32_t opControlEvent(HostRef event, int32_t what, int32_t) {
    ENTER(ControlEvent);
    Object* obj = eventObject(event);
    if (!obj) return NOT_FOUND;
    if (what != 0 && what != 1) return NOT_SUPPORTED;
    EventRecord& record = R().events[event];
    if (!record.dispatching) return OK;
    if (what == 0)
        record.stopped = true;
    else if (flag(obj, N().cancelable))
        record.prevented = true;
    return OK;
}

int32_t opCreateEvent(HostRef* out, HostKey type) {
    ENTER(CreateEvent);
    if (!out) return INVALID_ACCESS;
    const std::u16string* name = S().keys.text(type);
    if (!name) return NOT_FOUND;
    if (name->empty()) return NOT_SUPPORTED;
    *out = makeEvent(type)->handle;
    return OK;
}

void installMutationEvents(uint64_t table[]) {
    standInFront(table, InsertBeforeChild, plainInsertBeforeChild, &announcingInsertBeforeChild);
    standInFront(table, InsertNewChild, plainInsertNewChild, &announcingInsertNewChild);
    standInFront(table, RemoveChild, plainRemoveChild, &announcingRemoveChild);
    standInFront(table, SetAttributeValue, plainSetAttributeValue, &announcingSetAttributeValue);
    standInFront(table, SetAttributeValueNS, plainSetAttributeValueNS, &announcingSetAttributeValueNS);
    standInFront(table, SetTextValue, plainSetTextValue, &announcingSetTextValue);
    standInFront(table, DeleteTextValue, plainDeleteTextValue, &announcingDeleteTextValue);
    standInFront(table, Import, plainImport, &announcingImport);
}

// The public side.

std::vector<ListenerRegistration> ReferenceHost::listeners() const {
    std::vector<std::pair<uint64_t, ListenerRegistration>> all;
    for (const auto& [where, list] : R().onTargets)
        for (const ListenerEntry& e : list) {
            ListenerRegistration r;
            std::tie(r.target, r.targetKey, r.type) = where;
            r.callback = e.callback, r.listener = e.listener, r.useCapture = e.useCapture;
            all.emplace_back(e.id, r);
        }
    for (const auto& [names, list] : R().byNames)
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

void ReferenceHost::clearListeners() {
    R().onTargets.clear();
    R().byNames.clear();
    R().perType.clear();
}

uint64_t ReferenceHost::deliveryCount() const {
    return R().deliveries;
}

long ReferenceHost::lastDeliveryResult() const {
    return R().lastResult;
}

size_t ReferenceHost::liveEvents() const {
    size_t n = 0;
    for (const auto& entry : R().events)
        if (S().get(entry.first)) ++n;
    return n;
}

} // namespace kwhost
