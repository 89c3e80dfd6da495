// Insertion, moves, replacement and removal through the DOM, checked against the host tree.
#include <functional>

#include "common/DomFixture.hpp"

using namespace testing_support;

namespace {

class TreeChanges : public DomTest {
protected:
    std::string xml(const std::string& path) { return host.toXml(host.find(path)); }
};

TEST_F(TreeChanges, InsertingXercesNodesBuildsHostContent) {
    Owned page(at("project/layout/spread/page"));
    DOMElement* box = doc->createElement(u"box");
    box->setAttribute(u"id", u"b9");
    box->appendChild(doc->createTextNode(u"a < b & c"));
    Owned b2(at("project/layout/spread/page/box[2]"));
    {
        Owned inserted(page->insertBefore(box, b2.node));
        EXPECT_NE(inserted.node, box); // a node for the new host object, not the argument
        EXPECT_FALSE(domImpl::refOf(inserted.node).isNil());
        EXPECT_EQ(text(inserted.element()->getAttribute(u"id")), u"b9");
    }
    Owned appended(page->appendChild(doc->createTextNode(u"tail & end")));
    EXPECT_EQ(appended->getNodeType(), DOMNode::TEXT_NODE);
    EXPECT_EQ(xml("project/layout/spread/page"),
              "<page number=\"1\"><box id=\"b1\" bounds=\"12/-3\"/><box id=\"b9\">a &lt; b &amp; c</box>"
              "<box id=\"b2\"/>tail &amp; end</page>");
    EXPECT_EQ(text(appended->getNodeValue()), u"tail & end");
}

// An empty text node goes in like any other: the caller gets the node it inserted, which can be filled
// afterwards, and a host that refused it would say so with an exception, never with a null result.
TEST_F(TreeChanges, AppendingAnEmptyTextNodeHandsBackTheInsertedNode) {
    Owned page(at("project/layout/spread/page"));
    Owned b2(at("project/layout/spread/page/box[2]"));
    const std::string before = xml("project/layout/spread/page");
    Owned appended(page->appendChild(doc->createTextNode(u"")));
    ASSERT_TRUE(appended.node);
    EXPECT_EQ(appended->getNodeType(), DOMNode::TEXT_NODE);
    EXPECT_FALSE(domImpl::refOf(appended.node).isNil());
    EXPECT_EQ(text(appended->getNodeValue()), u"");
    Owned inserted(page->insertBefore(doc->createTextNode(u""), b2.node));
    ASSERT_TRUE(inserted.node);
    EXPECT_EQ(xml("project/layout/spread/page"), before); // nothing to write yet
    static_cast<DOMText*>(appended.node)->appendData(u"end");
    static_cast<DOMText*>(inserted.node)->appendData(u"mid");
    EXPECT_EQ(xml("project/layout/spread/page"),
              "<page number=\"1\"><box id=\"b1\" bounds=\"12/-3\"/>mid<box id=\"b2\"/>end</page>");
    Owned last(page->getLastChild());
    EXPECT_EQ(text(last->getNodeValue()), u"end");
}

TEST_F(TreeChanges, AppendingAHostNodeMovesIt) {
    Owned story(at("project/story"));
    Owned spread(at("project/layout[2]/spread"));
    const Kw::HostRef handle = host.find("project/story");
    Owned moved(spread->appendChild(story.node));
    // The host moves the object itself: the node handed back is the moved one, a hand-out of its own.
    EXPECT_EQ(domImpl::refOf(moved.node).get(), handle);
    EXPECT_EQ(host.find("project/story"), -1);
    EXPECT_EQ(xml("project/layout[2]/spread"),
              "<spread><page number=\"1\"><box id=\"b3\"/></page><story id=\"s1\"><paragraph><textRun "
              "size=\"10pt\">Hello, world</textRun></paragraph></story></spread>");
    Owned newParent(story->getParentNode());
    EXPECT_EQ(domImpl::refOf(newParent.node).get(), domImpl::refOf(spread.node).get());
}

TEST_F(TreeChanges, ExportCopyLeavesOutReadOnlyChildrenAndUncopyableAttributes) {
    // The preferences element is read-only; the first colour's id is uncopyable.
    Owned colors(at("colors"));
    Owned app(doc->getDocumentElement());
    dom::Owned<DOMElement> copy(static_cast<DOMElement*>(static_cast<domImpl::ElementImpl*>(app.node)->exportCopy(true)));
    DOMNodeList* prefs = copy->getElementsByTagName(u"preferences");
    EXPECT_EQ(prefs->getLength(), 0u);
    DOMElement* firstColor = static_cast<DOMElement*>(copy->getElementsByTagName(u"color")->item(0));
    EXPECT_FALSE(firstColor->hasAttribute(u"id"));
    EXPECT_TRUE(firstColor->hasAttribute(u"name"));
    copy.reset();
    // cloneNode copies everything.
    dom::Owned<DOMElement> clone(static_cast<DOMElement*>(app->cloneNode(true)));
    EXPECT_EQ(clone->getElementsByTagName(u"preferences")->getLength(), 1u);
}

TEST_F(TreeChanges, RemoveAndReplaceReturnDetachedCopies) {
    Owned layout(at("project/layout"));
    Owned project(at("project"));
    dom::Owned<DOMElement> removed(static_cast<DOMElement*>(project->removeChild(layout.node)));
    EXPECT_TRUE(domImpl::refOf(removed.get()).isNil()); // a Xerces-C copy
    EXPECT_EQ(text(removed->getAttribute(u"name")), u"L1");
    EXPECT_EQ(removed->getElementsByTagName(u"box")->getLength(), 2u);
    removed.reset();
    EXPECT_EQ(host.find("project/layout[2]"), -1);

    Owned story(at("project/story"));
    DOMElement* replacement = doc->createElement(u"story");
    replacement->setAttribute(u"id", u"s2");
    dom::Owned<DOMElement> old(static_cast<DOMElement*>(project->replaceChild(replacement, story.node)));
    EXPECT_EQ(text(old->getAttribute(u"id")), u"s1");
    old.reset();
    EXPECT_EQ(xml("project"), "<project name=\"P\" id=\"p1\"><layout name=\"L2\"><spread><page number=\"1\"><box "
                              "id=\"b3\"/></page></spread></layout><story id=\"s2\"/></project>");
}

TEST_F(TreeChanges, InsertBeforeWithBadReferenceKeepsTheNode) {
    const std::string before = host.toXml();
    Owned story(at("project/story"));
    Owned page(at("project/layout/spread/page"));
    // Not host-backed: no reference child in the tree.
    dom::Owned<DOMElement> foreign(doc->createElement(u"box"));
    EXPECT_EQ(domExceptionCode([&] { page->insertBefore(story.node, foreign.get()); }), 8);
    EXPECT_EQ(host.toXml(), before);
    Owned parent(story->getParentNode());
    EXPECT_NE(parent.node, nullptr);
}

TEST_F(TreeChanges, RefusedInsertionLeavesTheHostTreeAsItWas) {
    const std::string before = host.toXml();
    Owned story(at("project/story"));
    Owned page(at("project/layout/spread/page"));
    struct Case {
        int selector;
        int32_t status;
        bool newContent; // a Xerces-C element (new content) rather than the story (a move)
    } cases[] = {
        {Kw::host::ValidateElement, 0x10010, false},
        {Kw::host::InsertBeforeChild, 0x10003, false},
        {Kw::host::NavigateElement, 0x10007, false},
        {Kw::host::ValidateElement, 0x10010, true},
        {Kw::host::InsertNewChild, 0x10003, true},
    };
    for (const Case& c : cases) {
        dom::Owned<DOMElement> fresh(doc->createElement(u"box"));
        host.failAt(c.selector, c.status);
        EXPECT_EQ(domExceptionCode([&] { dom::dispose(page->appendChild(c.newContent ? fresh.get() : story.node)); }),
                  c.status & 0xFFFF)
            << c.selector;
        EXPECT_FALSE(host.failureArmed()) << c.selector;
        host.disarm();
        fresh.reset();
        EXPECT_EQ(host.toXml(), before) << c.selector;
    }
    host.failAt(Kw::host::SetAttributeValue, 0x7);
    EXPECT_EQ(domExceptionCode([&] { page.element()->setAttribute(u"number", u"2"); }), 7);
    host.failAt(Kw::host::RemoveChild, 0x7);
    EXPECT_EQ(domExceptionCode([&] { dom::dispose(page->removeChild(page->getFirstChild())); }), 7);
    EXPECT_EQ(host.toXml(), before);
}

TEST_F(TreeChanges, RefusalCodes) {
    Owned page(at("project/layout/spread/page"));
    Owned project(at("project"));
    Owned text1(at("project/story/paragraph/textRun")->getFirstChild());
    dom::dispose(domImpl::ElementImpl::create_(domImpl::refOf(text1.node).get_Parent(), doc));
    DOMAttr* attr = page.element()->getAttributeNode(u"number");
    Owned attrGuard(attr);
    DOMElement* scratch = doc->createElement(u"x");
    const dom::Owned<DOMElement> scratchGuard(scratch);
    struct Case {
        const char* what;
        std::function<void()> call;
        int code;
    } cases[] = {
        {"insert null", [&] { page->insertBefore(nullptr, nullptr); }, 16},
        {"insert an attribute", [&] { page->appendChild(attr); }, 9},
        {"append to itself", [&] { page->appendChild(page.node); }, 3},
        {"replace with an ancestor", [&] { Owned c(page->getFirstChild()); page->replaceChild(project.node, c.node); }, 3},
        {"replace a stranger", [&] { page->replaceChild(scratch, project.node); }, 8},
        {"remove a Xerces-C node", [&] { page->removeChild(scratch); }, 8},
        {"document insertBefore", [&] { doc->insertBefore(scratch, nullptr); }, 3},
        {"document appendChild", [&] { doc->appendChild(scratch); }, 3},
        {"document removeChild", [&] { doc->removeChild(page.node); }, 9},
        {"document replaceChild", [&] { doc->replaceChild(scratch, page.node); }, 9},
        {"importNode null", [&] { doc->importNode(nullptr, true); }, 11},
        {"createComment", [&] { doc->createComment(u"c"); }, 9},
        {"createRange", [&] { doc->createRange(); }, -1},
        {"document getElementsByTagName", [&] { doc->getElementsByTagName(u"x"); }, -1},
        {"removeAttribute", [&] { page.element()->removeAttribute(u"number"); }, -1},
        {"setNamedItem", [&] { page->getAttributes()->setNamedItem(scratch); }, 9},
        {"element getTextContent", [&] { page->getTextContent(); }, 9},
        {"attribute insertBefore", [&] { attr->appendChild(scratch); }, -1},
        {"attribute getAttributes", [&] { attr->getAttributes(); }, -1},
        {"text getAttributes", [&] { text1->getAttributes(); }, 9},
        {"text replaceChild", [&] { text1->replaceChild(scratch, scratch); }, 9},
        {"text splitText", [&] { static_cast<DOMText*>(text1.node)->splitText(1); }, 9},
    };
    for (const Case& c : cases) EXPECT_EQ(domExceptionCode(c.call), c.code) << c.what;
    EXPECT_EQ(text(page.element()->getAttribute(u"number")), u"1"); // removeAttribute changed nothing
    // Tree changes on text and index errors are thrown by value.
    try {
        text1->appendChild(scratch);
        ADD_FAILURE();
    } catch (dom::Exceptions::KwErrorCodes e) {
        EXPECT_EQ(e, 3);
    }
}

TEST_F(TreeChanges, CopyIntoMergesAttributesAndContent) {
    // From a Xerces-C element: attributes written, children inserted.
    dom::Owned<DOMElement> owned(doc->createElement(u"box"));
    DOMElement* source = owned.get();
    source->setAttribute(u"width", u"100");
    source->appendChild(doc->createElement(u"caption"));
    Owned b3(at("project/layout[2]/spread/page/box"));
    static_cast<domImpl::ElementImpl*>(b3.node)->copyInto(source, true);
    EXPECT_EQ(xml("project/layout[2]/spread/page/box"), "<box id=\"b3\" width=\"100\"><caption/></box>");
    // A child with an "ID" attribute is refused.
    DOMElement* bad = doc->createElement(u"item");
    bad->setAttribute(u"ID", u"1");
    source->appendChild(bad);
    try {
        static_cast<domImpl::ElementImpl*>(b3.node)->copyInto(source, true);
        ADD_FAILURE();
    } catch (dom::Exceptions::KwErrorCodes e) {
        EXPECT_EQ(e, 16);
    }
    owned.reset();
    // From a host element onto a typed element: matching children merged by tag name.
    Owned color(at("colors/color"));
    Owned other(at("colors/color[2]"));
    static_cast<domImpl::ElementImpl*>(color.node)->copyInto(other.node, true);
    EXPECT_EQ(text(color.element()->getAttribute(u"name")), u"Cyan");
    EXPECT_EQ(text(color.element()->getAttribute(u"id")), u"c2");
}

} // namespace
