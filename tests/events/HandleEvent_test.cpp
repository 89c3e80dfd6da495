// Kw::HandleEvent: what it makes for a delivery and that it leaves nothing behind, whatever ends it.
#include "events/EventsFixture.hpp"

#include <new>
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

TEST_F(HandleEvent, deliveryEndedByAnExceptionLeavesNoEventDocument) {
    struct Row {
        const char* name;
        std::function<void()> raise;
        long expected;
    };
    const std::vector<Row> rows = {
        {"DOMException 8", [] { Kw::throwDOMException(8); }, 8},
        // The code is sign-extended from 16 bits.
        {"DOMException -32768", [] { Kw::throwDOMException(-32768); }, -32768},
        {"library error code", [] { throw dom::Exceptions::NOT_SUPPORTED_ERR; }, -2},
        {"a host status", [] { throw 7L; }, -2},
    };
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
    }
}

// Every host call of a delivery refused in turn: nothing is left behind.
TEST_F(HandleEvent, everyRefusedHostCallOfADeliveryLeavesNothingBehind) {
    Owned box(at("project/layout/spread/page/box"));
    int refusals = 0;
    for (const XMLCh* type : {u"MouseEvent,click", u"MutationEvent,DOMNodeInserted", u"BTMMenuClick"}) {
        std::unique_ptr<Event> evt = create(type);
        for (int selector = 0; selector < Kw::host::SelectorCount; ++selector)
            for (int nth = 1;; ++nth) {
                SCOPED_TRACE(narrow(type) + " selector " + std::to_string(selector) + " call " +
                             std::to_string(nth));
                const int64_t references = host.outstandingReferences();
                std::u16string seen;
                FnListener listener([&](Event* e) {
                    seen = str(e->getType());
                    (void)e->getTarget();
                });
                host.failAt(selector, 0x20000 | 12, nth);
                const long result = Kw::HandleEvent(asRegistered(&listener), 0, handleOf(evt.get()));
                const bool refused = !host.failureArmed();
                host.disarm();
                host.settleRefusedReleases();
                EXPECT_EQ(domImpl::eventsImpl::eventDocument(), nullptr);
                EXPECT_EQ(host.outstandingReferences(), references);
                if (!refused) {
                    EXPECT_EQ(result, 0);
                    EXPECT_EQ(seen, type);
                    break;
                }
                ++refusals;
                // The host's code, or what the listener's own reads made of the refusal (a target read as
                // "" names no node): a DOMException either way, never anything else.
                EXPECT_GE(result, 0);
            }
    }
    RecordProperty("refusals", refusals);
    EXPECT_GT(refusals, 20);
}

// A listener that ends is forgotten: whatever is made later at its address is looked at afresh.
TEST_F(HandleEvent, anObjectMadeWhereAListenerEndedIsLookedAtAfresh) {
    std::unique_ptr<Event> evt = create(u"CustomEvent,x");
    struct Room {
        alignas(std::max_align_t) unsigned char bytes[sizeof(FnListener) + sizeof(NotAListener) + 64];
    } room;
    int heard = 0;
    auto* first = new (room.bytes) FnListener([&](Event*) { ++heard; });
    void* registered = asRegistered(first);
    EXPECT_EQ(Kw::HandleEvent(registered, 0, handleOf(evt.get())), 0);
    EXPECT_EQ(Kw::HandleEvent(registered, 0, handleOf(evt.get())), 0);
    EXPECT_EQ(heard, 2);
    first->~FnListener();

    auto* other = new (room.bytes) NotAListener;
    void* again = asRegistered(other);
    host.resetCallCounts();
    EXPECT_EQ(Kw::HandleEvent(again, 0, handleOf(evt.get())), 0);
    EXPECT_EQ(host.totalCalls(), 0u);
    EXPECT_EQ(heard, 2);
    other->~NotAListener();

    int heardBySecond = 0;
    auto* second = new (room.bytes) FnListener([&](Event*) { ++heardBySecond; });
    EXPECT_EQ(Kw::HandleEvent(asRegistered(second), 0, handleOf(evt.get())), 0);
    EXPECT_EQ(heardBySecond, 1);
    EXPECT_EQ(heard, 2);
    second->~FnListener();
}

// An exception ends the innermost delivery only; each one's references are given back.
TEST_F(HandleEvent, nestedDeliveriesShareOneEventDocumentAndEachHasItsOwnEventObject) {
    Owned box(at("project/layout/spread/page/box")), page(at("project/layout/spread/page"));
    std::vector<std::unique_ptr<Event>> events;
    std::vector<int64_t> before;
    for (int i = 0; i < 4; ++i) events.push_back(create(u"TextEvent,textInput"));
    events.push_back(create(u"MouseEvent,click")); // the outer one
    for (const auto& e : events) before.push_back(host.referencesOn(hostEventOf(e.get()).get()));
    XERCES_CPP_NAMESPACE::DOMDocument *outerDocument = nullptr, *afterInner = nullptr;
    std::vector<std::u16string> seen;
    size_t depth = 0, sharedDocument = 0;
    long innermostResult = 0;
    FnListener innerListener([&](Event* e) {
        const size_t mine = depth;
        sharedDocument += domImpl::eventsImpl::eventDocument() == outerDocument &&
                          dynamic_cast<DOMNode*>(e->getTarget())->getOwnerDocument() == outerDocument;
        // Deeper still, with the next event each time; then this one is read again.
        if (++depth < 4) {
            on(page)->dispatchEvent(events[depth].get());
            if (mine == 2) innermostResult = host.lastDeliveryResult();
        }
        seen.push_back(num(mine) + u" " + str(e->getType()) +
                       (dynamic_cast<TextEvent*>(e) ? u" text" : u" ?"));
        EXPECT_EQ(hostEventOf(e).get(), hostEventOf(events[mine].get()).get());
        if (mine == 3) throw std::runtime_error("ends the innermost delivery only");
    });
    FnListener outerListener([&](Event* e) {
        outerDocument = domImpl::eventsImpl::eventDocument();
        on(page)->dispatchEvent(events[0].get());
        afterInner = domImpl::eventsImpl::eventDocument();
        seen.push_back(str(e->getType()) + (dynamic_cast<MouseEvent*>(e) ? u" mouse" : u" ?"));
        EXPECT_EQ(nameOf(e->getTarget()), u"box");
    });
    on(page)->addEventListener(u"TextEvent,textInput", &innerListener, false);
    on(box)->addEventListener(u"MouseEvent,click", &outerListener, false);
    on(box)->dispatchEvent(events[4].get());
    const std::vector<std::u16string> expected = {
        u"3 TextEvent,textInput text", u"2 TextEvent,textInput text", u"1 TextEvent,textInput text",
        u"0 TextEvent,textInput text", u"MouseEvent,click mouse"};
    EXPECT_EQ(seen, expected);
    ASSERT_NE(outerDocument, nullptr);
    EXPECT_EQ(sharedDocument, 4u);
    EXPECT_EQ(afterInner, outerDocument);
    EXPECT_EQ(innermostResult, -2);
    EXPECT_EQ(host.lastDeliveryResult(), 0);
    EXPECT_EQ(domImpl::eventsImpl::eventDocument(), nullptr);
    for (size_t i = 0; i < events.size(); ++i)
        EXPECT_EQ(host.referencesOn(hostEventOf(events[i].get()).get()), before[i]) << i;
}

} // namespace
