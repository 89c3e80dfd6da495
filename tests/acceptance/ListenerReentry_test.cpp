// Listeners written without care for re-entry.
#include <DOMKw/events/HandleEvent.hpp>

#include "events/EventsFixture.hpp"

using namespace testing_support;

namespace {

class ListenerReentry : public EventsTest {};

struct SelfEnding : EventListener {
    explicit SelfEnding(int* calls) : calls(calls) {}
    void handleEvent(Event*) override {
        ++*calls;
        delete this;
    }
    int* calls;
};

TEST_F(ListenerReentry, aListenerRepeatingTheChangeItHearsOfEndsWithoutExhaustingTheStack) {
    // Each case: the event type listened for at the box, and the change the listener makes again.
    struct Case {
        const XMLCh* type;
        std::function<void(DOMElement* box, DOMNode* page)> change;
    };
    const auto remove = [](DOMElement* box, DOMNode* page) { dom::dispose(page->removeChild(box)); };
    const Case cases[] = {
        {u"DOMNodeRemoved", remove},
        {u"DOMNodeRemovedFromDocument", remove},
        {u"DOMAttrModified", [](DOMElement* box, DOMNode*) { box->setAttribute(u"id", u"x"); }},
        {u"DOMNodeInserted", [](DOMElement* box, DOMNode* page) { dom::dispose(page->appendChild(box)); }},
    };
    for (const Case& c : cases) {
        SetUp(); // a fresh project per case
        {
            Owned page(at("project/layout/spread/page")), box(page->getFirstChild());
            int calls = 0;
            FnListener listener([&](Event*) {
                ++calls;
                try {
                    c.change(box.element(), page.node);
                } catch (const DOMException&) {
                    // the node may have gone already: a refusal is a sound answer
                }
            });
            on(box)->addEventListener(c.type, &listener, false);
            try {
                c.change(box.element(), page.node);
            } catch (const DOMException&) {
            }
            on(box)->removeEventListener(c.type, &listener, false);
            EXPECT_GE(calls, 1);
            EXPECT_LE(calls, Kw::MAX_NESTED_DELIVERIES) << "deliveries were not bounded";
            // The host tree is whole: every box still in the document or gone once, never both.
            const std::string xml = host.toXml(host.find("project/layout"));
            EXPECT_NE(xml.find("id=\"b2\""), std::string::npos) << xml;
        }
        host.clearListeners();
        TearDown();
    }
}

TEST_F(ListenerReentry, listenersEndingThemselvesOrEachOtherDuringADeliveryAreNotCalledAgain) {
    Owned box(at("project/layout/spread/page/box"));
    int calls = 0;
    // The same self-ending listener registered twice (capturing and not) and a second one.
    auto* first = new SelfEnding(&calls);
    auto* second = new SelfEnding(&calls);
    on(box)->addEventListener(u"DOMAttrModified", first, true);
    on(box)->addEventListener(u"DOMAttrModified", first, false);
    on(box)->addEventListener(u"DOMAttrModified", second, false);
    box.element()->setAttribute(u"id", u"b7");
    box.element()->setAttribute(u"id", u"b8");
    EXPECT_EQ(calls, 2) << "a listener was called after it ended";
    // A listener that ends another one registered after it.
    FnListener* victim = new FnListener;
    FnListener killer([&](Event*) {
        delete victim;
        victim = nullptr;
    });
    on(box)->addEventListener(u"DOMAttrModified", &killer, false);
    on(box)->addEventListener(u"DOMAttrModified", victim, false);
    box.element()->setAttribute(u"id", u"b9");
    EXPECT_EQ(killer.calls, 1);
    EXPECT_EQ(victim, nullptr);
    on(box)->removeEventListener(u"DOMAttrModified", &killer, false);
}

TEST_F(ListenerReentry, aListenerAddedToAnEventsTargetDuringTheDeliveryStaysAfterIt) {
    // Per case: where inside the delivery the new listener is added, and whether by capture.
    struct Case {
        const char* where;
        bool onRelated; // the related node (the parent) rather than the target
        bool useCapture;
    };
    const Case cases[] = {{"on the target", false, false}, {"on the target, capturing", false, true},
                          {"on the related node", true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        FnListener later;
        FnListener first([&](Event* e) {
            EventTarget* where = c.onRelated ? dynamic_cast<EventTarget*>(
                                                   dynamic_cast<MutationEvent*>(e)->getRelatedNode())
                                             : e->getTarget();
            ASSERT_NE(where, nullptr);
            where->addEventListener(u"DOMAttrModified", &later, c.useCapture);
        });
        Owned page(at("project/layout/spread/page"));
        on(page)->addEventListener(u"DOMNodeInserted", &first, false);
        {
            Owned fresh(doc->createElement(u"box"));
            Owned added(page->appendChild(fresh.node));
        }
        on(page)->removeEventListener(u"DOMNodeInserted", &first, false);
        ASSERT_EQ(first.calls, 1);
        Owned box(page->getLastChild());
        box.element()->setAttribute(u"id", u"new");
        EXPECT_EQ(later.calls, 1) << "the listener added during the delivery was dropped with its end";
        host.clearListeners();
    }
}


TEST_F(ListenerReentry, aListenerReleasingTheDocumentItRegisteredThroughStopsItsOwnDeliveries) {
    DOMDocument* other = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    auto* theirs = domImpl::ElementImpl::create_(
        Kw::ElementRef::fromHandle(host.find("project/layout/spread/page/box")), other);
    FnListener releasing([&](Event*) {
        if (other) other->release();
        other = nullptr;
    });
    FnListener after;
    dynamic_cast<EventTarget*>(theirs)->addEventListener(u"DOMAttrModified", &releasing, false);
    dynamic_cast<EventTarget*>(theirs)->addEventListener(u"DOMAttrModified", &after, false);
    Owned box(at("project/layout/spread/page/box"));
    box.element()->setAttribute(u"id", u"b7");
    box.element()->setAttribute(u"id", u"b8");
    EXPECT_EQ(releasing.calls, 1);
    EXPECT_EQ(after.calls, 0) << "a registration outlived the release of its document";
    EXPECT_EQ(other, nullptr);
}

} // namespace
