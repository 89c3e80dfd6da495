// Text and attribute nodes over host objects.
#include "common/DomFixture.hpp"

using namespace testing_support;

namespace {

class CharacterData : public DomTest {};

// Offsets at every boundary (0, the length, one past it, inside a surrogate pair) are compared with a
// native text in RandomChanges_test.cpp.

// replaceWholeText hands back the node itself, or null for an empty text (which it leaves alone); a copy
// is equal but not the same host object; a read-only text refuses; a refused host read falls back to "".
TEST_F(CharacterData, WholeTextCopiesReadOnlyTextsAndRefusedReads) {
    Owned run(at("project/story/paragraph/textRun")), first(run->getFirstChild());
    auto* textNode = static_cast<DOMText*>(first.node);
    EXPECT_TRUE(dom::Owned<DOMText>(textNode->replaceWholeText(u"whole"))->isSameNode(textNode));
    EXPECT_EQ(textNode->replaceWholeText(u""), nullptr);
    EXPECT_EQ(text(textNode->getData()), u"whole");
    dom::Owned<DOMNode> copy(textNode->cloneNode(true));
    EXPECT_TRUE(domImpl::refOf(copy.get()).isNil());
    EXPECT_TRUE(textNode->isEqualNode(copy.get()) && !textNode->isSameNode(copy.get()));
    Owned prefs(at("preferences"));
    Owned locked(prefs->getLastChild());
    EXPECT_EQ(domExceptionCode([&] { static_cast<DOMText*>(locked.node)->appendData(u"x"); }), 7);
    host.failAt(Kw::host::GetTextValue, 5);
    EXPECT_EQ(text(textNode->getNodeValue()), u"");
}

// Specified: not for a default value nor an implied attribute, yes once written. Uncopyable: copyAttribute
// declines, cloneNode copies anyway. The attribute map follows writes made by anyone.
TEST_F(CharacterData, AttributeNodesFollowTheHostsAttributeRecords) {
    Owned color(at("colors/color"));
    DOMNamedNodeMap* attrs = color->getAttributes();
    Owned name(attrs->getNamedItem(u"name")), app(doc->getDocumentElement());
    Owned version(app.element()->getAttributeNode(u"version"));
    EXPECT_FALSE(static_cast<DOMAttr*>(name.node)->getSpecified());
    EXPECT_FALSE(static_cast<DOMAttr*>(version.node)->getSpecified());
    Owned id(attrs->getNamedItem(u"id"));
    EXPECT_EQ(static_cast<domImpl::AttrImpl*>(id.node)->copyAttribute(), nullptr);
    dom::Owned<DOMNode> clone(id->cloneNode(false));
    EXPECT_EQ(text(clone->getNodeValue()), u"c1");
    static_cast<DOMAttr*>(name.node)->setValue(u"Noir");
    EXPECT_EQ(text(color.element()->getAttribute(u"name")), u"Noir");
    EXPECT_TRUE(static_cast<DOMAttr*>(name.node)->getSpecified());

    Owned c2(at("colors/color[2]")); // id, name
    ASSERT_EQ(c2->getAttributes()->getLength(), 2u);
    c2.element()->setAttribute(u"extra", u"1");
    Kw::ElementRef::fromHandle(host.find("colors/color[2]")).SetAttribute(Kw::StringKey(u"byHost"), u"2");
    c2.element()->setAttribute(u"xsi:type", u"SpotColor");
    ASSERT_EQ(c2->getAttributes()->getLength(), 5u);
    Owned last(c2->getAttributes()->item(4));
    EXPECT_EQ(text(last->getNodeName()), u"xsi:type");
    EXPECT_EQ(c2->getAttributes()->item(5), nullptr);
}

} // namespace
