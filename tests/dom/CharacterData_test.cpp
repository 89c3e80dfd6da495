// Text and attribute nodes over host objects.
#include "common/DomFixture.hpp"

using namespace testing_support;

namespace {

class CharacterData : public DomTest {
protected:
    void SetUp() override {
        DomTest::SetUp();
        run.node = at("project/story/paragraph/textRun");
        textNode = static_cast<DOMText*>(run->getFirstChild());
    }
    void TearDown() override {
        dom::dispose(textNode);
        dom::dispose(run.node);
        run.node = nullptr;
        DomTest::TearDown();
    }
    int indexError(const std::function<void()>& call) {
        try {
            call();
        } catch (dom::Exceptions::KwErrorCodes e) {
            return e;
        }
        return 0;
    }
    Owned run;
    DOMText* textNode = nullptr;
};

TEST_F(CharacterData, OffsetsAreUtf16UnitsAndBoundariesAreChecked) {
    const XMLSize_t n = textNode->getLength(); // "Hello, world"
    ASSERT_EQ(n, 12u);
    EXPECT_EQ(text(textNode->substringData(7, 100)), u"world");
    EXPECT_EQ(text(textNode->substringData(12, 1)), u"");
    EXPECT_EQ(indexError([&] { textNode->substringData(13, 1); }), 1); // never reads past the text
    textNode->insertData(n, u"!");
    EXPECT_EQ(indexError([&] { textNode->insertData(textNode->getLength() + 1, u"x"); }), 1);
    EXPECT_EQ(indexError([&] { textNode->deleteData(textNode->getLength(), 1); }), 1);
    EXPECT_EQ(indexError([&] { textNode->replaceData(textNode->getLength(), 1, u"x"); }), 1);
    textNode->insertData(0, u"\U0001F600 ");
    EXPECT_EQ(textNode->getLength(), 16u);
    textNode->deleteData(0, 3);
    textNode->replaceData(0, 5, u"Bye");
    textNode->appendData(u"?");
    EXPECT_EQ(text(textNode->getData()), u"Bye, world!?");
    textNode->deleteData(3, 100);
    EXPECT_EQ(text(textNode->getNodeValue()), u"Bye");
    EXPECT_EQ(host.toXml(host.find("project/story/paragraph/textRun")), "<textRun size=\"10pt\">Bye</textRun>");
}

TEST_F(CharacterData, EachChangeIsAtMostOneDeletionThenOneInsertion) {
    host.resetCallCounts();
    textNode->replaceData(0, 5, u"Howdy");
    EXPECT_EQ(host.callCount(Kw::host::DeleteTextValue), 1u);
    EXPECT_EQ(host.callCount(Kw::host::SetTextValue), 1u);
    host.resetCallCounts();
    textNode->setNodeValue(u"");
    EXPECT_EQ(host.callCount(Kw::host::DeleteTextValue), 1u);
    EXPECT_EQ(host.callCount(Kw::host::SetTextValue), 1u);
    EXPECT_EQ(textNode->getLength(), 0u);
    host.resetCallCounts();
    textNode->setData(u"fresh"); // nothing to delete
    EXPECT_EQ(host.callCount(Kw::host::DeleteTextValue), 0u);
    EXPECT_EQ(text(textNode->getWholeText()), u"fresh");
    dom::Owned<DOMText> again(textNode->replaceWholeText(u"whole"));
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->isSameNode(textNode));
    again.reset();
    EXPECT_EQ(textNode->replaceWholeText(u""), nullptr);
    EXPECT_EQ(text(textNode->getData()), u"whole");
    // A read-only text refuses, and a failing host read falls back to "".
    Owned prefs(at("preferences"));
    Owned locked(prefs->getLastChild());
    EXPECT_EQ(domExceptionCode([&] { static_cast<DOMText*>(locked.node)->appendData(u"x"); }), 7);
    host.failAt(Kw::host::GetTextValue, 5);
    EXPECT_EQ(text(textNode->getNodeValue()), u"");
}

TEST_F(CharacterData, TextCopiesAndComparisons) {
    dom::Owned<DOMNode> copy(textNode->cloneNode(true));
    EXPECT_TRUE(domImpl::refOf(copy.get()).isNil());
    EXPECT_TRUE(textNode->isEqualNode(copy.get()));
    EXPECT_FALSE(textNode->isSameNode(copy.get())); // same type, name and value, but not the same host object
    copy.reset();
    EXPECT_EQ(text(textNode->getNodeName()), u"#text");
    EXPECT_EQ(textNode->getChildNodes(), nullptr);
}

TEST_F(CharacterData, AttributeNodes) {
    Owned color(at("colors/color"));
    DOMNamedNodeMap* attrs = color->getAttributes();
    EXPECT_EQ(attrs, static_cast<DOMNamedNodeMap*>(static_cast<domImpl::ElementImpl*>(color.node)));
    ASSERT_EQ(attrs->getLength(), 3u);
    Owned type(attrs->item(2));
    auto* typeAttr = static_cast<DOMAttr*>(type.node);
    EXPECT_EQ(text(typeAttr->getName()), u"xsi:type");
    EXPECT_EQ(text(typeAttr->getLocalName()), u"type");
    EXPECT_EQ(text(typeAttr->getPrefix()), u"xsi");
    EXPECT_EQ(text(typeAttr->getNamespaceURI()), u"http://www.w3.org/2001/XMLSchema-instance");
    EXPECT_TRUE(typeAttr->getSpecified());
    Owned owner(typeAttr->getOwnerElement());
    EXPECT_EQ(owner.node, color.node);
    EXPECT_EQ(typeAttr->getChildNodes()->getLength(), 0u);
    EXPECT_EQ(typeAttr->getChildNodes(), typeAttr->getChildNodes());

    // A default value is not specified; an implied attribute is not specified whatever its value.
    Owned name(attrs->getNamedItem(u"name"));
    EXPECT_FALSE(static_cast<DOMAttr*>(name.node)->getSpecified());
    Owned app(doc->getDocumentElement());
    Owned version(app.element()->getAttributeNode(u"version"));
    EXPECT_FALSE(static_cast<DOMAttr*>(version.node)->getSpecified());
    // Uncopyable: copyAttribute declines, cloneNode copies anyway.
    Owned id(attrs->getNamedItem(u"id"));
    auto* idAttr = static_cast<domImpl::AttrImpl*>(id.node);
    EXPECT_EQ(idAttr->copyAttribute(), nullptr);
    dom::Owned<DOMNode> clone(idAttr->cloneNode(false));
    EXPECT_EQ(text(clone->getNodeValue()), u"c1");
    clone.reset();

    // Writing through the node writes the host attribute.
    static_cast<DOMAttr*>(name.node)->setValue(u"Noir");
    EXPECT_EQ(text(color.element()->getAttribute(u"name")), u"Noir");
    EXPECT_TRUE(static_cast<DOMAttr*>(name.node)->getSpecified());
    Owned set(color.element()->setAttributeNode(doc->createAttribute(u"tint")));
    EXPECT_TRUE(color.element()->hasAttribute(u"tint"));
    color.element()->setAttributeNS(u"http://www.w3.org/2001/XMLSchema-instance", u"xsi:type", u"SpotColor");
    EXPECT_EQ(text(color.element()->getAttributeNS(u"http://www.w3.org/2001/XMLSchema-instance", u"type")),
              u"SpotColor");
    EXPECT_TRUE(color.element()->hasAttributeNS(u"http://www.w3.org/2001/XMLSchema-instance", u"type"));
}

TEST_F(CharacterData, AttributeMapFollowsEveryWrite) {
    Owned color(at("colors/color[2]")); // id, name
    ASSERT_EQ(color->getAttributes()->getLength(), 2u);
    color.element()->setAttribute(u"extra", u"1");
    EXPECT_EQ(color->getAttributes()->getLength(), 3u);
    Kw::ElementRef::fromHandle(host.find("colors/color[2]")).SetAttribute(Kw::StringKey(u"byHost"), u"2");
    color.element()->setAttribute(u"xsi:type", u"SpotColor");
    ASSERT_EQ(color->getAttributes()->getLength(), 5u);
    Owned last(color->getAttributes()->item(4));
    EXPECT_EQ(text(last->getNodeName()), u"xsi:type");
    Owned past(color->getAttributes()->item(5));
    EXPECT_EQ(past.node, nullptr);
}

TEST_F(CharacterData, ElementSearches) {
    Owned colors(at("colors"));
    Owned black(static_cast<domImpl::ElementImpl*>(colors.node)->findChildByAttribute(u"name", u"Black"));
    EXPECT_EQ(text(black.element()->getAttribute(u"id")), u"c1");
    EXPECT_EQ(static_cast<domImpl::ElementImpl*>(colors.node)->findChildByAttribute(u"name", u"None"), nullptr);
    Owned app(doc->getDocumentElement());
    Owned run(getElementByTagName(app.element(), DOMBTString(u"textRun")));
    EXPECT_EQ(text(run.element()->getAttribute(u"size")), u"10pt");
    EXPECT_EQ(getElementByTagName(app.element(), DOMBTString(u"none")), nullptr);

    // Typed children: A, B, A counts two from the first A.
    colors.element()->setAttribute(u"xsi:type", u"Palette");
    Owned c2(at("colors/color[2]"));
    c2.element()->setAttribute(u"xsi:type", u"Other");
    Owned added(colors->appendChild(doc->createElement(u"color")));
    added.element()->setAttribute(u"xsi:type", u"ProcessColor");
    DOMNodeList* typed = getElementsByTypeName(colors.element(), DOMBTString(u"ProcessColor"));
    ASSERT_NE(typed, nullptr);
    EXPECT_EQ(typed->getLength(), 2u);
    Owned second(typed->item(1));
    EXPECT_EQ(second.node, added.node);
    EXPECT_EQ(typed->item(2), nullptr);
    EXPECT_EQ(getElementsByTypeName(colors.element(), DOMBTString(u"Missing"))->getLength(), 0u);
    const dom::Owned<DOMElement> scratch(doc->createElement(u"x"));
    EXPECT_EQ(getElementsByTypeName(scratch.get(), DOMBTString(u"ProcessColor")), nullptr);
    EXPECT_EQ(getElementByTagName(scratch.get(), DOMBTString(u"y")), nullptr);
}

TEST_F(CharacterData, DocumentBasics) {
    EXPECT_EQ(text(doc->getXmlVersion()), u"1.0");
    EXPECT_EQ(text(doc->getXmlEncoding()), u"");
    EXPECT_EQ(text(doc->getInputEncoding()), u"UTF-16");
    doc->setXmlVersion(u"1.1");
    EXPECT_EQ(text(doc->getXmlVersion()), u"1.1");
    EXPECT_EQ(doc->getNodeType(), DOMNode::DOCUMENT_NODE);
    EXPECT_EQ(doc->getOwnerDocument(), nullptr);
    Owned first(doc->getFirstChild());
    Owned element(doc->getDocumentElement());
    Owned viaElement(element->getFirstChild());
    EXPECT_EQ(first.node, viaElement.node);
    EXPECT_TRUE(doc->hasChildNodes());
    EXPECT_EQ(doc->getChildNodes()->getLength(), 3u);
    EXPECT_EQ(text(doc->lookupNamespaceURI(u"xsi")), u"http://www.w3.org/2001/XMLSchema-instance");
    EXPECT_EQ(doc->lookupNamespaceURI(u"none"), nullptr);
    Owned colors(at("colors"));
    EXPECT_EQ(text(colors->lookupNamespaceURI(u"xsi")), u"http://www.w3.org/2001/XMLSchema-instance");
    EXPECT_EQ(colors->getNamespaceURI(), nullptr); // no namespace is null, not ""
    EXPECT_EQ(text(colors->getLocalName()), u"colors");
    // The host refuses the import of a file that does not exist: false, no exception.
    EXPECT_FALSE(doc->load(u"/nonexistent/project.xml"));
}

} // namespace
