// Node lifetimes: element sharing, the document's bookkeeping, misuse that would corrupt memory (ending a
// node object twice or after its document's release() is refused before the object is touched; listener
// registrations end with their listener object and with the document they were made through; run under
// AddressSanitizer), and copies of the deepest tree on a plug-in's small thread stack.
#include <DOMKw/events/Events.hpp>

#include "common/DomFixture.hpp"
#include "common/FnListener.hpp"
#include "common/SmallStack.hpp"
#include "dom/Lifetime.hpp"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define MISUSE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MISUSE_ASAN 1
#endif
#endif
#ifdef MISUSE_ASAN
#include <sanitizer/asan_interface.h>
#endif

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

// Elements are shared per host handle and document, texts never; release() of a node does nothing, and
// the document's release ends whatever node objects are left (shared ones handed out several times,
// attributes, list items, texts), dropping every host reference.
TEST_F(Lifetime, ElementsAreSharedPerDocumentAndTheDocumentsReleaseEndsEverythingLeft) {
    DOMElement* a = doc->getDocumentElement();
    ASSERT_EQ(a, doc->getDocumentElement());
    Owned first(doc->getFirstChild()), viaElement(a->getFirstChild());
    EXPECT_EQ(first.node, viaElement.node);
    dom::dispose(a);
    EXPECT_EQ(text(a->getTagName()), u"application"); // still usable after one of two disposes
    a->release();                                      // does nothing on a node
    dom::dispose(nullptr);                             // nor does ending nothing
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
    DOMElement* colors = static_cast<DOMElement*>(domImpl::ElementImpl::create_(
        Kw::ElementRef::fromHandle(host.find("colors")), other));
    colors->getAttributes()->item(0);
    colors->getChildNodes()->item(0);
    colors->getAttributeNode(u"x");
    EXPECT_EQ(DocumentImpl::create(Kw::ElementRef()), nullptr);
    EXPECT_GT(host.outstandingReferences(), baseline);
    other->release(); // ends `theirs`, `colors` and what they handed out
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

// Every node object of the project held at once (each element handed out twice, through its parent and
// through the walk, plus its attributes and text), then some or all ended in an order, the rest left to
// the document's release(): the count of live objects follows each dispose, a shared element lives until
// its last hand-out ends, and every object ended either way is refused afterwards (ended by dispose(): at
// once, before it is touched). The bookkeeping grows and shrinks its tables on the way, and works again
// once emptied.
TEST_F(Lifetime, liveSetFollowsThousandsOfNodesEndedInAnyOrderThenTheRestByRelease) {
    enum Order { OLDEST_FIRST, NEWEST_FIRST, SHUFFLED };
    constexpr size_t ALL = ~size_t(0);
    const struct {
        const char* what;
        Order order;
        size_t leftToRelease; // how many hand-outs, the last in that order, the release ends
    } cases[] = {
        {"none ended before the release", OLDEST_FIRST, ALL},
        {"oldest first, some left", OLDEST_FIRST, 5},
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
            // Ended: poisoned for the AddressSanitizer (any read is reported), and a second end is refused
            // before the object is touched.
#ifdef MISUSE_ASAN
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

// Node objects come from pools: an ended object's slot waits out a quarantine of QUARANTINE more ends
// before it serves again, so that its address is still recognised as ended; then the same slots serve
// again. What is not a pooled node object is never taken for an ended one.
TEST_F(Misuse, endedSlotsWaitOutTheQuarantineAndAreThenReused) {
    using domImpl::lifetime::QUARANTINE;
    using domImpl::lifetime::hasEnded;
    Owned run(at("project/story/paragraph/textRun"));
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
}

// Listener registrations end with their listener object (a later mutation reaches nobody: under the
// AddressSanitizer a call would be a use after free). That they end with the document they were made
// through is in events/Registrations_test.cpp, for every kind of node; here, one made through two
// documents is kept while one of them remains.
TEST_F(Misuse, registrationsEndWithTheirListener) {
    Owned box(at("project/layout/spread/page/box"));
    auto* target = dynamic_cast<dom::events::EventTarget*>(box.node);
    const void* address = nullptr;
    {
        auto listener = std::make_unique<FnListener>();
        address = static_cast<dom::Object*>(listener.get());
        target->addEventListener(u"MutationEvent,DOMAttrModified", listener.get(), false);
        target->addEventListener(u"MutationEvent,DOMAttrModified", listener.get(), true);
        dom::events::EventTarget::addEventListener(u"MutationEvent,DOMAttrModified", u"box", listener.get(),
                                                   false);
        box.element()->setAttribute(u"id", u"b7");
        EXPECT_EQ(listener->calls, 3); // at the target, capturing or not, and by names
    }                                  // destroyed while registered
    EXPECT_EQ(registrationsOf(address), 0u);
    const uint64_t deliveries = host.deliveryCount();
    box.element()->setAttribute(u"id", u"b8");
    EXPECT_EQ(host.deliveryCount(), deliveries);
    // The same registration made through two documents outlives the release of one of them.
    FnListener listener;
    address = static_cast<dom::Object*>(&listener);
    DOMDocument* other = DocumentImpl::create(Kw::ElementRef::get_Application());
    DOMNode* same = ElementImpl::create_(Kw::ElementRef::fromHandle(host.find("project/layout/spread/page/box")),
                                         other);
    for (DOMNode* n : {box.node, same})
        dynamic_cast<dom::events::EventTarget*>(n)->addEventListener(u"MutationEvent,DOMAttrModified",
                                                                      &listener, false);
    EXPECT_EQ(registrationsOf(address), 1u);
    other->release();
    EXPECT_EQ(registrationsOf(address), 1u);
    box.element()->setAttribute(u"id", u"b9");
    EXPECT_EQ(listener.calls, 1);
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

// What would nest elements past the host's depth bound is the host's refusal (code 1) and changes
// nothing: a move of host elements, and a plain Xerces-C tree deeper than the host keeps (refused before
// anything is written, without recursing on a plug-in's small stack). Within the bound both go in.
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
    // Left to the scratch document, which frees its nodes with itself (Xerces-C's release of a detached
    // node would recurse once per level).
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
