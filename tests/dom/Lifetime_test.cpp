// Node lifetimes: sharing, bookkeeping, misuse refused before the object is touched, the deepest copies.
#include <DOMKw/events/Events.hpp>

#include "common/DomFixture.hpp"
#include "common/FnListener.hpp"
#include "common/SmallStack.hpp"
#include "dom/Lifetime.hpp"
#include "dom/Poison.hpp"

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <vector>

using namespace testing_support;
using domImpl::DocumentImpl;
using domImpl::ElementImpl;

namespace {

class Lifetime : public DomTest {};
class Misuse : public DomTest {};
class DeepCopies : public DomTest {};

std::string repeat(const std::string& s, size_t n) {
    std::string out;
    while (n--) out += s;
    return out;
}

// The document's release ends whatever node objects are left, dropping every host reference.
TEST_F(Lifetime, ElementsAreSharedPerDocumentAndTheDocumentsReleaseEndsEverythingLeft) {
    DOMElement* a = doc->getDocumentElement();
    ASSERT_EQ(a, doc->getDocumentElement());
    dom::dispose(a);
    EXPECT_EQ(text(a->getTagName()), u"application"); // still usable after one of two disposes
    a->release();                                      // does nothing on a node
    Owned run(at("project/story/paragraph/textRun"));
    Owned t1(run->getFirstChild()), t2(run->getFirstChild());
    EXPECT_NE(t1.node, t2.node);
    EXPECT_TRUE(t1->isSameNode(t2.node));
    const int64_t baseline = host.outstandingReferences();
    DOMDocument* other = DocumentImpl::create(Kw::ElementRef::get_Application());
    DOMElement* theirs = other->getDocumentElement();
    EXPECT_NE(a, theirs);
    EXPECT_TRUE(a->isSameNode(theirs));
    EXPECT_EQ(theirs->getOwnerDocument(), other);
    EXPECT_EQ(DocumentImpl::create(Kw::ElementRef()), nullptr);
    EXPECT_GT(host.outstandingReferences(), baseline);
    other->release(); // ends `theirs`
    EXPECT_EQ(host.outstandingReferences(), baseline);
    at("project/story/paragraph/textRun")->getFirstChild(); // left to the fixture's release
}

// Tracked hand-outs are ended once, whether disposeTracked() runs inside the tracking scope or after it
// (an element freed by an earlier dispose() is never disposed again); an element handed out before
// tracking keeps its own hand-out, and tracked nodes still held at release are ended too.
TEST_F(Lifetime, TrackedHandOutsAreEndedOnceWithoutTouchingFreedNodes) {
    DOMElement* kept = at("colors");
    for (bool inside : {true, false}) {
        SCOPED_TRACE(inside ? "ended inside the scope" : "ended after the scope");
        {
            DocumentImpl::TrackingScope scope(*doc);
            { DocumentImpl::TrackingScope nested(*doc); }
            EXPECT_TRUE(doc->isTracking());
            // The same element three times, a text node and an attribute, all tracked.
            at("colors");
            at("project");
            at("project")->getFirstChild();
            at("project/story/paragraph/textRun")->getFirstChild();
            kept->getAttributeNode(u"id");
            EXPECT_GT(doc->liveNodeCount(), 1u);
            if (inside) doc->disposeTracked();
            EXPECT_TRUE(doc->isTracking());
        }
        EXPECT_FALSE(doc->isTracking());
        if (!inside) doc->disposeTracked();
        EXPECT_EQ(static_cast<ElementImpl*>(kept)->shares(), 1);
        EXPECT_EQ(doc->liveNodeCount(), 1u);
    }
    dom::dispose(kept);
    EXPECT_EQ(doc->liveNodeCount(), 0u);
    EXPECT_EQ(domExceptionCode([&] { dom::dispose(kept); }), DOMException::INVALID_STATE_ERR);
    DocumentImpl::TrackingScope scope(*doc);
    at("project");
}


// Every node object held at once (elements twice), some ended in an order, the rest by release().
TEST_F(Lifetime, liveSetFollowsThousandsOfNodesEndedInAnyOrderThenTheRestByRelease) {
    enum Order { OLDEST_FIRST, NEWEST_FIRST, SHUFFLED };
    constexpr size_t ALL = ~size_t(0);
    const struct {
        const char* what;
        Order order;
        size_t leftToRelease; // how many hand-outs, the last in that order, the release ends
    } cases[] = {
        {"none ended before the release", OLDEST_FIRST, ALL},
        {"newest first, some left", NEWEST_FIRST, 5},
        {"shuffled, one left", SHUFFLED, 1},
        {"shuffled, none left", SHUFFLED, 0},
    };
    load(samplePath("project.xml"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        openDocument();
        std::vector<DOMNode*> held;
        std::function<void(DOMNode*)> walk = [&](DOMNode* node) {
            held.push_back(node);
            if (node->getNodeType() != DOMNode::ELEMENT_NODE) return;
            DOMNamedNodeMap* attrs = node->getAttributes();
            for (XMLSize_t i = 0; i < attrs->getLength(); ++i) held.push_back(attrs->item(i));
            for (DOMNode* child = node->getFirstChild(); child; child = child->getNextSibling()) {
                walk(child);
                held.push_back(child->getParentNode()); // another hand-out of `node`
            }
        };
        walk(doc->getDocumentElement());
        ASSERT_GT(held.size(), 300u);
        std::vector<DOMNode*> distinct(held);
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        EXPECT_EQ(doc->liveNodeCount(), distinct.size());

        if (c.order == NEWEST_FIRST) std::reverse(held.begin(), held.end());
        if (c.order == SHUFFLED) std::shuffle(held.begin(), held.end(), std::mt19937(7));
        std::map<DOMNode*, size_t> handOuts;
        for (DOMNode* n : held) ++handOuts[n];
        size_t live = distinct.size();
        const size_t ending = held.size() - std::min(held.size(), c.leftToRelease);
        for (size_t i = 0; i < ending; ++i) {
            dom::dispose(held[i]);
            if (--handOuts[held[i]] > 0) {
                ASSERT_EQ(doc->liveNodeCount(), live);
                continue;
            }
            // Ended: poisoned for the AddressSanitizer, and a second end is refused.
#ifdef DOMKW_ASAN
            ASSERT_TRUE(__asan_address_is_poisoned(held[i]));
            ASSERT_TRUE(__asan_address_is_poisoned(reinterpret_cast<char*>(held[i]) + sizeof(void*)));
#endif
            ASSERT_EQ(domExceptionCode([&] { dom::dispose(held[i]); }), DOMException::INVALID_STATE_ERR);
            ASSERT_EQ(doc->liveNodeCount(), --live);
        }
        if (live == 0) {
            Owned again(doc->getDocumentElement());
            EXPECT_EQ(doc->liveNodeCount(), 1u);
        }
        doc->release();
        doc = nullptr;
        EXPECT_EQ(host.outstandingReferences(), 0);
        for (DOMNode* n : distinct)
            EXPECT_EQ(domExceptionCode([&] { dom::dispose(n); }), DOMException::INVALID_STATE_ERR);
    }
}

// An ended object's slot serves again only after QUARANTINE more ends, so its address is still recognised.
TEST_F(Misuse, endedSlotsWaitOutTheQuarantineAndAreThenReused) {
    using domImpl::lifetime::QUARANTINE;
    using domImpl::lifetime::hasEnded;
    Owned run(at("project/story/paragraph/textRun"));
    // What earlier tests ended beyond the quarantine is taken first: the loop starts at its exact bound.
    std::deque<Owned> held;
    for (size_t n = domImpl::lifetime::readySlots(sizeof(domImpl::TextImpl)); n > 0; --n)
        held.emplace_back(run->getFirstChild());
    DOMNode* first = run->getFirstChild();
    dom::dispose(first);
    std::set<DOMNode*> addresses;
    for (size_t i = 0; i < 3 * QUARANTINE; ++i) {
        DOMNode* node = run->getFirstChild(); // each round ends exactly one node object
        if (i < QUARANTINE) {
            ASSERT_TRUE(node != first && hasEnded(first)) << i;
        }
        if (i >= 2 * QUARANTINE) {
            ASSERT_EQ(addresses.count(node), 1u) << i; // only slots this loop has had before
        }
        addresses.insert(node);
        dom::dispose(node);
        ASSERT_TRUE(hasEnded(node));
    }
    int onTheStack = 0;
    EXPECT_FALSE(hasEnded(reinterpret_cast<DOMNode*>(&onTheStack)));
    dom::Owned<DOMElement> scratch(doc->createElement(u"box"));
    EXPECT_FALSE(hasEnded(scratch.get()));
    EXPECT_FALSE(hasEnded(nullptr) || hasEnded(doc));
}

// Node slots come from one range while it lasts, then from blocks: an ended node is recognised by any
// address inside it, the last slot carved from the range and a block's slot alike, and its live
// neighbour by none.
TEST_F(Misuse, endedNodesAreRecognisedByEveryAddressInsideThemBeforeAndAfterTheRangeIsUsedUp) {
    using namespace domImpl::lifetime;
    Owned run(at("project/story/paragraph/textRun"));
    std::deque<Owned> held;
    const size_t bytes = sizeof(domImpl::TextImpl);
    auto inside = [&](DOMNode* node) { // the object's first and last byte, and the next slot's first
        const char* start = static_cast<const char*>(dynamic_cast<const void*>(node));
        return std::vector<const char*>{start, start + bytes - 1, start + slotBytes(bytes)};
    };
    auto ended = [](const char* address) { return hasEnded(reinterpret_cast<const DOMNode*>(address)); };
    for (bool rangeClosed : {false, true}) {
        SCOPED_TRACE(rangeClosed ? "from a block" : "from the range");
        if (rangeClosed) closeNodeRange();
        // Past the slots that waited out the quarantine, the last two are new: carved one after the other.
        for (size_t n = readySlots(bytes) + 2; n > 0; --n) held.emplace_back(run->getFirstChild());
        const std::vector<const char*> last = inside(held.back().node), before = inside(held.end()[-2].node);
        dom::dispose(held.back().node);
        EXPECT_EQ(domExceptionCode([&] { dom::dispose(held.back().node); }), DOMException::INVALID_STATE_ERR);
        held.back().node = nullptr;
        EXPECT_TRUE(ended(last[0]) && ended(last[1]));
        EXPECT_FALSE(ended(last[2]) || ended(before[0]) || ended(before[1])); // never handed out, live
    }
    // Slots of several blocks, chained through the range's once ended: no leak is reported at exit.
    for (int n = 0; n < 1000; ++n) held.emplace_back(run->getFirstChild());
}

// Registrations end with their listener object (a later delivery would be a use after free); one made
// through two documents outlives the release of one of them.
TEST_F(Misuse, registrationsEndWithTheirListener) {
    Owned box(at("project/layout/spread/page/box"));
    DOMDocument* other = DocumentImpl::create(Kw::ElementRef::get_Application());
    DOMNode* same = ElementImpl::create_(Kw::ElementRef::fromHandle(host.find("project/layout/spread/page/box")),
                                         other);
    const void* address = nullptr;
    {
        FnListener listener;
        address = static_cast<dom::Object*>(&listener);
        for (DOMNode* n : {box.node, same})
            dynamic_cast<dom::events::EventTarget*>(n)->addEventListener(u"MutationEvent,DOMAttrModified",
                                                                          &listener, false);
        dom::events::EventTarget::addEventListener(u"MutationEvent,DOMAttrModified", u"box", &listener, false);
        EXPECT_EQ(registrationsOf(address), 2u); // one through both documents, one by names
        other->release();
        EXPECT_EQ(registrationsOf(address), 2u);
        box.element()->setAttribute(u"id", u"b9");
        EXPECT_EQ(listener.calls, 2);
    } // destroyed while registered
    EXPECT_EQ(registrationsOf(address), 0u);
    const uint64_t deliveries = host.deliveryCount();
    box.element()->setAttribute(u"id", u"b8");
    EXPECT_EQ(host.deliveryCount(), deliveries);
}

TEST_F(DeepCopies, CopiesOfTheDeepestTreeRunOnASmallStackAndKeepTheTree) {
    // The application element, a holder, and a chain down to the deepest level the host allows.
    const size_t chain = kwhost::MAX_DEPTH - 2;
    const std::string xml = "<application><holder>" + repeat("<e a=\"1\">t", chain) + repeat("</e>", chain) +
                            "</holder><other/></application>";
    host.loadString(xml, "deep.xml");
    openDocument();
    const std::string before = host.toXml();
    onSmallStack(256 * 1024, [&] { // gtest's checks are thread-safe
        Owned holder(at("holder"));
        Owned top(holder->getFirstChild());
        Owned clone(top->cloneNode(true));
        size_t depth = 0;
        for (DOMNode* n = clone.node; n; n = n->getLastChild()) ++depth;
        EXPECT_EQ(depth, chain + 1); // the chain's elements and the last text
        Owned exported(static_cast<domImpl::ElementImpl*>(top.element())->exportCopy(true));
        EXPECT_TRUE(top->isEqualNode(clone.node) && top->isEqualNode(exported.node));
        // A change at the very bottom of the copy makes them differ.
        DOMNode* bottom = clone.node;
        while (bottom->getFirstChild() && bottom->getLastChild()->getNodeType() == DOMNode::ELEMENT_NODE)
            bottom = bottom->getLastChild();
        static_cast<DOMElement*>(bottom)->setAttribute(u"a", u"2");
        EXPECT_FALSE(top->isEqualNode(clone.node));
        // removeChild and replaceChild hand back copies of the same depth; putting them back restores it.
        Owned removed(holder->removeChild(top.node));
        EXPECT_TRUE(removed.node && removed->isEqualNode(exported.node));
        Owned back(holder->insertBefore(removed.node, nullptr));
        Owned other(at("other"));
        Owned replaced(holder->replaceChild(other.node, back.node));
        EXPECT_TRUE(replaced.node && back->isEqualNode(exported.node));
        Owned restored(holder->replaceChild(replaced.node, other.node));
        Owned app(doc->getDocumentElement());
        app->appendChild(other.node);
    });
    EXPECT_EQ(host.toXml(), before);
}

// Past the host's depth bound, a move or a plain Xerces-C tree is refused (1) before anything is written.
TEST_F(DeepCopies, WhatWouldNestPastTheDepthBoundIsRefusedAndKeepsTheTree) {
    const size_t chain = kwhost::MAX_DEPTH - 2;
    host.loadString("<application><holder>" + repeat("<e>", chain) + repeat("</e>", chain) +
                        "</holder><m><n/></m></application>",
                    "deep.xml");
    openDocument();
    const std::string before = host.toXml();
    Owned m(at("m")), n(at("m/n"));
    Owned deepest(at("holder" + repeat("/e", chain)));    // level 1000
    Owned higher(at("holder" + repeat("/e", chain - 1))); // level 999
    EXPECT_EQ(domExceptionCode([&] { deepest->appendChild(m.node); }), 1);
    EXPECT_EQ(domExceptionCode([&] { higher->appendChild(m.node); }), 1);
    EXPECT_EQ(domExceptionCode([&] { deepest->appendChild(n.node); }), 1); // level 1001
    auto chainOf = [&](size_t levels) {
        DOMElement* top = doc->createElement(u"e");
        DOMElement* at = top;
        for (size_t i = 1; i < levels; ++i) at = static_cast<DOMElement*>(at->appendChild(doc->createElement(u"e")));
        at->appendChild(doc->createTextNode(u"bottom"));
        return top;
    };
    // Left to the scratch document (Xerces-C's release of a detached node would recurse once per level).
    DOMElement* foreign = chainOf(20000);
    int code = 0;
    onSmallStack(256 * 1024, [&] { code = domExceptionCode([&] { m->appendChild(foreign); }); });
    EXPECT_EQ(code, 1);
    EXPECT_EQ(host.toXml(), before);
    Owned moved(higher->appendChild(n.node)); // level 1000
    dom::Owned<DOMElement> shallow(chainOf(50));
    Owned added(m->appendChild(shallow.get()));
    EXPECT_EQ(host.toXml(), "<application><holder>" + repeat("<e>", chain - 1) + "<e/><n/>" +
                                repeat("</e>", chain - 1) + "</holder><m>" + repeat("<e>", 50) + "bottom" +
                                repeat("</e>", 50) + "</m></application>");
}

} // namespace
