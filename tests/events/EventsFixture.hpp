// A document over the reference host for event tests.
#pragma once

#include <DOMKw/events/EventTargetImpl.hpp>
#include <DOMKw/events/Events.hpp>
#include <DOMKw/events/HandleEvent.hpp>

#include "bridge/CallbackTable.hpp"
#include "common/DomFixture.hpp"
#include "common/FnListener.hpp"
#include "events/EventDocument.hpp"
#include "events/EventImpl.hpp"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

using namespace dom::events;

class EventsTest : public DomTest {
protected:
    void TearDown() override {
        host.clearListeners();
        EXPECT_EQ(domImpl::eventsImpl::eventDocument(), nullptr) << "an event document outlived its delivery";
        DomTest::TearDown();
    }

    static std::u16string str(const DOMBTString& s) { return s.GetUChar16(); }
    template <class T> static std::u16string num(T v) { return u16(std::to_string(v)); }
    static std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }
    static std::string narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }
    static std::u16string nameOf(const DOMNode* node) { return node ? text(node->getNodeName()) : u"(none)"; }
    static std::u16string nameOf(EventTarget* target) { return nameOf(dynamic_cast<DOMNode*>(target)); }
    static EventTarget* on(const Owned& node) { return dynamic_cast<EventTarget*>(node.node); }

    std::unique_ptr<Event> create(const XMLCh* type) {
        return std::unique_ptr<Event>(doc->createEvent(type));
    }

    static const Kw::EventRef& hostEventOf(const Event* evt) {
        return domImpl::eventsImpl::asEventImpl(const_cast<Event*>(evt))->ref();
    }
    // The host event's attribute text, read past the event object.
    static std::u16string attr(const Event* evt, const XMLCh* name) {
        return str(hostEventOf(evt).GetAttribute(Kw::StringKey(name)));
    }
    static void setAttr(const Event* evt, const XMLCh* name, const std::u16string& value) {
        hostEventOf(evt).SetAttribute(Kw::StringKey(name), value.c_str());
    }

    // How a node reference to the object at a host handle (or to one of its attributes) is written.
    std::u16string referenceText(Kw::HostRef handle, const std::u16string& attribute = u"null") {
        return num(handle) + u"/" + num(host.keyOf(attribute));
    }

    // Runs `body` inside the delivery of a new event of `type` at the application element.
    void insideDelivery(const XMLCh* type, const std::function<void(Event*)>& body) {
        Owned app(doc->getDocumentElement());
        FnListener listener(body);
        on(app)->addEventListener(type, &listener, false);
        std::unique_ptr<Event> evt = create(type);
        on(app)->dispatchEvent(evt.get());
        on(app)->removeEventListener(type, &listener, false);
        EXPECT_EQ(listener.calls, 1);
        EXPECT_EQ(host.lastDeliveryResult(), 0) << "the delivery ended by an exception";
    }
};

} // namespace testing_support
