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

} // namespace Kw
