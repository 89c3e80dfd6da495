// Element sharing, node lifetimes and the document's bookkeeping.
#include "dom/DomFixture.hpp"

using namespace testing_support;
using domImpl::DocumentImpl;
using domImpl::ElementImpl;

namespace {

class Lifetime : public DomTest {};

TEST_F(Lifetime, ElementsAreSharedAndCountedPerHostHandle) {
    DOMElement* a = doc->getDocumentElement();
    DOMElement* b = doc->getDocumentElement();
    ASSERT_EQ(a, b);
    EXPECT_EQ(static_cast<ElementImpl*>(a)->shares(), 2);
    Owned first(doc->getFirstChild());
    Owned viaElement(a->getFirstChild());
    EXPECT_EQ(first.node, viaElement.node);
    dom::dispose(a);
    EXPECT_EQ(text(b->getTagName()), u"application"); // still usable after one dispose
    a->release();                                      // release() does nothing on a node
    dom::dispose(b);
    DOMElement* c = doc->getDocumentElement();
    EXPECT_EQ(static_cast<ElementImpl*>(c)->shares(), 1); // a new object
    dom::dispose(c);
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

TEST_F(Lifetime, RefOfAndDisposeOfForeignNodes) {
    Owned app(doc->getDocumentElement());
    EXPECT_EQ(domImpl::refOf(app.node).get(), host.application());
    EXPECT_EQ(domImpl::refOf(doc).get(), host.application());
    EXPECT_TRUE(domImpl::refOf(nullptr).isNil());
    DOMElement* scratch = doc->createElement(u"box");
    EXPECT_TRUE(domImpl::refOf(scratch).isNil());
    Owned attr(app.element()->getAttributeNode(u"name"));
    EXPECT_TRUE(domImpl::refOf(attr.node).isNil());
    dom::dispose(scratch); // a detached Xerces-C node is released
    dom::dispose(nullptr);
}

} // namespace
