// The host's object store: elements, text objects and the key table.
#pragma once

#include <DOMKwHost/ReferenceHost.hpp>

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kwhost {

using Kw::HostKey;
using Kw::HostRef;
using Kw::NO_KEY;

struct Attribute {
    HostKey name = NO_KEY; // qualified name
    HostKey ns = NO_KEY;   // namespace URI
    HostKey prefix = NO_KEY;
    HostKey local = NO_KEY;
    std::u16string value;
    bool implied = false;
    bool isDefault = false;
    bool uncopyable = false;
};

struct Object {
    enum Kind { Element, Text };
    Kind kind = Element;
    HostRef handle = -1;
    int64_t refs = 0; // references the library holds
    int32_t pins = 0; // undo-log entries that mention the object: it must outlive them
    HostKey tag = NO_KEY;
    HostKey ns = NO_KEY;
    bool readOnly = false;
    std::vector<Attribute> attributes;
    std::u16string text;
    Object* parent = nullptr;
    Object* firstChild = nullptr;
    Object* lastChild = nullptr;
    Object* prev = nullptr;
    Object* next = nullptr;
    int32_t childCount = 0;
    // The top of this object's tree, valid while `rootShape` is the store's shape (collect's memo).
    Object* root = nullptr;
    uint64_t rootShape = 0;

    Attribute* attribute(HostKey name);
    Attribute* attributeNS(HostKey ns, HostKey local);
};

class Keys {
public:
    Keys() = default;
    // The index holds views of the texts: never copied.
    Keys(const Keys&) = delete;
    Keys& operator=(const Keys&) = delete;

    // A known text is found without copying it.
    HostKey intern(std::u16string_view text);
    // Null for an unknown key.
    const std::u16string* text(HostKey key) const { return key < texts.size() ? &texts[key] : nullptr; }
    // Whether `key` was ever handed out: a count, not a walk into the deque.
    bool known(HostKey key) const { return key < count; }

private:
    std::deque<std::u16string> texts; // stable addresses: the host hands out pointers into them
    size_t count = 0;                 // texts.size(), kept so that a validity check is one compare
    // Views of `texts`, which never change once added.
    std::unordered_map<std::u16string_view, HostKey> byText;
};

// Read-only: a read-only element, and any object below one.
inline bool readOnly(const Object* obj) {
    for (; obj; obj = obj->parent)
        if (obj->readOnly) return true;
    return false;
}

// The undo log of the active transaction: for every change, what it replaced, so that it can be put back.
// Every object an entry mentions is pinned until the entry is dropped, so that undoing can re-insert an
// element that was removed meanwhile.
struct JournalEntry {
    enum Kind { AttributeWritten, AttributeAdded, TextChanged, Moved };
    explicit JournalEntry(Kind kind) : kind(kind) {}
    Kind kind;
    Object* obj = nullptr;    // the element or text changed, or the child moved
    size_t index = 0;         // AttributeWritten / AttributeAdded: the attribute's position
    Attribute attribute;      // AttributeWritten: the attribute as it was
    std::u16string text;      // TextChanged: the text as it was
    Object* parent = nullptr; // Moved: where the child was (null when it was nowhere)
    Object* next = nullptr;
};

class Store {
public:
    Keys keys;
    HostKey textTag;  // "#text"
    HostKey xmlnsUri; // "http://www.w3.org/2000/xmlns/"
    HostKey xmlUri;   // "http://www.w3.org/XML/1998/namespace"

    Store();

    // The live object of a handle; null for one never issued or freed.
    Object* get(HostRef ref) const {
        return ref > 0 && static_cast<size_t>(ref) < objects.size() ? objects[static_cast<size_t>(ref)].get()
                                                                    : nullptr;
    }
    Object* makeElement(HostKey tag, HostKey ns);
    Object* makeText(const std::u16string& text);

    // Raw tree links, not journaled: for building detached subtrees and for undoing. They check nothing.
    void link(Object* parent, Object* child, Object* before);
    void unlink(Object* child);

    // The changes the host operations make. Callers validate first; each change is journaled while a
    // journal is recording.
    void writeAttribute(Object* obj, Attribute& a, const XMLCh* text); // specified from now on
    void addAttribute(Object* obj, Attribute a);
    void insertText(Object* obj, size_t at, const XMLCh* text);
    void eraseText(Object* obj, size_t start, size_t count);
    // Puts `child` under `parent` before `before` (null: last), from wherever it was, or nowhere.
    void move(Object* parent, Object* child, Object* before);
    // Takes `child` out of its parent; it is freed when nothing keeps it.
    void remove(Object* child);
    // Takes `child` out of its parent, journaled so that an undo puts it back where it stood.
    void unlinkRecorded(Object* child);

    // The journal: started by a transaction's begin, ended by its commit or abort.
    void startJournal();
    size_t journalLength() const { return journal.size(); }
    // Puts back every journaled change, newest first; the journal keeps recording afterwards.
    void undoJournal();
    // Forgets the journaled changes (they stay made); `stop` also ends recording.
    void dropJournal(bool stop);

    // Frees `obj` and its subtree when nothing keeps them: out of the application's tree and no
    // reference held by the library anywhere in the detached subtree.
    void collect(Object* obj);

    // The namespace URI bound to `prefix` (NO_KEY for the default namespace) in scope at `at`.
    HostKey lookupNamespace(const Object* at, HostKey prefix) const;
    // Splits a qualified name into prefix and local keys.
    void splitName(HostKey qname, HostKey& prefix, HostKey& local);

    // The deepest nesting of elements the store takes (MAX_DEPTH unless a test lifts it).
    size_t depthBound = MAX_DEPTH;

    Object* application = nullptr;
    std::vector<std::pair<std::u16string, std::u16string>> header;

    int64_t outstanding = 0;
    size_t live() const { return liveCount; }

    // Replaces the project; the old tree is collected.
    void setApplication(Object* app, std::vector<std::pair<std::u16string, std::u16string>> headerAttrs);

private:
    void freeSubtree(Object* obj);
    // The top of `obj`'s tree: the application element, or the top of a detached subtree.
    Object* rootOf(Object* obj);
    // Counts the changes of parent links (and of the application): remembered roots older than it are stale.
    uint64_t shape = 1;
    void record(JournalEntry entry);

    bool recording = false;
    std::vector<JournalEntry> journal;

    // Indexed by handle: handles are issued in order and never reused, so a freed one stays refused.
    std::vector<std::unique_ptr<Object>> objects;
    size_t liveCount = 0;
};

} // namespace kwhost
