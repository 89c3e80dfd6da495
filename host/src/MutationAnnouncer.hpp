// Mutation events for the changes made through the host operations.
//
// Each announce... function runs the store's operation it is handed (`plain`) and, while anyone listens
// for a "MutationEvent,..." type, announces the change that operation made. The table wires them in
// Operations.cpp as `announced<announceInsertBeforeChild, opInsertBeforeChild>`: "the store's insert,
// announced". Nobody listening costs one look into the listener registry.
#pragma once

#include "Store.hpp"

namespace kwhost {

// DOMNodeRemoved and DOMNodeRemovedFromDocument before a move (while the node is still where it was),
// DOMSubtreeModified at the old parent, then DOMNodeInserted, DOMNodeInsertedIntoDocument and
// DOMSubtreeModified at the new place.
int32_t announceInsertBeforeChild(Kw::host::InsertBeforeChildFn plain, HostRef parent, HostRef child,
                                  HostRef before);
int32_t announceInsertNewChild(Kw::host::InsertNewChildFn plain, HostRef* out, HostRef parent,
                               const XMLCh* text, HostRef before, uint8_t flag);
int32_t announceRemoveChild(Kw::host::RemoveChildFn plain, HostRef parent, HostRef child);
// DOMAttrModified and DOMSubtreeModified when the value changed.
int32_t announceSetAttributeValue(Kw::host::SetAttributeValueFn plain, HostRef ref, HostKey name,
                                  const XMLCh* text);
int32_t announceSetAttributeValueNS(Kw::host::SetAttributeValueNSFn plain, HostRef ref, HostKey ns,
                                    HostKey local, const XMLCh* text);
// DOMCharacterDataModified and DOMSubtreeModified when the text changed.
int32_t announceSetTextValue(Kw::host::SetTextValueFn plain, HostRef ref, int32_t position,
                             const XMLCh* text);
int32_t announceDeleteTextValue(Kw::host::DeleteTextValueFn plain, HostRef ref, int32_t start, int32_t count);
// The imported file's top element is inserted under the application.
int32_t announceImport(Kw::host::ImportFn plain, const XMLCh* path);

// The table entry for the store's operation `Plain` announced by `Announce`: a direct call of both, with
// the operation's own signature.
template <auto Announce, auto Plain, class... Args> Kw::HostStatus announced(Args... args) {
    return Announce(Plain, args...);
}

} // namespace kwhost
