#include "events/EventImpl.hpp"

#include <DOMKw/bridge/StringKey.hpp>

#include <cstddef>
#include <typeinfo>

#include "bridge/HostStatus.hpp"
#include "events/EventDocument.hpp"

namespace domImpl::eventsImpl {

using namespace Kw;

namespace {

// The init operations of the subclasses accept only the name of their own interface.
bool typeIs(const XMLCh* type, const RegStringKey& interfaceName) {
    return StringKey(type) == interfaceName.key();
}

// Modifier bits of "modifiers".
constexpr int32_t SHIFT = 4, CONTROL = 8, ALT = 32, META = 64;

bool validModifier(uint32_t modifier) {
    return modifier != 0 && modifier <= 128 && (modifier & (modifier - 1)) == 0;
}

// Writing a node reference needs a node of this library.
const EventTargetImpl* requireTarget(const XERCES_CPP_NAMESPACE::DOMNode* node) {
    const EventTargetImpl* target = asEventTarget(node);
    if (!target) throwDOMException(9);
    return target;
}

// A "null" text means no node; anything else is read as a node reference.
bool isNullReference(const ObjectRef& event, const RegStringKey& key) {
    return event.GetAttribute(key) == DOMBTString(u"null");
}

} // namespace

EventImpl* asEventImpl(dom::events::Event* evt) {
    // Where the EventImpl part sits, seen from the Event part, depends only on the object's class: the
    // run-time search is made once per class (a cast through the virtual base is a good part of a
    // dispatch) and its distance kept. Only classes the search accepted are kept.
    struct Known {
        const std::type_info* type = nullptr;
        std::ptrdiff_t offset = 0;
    };
    static Known known[8];
    static size_t next = 0;
    if (!evt) return nullptr;
    const std::type_info& type = typeid(*evt);
    for (const Known& k : known)
        if (k.type == &type) return reinterpret_cast<EventImpl*>(reinterpret_cast<char*>(evt) + k.offset);
    EventImpl* impl = dynamic_cast<EventImpl*>(evt);
    if (impl) {
        known[next] = {&type, reinterpret_cast<char*>(impl) - reinterpret_cast<char*>(evt)};
        next = (next + 1) % (sizeof known / sizeof known[0]);
    }
    return impl;
}

// Event.

bool EventImpl::getBubbles() const {
    return hostEvent.GetAttributeBool(CAN_BUBBLE_KEY);
}
bool EventImpl::getCancelable() const {
    return hostEvent.GetAttributeBool(CANCELABLE_KEY);
}
unsigned short EventImpl::getEventPhase() const {
    return hostEvent.GetAttributeUShort(EVENT_PHASE_KEY);
}
DOMBTString EventImpl::getType() const {
    return hostEvent.GetAttribute(EVENT_TYPE_KEY);
}

EventTarget* EventImpl::getCurrentTarget() const {
    return nodeOfReference(hostEvent.GetAttributeDoubleRef(CURRENT_TARGET_KEY)).target;
}

EventTarget* EventImpl::getTarget() const {
    return nodeOfReference(hostEvent.GetAttributeDoubleRef(TARGET_KEY)).target;
}

void EventImpl::stopPropagation() {
    hostEvent.StopPropagation();
}

void EventImpl::preventDefault() {
    if (getCancelable()) hostEvent.PreventDefault();
}

void EventImpl::initEvent(const XMLCh* type, bool canBubble, bool cancelable) {
    writeTypeAndFlags(type, canBubble, cancelable);
}

void EventImpl::writeTypeAndFlags(const XMLCh* type, bool canBubble, bool cancelable) const {
    hostEvent.SetAttribute(EVENT_TYPE_KEY, type);
    hostEvent.SetAttribute(CAN_BUBBLE_KEY, canBubble);
    hostEvent.SetAttribute(CANCELABLE_KEY, cancelable);
}

// UIEvent.

int32_t UIEventImpl::getDetail() const {
    return hostEvent.GetAttributeLong(DETAIL_VAL_KEY);
}

void UIEventImpl::initUIEvent(const XMLCh* type, bool canBubble, bool cancelable, AbstractView*,
                              int32_t detail) {
    if (!typeIs(type, UI_EVENT_KEY)) return;
    writeTypeAndFlags(type, canBubble, cancelable);
    hostEvent.SetAttribute(DETAIL_VAL_KEY, detail);
}

// MouseEvent.

int32_t MouseEventImpl::getScreenX() const {
    return hostEvent.GetAttributeLong(SCREEN_X_KEY);
}
int32_t MouseEventImpl::getScreenY() const {
    return hostEvent.GetAttributeLong(SCREEN_Y_KEY);
}
int32_t MouseEventImpl::getClientX() const {
    return hostEvent.GetAttributeLong(CLIENT_X_KEY);
}
int32_t MouseEventImpl::getClientY() const {
    return hostEvent.GetAttributeLong(CLIENT_Y_KEY);
}
bool MouseEventImpl::modifier(int32_t bit) const {
    return (hostEvent.GetAttributeLong(MODIFIERS_KEY) & bit) != 0;
}
bool MouseEventImpl::getCtrlKey() const {
    return modifier(CONTROL);
}
bool MouseEventImpl::getShiftKey() const {
    return modifier(SHIFT);
}
bool MouseEventImpl::getAltKey() const {
    return modifier(ALT);
}
bool MouseEventImpl::getMetaKey() const {
    return modifier(META);
}
unsigned short MouseEventImpl::getButton() const {
    return hostEvent.GetAttributeUShort(BUTTON_KEY);
}

EventTarget* MouseEventImpl::getRelatedTarget() const {
    if (isNullReference(hostEvent, RELATED_TARGET_KEY)) return nullptr;
    // Always the node itself: the attribute key of the reference is not consulted.
    return nodeOfHandle(hostEvent.GetAttributeDoubleRef(RELATED_TARGET_KEY).first).target;
}

void MouseEventImpl::initMouseEvent(const XMLCh* type, bool canBubble, bool cancelable, AbstractView*,
                                    int32_t detail, int32_t screenX, int32_t screenY, int32_t clientX,
                                    int32_t clientY, bool ctrlKey, bool altKey, bool shiftKey, bool metaKey,
                                    unsigned short button, EventTarget* relatedTarget) {
    if (!typeIs(type, MOUSE_EVENT_KEY)) return;
    writeTypeAndFlags(type, canBubble, cancelable);
    hostEvent.SetAttribute(DETAIL_VAL_KEY, detail);
    hostEvent.SetAttribute(SCREEN_X_KEY, screenX);
    hostEvent.SetAttribute(SCREEN_Y_KEY, screenY);
    hostEvent.SetAttribute(CLIENT_X_KEY, clientX);
    hostEvent.SetAttribute(CLIENT_Y_KEY, clientY);
    const int32_t modifiers =
        (ctrlKey ? CONTROL : 0) | (shiftKey ? SHIFT : 0) | (altKey ? ALT : 0) | (metaKey ? META : 0);
    hostEvent.SetAttribute(MODIFIERS_KEY, modifiers);
    hostEvent.SetAttribute(BUTTON_KEY, button);
    if (auto* target = dynamic_cast<const EventTargetImpl*>(relatedTarget))
        hostEvent.SetAttribute(RELATED_TARGET_KEY, target->getTargetRef());
}

// TextEvent.

DOMBTString TextEventImpl::getOutputString() const {
    // Through the interface: a subclass may decide what counts as visible output.
    if (!getVisibleOutputGenerated()) return DOMBTString();
    return hostEvent.GetAttribute(OUTPUT_STRING_KEY);
}

void TextEventImpl::setOutputString(const DOMBTString& value) {
    hostEvent.SetAttribute(OUTPUT_STRING_KEY, value);
}
uint32_t TextEventImpl::getKeyVal() const {
    return static_cast<uint32_t>(hostEvent.GetAttributeLong(VAL_KEY));
}
void TextEventImpl::setKeyVal(uint32_t value) {
    hostEvent.SetAttribute(VAL_KEY, static_cast<int32_t>(value));
}
uint32_t TextEventImpl::getVirtKeyVal() const {
    return static_cast<uint32_t>(hostEvent.GetAttributeLong(VIRT_KEY));
}
void TextEventImpl::setVirtKeyVal(uint32_t value) {
    hostEvent.SetAttribute(VIRT_KEY, static_cast<int32_t>(value));
}
bool TextEventImpl::getVisibleOutputGenerated() const {
    return hostEvent.GetAttributeBool(VISIBLE_OUTPUT_KEY);
}
void TextEventImpl::setVisibleOutputGenerated(bool value) {
    hostEvent.SetAttribute(VISIBLE_OUTPUT_KEY, value);
}
bool TextEventImpl::getNumPad() const {
    return hostEvent.GetAttributeBool(NUM_PAD_KEY);
}
void TextEventImpl::setNumPad(bool value) {
    hostEvent.SetAttribute(NUM_PAD_KEY, value);
}

void TextEventImpl::initModifier(uint32_t modifier, bool value) {
    if (!validModifier(modifier)) return;
    const int32_t bit = static_cast<int32_t>(modifier);
    const int32_t modifiers = hostEvent.GetAttributeLong(MODIFIERS_KEY);
    hostEvent.SetAttribute(MODIFIERS_KEY, value ? (modifiers | bit) : (modifiers & ~bit));
}

bool TextEventImpl::checkModifier(uint32_t modifier) {
    if (!validModifier(modifier)) return false;
    return (hostEvent.GetAttributeLong(MODIFIERS_KEY) & static_cast<int32_t>(modifier)) != 0;
}

void TextEventImpl::initTextEvent(const XMLCh* type, bool canBubble, bool cancelable, AbstractView*,
                                  int32_t detail, const XMLCh* outputString, uint32_t keyVal,
                                  uint32_t virtKeyVal, bool visibleOutputGenerated, bool numPad) {
    if (!typeIs(type, TEXT_EVENT_KEY)) return;
    writeTypeAndFlags(type, canBubble, cancelable);
    hostEvent.SetAttribute(DETAIL_VAL_KEY, detail);
    hostEvent.SetAttribute(OUTPUT_STRING_KEY, outputString);
    hostEvent.SetAttribute(VAL_KEY, static_cast<int32_t>(keyVal));
    hostEvent.SetAttribute(VIRT_KEY, static_cast<int32_t>(virtKeyVal));
    hostEvent.SetAttribute(VISIBLE_OUTPUT_KEY, visibleOutputGenerated);
    hostEvent.SetAttribute(NUM_PAD_KEY, numPad);
    hostEvent.SetAttribute(MODIFIERS_KEY, int32_t{0});
}

// MutationEvent.

unsigned short MutationEventImpl::getAttrChange() const {
    return hostEvent.GetAttributeUShort(ATTR_CHANGE_KEY);
}
DOMBTString MutationEventImpl::getAttrName() const {
    return hostEvent.GetAttribute(ATTR_NAME_KEY);
}
DOMBTString MutationEventImpl::getNewValue() const {
    return hostEvent.GetAttribute(NEW_VALUE_KEY);
}
DOMBTString MutationEventImpl::getPrevValue() const {
    return hostEvent.GetAttribute(PREV_VALUE_KEY);
}
unsigned short MutationEventImpl::getState() const {
    return hostEvent.GetAttributeUShort(STATE_KEY);
}

XERCES_CPP_NAMESPACE::DOMNode* MutationEventImpl::getRelatedNode() const {
    if (isNullReference(hostEvent, RELATED_NODE_KEY)) return nullptr;
    return nodeOfReference(hostEvent.GetAttributeDoubleRef(RELATED_NODE_KEY)).node;
}

void MutationEventImpl::initMutationEvent(const XMLCh* type, bool canBubble, bool cancelable,
                                          XERCES_CPP_NAMESPACE::DOMNode* relatedNode, const XMLCh* prevValue,
                                          const XMLCh* newValue, const XMLCh* attrName,
                                          unsigned short attrChange, unsigned short state) {
    if (!typeIs(type, MUTATION_EVENT_KEY)) return;
    writeTypeAndFlags(type, canBubble, cancelable);
    hostEvent.SetAttribute(RELATED_NODE_KEY, requireTarget(relatedNode)->getTargetRef());
    hostEvent.SetAttribute(PREV_VALUE_KEY, prevValue);
    hostEvent.SetAttribute(NEW_VALUE_KEY, newValue);
    hostEvent.SetAttribute(ATTR_NAME_KEY, attrName);
    hostEvent.SetAttribute(ATTR_CHANGE_KEY, attrChange);
    hostEvent.SetAttribute(STATE_KEY, state);
}

// CustomEvent.

void CustomEventImpl::setCurrentTarget(XERCES_CPP_NAMESPACE::DOMNode* node) {
    hostEvent.SetAttribute(CURRENT_TARGET_KEY, requireTarget(node)->getTargetRef());
}

void CustomEventImpl::setEventPhase(unsigned short phase) {
    hostEvent.SetAttribute(EVENT_PHASE_KEY, phase);
}

// SlugEvent.

DOMBTString SlugEventImpl::getSlugID() const {
    return hostEvent.GetAttribute(SLUGID_KEY);
}
DOMBTString SlugEventImpl::getImportBinary() const {
    return hostEvent.GetAttribute(IMPORT_BINARY_EVENT_KEY);
}
DOMBTString SlugEventImpl::getExportBinary() const {
    return hostEvent.GetAttribute(EXPORT_BINARY_EVENT_KEY);
}
void SlugEventImpl::setImportBinary(DOMBTString value) {
    hostEvent.SetAttribute(IMPORT_BINARY_EVENT_KEY, value);
}
void SlugEventImpl::setExportBinary(DOMBTString value) {
    hostEvent.SetAttribute(EXPORT_BINARY_EVENT_KEY, value);
}

} // namespace domImpl::eventsImpl
