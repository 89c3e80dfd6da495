// The few lines every host call goes through: one helper per error convention of the bridge.
//   checkStatus        non-zero status -> DOMException(status & 0xFFFF)
//   checkStatusAsLong  non-zero status -> the status thrown as a plain long
//   succeeded          the status as a bool answer
//   checkRead          a read whose refusal reads as "nothing" (counted; thrown inside CheckedReads)
//   textOrEmpty        a text read whose refusal reads as "" (through checkRead)
//   notExamined        a status passed over on purpose (neither counted nor thrown)
// The host's value conversion has its own convention (any refusal is DOMException 16), in
// bridge/ValueConversion.hpp.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>
#include <DOMKw/strings/DOMBTString.hpp>

#include "platform/XercesSupport.hpp"

namespace Kw {

// General rule: a non-zero status becomes DOMException(status & 0xFFFF).
inline void checkStatus(HostStatus status) {
    if (status != 0) throwDOMException(static_cast<short>(status & 0xFFFF));
}

// Listener add, dispatch and transaction creation throw the status itself as a plain long.
inline void checkStatusAsLong(HostStatus status) {
    if (status != 0) throw static_cast<long>(status);
}

// Registration and transaction operations answer a bool.
inline bool succeeded(HostStatus status) {
    return status == 0;
}

// While one is alive (on the host's thread), the reads whose refusal the facade otherwise passes over
// (navigation, child count, attribute keys, text and attribute values, names) throw the host's status
// instead. A copy, a move or a tree change opens one around its reads: a refused read there must end
// the operation, not make it work on a shorter tree.
class CheckedReads {
public:
    CheckedReads() : previous(flag()) { flag() = true; }
    ~CheckedReads() { flag() = previous; }
    CheckedReads(const CheckedReads&) = delete;
    CheckedReads& operator=(const CheckedReads&) = delete;
    static bool active() { return flag(); }

private:
    static bool& flag() {
        static bool on = false;
        return on;
    }
    bool previous;
};

// Refusals the facade passes over, counted, so that a caller that cannot open CheckedReads around its
// reads (a write whose middle runs inside Xerces-C) can still tell a refusal from an empty answer: it
// compares the count before and after its work.
struct UnexaminedFailures {
    uint64_t count = 0;
    HostStatus last = 0;
};
UnexaminedFailures& unexaminedFailures();

// The one helper for a status the facade does not examine (a navigation refused reads as "no node", a
// count as 0): counted, and thrown while a CheckedReads is alive. Returns the status.
inline HostStatus checkRead(HostStatus status) {
    if (status != 0) {
        UnexaminedFailures& u = unexaminedFailures();
        ++u.count;
        u.last = status;
        if (CheckedReads::active()) throwDOMException(static_cast<short>(status & 0xFFFF));
    }
    return status;
}

// A status the facade passes over by design and must not count: a release in a destructor, an event
// control, a registration or value-map answer nobody asked for. Named so that every host call still goes
// through one of the helpers here; it neither counts nor throws (a destructor must not).
inline void notExamined(HostStatus) {}

// Reads that fall back to "" when the host refuses (passed through checkRead).
inline DOMBTString textOrEmpty(HostStatus status, const XMLCh* text) {
    checkRead(status);
    return (status == 0 && text) ? DOMBTString(text) : DOMBTString();
}

} // namespace Kw
