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

// Statuses the facade answers without examining them (a navigation refused reads as "no node", a name
// or text read refused as ""), counted, so that a caller that must not lose data (a write, a copy) can
// tell a refusal from an empty answer: it compares the count before and after its work.
struct UnexaminedFailures {
    uint64_t count = 0;
    HostStatus last = 0;
};
UnexaminedFailures& unexaminedFailures();

inline HostStatus noteUnexamined(HostStatus status) {
    if (status != 0) {
        UnexaminedFailures& u = unexaminedFailures();
        ++u.count;
        u.last = status;
    }
    return status;
}

// Reads that fall back to "" when the host refuses (counted as above).
inline DOMBTString textOrEmpty(HostStatus status, const XMLCh* text) {
    noteUnexamined(status);
    return (status == 0 && text) ? DOMBTString(text) : DOMBTString();
}

} // namespace Kw
