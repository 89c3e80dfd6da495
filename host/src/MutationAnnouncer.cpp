#include "MutationAnnouncer.hpp"

#include "EventFlow.hpp"
#include "EventNames.hpp"
#include "EventObjects.hpp"
#include "HostOperations.hpp"
#include "KeepAlive.hpp"

#include <algorithm>

namespace kwhost {

using namespace Kw::host;

namespace {

Store& S() {
    return state().store;
}

constexpr HostRef NO_NODE = -1;

bool listened(HostKey type) {
    return state().listeners.listened(type);
}

bool anyMutationListened() {
    const EventNames& n = eventNames();
    for (HostKey type : {n.subtreeModified, n.nodeInserted, n.nodeRemoved, n.insertedIntoDocument,
                         n.removedFromDocument, n.attrModified, n.characterDataModified})
        if (listened(type)) return true;
    return false;
}

bool inDocument(const Object* obj) {
    while (obj->parent) obj = obj->parent;
    return obj == S().application;
}

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
    const EventNames& n = eventNames();
    Object* event = state().events.make(m.type);
    setEventAttribute(event, n.canBubble, m.bubbles ? u"true" : u"false");
    if (m.related != NO_NODE)
        setEventAttribute(event, n.relatedNode,
                          nodeReference(m.related, m.relatedKey == NO_KEY ? n.null : m.relatedKey));
    setEventAttribute(event, n.prevValue, m.prevValue);
    setEventAttribute(event, n.newValue, m.newValue);
    setEventAttribute(event, n.attrName, m.attrName);
    setEventAttribute(event, n.attrChange, decimal(m.attrChange));
    bool notPrevented = true;
    // The event goes with the dispatch's end unless a listener still holds it.
    dispatchEvent(event, m.target, n.null, m.ancestors, notPrevented);
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
    const EventNames& n = eventNames();
    raise(Mutation(n.nodeRemoved, true, child).relatedTo(was.parent));
    if (was.inDocument && leavesDocument) raiseOnSubtree(n.removedFromDocument, child, nullptr);
}

// DOMSubtreeModified goes out once the node has left.
void announceRemoved(const Placement& was) {
    raise(Mutation(eventNames().subtreeModified, true, was.parent));
}

// Whether the next call of `selector` answers an injected failure (so that nothing is announced for a
// change that is not going to happen).
bool failureDue(int selector) {
    return state().injections[selector].countdown == 1;
}

// What RemoveChild checks, checked beforehand.
bool removalWillHappen(HostRef parentRef, const Object* child) {
    return checkRemoval(S().get(parentRef), child) == OK && !failureDue(RemoveChild);
}

// What InsertBeforeChild checks, checked beforehand: true when `child` is going to leave its place.
bool moveWillHappen(HostRef parentRef, Object* child, HostRef beforeRef) {
    Object* parent = S().get(parentRef);
    if (!parent || !child->parent || failureDue(InsertBeforeChild)) return false;
    Object* before = nullptr;
    if (checkMove(parent, child, beforeRef, before) != OK) return false;
    const bool staysPut = child->parent == parent && (before == child || before == child->next);
    return !staysPut;
}

void announceInserted(HostRef child, bool wasInDocument) {
    const EventNames& n = eventNames();
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
    const EventNames& n = eventNames();
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
    const EventNames& n = eventNames();
    Mutation m(n.characterDataModified, true, text);
    m.prevValue = prev;
    m.newValue = obj->text;
    raise(m);
    raise(Mutation(n.subtreeModified, true, text));
}

// The element whose attributes a write may change, when anyone listens.
Object* watchedElement(HostRef ref) {
    Object* obj = nodeObject(ref);
    return obj && obj->kind == Object::Element && anyMutationListened() ? obj : nullptr;
}

// The text object an edit may change, when anyone listens.
Object* watchedText(HostRef ref) {
    Object* obj = nodeObject(ref);
    return obj && obj->kind == Object::Text && anyMutationListened() ? obj : nullptr;
}

} // namespace

int32_t announceInsertBeforeChild(InsertBeforeChildFn plain, HostRef parent, HostRef child, HostRef before) {
    Object* obj = nodeObject(child);
    if (!obj || !anyMutationListened()) return plain(parent, child, before);
    const Placement was = placementOf(obj);
    KeepAlive keep({child}); // a listener may drop its references while the node is out of the tree
    const bool leaving = moveWillHappen(parent, obj, before);
    const Object* to = S().get(parent);
    if (leaving) announceRemoving(child, was, !(to && inDocument(to)));
    const int32_t status = plain(parent, child, before);
    obj = S().get(child);
    if (status != OK || !obj) return status;
    const Placement now = placementOf(obj);
    if (now.parent == was.parent && now.next == was.next) return status; // it stayed where it was
    if (was.parent != NO_NODE) announceRemoved(was);
    announceInserted(child, was.inDocument);
    return status;
}

int32_t announceInsertNewChild(InsertNewChildFn plain, HostRef* out, HostRef parent, const XMLCh* text,
                               HostRef before, uint8_t flag) {
    const int32_t status = plain(out, parent, text, before, flag);
    if (status == OK && anyMutationListened()) announceInserted(*out, false);
    return status;
}

int32_t announceImport(ImportFn plain, const XMLCh* path) {
    if (!anyMutationListened()) return plain(path);
    const Object* app = S().application;
    const HostRef lastBefore = app && app->lastChild ? app->lastChild->handle : NO_NODE;
    const int32_t status = plain(path);
    app = S().application;
    if (status == OK && app && app->lastChild && app->lastChild->handle != lastBefore)
        announceInserted(app->lastChild->handle, false);
    return status;
}

int32_t announceRemoveChild(RemoveChildFn plain, HostRef parent, HostRef child) {
    Object* obj = nodeObject(child);
    if (!obj || !anyMutationListened()) return plain(parent, child);
    const Placement was = placementOf(obj);
    KeepAlive keep({child}); // the removed node outlives its events
    if (removalWillHappen(parent, obj)) announceRemoving(child, was, true);
    // A listener may have moved or removed the node meanwhile: the removal then answers as it finds it.
    const int32_t status = plain(parent, child);
    if (status == OK) announceRemoved(was);
    return status;
}

int32_t announceSetAttributeValue(SetAttributeValueFn plain, HostRef ref, HostKey name, const XMLCh* text) {
    Object* obj = watchedElement(ref);
    if (!obj) return plain(ref, name, text);
    const Attribute* before = obj->attribute(name);
    const bool existed = before != nullptr;
    const std::u16string prev = before ? before->value : std::u16string();
    const int32_t status = plain(ref, name, text);
    if (status == OK) announceAttribute(ref, existed, prev, obj->attribute(name));
    return status;
}

int32_t announceSetAttributeValueNS(SetAttributeValueNSFn plain, HostRef ref, HostKey ns, HostKey local,
                                    const XMLCh* text) {
    Object* obj = watchedElement(ref);
    if (!obj) return plain(ref, ns, local, text);
    const Attribute* before = obj->attributeNS(ns, local);
    const bool existed = before != nullptr;
    const std::u16string prev = before ? before->value : std::u16string();
    const int32_t status = plain(ref, ns, local, text);
    if (status == OK) announceAttribute(ref, existed, prev, obj->attributeNS(ns, local));
    return status;
}

int32_t announceSetTextValue(SetTextValueFn plain, HostRef ref, int32_t position, const XMLCh* text) {
    Object* obj = watchedText(ref);
    if (!obj) return plain(ref, position, text);
    const std::u16string prev = obj->text;
    const int32_t status = plain(ref, position, text);
    if (status == OK) announceText(ref, prev);
    return status;
}

int32_t announceDeleteTextValue(DeleteTextValueFn plain, HostRef ref, int32_t start, int32_t count) {
    Object* obj = watchedText(ref);
    if (!obj) return plain(ref, start, count);
    const std::u16string prev = obj->text;
    const int32_t status = plain(ref, start, count);
    if (status == OK) announceText(ref, prev);
    return status;
}

} // namespace kwhost
