#include <DOMKw/bridge/StringKey.hpp>

#include "bridge/CallbackTable.hpp"
#include "bridge/HostStatus.hpp"

namespace Kw {

StringKey::StringKey(const XMLCh* text) {
    if (!text) return;
    checkStatus(host::callbacks().StringToKey(&key, text));
}

StringKey::StringKey(const DOMBTString& s) {
    checkStatus(host::callbacks().StringToKey(&key, s.GetUChar16()));
}

const XMLCh* StringKey::GetUChar16() const {
    if (key == NO_KEY) return nullptr;
    const XMLCh* text = nullptr;
    checkStatus(host::callbacks().KeyToString(&text, key));
    return text;
}

void RegStringKey::Register(const DOMBTString& name) {
    fName = name;
    HostKey k = NO_KEY;
    checkStatus(host::callbacks().StringToKey(&k, fName.GetUChar16()));
    fKey = k;
}

RegStringKey::operator StringKey() const {
    if (!isRegistered()) {
        HostKey k = NO_KEY;
        checkStatus(host::callbacks().StringToKey(&k, fName.GetUChar16()));
        fKey = k;
    }
    return StringKey::fromValue(fKey);
}

void SeparatePair(const DOMBTString& s, unsigned short separator, StringKey* first, StringKey* second) {
    const long at = s.Find(static_cast<XMLCh>(separator));
    DOMBTString a, b;
    if (at > 0) {
        a = DOMBTString(s, 0, at);
        b = DOMBTString(s, at + 1, -1);
    } else if (at == 0) {
        a = s;
    }
    if (first) *first = StringKey(a);
    if (second) *second = StringKey(b);
}

RegStringKey NULL_KEY, EVENT_PHASE_KEY, STOP_PROPAGATION_KEY, PREVENT_DEFAULT_KEY, CANCELABLE_KEY,
    HANDLE_EVENT_KEY, ACTIVATE_DLG_KEY, EVENT_KEY, EVENT_TYPE_KEY, TARGET_KEY, CURRENT_TARGET_KEY,
    DOCUMENT_EVENT_KEY, CAN_BUBBLE_KEY, MUTATION_EVENT_KEY, MUTATION_SUBTREE_MODIFIED_KEY,
    MUTATION_NODE_INSERTED_KEY, MUTATION_NODE_REMOVED_KEY, MUTATION_INSERT_INDOC_KEY,
    MUTATION_REMOVE_FROMDOC_KEY, MUTATION_ATTR_MODIFIED_KEY, MUTATION_CHARACTER_DATA_MODIFIED_KEY,
    RELATED_NODE_KEY, PREV_VALUE_KEY, NEW_VALUE_KEY, ATTR_NAME_KEY, ATTR_CHANGE_KEY, STATE_KEY, UI_EVENT_KEY,
    UI_FOCUS_IN_KEY, UI_FOCUS_OUT_KEY, UI_ACTIVATE_KEY, DETAIL_VAL_KEY, MOUSE_EVENT_KEY, MOUSE_CLICK_KEY,
    MOUSE_DOWN_KEY, MOUSE_UP_KEY, MOUSE_OVER_KEY, MOUSE_MOVE_KEY, MOUSE_OUT_KEY, SCREEN_X_KEY, SCREEN_Y_KEY,
    CLIENT_X_KEY, CLIENT_Y_KEY, CTRL_KEY, ALT_KEY, SHIFT_KEY, META_KEY, BUTTON_KEY, RELATED_TARGET_KEY,
    TEXT_EVENT_KEY, TEXT_INPUT_KEY, TEXT_KEY_DOWN, TEXT_KEY_UP, OUTPUT_STRING_KEY, VAL_KEY, VIRT_KEY,
    VISIBLE_OUTPUT_KEY, NUM_PAD_KEY, MODIFIERS_KEY, CUSTOM_EVENT_KEY, MENU_CLICK_EVENT_KEY,
    FILE_SAVE_EVENT_KEY, SLUG_EVENT_KEY, EXPORT_BINARY_EVENT_KEY, IMPORT_BINARY_EVENT_KEY, SLUGID_KEY,
    AT_TARGET_KEY, BUBBLING_PHASE_KEY, CAPTURING_PHASE_KEY;

const RegisteredKeyEntry* registeredKeys() {
    static const RegisteredKeyEntry table[REGISTERED_KEY_COUNT] = {
        {&NULL_KEY, u"null"},
        {&EVENT_PHASE_KEY, u"eventPhase"},
        {&STOP_PROPAGATION_KEY, u"stopPropagation"},
        {&PREVENT_DEFAULT_KEY, u"preventDefault"},
        {&CANCELABLE_KEY, u"cancelable"},
        {&HANDLE_EVENT_KEY, u"handleEvent"},
        {&ACTIVATE_DLG_KEY, u"activateDlg"},
        {&EVENT_KEY, u"event"},
        {&EVENT_TYPE_KEY, u"eventType"},
        {&TARGET_KEY, u"target"},
        {&CURRENT_TARGET_KEY, u"currentTarget"},
        {&DOCUMENT_EVENT_KEY, u"DocumentEvent"},
        {&CAN_BUBBLE_KEY, u"canBubble"},
        {&MUTATION_EVENT_KEY, u"MutationEvent"},
        {&MUTATION_SUBTREE_MODIFIED_KEY, u"MutationEvent,DOMSubtreeModified"},
        {&MUTATION_NODE_INSERTED_KEY, u"MutationEvent,DOMNodeInserted"},
        {&MUTATION_NODE_REMOVED_KEY, u"MutationEvent,DOMNodeRemoved"},
        {&MUTATION_INSERT_INDOC_KEY, u"MutationEvent,DOMNodeInsertedIntoDocument"},
        {&MUTATION_REMOVE_FROMDOC_KEY, u"MutationEvent,DOMNodeRemovedFromDocument"},
        {&MUTATION_ATTR_MODIFIED_KEY, u"MutationEvent,DOMAttrModified"},
        {&MUTATION_CHARACTER_DATA_MODIFIED_KEY, u"MutationEvent,DOMCharacterDataModified"},
        {&RELATED_NODE_KEY, u"relatedNode"},
        {&PREV_VALUE_KEY, u"prevValue"},
        {&NEW_VALUE_KEY, u"newValue"},
        {&ATTR_NAME_KEY, u"attrName"},
        {&ATTR_CHANGE_KEY, u"attrChange"},
        {&STATE_KEY, u"mutationState"},
        {&UI_EVENT_KEY, u"UIEvent"},
        {&UI_FOCUS_IN_KEY, u"UIEvent,DOMFocusIn"},
        {&UI_FOCUS_OUT_KEY, u"UIEvent,DOMFocusOut"},
        {&UI_ACTIVATE_KEY, u"UIEvent,DOMActivate"},
        {&DETAIL_VAL_KEY, u"detail"},
        {&MOUSE_EVENT_KEY, u"MouseEvent"},
        {&MOUSE_CLICK_KEY, u"MouseEvent,click"},
        {&MOUSE_DOWN_KEY, u"MouseEvent,mousedown"},
        {&MOUSE_UP_KEY, u"MouseEvent,mouseup"},
        {&MOUSE_OVER_KEY, u"MouseEvent,mouseover"},
        {&MOUSE_MOVE_KEY, u"MouseEvent,mousemove"},
        {&MOUSE_OUT_KEY, u"MouseEvent,mouseout"},
        {&SCREEN_X_KEY, u"ScreenX"},
        {&SCREEN_Y_KEY, u"ScreenY"},
        {&CLIENT_X_KEY, u"ClientX"},
        {&CLIENT_Y_KEY, u"ClientY"},
        {&CTRL_KEY, u"CtrlKey"},
        {&ALT_KEY, u"AltKey"},
        {&SHIFT_KEY, u"ShiftKey"},
        {&META_KEY, u"MetaKey"},
        {&BUTTON_KEY, u"Button"},
        {&RELATED_TARGET_KEY, u"relatedTarget"},
        {&TEXT_EVENT_KEY, u"TextEvent"},
        {&TEXT_INPUT_KEY, u"TextEvent,textInput"},
        {&TEXT_KEY_DOWN, u"TextEvent,keydown"},
        {&TEXT_KEY_UP, u"TextEvent,keyup"},
        {&OUTPUT_STRING_KEY, u"OutputString"},
        {&VAL_KEY, u"keyVal"},
        {&VIRT_KEY, u"VirtKeyVal"},
        {&VISIBLE_OUTPUT_KEY, u"VisibleOutputGenerated"},
        {&NUM_PAD_KEY, u"numPad"},
        {&MODIFIERS_KEY, u"modifiers"},
        {&CUSTOM_EVENT_KEY, u"CustomEvent"},
        {&MENU_CLICK_EVENT_KEY, u"BTMMenuClick"},
        {&FILE_SAVE_EVENT_KEY, u"BTMExportAsXML"},
        {&SLUG_EVENT_KEY, u"SlugEvent"},
        {&EXPORT_BINARY_EVENT_KEY, u"SlugEvent,ExportBinary"},
        {&IMPORT_BINARY_EVENT_KEY, u"SlugEvent,ImportBinary"},
        {&SLUGID_KEY, u"slugID"},
        {&AT_TARGET_KEY, u"atTarget"},
        {&BUBBLING_PHASE_KEY, u"bubblingPhase"},
        {&CAPTURING_PHASE_KEY, u"capturingPhase"},
        {&domImpl::XSI_TYPE, u"xsi:type"},
    };
    return table;
}

} // namespace Kw

namespace domImpl {
Kw::RegStringKey XSI_TYPE;
}
