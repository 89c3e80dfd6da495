#include "EventNames.hpp"

#include "HostState.hpp"

namespace kwhost {

const EventNames& eventNames() {
    static const EventNames names = [] {
        Keys& k = state().store.keys;
        EventNames n;
        n.null = k.intern(u"null");
        n.empty = k.intern(u"");
        n.eventTag = k.intern(u"#event");
        n.type = k.intern(u"eventType");
        n.canBubble = k.intern(u"canBubble");
        n.cancelable = k.intern(u"cancelable");
        n.phase = k.intern(u"eventPhase");
        n.target = k.intern(u"target");
        n.currentTarget = k.intern(u"currentTarget");
        n.detail = k.intern(u"detail");
        n.screenX = k.intern(u"ScreenX");
        n.screenY = k.intern(u"ScreenY");
        n.clientX = k.intern(u"ClientX");
        n.clientY = k.intern(u"ClientY");
        n.modifiers = k.intern(u"modifiers");
        n.button = k.intern(u"Button");
        n.relatedTarget = k.intern(u"relatedTarget");
        n.outputString = k.intern(u"OutputString");
        n.keyVal = k.intern(u"keyVal");
        n.virtKeyVal = k.intern(u"VirtKeyVal");
        n.visibleOutput = k.intern(u"VisibleOutputGenerated");
        n.numPad = k.intern(u"numPad");
        n.relatedNode = k.intern(u"relatedNode");
        n.prevValue = k.intern(u"prevValue");
        n.newValue = k.intern(u"newValue");
        n.attrName = k.intern(u"attrName");
        n.attrChange = k.intern(u"attrChange");
        n.mutationState = k.intern(u"mutationState");
        n.slugID = k.intern(u"slugID");
        n.importBinary = k.intern(u"SlugEvent,ImportBinary");
        n.exportBinary = k.intern(u"SlugEvent,ExportBinary");
        n.subtreeModified = k.intern(u"MutationEvent,DOMSubtreeModified");
        n.nodeInserted = k.intern(u"MutationEvent,DOMNodeInserted");
        n.nodeRemoved = k.intern(u"MutationEvent,DOMNodeRemoved");
        n.insertedIntoDocument = k.intern(u"MutationEvent,DOMNodeInsertedIntoDocument");
        n.removedFromDocument = k.intern(u"MutationEvent,DOMNodeRemovedFromDocument");
        n.attrModified = k.intern(u"MutationEvent,DOMAttrModified");
        n.characterDataModified = k.intern(u"MutationEvent,DOMCharacterDataModified");
        return n;
    }();
    return names;
}

} // namespace kwhost
