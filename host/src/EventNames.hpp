// The names the host's events read and write, interned once (keys live as long as the store).
#pragma once

#include "Store.hpp"

namespace kwhost {

struct EventNames {
    HostKey null, empty, eventTag, type, canBubble, cancelable, phase, target, currentTarget, detail, screenX,
        screenY, clientX, clientY, modifiers, button, relatedTarget, outputString, keyVal, virtKeyVal,
        visibleOutput, numPad, relatedNode, prevValue, newValue, attrName, attrChange, mutationState, slugID,
        importBinary, exportBinary;
    // The mutation event types.
    HostKey subtreeModified, nodeInserted, nodeRemoved, insertedIntoDocument, removedFromDocument,
        attrModified, characterDataModified;
};

// Interned in the store's key table on first use.
const EventNames& eventNames();

} // namespace kwhost
