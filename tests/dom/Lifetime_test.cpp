// Element sharing, node lifetimes and the document's bookkeeping.
#include "common/DomFixture.hpp"

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <vector>

using namespace testing_support;
using domImpl::DocumentImpl;
using domImpl::ElementImpl;

namespace {

class Lifetime : public DomTest {};

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

} // namespace
