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

TEST_F(Lifetime, ElementsAreSharedPerHostHandleAndTextsNever) {
    DOMElement* a = doc->getDocumentElement();
    DOMElement* b = doc->getDocumentElement();
    ASSERT_EQ(a, b);
    Owned first(doc->getFirstChild());
    Owned viaElement(a->getFirstChild());
    EXPECT_EQ(first.node, viaElement.node);
    dom::dispose(a);
    EXPECT_EQ(text(b->getTagName()), u"application"); // still usable after one dispose
    a->release();                                      // release() does nothing on a node
    dom::dispose(b);
    // Text objects are never shared.
    Owned run(at("project/story/paragraph/textRun"));
    Owned t1(run->getFirstChild()), t2(run->getFirstChild());
    EXPECT_NE(t1.node, t2.node);
    EXPECT_TRUE(t1->isSameNode(t2.node));
}

TEST_F(Lifetime, DocumentsKeepSeparateCaches) {
    DOMDocument* other = DocumentImpl::create(Kw::ElementRef::get_Application());
    DOMElement* mine = doc->getDocumentElement();
    DOMElement* theirs = other->getDocumentElement();
    EXPECT_NE(mine, theirs);
    EXPECT_TRUE(mine->isSameNode(theirs));
    EXPECT_EQ(theirs->getOwnerDocument(), other);
    other->release(); // ends `theirs` too
    dom::dispose(mine);
    EXPECT_EQ(DocumentImpl::create(Kw::ElementRef()), nullptr);
}

TEST_F(Lifetime, ReleaseEndsEverythingLeft) {
    // Nodes, shared elements handed out several times, attributes, lists and text: all freed, every host
    // reference dropped.
    for (int i = 0; i < 3; ++i) doc->getDocumentElement();
    DOMElement* colors = at("colors");
    colors->getAttributes();
    colors->getChildNodes()->item(0);
    colors->getAttributeNode(u"x");
    at("project/story/paragraph/textRun")->getFirstChild();
    EXPECT_GT(host.outstandingReferences(), 0);
    doc->release();
    doc = nullptr;
    EXPECT_EQ(host.outstandingReferences(), 0);
}

TEST_F(Lifetime, TrackedHandOutsAreEndedWithoutTouchingFreedNodes) {
    DOMElement* kept = at("colors"); // handed out before tracking: survives the tracked clean-up
    {
        DocumentImpl::TrackingScope scope(*doc);
        {
            DocumentImpl::TrackingScope nested(*doc);
            EXPECT_TRUE(doc->isTracking());
        }
        EXPECT_TRUE(doc->isTracking());
        // The same element three times, a text node and an attribute, all tracked.
        at("colors");
        at("project");
        at("project");
        at("project")->getFirstChild();
        at("project/story/paragraph/textRun")->getFirstChild();
        kept->getAttributeNode(u"id");
    }
    EXPECT_FALSE(doc->isTracking());
    // An element freed by an earlier dispose() is never disposed again.
    doc->disposeTracked();
    EXPECT_EQ(static_cast<ElementImpl*>(kept)->shares(), 1);
    EXPECT_EQ(doc->liveNodeCount(), 1u);
    dom::dispose(kept);
    EXPECT_EQ(doc->liveNodeCount(), 0u);
    // Tracked nodes a document still holds at release are ended too.
    {
        DocumentImpl::TrackingScope scope(*doc);
        at("project");
        at("project");
    }
}

// Every node object of the project held at once (each element handed out twice, through its parent and
// through the walk, plus its attributes and text), then ended in a shuffled order: the count of live
// objects follows each dispose, a shared element lives until its last hand-out ends, and a second
// dispose of any of them is refused. The bookkeeping grows and shrinks its tables on the way.
TEST_F(Lifetime, liveSetFollowsThousandsOfNodesHeldAndEndedInAnyOrder) {
    load(samplePath("project.xml"));
    openDocument();
    std::vector<DOMNode*> held;
    std::function<void(DOMNode*)> walk = [&](DOMNode* node) {
        held.push_back(node);
        if (node->getNodeType() != DOMNode::ELEMENT_NODE) return;
        DOMNamedNodeMap* attrs = node->getAttributes();
        for (XMLSize_t i = 0; i < attrs->getLength(); ++i) held.push_back(attrs->item(i));
        for (DOMNode* c = node->getFirstChild(); c; c = c->getNextSibling()) {
            walk(c);
            held.push_back(c->getParentNode()); // another hand-out of `node`
        }
    };
    walk(doc->getDocumentElement());
    ASSERT_GT(held.size(), 300u);
    std::vector<DOMNode*> distinct(held);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    EXPECT_EQ(doc->liveNodeCount(), distinct.size());

    std::shuffle(held.begin(), held.end(), std::mt19937(7));
    std::map<DOMNode*, size_t> handOuts;
    for (DOMNode* n : held) ++handOuts[n];
    size_t live = distinct.size();
    for (DOMNode* n : held) {
        dom::dispose(n);
        if (--handOuts[n] == 0) --live;
        ASSERT_EQ(doc->liveNodeCount(), live);
    }
    for (DOMNode* n : distinct) EXPECT_THROW(dom::dispose(n), DOMException);
    EXPECT_EQ(doc->liveNodeCount(), 0u);
    // The tables work again once emptied.
    Owned again(doc->getDocumentElement());
    EXPECT_EQ(doc->liveNodeCount(), 1u);
}

// An element, a text and an attribute node ended twice: the second end is refused before the object is
// touched, the count of live objects is unchanged, and the ended object is poisoned for the
// AddressSanitizer (any read of it is reported).
TEST_F(Misuse, aNodeDisposedTwiceIsRefusedAndTheEndedObjectIsPoisoned) {
    struct Case {
        const char* what;
        std::function<DOMNode*()> make;
    } cases[] = {
        {"element", [&] { return at("project/layout/spread/page/box"); }},
        {"text", [&] { Owned run(at("project/story/paragraph/textRun")); return run->getFirstChild(); }},
        {"attribute", [&] { Owned box(at("project/layout/spread/page/box")); return box.element()->getAttributeNode(u"id"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DOMNode* node = c.make();
        ASSERT_NE(node, nullptr);
        const size_t live = doc->liveNodeCount();
#ifdef MISUSE_ASAN
        EXPECT_FALSE(__asan_address_is_poisoned(node));
#endif
        dom::dispose(node);
        EXPECT_EQ(doc->liveNodeCount(), live - 1);
#ifdef MISUSE_ASAN
        EXPECT_TRUE(__asan_address_is_poisoned(node));
        EXPECT_TRUE(__asan_address_is_poisoned(reinterpret_cast<char*>(node) + sizeof(void*)));
#endif
        EXPECT_EQ(domExceptionCode([&] { dom::dispose(node); }), DOMException::INVALID_STATE_ERR);
        EXPECT_EQ(doc->liveNodeCount(), live - 1);
    }
    Owned box(at("project/layout/spread/page/box")); // a new object, ended normally
    EXPECT_EQ(text(box.element()->getAttribute(u"id")), u"b1");
}

// Node objects come from pools: an ended object's slot waits until 4096 more node objects have ended
// before it is handed out again. Until then its address is still recognised; after that the same slots
// serve again, so making and ending nodes for ever does not grow memory.
TEST_F(Misuse, endedSlotsWaitOutTheQuarantineAndAreThenReusedSoMemoryStaysBounded) {
    using domImpl::lifetime::QUARANTINE;
    Owned run(at("project/story/paragraph/textRun"));
    DOMNode* first = run->getFirstChild();
    dom::dispose(first);
    // Slots other tests ended serve too.
    const size_t ready = domImpl::lifetime::readySlots(sizeof(domImpl::TextImpl));
    std::set<DOMNode*> addresses;
    for (size_t i = 0; i < 3 * QUARANTINE; ++i) {
        DOMNode* node = run->getFirstChild(); // each round ends exactly one node object
        if (i < QUARANTINE) {
            ASSERT_NE(node, first) << i; // not handed out while it may still be disposed again
            ASSERT_TRUE(domImpl::lifetime::hasEnded(first)) << i;
        }
        // Once the quarantine holds only this loop's nodes, every slot is one it has had before.
        if (i >= 2 * QUARANTINE) {
            ASSERT_EQ(addresses.count(node), 1u) << i;
        }
        addresses.insert(node);
        ASSERT_FALSE(domImpl::lifetime::hasEnded(node));
        dom::dispose(node);
        ASSERT_TRUE(domImpl::lifetime::hasEnded(node));
    }
    EXPECT_LE(addresses.size(), ready + 2 * QUARANTINE + 2);
    EXPECT_LE(domImpl::lifetime::readySlots(sizeof(domImpl::TextImpl)), ready + QUARANTINE + 1);
    // What is not a pooled node object is never taken for an ended one.
    int onTheStack = 0;
    EXPECT_FALSE(domImpl::lifetime::hasEnded(reinterpret_cast<DOMNode*>(&onTheStack)));
    DOMElement* scratch = doc->createElement(u"box");
    EXPECT_FALSE(domImpl::lifetime::hasEnded(scratch));
    dom::dispose(scratch);
}

TEST_F(Misuse, aNodeDisposedAfterItsDocumentsReleaseIsRefused) {
    DOMNode* element = at("project/layout/spread/page/box");
    DOMNode* shared = doc->getDocumentElement();
    doc->getDocumentElement(); // handed out twice
    Owned run(at("project/story/paragraph/textRun"));
    DOMNode* textNode = run->getFirstChild();
    run.node = nullptr;
    DOMNode* attr = static_cast<DOMElement*>(element)->getAttributeNode(u"bounds");
    doc->release();
    doc = nullptr;
    for (DOMNode* node : {element, shared, textNode, attr})
        EXPECT_EQ(domExceptionCode([&] { dom::dispose(node); }), DOMException::INVALID_STATE_ERR);
    // Plain Xerces-C nodes and null are unaffected.
    dom::dispose(nullptr);
}

TEST_F(Misuse, aListenerDestroyedWhileRegisteredIsNeverCalled) {
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
        EXPECT_EQ(registrationsOf(address), 3u);
        box.element()->setAttribute(u"id", u"b7");
        EXPECT_EQ(listener->calls, 3); // at the target, capturing or not, and by names
    }                                  // destroyed while registered
    EXPECT_EQ(registrationsOf(address), 0u);
    // The next mutation reaches nobody (under AddressSanitizer a call would be a use after free).
    const uint64_t deliveries = host.deliveryCount();
    box.element()->setAttribute(u"id", u"b8");
    EXPECT_EQ(host.deliveryCount(), deliveries);
    // A listener removed by hand first ends quietly.
    FnListener removed;
    target->addEventListener(u"MutationEvent,DOMAttrModified", &removed, false);
    target->removeEventListener(u"MutationEvent,DOMAttrModified", &removed, false);
    EXPECT_EQ(registrationsOf(static_cast<dom::Object*>(&removed)), 0u);
}

TEST_F(Misuse, registrationsEndWithTheReleaseOfTheDocumentTheyWereMadeThrough) {
    FnListener listener;
    const void* address = static_cast<dom::Object*>(&listener);
    DOMDocument* other = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    {
        Owned mine(at("project/layout/spread/page/box"));
        DOMElement* theirs = static_cast<DOMElement*>(domImpl::ElementImpl::create_(
            Kw::ElementRef::fromHandle(host.find("project/layout/spread/page/box")), other));
        DOMElement* page = static_cast<DOMElement*>(domImpl::ElementImpl::create_(
            Kw::ElementRef::fromHandle(host.find("project/layout/spread/page")), other));
        // The same registration through both documents, and one through the other document only.
        auto add = [&](DOMNode* n, const XMLCh* type, bool capture) {
            dynamic_cast<dom::events::EventTarget*>(n)->addEventListener(type, &listener, capture);
        };
        add(mine.node, u"MutationEvent,DOMAttrModified", false);
        add(theirs, u"MutationEvent,DOMAttrModified", false);
        add(page, u"MutationEvent,DOMAttrModified", true);
        add(other, u"MutationEvent,DOMSubtreeModified", true);
        EXPECT_EQ(registrationsOf(address), 3u);
    }
    other->release(); // the nodes made through it end with it
    // What only the released document held is gone; what this document also made stays.
    EXPECT_EQ(registrationsOf(address), 1u);
    {
        Owned box(at("project/layout/spread/page/box"));
        box.element()->setAttribute(u"id", u"b9");
        EXPECT_EQ(listener.calls, 1);
    }
    doc->release();
    doc = nullptr;
    EXPECT_EQ(registrationsOf(address), 0u);
    openDocument();
}


TEST_F(DeepCopies, CopiesOfTheDeepestTreeRunOnASmallStackAndKeepTheTree) {
    // The application element, a holder, and a chain down to the deepest level the host allows.
    const size_t chain = kwhost::MAX_DEPTH - 2;
    const std::string xml = "<application><holder>" + repeat("<e a=\"1\">t", chain) + repeat("</e>", chain) +
                            "</holder><other/></application>";
    host.loadString(xml, "deep.xml");
    openDocument();
    const std::string before = host.toXml();
    size_t depthOfClone = 0;
    bool equal = false, equalToChanged = true, removedCopy = false, replacedCopy = false;
    onSmallStack(256 * 1024, [&] {
        Owned holder(at("holder"));
        Owned top(holder->getFirstChild());
        Owned clone(top->cloneNode(true));
        for (DOMNode* n = clone.node; n; n = n->getLastChild()) ++depthOfClone;
        Owned exported(static_cast<domImpl::ElementImpl*>(top.element())->exportCopy(true));
        equal = top->isEqualNode(clone.node) && top->isEqualNode(exported.node);
        // A change at the very bottom of the copy makes them differ.
        DOMNode* bottom = clone.node;
        while (bottom->getFirstChild() && bottom->getLastChild()->getNodeType() == DOMNode::ELEMENT_NODE)
            bottom = bottom->getLastChild();
        static_cast<DOMElement*>(bottom)->setAttribute(u"a", u"2");
        equalToChanged = top->isEqualNode(clone.node);
        // removeChild and replaceChild hand back copies of the same depth; putting them back restores it.
        Owned removed(holder->removeChild(top.node));
        removedCopy = removed.node && removed->isEqualNode(exported.node);
        Owned back(holder->insertBefore(removed.node, nullptr));
        Owned other(at("other"));
        Owned replaced(holder->replaceChild(other.node, back.node));
        replacedCopy = replaced.node && back->isEqualNode(exported.node);
        Owned restored(holder->replaceChild(replaced.node, other.node));
        Owned app(doc->getDocumentElement());
        app->appendChild(other.node);
    });
    EXPECT_EQ(depthOfClone, chain + 1); // the chain's elements and the last text
    EXPECT_TRUE(equal);
    EXPECT_FALSE(equalToChanged);
    EXPECT_TRUE(removedCopy);
    EXPECT_TRUE(replacedCopy);
    EXPECT_EQ(host.toXml(), before);
}

// A move through the DOM that would nest elements past the host's bound is the host's refusal (code 1)
// and changes nothing; the same move within the bound is made.
TEST_F(DeepCopies, AMovePastTheDepthBoundIsRefusedAndKeepsTheTree) {
    const size_t chain = kwhost::MAX_DEPTH - 2;
    host.loadString("<application><holder>" + repeat("<e>", chain) + repeat("</e>", chain) +
                        "</holder><m><n/></m></application>",
                    "deep.xml");
    openDocument();
    const std::string before = host.toXml();
    Owned m(at("m"));
    Owned deepest(at("holder" + repeat("/e", chain)));     // level 1000
    Owned higher(at("holder" + repeat("/e", chain - 1))); // level 999
    EXPECT_EQ(domExceptionCode([&] { deepest->appendChild(m.node); }), 1);
    EXPECT_EQ(domExceptionCode([&] { higher->appendChild(m.node); }), 1);
    EXPECT_EQ(host.toXml(), before);
    Owned n(at("m/n"));
    EXPECT_EQ(domExceptionCode([&] { deepest->appendChild(n.node); }), 1); // level 1001
    EXPECT_EQ(host.toXml(), before);
    Owned moved(higher->appendChild(n.node)); // level 1000
    const std::string after = host.toXml();
    EXPECT_EQ(after, "<application><holder>" + repeat("<e>", chain - 1) + "<e/><n/>" + repeat("</e>", chain - 1) +
                         "</holder><m/></application>");
}

// A plain Xerces-C tree nested deeper than the host keeps is refused (code 1) before anything is written,
// also on a plug-in's small stack; the host tree is unchanged. One within the bound goes in whole.
TEST_F(DeepCopies, AForeignTreeDeeperThanTheHostKeepsIsRefusedWithoutRecursing) {
    openDocument();
    const std::string before = host.toXml();
    auto chain = [&](size_t levels) {
        DOMElement* top = doc->createElement(u"e");
        DOMElement* at = top;
        for (size_t i = 1; i < levels; ++i) at = static_cast<DOMElement*>(at->appendChild(doc->createElement(u"e")));
        at->appendChild(doc->createTextNode(u"bottom"));
        return top;
    };
    // Left to the scratch document, which frees its nodes with itself (Xerces-C's release of a detached
    // node would recurse once per level).
    DOMElement* deep = chain(20000);
    int code = 0;
    onSmallStack(256 * 1024, [&] {
        Owned colors(at("colors"));
        code = domExceptionCode([&] { colors->appendChild(deep); });
    });
    EXPECT_EQ(code, 1);
    EXPECT_EQ(host.toXml(), before);

    dom::Owned<DOMElement> shallow(chain(50));
    Owned colors(at("colors"));
    Owned added(colors->appendChild(shallow.get()));
    ASSERT_NE(added.node, nullptr);
    size_t levels = 0;
    for (DOMNode* n = added.node; n && n->getNodeType() == DOMNode::ELEMENT_NODE; n = n->getFirstChild()) ++levels;
    EXPECT_EQ(levels, 50u);
}

} // namespace
