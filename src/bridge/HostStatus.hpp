// The few lines every host call goes through: one helper per error convention of the bridge.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>
#include <DOMKw/strings/DOMBTString.hpp>

namespace Kw {

// Starts Xerces-C once (a DOMException needs its message loader and memory manager).
void ensureXercesStarted();

// Throws xercesc::DOMException(code, message code 0, XMLPlatformUtils::fgMemoryManager).
[[noreturn]] void throwDOMException(short code);

// General rule: a non-zero status becomes DOMException(status & 0xFFFF).
inline void checkStatus(HostStatus status) {
    if (status != 0) throwDOMException(static_cast<short>(status & 0xFFFF));
}

// Listener add, dispatch and transaction creation throw the status itself as a plain long.
inline void checkStatusAsLong(HostStatus status) {
    if (status != 0) throw static_cast<long>(status);
}

// Registration and transaction operations answer a bool.
inline bool succeeded(HostStatus status) { return status == 0; }

// Reads that fall back to "" when the host refuses.
inline DOMBTString textOrEmpty(HostStatus status, const XMLCh* text) {
    return (status == 0 && text) ? DOMBTString(text) : DOMBTString();
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

// A read's status: passed over, unless a CheckedReads is alive.
inline void checkRead(HostStatus status) {
    if (status != 0 && CheckedReads::active()) throwDOMException(static_cast<short>(status & 0xFFFF));
}

// A text read: "" when the host refuses, or the refusal thrown under CheckedReads.
inline DOMBTString checkedText(HostStatus status, const XMLCh* text) {
    checkRead(status);
    return textOrEmpty(status, text);
}

} // namespace Kw
