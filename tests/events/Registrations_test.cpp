#include <gtest/gtest.h>

#include "events/EventsFixture.hpp"

using namespace testing_support;
using domImpl::eventsImpl::EventTargetImpl;
using Kw::host::Selector;

namespace {

using Registrations = EventsTest;

// Ending the node leaves its registration; a new node object removes it; the release takes it back.
TEST_F(Registrations, everyKindOfLibraryNodeIsATargetWhoseDocumentHoldsItsRegistrations) {
    const Kw::HostRef box = host.find("project/layout/spread/page/box");
    const Kw::ElementRef textObject =
        Kw::ElementRef::fromHandle(host.find("project/story/paragraph/textRun")).get_FirstChild();
    const Kw::HostKey nullKey = host.keyOf(u"null");
    auto element = [](DOMDocument* other, Kw::HostRef at) {
        return domImpl::ElementImpl::create_(Kw::ElementRef::fromHandle(at), other);
    };
    struct Kind {
        const char* name;
        std::function<DOMNode*(DOMDocument*)> make;
        std::pair<int64_t, int64_t> expected;
    };
    const std::vector<Kind> kinds = {
        {"document",
         [](DOMDocument* other) -> DOMNode* { return other; },
         {Kw::ElementRef::get_Application().get(), nullKey}},
        {"element", [&](DOMDocument* other) -> DOMNode* { return element(other, box); }, {box, nullKey}},
        {"text",
         [&](DOMDocument* other) { return domImpl::NodeImpl::create_(textObject, other); },
         {textObject.get(), nullKey}},
        {"attribute",
         [&](DOMDocument* other) -> DOMNode* {
             Owned owner(element(other, box));
             return owner.element()->getAttributeNode(u"id");
         },
         {box, host.keyOf(u"id")}},
    };
    // The count of documents holding registrations follows adds, removals and document releases; a
    // document holding one all along is counted too.
    const size_t owners = EventTargetImpl::ownersHoldingRegistrations;
    FnListener held;
    DOMDocument* holding = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    dynamic_cast<EventTarget*>(holding)->addEventListener(u"CustomEvent,y", &held, false);
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        FnListener listener;
        const void* address = static_cast<dom::Object*>(&listener);
        DOMDocument* other = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
        DOMNode* node = kind.make(other);
        const EventTargetImpl* target = domImpl::eventsImpl::asEventTarget(node);
        ASSERT_NE(target, nullptr);
        EXPECT_EQ(target, dynamic_cast<const EventTargetImpl*>(node));
        const Kw::ObjectRef::DoubleRef ref = target->getTargetRef();
        EXPECT_EQ(std::make_pair(ref.first, ref.second), kind.expected);
        dynamic_cast<EventTarget*>(node)->addEventListener(u"CustomEvent,x", &listener, false);
        EXPECT_EQ(EventTargetImpl::ownersHoldingRegistrations, owners + 2);
        if (node != other) dom::dispose(node);
        EXPECT_EQ(registrationsOf(address), 1u);
        if (node != other) {
            // A removal through a new node object of the same node forgets the registration.
            DOMNode* again = kind.make(other);
            dynamic_cast<EventTarget*>(again)->removeEventListener(u"CustomEvent,x", &listener, false);
            EXPECT_EQ(registrationsOf(address), 0u);
            EXPECT_EQ(EventTargetImpl::ownersHoldingRegistrations, owners + 1);
            dynamic_cast<EventTarget*>(again)->addEventListener(u"CustomEvent,x", &listener, false);
            dom::dispose(again);
        }
        other->release();
        EXPECT_EQ(registrationsOf(address), 0u);
        EXPECT_EQ(EventTargetImpl::ownersHoldingRegistrations, owners + 1);
    }
    holding->release();
    EXPECT_EQ(registrationsOf(static_cast<dom::Object*>(&held)), 0u);
    EXPECT_EQ(EventTargetImpl::ownersHoldingRegistrations, owners);
    Owned foreignElement(doc->createElement(u"box")), foreignText(doc->createTextNode(u"x"));
    Owned foreignAttribute(doc->createAttribute(u"id"));
    for (DOMNode* node : {foreignElement.node, foreignText.node, foreignAttribute.node, (DOMNode*)nullptr}) {
        EXPECT_EQ(domImpl::eventsImpl::asEventTarget(node), nullptr);
        std::unique_ptr<Event> evt = create(u"CustomEvent,x");
        EXPECT_EQ(domExceptionCode([&] { dynamic_cast<CustomEvent*>(evt.get())->setCurrentTarget(node); }),
                  9);
    }
}

TEST_F(Registrations, aRefusedTakeBackIsPassedOverWithoutAnException) {
    Owned box(at("project/layout/spread/page/box"));
    for (const int selector : {Selector::SetTargetEventListener, Selector::SetTypeEventListener}) {
        SCOPED_TRACE(selector);
        const void* address = nullptr;
        {
            FnListener listener;
            address = static_cast<dom::Object*>(&listener);
            if (selector == Selector::SetTargetEventListener)
                on(box)->addEventListener(u"CustomEvent,x", &listener, false);
            else
                EventTarget::addEventListener(u"CustomEvent,x", u"box", &listener, false);
            host.failAt(selector, 0x10007);
            // The listener ends here: its destructor's removal is refused and must not escape it.
        }
        EXPECT_EQ(registrationsOf(address), 1u) << "the host kept what it refused to remove";
        host.clearListeners();
    }
}

} // namespace
