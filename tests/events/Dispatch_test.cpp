#include "events/EventsFixture.hpp"

using namespace testing_support;
using Kw::host::Selector;

namespace {

class Dispatch : public EventsTest {
protected:
    static long statusThrown(const std::function<void()>& f) {
        try {
            f();
        } catch (long status) {
            return status;
        }
        return 0;
    }
};

// An event the library did not make.
struct ForeignEvent : Event {
    bool getBubbles() const override { return false; }
    bool getCancelable() const override { return false; }
    EventTarget* getCurrentTarget() const override { return nullptr; }
    unsigned short getEventPhase() const override { return 0; }
    EventTarget* getTarget() const override { return nullptr; }
    uint64_t getTimeStamp() const override { return 0; }
    DOMBTString getType() const override { return DOMBTString(u"CustomEvent,x"); }
    void stopPropagation() override {}
    void preventDefault() override {}
    void initEvent(const XMLCh*, bool, bool) override {}
};

// The flow of a dispatched event, and its result: false only when a listener prevented a cancelable one.
TEST_F(Dispatch, flowOfADispatchedEvent) {
    Owned app(doc->getDocumentElement()), layout(at("project/layout")),
        page(at("project/layout/spread/page"));
    Owned box(at("project/layout/spread/page/box"));
    const XMLCh* type = u"UIEvent,DOMActivate";
    const std::vector<std::u16string> all = {u"app1 1", u"layout1 1", u"box 2",
                                             u"box1 2", u"page 3",    u"app 3"};
    struct Case {
        const char* name;
        bool bubbles, cancelable;
        std::string stopper, preventer; // the listeners that stop propagation and prevent the default
        std::vector<std::u16string> expected;
        bool result = true;
    };
    const std::vector<Case> cases = {
        {"bubbling", true, false, "", "", all},
        {"not bubbling", false, false, "", "", {u"app1 1", u"layout1 1", u"box 2", u"box1 2"}},
        {"stopped while capturing", true, false, "layout1", "", {u"app1 1", u"layout1 1"}},
        // The rest of the current node's listeners still run.
        {"stopped at the target", true, false, "box", "", {u"app1 1", u"layout1 1", u"box 2", u"box1 2"}},
        {"prevented", true, true, "", "page", all, false},
        {"cancelable, not prevented", true, true, "", "", all},
        {"prevented, not cancelable", true, false, "", "page", all},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::u16string> journal;
        std::vector<std::unique_ptr<FnListener>> listeners;
        auto add = [&](const Owned& node, const std::string& who, bool capture) {
            listeners.push_back(std::make_unique<FnListener>([&, who](Event* e) {
                journal.push_back(u16(who) + u" " + num(e->getEventPhase()));
                EXPECT_EQ(nameOf(e->getTarget()), u"box");
                if (who == c.stopper) e->stopPropagation();
                if (who == c.preventer) e->preventDefault();
            }));
            on(node)->addEventListener(type, listeners.back().get(), capture);
        };
        add(app, "app1", true);
        add(app, "app", false);
        add(layout, "layout1", true);
        add(page, "page", false);
        add(box, "box", false); // at the target both kinds run, in registration order
        add(box, "box1", true);
        std::unique_ptr<Event> evt = create(type);
        evt->initEvent(type, c.bubbles, c.cancelable);
        EXPECT_EQ(on(box)->dispatchEvent(evt.get()), c.result);
        EXPECT_EQ(journal, c.expected);
        host.clearListeners();
    }
}

TEST_F(Dispatch, registrationsOnANodeAndByNamesAndTheirRefusals) {
    Owned box(at("project/layout/spread/page/box"));
    FnListener onBoxes, onEverything, listener;
    const XMLCh* type = u"DOMAttrModified"; // the plain name registers the host's own
    EventTarget::addEventListener(type, u"box", &onBoxes, false);
    EventTarget::addEventListener(u"MutationEvent,DOMAttrModified", u"", &onEverything, false);
    ASSERT_EQ(host.listeners().size(), 2u);
    static_cast<DOMElement*>(box.node)->setAttribute(u"id", u"changed");
    EXPECT_EQ(onBoxes.calls, 1);
    // At the box, then at each of its ancestors while it bubbles: page, spread, layout, project, application.
    EXPECT_EQ(onEverything.calls, 6);
    EventTarget::removeEventListener(type, u"box", &onBoxes, false);
    // Only the exact plain names are the host's: other names reach it unchanged.
    for (const XMLCh* other : {u"domattrmodified", u"DOMAttrModifiedX"}) {
        on(box)->addEventListener(other, &listener, false);
        EXPECT_EQ(host.listeners().back().type, host.keyOf(other));
    }
    EXPECT_EQ(domExceptionCode([&] { EventTarget::removeEventListener(type, u"box", &onBoxes, false); }), 8);
    host.clearListeners();

    // On a node. A refused removal is a DOMException with the host's code (a refused addition throws the
    // status itself: the failure sweep checks it).
    const XMLCh* focus = u"UIEvent,DOMFocusIn";
    EXPECT_EQ(domExceptionCode([&] { on(box)->removeEventListener(focus, &listener, false); }), 8);
    on(box)->addEventListener(focus, &listener, false);
    on(box)->addEventListener(focus, &listener, false); // the same registration again: nothing new
    on(box)->addEventListener(focus, &listener, true);  // another capture flag: another registration
    on(box)->addEventListener(focus, nullptr, false);   // no listener: nothing
    EXPECT_EQ(host.listeners().size(), 2u);
    host.failAt(Selector::SetTargetEventListener, 7);
    EXPECT_EQ(domExceptionCode([&] { on(box)->removeEventListener(focus, &listener, false); }), 7);
    host.failAt(Selector::StringToKey, 12);
    EXPECT_EQ(domExceptionCode([&] { on(box)->removeEventListener(focus, &listener, false); }), 12);
}

TEST_F(Dispatch, dispatchFailures) {
    Owned box(at("project/layout/spread/page/box"));
    ForeignEvent foreign;
    host.resetCallCounts();
    EXPECT_EQ(domExceptionCode([&] { on(box)->dispatchEvent(&foreign); }), 9);
    EXPECT_EQ(domExceptionCode([&] { on(box)->dispatchEvent(nullptr); }), 9);
    EXPECT_EQ(host.callCount(Selector::DispatchEvent), 0u);

    std::unique_ptr<Event> evt = create(u"CustomEvent,x");
    // An event without a type, and one dispatched again from its own delivery, are refused.
    evt->initEvent(u"", false, false);
    EXPECT_EQ(statusThrown([&] { on(box)->dispatchEvent(evt.get()); }), 11);
    evt->initEvent(u"CustomEvent,x", false, false);
    long nested = 0;
    FnListener again([&](Event*) { nested = statusThrown([&] { on(box)->dispatchEvent(evt.get()); }); });
    on(box)->addEventListener(u"CustomEvent,x", &again, false);
    EXPECT_TRUE(on(box)->dispatchEvent(evt.get()));
    EXPECT_EQ(nested, 11);
}

TEST_F(Dispatch, mutationEventsOfTheHostOperations) {
    Owned app(doc->getDocumentElement()), page(at("project/layout/spread/page"));
    Owned box(at("project/layout/spread/page/box")), run(at("project/story/paragraph/textRun"));
    std::vector<std::u16string> seen;
    FnListener listener([&](Event* evt) {
        auto* m = dynamic_cast<MutationEvent*>(evt);
        seen.push_back(str(evt->getType()).substr(14) + u" " + nameOf(evt->getTarget()) + u" " +
                       nameOf(m->getRelatedNode()) + u" [" + str(m->getAttrName()) + u"] " +
                       str(m->getPrevValue()) + u">" + str(m->getNewValue()) + u" " +
                       num(m->getAttrChange()));
    });
    for (const XMLCh* type :
         {u"MutationEvent,DOMNodeInserted", u"MutationEvent,DOMNodeRemoved", u"MutationEvent,DOMAttrModified",
          u"MutationEvent,DOMCharacterDataModified", u"MutationEvent,DOMSubtreeModified",
          u"MutationEvent,DOMNodeInsertedIntoDocument", u"MutationEvent,DOMNodeRemovedFromDocument"})
        on(app)->addEventListener(type, &listener, true);
    auto element = [](const Owned& node) { return static_cast<DOMElement*>(node.node); };
    const std::vector<std::pair<std::function<void()>, std::vector<std::u16string>>> cases = {
        {[&] { element(box)->setAttribute(u"id", u"b7"); },
         {u"DOMAttrModified box id [id] b1>b7 1", u"DOMSubtreeModified box (none) [] > 0"}},
        {[&] { element(box)->setAttribute(u"kind", u"image"); },
         {u"DOMAttrModified box kind [kind] >image 2", u"DOMSubtreeModified box (none) [] > 0"}},
        {[&] { element(box)->setAttribute(u"kind", u"image"); }, {}}, // the same value: no change
        {[&] {
             Owned text(run->getFirstChild());
             static_cast<DOMText*>(text.node)->appendData(u"!");
         },
         {u"DOMCharacterDataModified #text (none) [] Hello, world>Hello, world! 0",
          u"DOMSubtreeModified #text (none) [] > 0"}},
        {[&] { Owned copy(page->removeChild(box.node)); },
         {u"DOMNodeRemoved box page [] > 0", u"DOMNodeRemovedFromDocument box (none) [] > 0",
          u"DOMSubtreeModified page (none) [] > 0"}},
        {[&] {
             Owned fresh(doc->createElement(u"frame"));
             Owned added(page->appendChild(fresh.node));
         },
         {u"DOMNodeInserted frame page [] > 0", u"DOMNodeInsertedIntoDocument frame (none) [] > 0",
          u"DOMSubtreeModified page (none) [] > 0"}},
    };
    const size_t events = host.liveEvents();
    for (const auto& [change, expected] : cases) {
        seen.clear();
        change();
        EXPECT_EQ(seen, expected);
    }
    EXPECT_EQ(host.liveEvents(), events); // the events the host made went with their dispatches

    // Nobody listening: nothing is made.
    host.clearListeners();
    const uint64_t deliveries = host.deliveryCount();
    element(page)->setAttribute(u"number", u"4");
    EXPECT_EQ(host.deliveryCount(), deliveries);
}

} // namespace
