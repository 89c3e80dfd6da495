// The host's object store: objects, keys, tree links, the changes the operations make and their undo
// log, and freeing what nothing keeps.
#include "Store.hpp"

namespace kwhost {

Attribute* Object::attribute(HostKey name) {
    for (Attribute& a : attributes)
        if (a.name == name) return &a;
    return nullptr;
}

Attribute* Object::attributeNS(HostKey nsKey, HostKey localKey) {
    // Without a namespace the name is the attribute's qualified name, as a DOM's getAttribute has it
    // ("xmlns:p" finds the declaration of p).
    if (nsKey == NO_KEY) return attribute(localKey);
    for (Attribute& a : attributes)
        if (a.ns == nsKey && a.local == localKey) return &a;
    return nullptr;
}

HostKey Keys::intern(std::u16string_view text) {
    auto it = byText.find(text);
    if (it != byText.end()) return it->second;
    // Keys are indexes into the table, so 0xFFFFFFFF is never issued.
    const HostKey key = static_cast<HostKey>(texts.size());
    texts.emplace_back(text);
    count = texts.size();
    byText.emplace(std::u16string_view(texts.back()), key);
    return key;
}


Store::Store() {
    textTag = keys.intern(u"#text");
    xmlnsUri = keys.intern(u"http://www.w3.org/2000/xmlns/");
    xmlUri = keys.intern(u"http://www.w3.org/XML/1998/namespace");
}

Object* Store::makeElement(HostKey tag, HostKey ns) {
    if (objects.empty()) objects.emplace_back(); // handle 0 is never issued
    auto obj = std::make_unique<Object>();
    obj->handle = static_cast<HostRef>(objects.size());
    obj->tag = tag;
    obj->ns = ns;
    Object* raw = obj.get();
    objects.push_back(std::move(obj));
    ++liveCount;
    return raw;
}

Object* Store::makeText(const std::u16string& text) {
    Object* obj = makeElement(textTag, NO_KEY);
    obj->kind = Object::Text;
    obj->text = text;
    return obj;
}

void Store::link(Object* parent, Object* child, Object* before) {
    ++shape;
    child->parent = parent;
    child->next = before;
    child->prev = before ? before->prev : parent->lastChild;
    (child->prev ? child->prev->next : parent->firstChild) = child;
    (before ? before->prev : parent->lastChild) = child;
    ++parent->childCount;
}

void Store::unlink(Object* child) {
    Object* parent = child->parent;
    if (!parent) return;
    ++shape;
    (child->prev ? child->prev->next : parent->firstChild) = child->next;
    (child->next ? child->next->prev : parent->lastChild) = child->prev;
    child->parent = child->prev = child->next = nullptr;
    --parent->childCount;
}

namespace {
// The next object of the subtree at `root` in document order, without recursion (trees may be deep).
template <class T> T* following(T* node, const Object* root) {
    if (node->firstChild) return node->firstChild;
    while (node != root && !node->next) node = node->parent;
    return node == root ? nullptr : node->next;
}

bool anyReferenced(const Object* root) {
    for (const Object* o = root; o; o = following(o, root))
        if (o->refs > 0 || o->pins > 0) return true;
    return false;
}
} // namespace

Object* Store::rootOf(Object* obj) {
    // Up to the first object whose root is known for the present shape of the trees, then down the same
    // way again, noting the root: a walk through a tree that does not change meanwhile finds each
    // object's root in constant time.
    Object* at = obj;
    while (at->rootShape != shape && at->parent) at = at->parent;
    Object* root = at->rootShape == shape ? at->root : at;
    for (Object* o = obj;; o = o->parent) {
        o->root = root;
        o->rootShape = shape;
        if (o == at) break;
    }
    return root;
}

void Store::collect(Object* obj) {
    Object* root = rootOf(obj);
    if (root == application || anyReferenced(root)) return;
    freeSubtree(root);
}

void Store::freeSubtree(Object* root) {
    std::vector<HostRef> handles;
    for (const Object* o = root; o; o = following(o, root)) handles.push_back(o->handle);
    for (HostRef h : handles) objects[static_cast<size_t>(h)].reset();
    liveCount -= handles.size();
}

HostKey Store::lookupNamespace(const Object* at, HostKey prefix) const {
    if (prefix != NO_KEY) {
        const std::u16string* p = keys.text(prefix);
        if (p && *p == u"xml") return xmlUri;
        if (p && *p == u"xmlns") return xmlnsUri;
    }
    for (; at; at = at->parent) {
        for (const Attribute& a : at->attributes) {
            if (a.ns != xmlnsUri) continue;
            // xmlns="..." binds the default namespace, xmlns:p="..." binds p.
            const bool isDefault = a.prefix == NO_KEY;
            if ((prefix == NO_KEY && isDefault) || (!isDefault && a.local == prefix)) {
                if (a.value.empty()) return NO_KEY;
                auto it = const_cast<Keys&>(keys).intern(a.value);
                return it;
            }
        }
    }
    return NO_KEY;
}

void Store::splitName(HostKey qname, HostKey& prefix, HostKey& local) {
    const std::u16string name = *keys.text(qname);
    const size_t colon = name.find(u':');
    if (colon == std::u16string::npos || colon == 0) {
        prefix = NO_KEY;
        local = qname;
    } else {
        prefix = keys.intern(name.substr(0, colon));
        local = keys.intern(name.substr(colon + 1));
    }
}

void Store::setApplication(Object* app, std::vector<std::pair<std::u16string, std::u16string>> headerAttrs) {
    // The journal refers to the tree being replaced: its changes can no longer be undone.
    dropJournal(false);
    Object* old = application;
    application = app;
    ++shape;
    header = std::move(headerAttrs);
    if (old) collect(old);
}

// The changes the host operations make to the store, and the undo log that records them while a
// transaction is active. Every change goes through here, so the log misses none.

namespace {
void pin(Object* obj) {
    if (obj) ++obj->pins;
}
} // namespace

void Store::record(JournalEntry entry) {
    if (!recording) return;
    pin(entry.obj);
    pin(entry.parent);
    pin(entry.next);
    journal.push_back(std::move(entry));
}

void Store::writeAttribute(Object* obj, Attribute& a, const XMLCh* text) {
    JournalEntry e(JournalEntry::AttributeWritten);
    e.obj = obj;
    e.index = static_cast<size_t>(&a - obj->attributes.data());
    e.attribute = a;
    record(std::move(e));
    a.value = text;
    a.implied = false;
    a.isDefault = false;
}

void Store::addAttribute(Object* obj, Attribute a) {
    JournalEntry e(JournalEntry::AttributeAdded);
    e.obj = obj;
    e.index = obj->attributes.size();
    record(std::move(e));
    obj->attributes.push_back(std::move(a));
}

void Store::insertText(Object* obj, size_t at, const XMLCh* text) {
    JournalEntry e(JournalEntry::TextChanged);
    e.obj = obj;
    e.text = obj->text;
    record(std::move(e));
    obj->text.insert(at, text);
}

void Store::eraseText(Object* obj, size_t start, size_t count) {
    JournalEntry e(JournalEntry::TextChanged);
    e.obj = obj;
    e.text = obj->text;
    record(std::move(e));
    obj->text.erase(start, count);
}

void Store::move(Object* parent, Object* child, Object* before) {
    unlinkRecorded(child);
    link(parent, child, before);
}

void Store::remove(Object* child) {
    unlinkRecorded(child);
    collect(child);
}

void Store::unlinkRecorded(Object* child) {
    // The undo puts the child back where it stood.
    JournalEntry e(JournalEntry::Moved);
    e.obj = child;
    e.parent = child->parent;
    e.next = child->next;
    record(std::move(e));
    unlink(child);
}

void Store::startJournal() {
    dropJournal(false);
    recording = true;
}

void Store::undoJournal() {
    // Newest first: each entry then finds the store exactly as its change left it.
    for (auto it = journal.rbegin(); it != journal.rend(); ++it) {
        JournalEntry& e = *it;
        switch (e.kind) {
        case JournalEntry::AttributeWritten:
            e.obj->attributes[e.index] = e.attribute;
            break;
        case JournalEntry::AttributeAdded:
            e.obj->attributes.erase(e.obj->attributes.begin() + e.index);
            break;
        case JournalEntry::TextChanged:
            e.obj->text = e.text;
            break;
        case JournalEntry::Moved:
            unlink(e.obj);
            if (e.parent) link(e.parent, e.obj, e.next);
            break;
        }
    }
    dropJournal(false);
}

void Store::dropJournal(bool stop) {
    if (stop) recording = false;
    if (journal.empty()) return;
    // Unpin everything first, then collect by handle: collecting one object may free another.
    std::vector<HostRef> mentioned;
    for (JournalEntry& e : journal)
        for (Object* obj : {e.obj, e.parent, e.next})
            if (obj) {
                --obj->pins;
                mentioned.push_back(obj->handle);
            }
    journal.clear();
    for (HostRef h : mentioned)
        if (Object* obj = get(h)) collect(obj);
}

} // namespace kwhost
