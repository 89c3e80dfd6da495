// The host's event objects: store elements tagged "#event" whose attributes are the event's attributes.
#pragma once

#include "Store.hpp"

#include <unordered_map>

namespace kwhost {

// The dispatch state of one host event object.
struct EventRecord {
    bool dispatching = false;
    bool stopped = false;
    bool prevented = false;
};

class EventObjects {
public:
    // A new event of `type` with the attributes its interface starts with. Event objects are borrowed:
    // the caller acquires a reference at once; one that nobody took (or that everybody released) goes
    // with a later sweep.
    Object* make(HostKey type);
    // A live host event (null for anything else).
    Object* find(HostRef handle);
    bool isEvent(HostRef handle) const { return records.find(handle) != records.end(); }
    // The dispatch state of an event; stable while the event is dispatching (records are dropped only
    // when not).
    EventRecord& record(HostRef handle) { return records[handle]; }
    // The events not freed yet.
    size_t live() const;

private:
    void sweep();

    // By handle; entries of freed events are dropped now and then.
    std::unordered_map<HostRef, EventRecord> records;
    size_t pruneAt = 64;
};

// Event attributes. The host writes them straight into the event: they are not document changes.
void setEventAttribute(Object* event, HostKey name, std::u16string value);
// Whether a flag attribute ("true" or "1") is set.
bool eventFlag(Object* event, HostKey name);
std::u16string decimal(int64_t n);
// A node reference as the library reads it: two 32-bit numbers, "handle/key".
std::u16string nodeReference(HostRef handle, HostKey key);

// An element or text object: what listeners can be put on and events aimed at (null for an event).
Object* nodeObject(HostRef handle);

} // namespace kwhost
