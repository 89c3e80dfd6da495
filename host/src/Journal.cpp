// The changes the host operations make to the store, and the undo log that records them while a
// transaction is active. Every change goes through here, so the log misses none.
#include "Store.hpp"

namespace kwhost {

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
    JournalEntry e(JournalEntry::Moved);
    e.obj = child;
    e.parent = child->parent;
    e.next = child->next;
    record(std::move(e));
    unlink(child);
    link(parent, child, before);
}

void Store::remove(Object* child) {
    JournalEntry e(JournalEntry::Moved);
    e.obj = child;
    e.parent = child->parent;
    e.next = child->next;
    record(std::move(e));
    unlink(child);
    collect(child);
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
