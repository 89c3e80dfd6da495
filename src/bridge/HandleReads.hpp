// Reads on a borrowed host handle: no reference is taken or dropped, and each read keeps the facade's
// convention for its status. Refusals the facade passes over (a navigation read as "no node", a name or
// a count read as none, a value read as "") go through checkRead, so they are counted and thrown inside
// a CheckedReads scope; refusals the facade throws go through checkStatus. Text answers are the host's
// own buffers, valid until the next call that may replace them: copy what you keep.
//
// For callers that hold handles of their own (XPath's trees), not ObjectRefs. The reads met at
// every step of a walk are inline.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>

#include <cstdint>

#include "bridge/CallbackTable.hpp"
#include "bridge/HostStatus.hpp"

namespace Kw::handleReads {

// How many host calls that may change the tree the library has made so far.
using host::changingCalls;

// The node one step from `from` in `direction` (a host::Direction), or -1.
inline HostRef navigate(HostRef from, int32_t direction) {
    HostRef out = -1;
    checkRead(host::callbacks().NavigateElement(&out, from, direction, NO_KEY, 0));
    return out < 0 ? -1 : out;
}

// The element's tag-name key (`which` 0) or namespace key (`which` 1); NO_KEY when refused.
inline HostKey elementNameKey(HostRef element, int32_t which) {
    HostKey key = NO_KEY;
    if (checkRead(host::callbacks().GetElementNameKey(&key, which, element)) != 0) return NO_KEY;
    return key;
}

// Up to `capacity` attribute-name keys of the element into `keys`; the number written (0 when refused).
inline int32_t attributeKeys(HostRef element, HostKey* keys, int32_t capacity) {
    int32_t count = 0;
    if (checkRead(host::callbacks().GetAttributeKeys(&count, element, keys, capacity)) != 0 || count < 0)
        return 0;
    return count < capacity ? count : capacity;
}

// The attribute's value ("" when refused or absent); `isDefault`, when given, tells whether the host
// answered a default rather than a value of the element's own.
inline const XMLCh* attributeValue(HostRef element, HostKey name, bool* isDefault = nullptr) {
    const XMLCh* text = nullptr;
    const HostStatus status = host::callbacks().GetAttributeValue(&text, element, name, isDefault);
    return checkRead(status) == 0 && text ? text : u"";
}

// A text object's characters ("" when refused).
inline const XMLCh* textValue(HostRef text) {
    const XMLCh* out = nullptr;
    const HostStatus status = host::callbacks().GetTextValue(&out, text);
    return checkRead(status) == 0 && out ? out : u"";
}

// Whether the handle is a text object; throws the host's refusal.
bool isText(HostRef handle);
// Whether the attribute is implied (declared but not given); throws the host's refusal.
bool isAttributeImplied(HostRef element, HostKey name);
// The namespace key the host resolves for the attribute's name on the element; throws the refusal.
HostKey attributeNamespace(HostRef element, HostKey name);
// The text of a key ("" for a key without text); throws the host's refusal.
const XMLCh* keyText(HostKey key);

} // namespace Kw::handleReads
