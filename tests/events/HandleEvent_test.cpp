// Kw::HandleEvent: what it makes for a delivery and that it leaves nothing behind, whatever ends it.
#include "events/EventsFixture.hpp"

#include <stdexcept>

#include "bridge/HostStatus.hpp"

using namespace testing_support;
using Kw::host::Selector;

namespace {

class HandleEvent : public EventsTest {
protected:
    static void* handleOf(const Event* evt) { return reinterpret_cast<void*>(hostEventOf(evt).get()); }
    static void* asRegistered(dom::Object* object) { return object; }
};

struct NotAListener : dom::Object {};

TEST_F(HandleEvent, anObjectThatIsNoListenerIsDeliveredNothing) {
    std::unique_ptr<Event> evt = create(u"CustomEvent,x");
    NotAListener object;
    host.resetCallCounts();
    EXPECT_EQ(Kw::HandleEvent(asRegistered(&object), 0, handleOf(evt.get())), 0);
    EXPECT_EQ(host.totalCalls(), 0u); // no event document, no event object

    // The same through the host: registered past the library, delivered by a dispatch.
    Owned box(at("project/layout/spread/page/box"));
    const Kw::ObjectRef::DoubleRef where =
        dynamic_cast<domImpl::eventsImpl::EventTargetImpl*>(box.node)->getTargetRef();
    ASSERT_EQ(Kw::host::callbacks().SetTargetEventListener(
                  &Kw::HandleEvent, 0, host.keyOf(u"CustomEvent,x"), where.first,
                  static_cast<Kw::HostKey>(where.second), asRegistered(&object), false),
              0);
    const uint64_t deliveries = host.deliveryCount();
    EXPECT_TRUE(on(box)->dispatchEvent(evt.get()));
    EXPECT_EQ(host.deliveryCount(), deliveries + 1);
    EXPECT_EQ(host.lastDeliveryResult(), 0);
}

TEST_F(HandleEvent, anUnknownInterfaceIsDeliveredAsACustomEvent) {
    for (const XMLCh* type : {u"Unknown,thing", u"BTMMenuClick", u"BTMExportAsXML"}) {
        std::unique_ptr<Event> evt = create(type);
        std::u16string seenType;
        bool custom = false;
        FnListener listener([&](Event* e) {
            custom = dynamic_cast<CustomEvent*>(e) != nullptr;
            seenType = str(e->getType());
        });
        EXPECT_EQ(Kw::HandleEvent(asRegistered(&listener), 0, handleOf(evt.get())), 0);
        EXPECT_TRUE(custom);
        EXPECT_EQ(seenType, type);
    }
}

TEST_F(HandleEvent, nestedDeliveriesShareOneEventDocument) {
    Owned box(at("project/layout/spread/page/box")), page(at("project/layout/spread/page"));
    XERCES_CPP_NAMESPACE::DOMDocument *outerBefore = nullptr, *inner = nullptr, *outerAfter = nullptr;
    const XERCES_CPP_NAMESPACE::DOMDocument* innerTargetOwner = nullptr;
    long innerResult = 0;
    std::unique_ptr<Event> innerEvent = create(u"CustomEvent,inner");
    FnListener innerListener([&](Event* e) {
        inner = domImpl::eventsImpl::eventDocument();
        innerTargetOwner = dynamic_cast<DOMNode*>(e->getTarget())->getOwnerDocument();
        throw std::runtime_error("ends the inner delivery only");
    });
    FnListener outerListener([&](Event*) {
        outerBefore = domImpl::eventsImpl::eventDocument();
        on(page)->dispatchEvent(innerEvent.get());
        innerResult = host.lastDeliveryResult();
        outerAfter = domImpl::eventsImpl::eventDocument();
    });
    on(page)->addEventListener(u"CustomEvent,inner", &innerListener, false);
    on(box)->addEventListener(u"CustomEvent,outer", &outerListener, false);
    std::unique_ptr<Event> outerEvent = create(u"CustomEvent,outer");
    on(box)->dispatchEvent(outerEvent.get());

    ASSERT_NE(outerBefore, nullptr);
    EXPECT_EQ(inner, outerBefore);
    EXPECT_EQ(innerTargetOwner, outerBefore);
    EXPECT_EQ(innerResult, -2);
    // The inner delivery ended by an exception, and still left the outer one's document in place.
    EXPECT_EQ(outerAfter, outerBefore);
    EXPECT_EQ(host.lastDeliveryResult(), 0);
    EXPECT_EQ(domImpl::eventsImpl::eventDocument(), nullptr);
}

TEST_F(HandleEvent, deliveryEndedByAnExceptionLeavesNoEventDocument) {
    struct Row {
        const char* name;
        std::function<void()> raise;
        long expected;
    };
    const std::vector<Row> rows = {
        {"DOMException 8", [] { Kw::throwDOMException(8); }, 8},
        {"DOMException 0x7FFF", [] { Kw::throwDOMException(0x7FFF); }, 0x7FFF},
        // The code is sign-extended from 16 bits.
        {"DOMException -1", [] { Kw::throwDOMException(-1); }, -1},
        {"DOMException -32768", [] { Kw::throwDOMException(-32768); }, -32768},
        {"library error code", [] { throw dom::Exceptions::NOT_SUPPORTED_ERR; }, -2},
        {"runtime error", [] { throw std::runtime_error("listener failed"); }, -2},
        {"a host status", [] { throw 7L; }, -2},
        {"an int", [] { throw 3; }, -2},
    };
    Owned box(at("project/layout/spread/page/box"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<Event> evt = create(u"MutationEvent,DOMSubtreeModified");
        const int64_t onEvent = host.referencesOn(hostEventOf(evt.get()).get());
        const int64_t references = host.outstandingReferences();
        FnListener listener([&](Event*) { row.raise(); });
        EXPECT_EQ(Kw::HandleEvent(asRegistered(&listener), 0, handleOf(evt.get())), row.expected);
        EXPECT_EQ(domImpl::eventsImpl::eventDocument(), nullptr);
        // The event object of the delivery is gone: it no longer references the host event.
        EXPECT_EQ(host.referencesOn(hostEventOf(evt.get()).get()), onEvent);
        EXPECT_EQ(host.outstandingReferences(), references);

        // Through a dispatch the host gets the code, and the event flow goes on.
        on(box)->addEventListener(u"MutationEvent,DOMSubtreeModified", &listener, false);
        on(box)->dispatchEvent(evt.get());
        EXPECT_EQ(host.lastDeliveryResult(), row.expected);
        FnListener next;
        on(box)->addEventListener(u"MutationEvent,DOMSubtreeModified", &next, false);
        on(box)->dispatchEvent(evt.get());
        EXPECT_EQ(next.calls, 1);
        EXPECT_EQ(host.outstandingReferences(), references);
        host.clearListeners();
    }
}

TEST_F(HandleEvent, hostFailuresDuringADeliveryEndItCleanly) {
    struct Row {
        const char* name;
        int selector;
        int nth;
    };
    const std::vector<Row> rows = {
        {"application element of the event document", Selector::NavigateElement, 1},
        {"reference to the application element", Selector::AdjustReference, 1},
        {"interface name of the event type", Selector::StringToKey, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<Event> evt = create(u"UIEvent,DOMFocusOut");
        const int64_t onEvent = host.referencesOn(hostEventOf(evt.get()).get());
        const int64_t references = host.outstandingReferences();
        FnListener listener;
        host.failAt(row.selector, 0x20000 | 12, row.nth);
        EXPECT_EQ(Kw::HandleEvent(asRegistered(&listener), 0, handleOf(evt.get())), 12);
        EXPECT_FALSE(host.failureArmed());
        EXPECT_EQ(listener.calls, 0);
        EXPECT_EQ(domImpl::eventsImpl::eventDocument(), nullptr);
        EXPECT_EQ(host.referencesOn(hostEventOf(evt.get()).get()), onEvent);
        EXPECT_EQ(host.outstandingReferences(), references);
    }
}

} // namespace
