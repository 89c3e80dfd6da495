// The DOM events interfaces of the library: event objects, listeners, targets and the document's event
// factory. Every interface derives virtually from dom::Object; the order of the operations in each
// class is part of the interface.
//
// Event objects are views of host events: every property is an attribute of the host event, read and
// written at once. The host keeps the listener registry and runs the propagation; listeners are called
// through Kw::HandleEvent (DOMKw/events/HandleEvent.hpp).
#pragma once

#include <DOMKw/dom/Object.hpp>
#include <DOMKw/strings/DOMBTString.hpp>

#include <cstdint>

namespace dom::events {

class EventTarget;

// The DOM's view of a presentation. The library has none: getView() is always null and the view
// argument of the init operations is ignored.
class AbstractView;

class Event : public virtual dom::Object {
public:
    enum PhaseType : unsigned short { CAPTURING_PHASE = 1, AT_TARGET = 2, BUBBLING_PHASE = 3 };

    virtual bool getBubbles() const = 0;
    virtual bool getCancelable() const = 0;
    // Node objects answered by the target getters belong to the event document of the delivery running
    // and stay valid while it runs; outside a delivery they are null.
    virtual EventTarget* getCurrentTarget() const = 0;
    virtual unsigned short getEventPhase() const = 0;
    virtual EventTarget* getTarget() const = 0;
    virtual uint64_t getTimeStamp() const = 0;
    virtual DOMBTString getType() const = 0;
    virtual void stopPropagation() = 0;
    virtual void preventDefault() = 0;
    virtual void initEvent(const XMLCh* type, bool canBubble, bool cancelable) = 0;
};

class UIEvent : public virtual Event {
public:
    virtual AbstractView* getView() const = 0;
    virtual int32_t getDetail() const = 0;
    // Only for the type "UIEvent"; any other type writes nothing.
    virtual void initUIEvent(const XMLCh* type, bool canBubble, bool cancelable, AbstractView* view,
                             int32_t detail) = 0;
};

class MouseEvent : public virtual UIEvent {
public:
    virtual int32_t getScreenX() const = 0;
    virtual int32_t getScreenY() const = 0;
    virtual int32_t getClientX() const = 0;
    virtual int32_t getClientY() const = 0;
    virtual bool getCtrlKey() const = 0;
    virtual bool getShiftKey() const = 0;
    virtual bool getAltKey() const = 0;
    virtual bool getMetaKey() const = 0;
    virtual unsigned short getButton() const = 0;
    virtual EventTarget* getRelatedTarget() const = 0;
    // Only for the type "MouseEvent"; any other type writes nothing. A related target that is not a
    // node of this library leaves the event's related target as it was.
    virtual void initMouseEvent(const XMLCh* type, bool canBubble, bool cancelable, AbstractView* view,
                                int32_t detail, int32_t screenX, int32_t screenY, int32_t clientX,
                                int32_t clientY, bool ctrlKey, bool altKey, bool shiftKey, bool metaKey,
                                unsigned short button, EventTarget* relatedTarget) = 0;
};

class TextEvent : public virtual UIEvent {
public:
    // The empty string unless getVisibleOutputGenerated() is true.
    virtual DOMBTString getOutputString() const = 0;
    virtual void setOutputString(const DOMBTString& value) = 0;
    virtual uint32_t getKeyVal() const = 0;
    virtual void setKeyVal(uint32_t value) = 0;
    virtual uint32_t getVirtKeyVal() const = 0;
    virtual void setVirtKeyVal(uint32_t value) = 0;
    virtual bool getVisibleOutputGenerated() const = 0;
    virtual void setVisibleOutputGenerated(bool value) = 0;
    virtual bool getNumPad() const = 0;
    virtual void setNumPad(bool value) = 0;
    // A modifier is one of the bits 1, 2, 4, ..., 128 (shift 4, control 8, alt 32, meta 64); anything
    // else is ignored without asking the host.
    virtual void initModifier(uint32_t modifier, bool value) = 0;
    // Only for the type "TextEvent"; any other type writes nothing. Clears every modifier.
    virtual void initTextEvent(const XMLCh* type, bool canBubble, bool cancelable, AbstractView* view,
                               int32_t detail, const XMLCh* outputString, uint32_t keyVal,
                               uint32_t virtKeyVal, bool visibleOutputGenerated, bool numPad) = 0;
    virtual bool checkModifier(uint32_t modifier) = 0;
};

class MutationEvent : public virtual Event {
public:
    enum AttrChangeType : unsigned short { MODIFICATION = 1, ADDITION = 2, REMOVAL = 3 };

    virtual unsigned short getAttrChange() const = 0;
    virtual DOMBTString getAttrName() const = 0;
    virtual DOMBTString getNewValue() const = 0;
    virtual DOMBTString getPrevValue() const = 0;
    virtual XERCES_CPP_NAMESPACE::DOMNode* getRelatedNode() const = 0;
    virtual unsigned short getState() const = 0;
    // Only for the type "MutationEvent"; any other type writes nothing. A related node that is null or
    // not a node of this library raises DOMException 9 once the type and the two flags are written.
    virtual void initMutationEvent(const XMLCh* type, bool canBubble, bool cancelable,
                                   XERCES_CPP_NAMESPACE::DOMNode* relatedNode, const XMLCh* prevValue,
                                   const XMLCh* newValue, const XMLCh* attrName, unsigned short attrChange,
                                   unsigned short state) = 0;
};

// For clients that run a dispatch themselves.
class CustomEvent : public virtual Event {
public:
    // A node that is null or not a node of this library raises DOMException 9.
    virtual void setCurrentTarget(XERCES_CPP_NAMESPACE::DOMNode* node) = 0;
    virtual void setEventPhase(unsigned short phase) = 0;
};

// A slug identifier with binary import and export data, passed through as text.
class SlugEvent : public virtual Event {
public:
    virtual DOMBTString getSlugID() const = 0;
    virtual DOMBTString getImportBinary() const = 0;
    virtual DOMBTString getExportBinary() const = 0;
    virtual void setImportBinary(DOMBTString value) = 0;
    virtual void setExportBinary(DOMBTString value) = 0;
};

// Implemented by clients. The event object lives only for the call: copy what you need from it.
class EventListener : public virtual dom::Object {
public:
    // A listener destroyed while registered takes its registrations made through the library with it
    // (on nodes and by names), so no delivery reaches a destroyed listener.
    ~EventListener() override;
    virtual void handleEvent(Event* evt) = 0;
};

class EventTarget : public virtual dom::Object {
public:
    EventTarget() = default;
    EventTarget(const EventTarget&) = default;
    EventTarget& operator=(const EventTarget&) = default;

    // Adding a listener the host refuses throws the host's status as a long; removing one it does not
    // know raises DOMException with the host's code. A registration lasts until it is removed, its
    // listener object is destroyed, or the document whose node it was made on is released (the same
    // registration made through another document that still lives stays). The host knows registrations
    // made past the library (straight through its callback table) only by the listener's address: the
    // library cannot take those back, and their listener must outlive them.
    virtual void addEventListener(const XMLCh* type, EventListener* listener, bool useCapture) = 0;
    virtual void removeEventListener(const XMLCh* type, EventListener* listener, bool useCapture) = 0;
    // True unless a listener prevented the default action. The event must be one of this library's
    // (DOMException 9 otherwise); a dispatch the host refuses throws its status as a long.
    virtual bool dispatchEvent(Event* evt) = 0;
    // Reserved: each raises DOMException -1.
    virtual void addEventListenerNS(const XMLCh* namespaceURI, const XMLCh* type, EventListener* listener,
                                    bool useCapture) = 0;
    virtual void removeEventListenerNS(const XMLCh* namespaceURI, const XMLCh* type, EventListener* listener,
                                       bool useCapture) = 0;
    virtual bool willTriggerNS(const XMLCh* namespaceURI, const XMLCh* type) = 0;
    virtual bool hasEventListenerNS(const XMLCh* namespaceURI, const XMLCh* type) = 0;

    // Registration by two names rather than on a node; what the names select is the host's matter. It
    // belongs to no document: it lasts until it is removed or its listener object is destroyed.
    static void addEventListener(const XMLCh* first, const XMLCh* second, EventListener* const listener,
                                 bool useCapture);
    static void removeEventListener(const XMLCh* first, const XMLCh* second, EventListener* const listener,
                                    bool useCapture);
};

class DocumentEvent : public virtual dom::Object {
public:
    // A new event of a host event type ("MouseEvent,click"); the caller deletes it.
    virtual Event* createEvent(const XMLCh* eventType) = 0;
    // Reserved: raises DOMException -1.
    virtual bool canDispatch(const XMLCh* namespaceURI, const XMLCh* type) = 0;
};

} // namespace dom::events
