// Keys: the host's unsigned 32-bit number for a string. 0xFFFFFFFF means none.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>
#include <DOMKw/strings/DOMBTString.hpp>

namespace Kw {

class StringKey {
public:
    // No key. Copying or destroying a key never calls the host.
    StringKey() = default;
    // A null text gives no key without calling the host; otherwise the host interns the text.
    StringKey(const XMLCh* text);
    // Always asks the host, even for the empty string.
    StringKey(const DOMBTString& s);

    static StringKey fromValue(HostKey value) {
        StringKey k;
        k.key = value;
        return k;
    }

    // The host's text of the key (the host's pointer); null for no key.
    const XMLCh* GetUChar16() const;

    HostKey value() const { return key; }
    bool isNone() const { return key == NO_KEY; }
    bool operator==(const StringKey& o) const { return key == o.key; }
    bool operator!=(const StringKey& o) const { return key != o.key; }
    bool operator<(const StringKey& o) const { return key < o.key; }

private:
    HostKey key = NO_KEY;
};

// A key with its name. The exported constants start unregistered (no key, empty name); Connect
// names and registers them, and one that Connect did not reach registers itself on first use.
class RegStringKey {
public:
    RegStringKey() = default;
    explicit RegStringKey(const DOMBTString& name) { Register(name); }

    // Stores the name and asks the host for its key.
    void Register(const DOMBTString& name);

    // The key, registering it from the stored name first when it is not yet registered.
    operator StringKey() const;
    StringKey key() const { return *this; }

    bool isRegistered() const { return static_cast<int32_t>(fKey) >= 0; }
    HostKey rawValue() const { return fKey; }
    const DOMBTString& name() const { return fName; }

private:
    mutable HostKey fKey = NO_KEY;
    DOMBTString fName;
};

// Splits `s` at the first `separator`: before and after it when it is past the start; the whole text
// and "" when it is the first character; "" and "" when absent. Each non-null out pointer receives the
// key of its part.
void SeparatePair(const DOMBTString& s, unsigned short separator, StringKey* first, StringKey* second);

// The registered key constants, in registration order.
extern RegStringKey NULL_KEY, EVENT_PHASE_KEY, STOP_PROPAGATION_KEY, PREVENT_DEFAULT_KEY, CANCELABLE_KEY,
    HANDLE_EVENT_KEY, ACTIVATE_DLG_KEY, EVENT_KEY, EVENT_TYPE_KEY, TARGET_KEY, CURRENT_TARGET_KEY,
    DOCUMENT_EVENT_KEY, CAN_BUBBLE_KEY, MUTATION_EVENT_KEY, MUTATION_SUBTREE_MODIFIED_KEY,
    MUTATION_NODE_INSERTED_KEY, MUTATION_NODE_REMOVED_KEY, MUTATION_INSERT_INDOC_KEY, MUTATION_REMOVE_FROMDOC_KEY,
    MUTATION_ATTR_MODIFIED_KEY, MUTATION_CHARACTER_DATA_MODIFIED_KEY, RELATED_NODE_KEY, PREV_VALUE_KEY,
    NEW_VALUE_KEY, ATTR_NAME_KEY, ATTR_CHANGE_KEY, STATE_KEY, UI_EVENT_KEY, UI_FOCUS_IN_KEY, UI_FOCUS_OUT_KEY,
    UI_ACTIVATE_KEY, DETAIL_VAL_KEY, MOUSE_EVENT_KEY, MOUSE_CLICK_KEY, MOUSE_DOWN_KEY, MOUSE_UP_KEY,
    MOUSE_OVER_KEY, MOUSE_MOVE_KEY, MOUSE_OUT_KEY, SCREEN_X_KEY, SCREEN_Y_KEY, CLIENT_X_KEY, CLIENT_Y_KEY, CTRL_KEY,
    ALT_KEY, SHIFT_KEY, META_KEY, BUTTON_KEY, RELATED_TARGET_KEY, TEXT_EVENT_KEY, TEXT_INPUT_KEY, TEXT_KEY_DOWN,
    TEXT_KEY_UP, OUTPUT_STRING_KEY, VAL_KEY, VIRT_KEY, VISIBLE_OUTPUT_KEY, NUM_PAD_KEY, MODIFIERS_KEY,
    CUSTOM_EVENT_KEY, MENU_CLICK_EVENT_KEY, FILE_SAVE_EVENT_KEY, SLUG_EVENT_KEY, EXPORT_BINARY_EVENT_KEY,
    IMPORT_BINARY_EVENT_KEY, SLUGID_KEY, AT_TARGET_KEY, BUBBLING_PHASE_KEY, CAPTURING_PHASE_KEY;

// The number of registered key constants, domImpl::XSI_TYPE included.
constexpr int REGISTERED_KEY_COUNT = 70;

struct RegisteredKeyEntry {
    RegStringKey* constant;
    const XMLCh* name;
};
// The 70 constants with their names, in registration order.
const RegisteredKeyEntry* registeredKeys();

} // namespace Kw

namespace domImpl {
extern Kw::RegStringKey XSI_TYPE;
}
