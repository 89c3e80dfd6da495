// The event objects: thin views of one host event. The EventRef is the only data of the whole family;
// every property is an attribute of the host event, read and written at once under a registered key.
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/events/Events.hpp>

namespace domImpl::eventsImpl {

using dom::events::AbstractView;
using dom::events::EventTarget;

class EventImpl : public virtual dom::events::Event {
public:
    explicit EventImpl(const Kw::EventRef& event) : hostEvent(event) {}
    ~EventImpl() override = default;

    const Kw::EventRef& ref() const { return hostEvent; }

    bool getBubbles() const override;
    bool getCancelable() const override;
    EventTarget* getCurrentTarget() const override;
    unsigned short getEventPhase() const override;
    EventTarget* getTarget() const override;
    uint64_t getTimeStamp() const override { return 0; }
    DOMBTString getType() const override;
    void stopPropagation() override;
    void preventDefault() override;
    void initEvent(const XMLCh* type, bool canBubble, bool cancelable) override;

protected:
    // The first three writes of every init operation.
    void writeTypeAndFlags(const XMLCh* type, bool canBubble, bool cancelable) const;

    Kw::EventRef hostEvent;
};

class UIEventImpl : public EventImpl, public virtual dom::events::UIEvent {
public:
    explicit UIEventImpl(const Kw::EventRef& event) : EventImpl(event) {}

    AbstractView* getView() const override { return nullptr; }
    int32_t getDetail() const override;
    void initUIEvent(const XMLCh* type, bool canBubble, bool cancelable, AbstractView* view,
                     int32_t detail) override;
};

class MouseEventImpl : public UIEventImpl, public virtual dom::events::MouseEvent {
public:
    explicit MouseEventImpl(const Kw::EventRef& event) : UIEventImpl(event) {}

    int32_t getScreenX() const override;
    int32_t getScreenY() const override;
    int32_t getClientX() const override;
    int32_t getClientY() const override;
    bool getCtrlKey() const override;
    bool getShiftKey() const override;
    bool getAltKey() const override;
    bool getMetaKey() const override;
    unsigned short getButton() const override;
    EventTarget* getRelatedTarget() const override;
    void initMouseEvent(const XMLCh* type, bool canBubble, bool cancelable, AbstractView* view,
                        int32_t detail, int32_t screenX, int32_t screenY, int32_t clientX, int32_t clientY,
                        bool ctrlKey, bool altKey, bool shiftKey, bool metaKey, unsigned short button,
                        EventTarget* relatedTarget) override;

private:
    bool modifier(int32_t bit) const;
};

class TextEventImpl : public UIEventImpl, public virtual dom::events::TextEvent {
public:
    explicit TextEventImpl(const Kw::EventRef& event) : UIEventImpl(event) {}

    DOMBTString getOutputString() const override;
    void setOutputString(const DOMBTString& value) override;
    uint32_t getKeyVal() const override;
    void setKeyVal(uint32_t value) override;
    uint32_t getVirtKeyVal() const override;
    void setVirtKeyVal(uint32_t value) override;
    bool getVisibleOutputGenerated() const override;
    void setVisibleOutputGenerated(bool value) override;
    bool getNumPad() const override;
    void setNumPad(bool value) override;
    void initModifier(uint32_t modifier, bool value) override;
    void initTextEvent(const XMLCh* type, bool canBubble, bool cancelable, AbstractView* view, int32_t detail,
                       const XMLCh* outputString, uint32_t keyVal, uint32_t virtKeyVal,
                       bool visibleOutputGenerated, bool numPad) override;
    bool checkModifier(uint32_t modifier) override;
};

class MutationEventImpl : public EventImpl, public virtual dom::events::MutationEvent {
public:
    explicit MutationEventImpl(const Kw::EventRef& event) : EventImpl(event) {}

    unsigned short getAttrChange() const override;
    DOMBTString getAttrName() const override;
    DOMBTString getNewValue() const override;
    DOMBTString getPrevValue() const override;
    XERCES_CPP_NAMESPACE::DOMNode* getRelatedNode() const override;
    unsigned short getState() const override;
    void initMutationEvent(const XMLCh* type, bool canBubble, bool cancelable,
                           XERCES_CPP_NAMESPACE::DOMNode* relatedNode, const XMLCh* prevValue,
                           const XMLCh* newValue, const XMLCh* attrName, unsigned short attrChange,
                           unsigned short state) override;
};

class CustomEventImpl : public EventImpl, public virtual dom::events::CustomEvent {
public:
    explicit CustomEventImpl(const Kw::EventRef& event) : EventImpl(event) {}

    void setCurrentTarget(XERCES_CPP_NAMESPACE::DOMNode* node) override;
    void setEventPhase(unsigned short phase) override;
};

class SlugEventImpl : public EventImpl, public virtual dom::events::SlugEvent {
public:
    explicit SlugEventImpl(const Kw::EventRef& event) : EventImpl(event) {}

    DOMBTString getSlugID() const override;
    DOMBTString getImportBinary() const override;
    DOMBTString getExportBinary() const override;
    void setImportBinary(DOMBTString value) override;
    void setExportBinary(DOMBTString value) override;
};

// The event object of this library behind `evt`, or null for any other object.
EventImpl* asEventImpl(dom::events::Event* evt);

} // namespace domImpl::eventsImpl
