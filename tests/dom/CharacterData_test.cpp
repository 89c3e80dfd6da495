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
    void TearDown() override { dom::dispose(textNode), dom::dispose(run.node), run.node = nullptr, DomTest::TearDown(); }
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

// Offsets and counts are UTF-16 units; an offset past the end is refused (1) and changes nothing, an
// offset at the end inserts or reads nothing, a count past the end stops at the end. Each row starts
// from "Hello, world" (12 units).
TEST_F(CharacterData, OffsetsAreUtf16UnitsAndBoundariesAreChecked) {
    enum Op { Substring, Insert, Delete, Replace, Append };
    struct Case {
        Op op;
        XMLSize_t offset, count;
        const char16_t* arg;
        const char16_t* result; // the text afterwards (the substring for Substring), or null: refused
    } cases[] = {
        {Substring, 7, 100, nullptr, u"world"},   {Substring, 12, 1, nullptr, u""},
        {Substring, 13, 1, nullptr, nullptr},     {Insert, 12, 0, u"!", u"Hello, world!"},
        {Insert, 13, 0, u"x", nullptr},           {Insert, 0, 0, u"\U0001F600 ", u"\U0001F600 Hello, world"},
        {Delete, 12, 1, nullptr, nullptr},        {Delete, 11, 1, nullptr, u"Hello, worl"},
        {Delete, 5, 100, nullptr, u"Hello"},      {Replace, 12, 1, u"x", nullptr},
        {Replace, 0, 5, u"Bye", u"Bye, world"},   {Replace, 7, 100, u"there", u"Hello, there"},
        {Append, 0, 0, u"?", u"Hello, world?"},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("row " + std::to_string(row++));
        textNode->setData(u"Hello, world");
        std::u16string got;
        const int code = indexError([&] {
            switch (c.op) {
            case Substring: got = text(textNode->substringData(c.offset, c.count)); break;
            case Insert: textNode->insertData(c.offset, c.arg); break;
            case Delete: textNode->deleteData(c.offset, c.count); break;
            case Replace: textNode->replaceData(c.offset, c.count, c.arg); break;
            case Append: textNode->appendData(c.arg); break;
            }
        });
        EXPECT_EQ(code, c.result ? 0 : 1);
        const std::u16string after = Kw::ElementRef::fromHandle(host.find("project/story/paragraph/textRun"))
                                         .get_FirstChild().GetTextValue().str();
        EXPECT_EQ(after, c.op != Substring && c.result ? c.result : u"Hello, world");
        EXPECT_EQ(got, c.op == Substring && c.result ? c.result : u"");
    }
    textNode->setData(u"\U0001F600 x");
    EXPECT_EQ(textNode->getLength(), 4u);
}

// replaceWholeText hands back the node itself, or null for an empty text (which it leaves alone); a
// read-only text refuses; a refused host read falls back to "".
TEST_F(CharacterData, WholeTextReadOnlyTextsAndRefusedReads) {
    EXPECT_TRUE(dom::Owned<DOMText>(textNode->replaceWholeText(u"whole"))->isSameNode(textNode));
    EXPECT_EQ(textNode->replaceWholeText(u""), nullptr);
    EXPECT_EQ(text(textNode->getData()), u"whole");
    Owned prefs(at("preferences"));
    Owned locked(prefs->getLastChild());
    EXPECT_EQ(domExceptionCode([&] { static_cast<DOMText*>(locked.node)->appendData(u"x"); }), 7);
    host.failAt(Kw::host::GetTextValue, 5);
    EXPECT_EQ(text(textNode->getNodeValue()), u"");
}

TEST_F(CharacterData, TextCopiesAreEqualButNotTheSameNode) {
    dom::Owned<DOMNode> copy(textNode->cloneNode(true));
    EXPECT_TRUE(domImpl::refOf(copy.get()).isNil());
    EXPECT_TRUE(textNode->isEqualNode(copy.get()));
    EXPECT_FALSE(textNode->isSameNode(copy.get())); // same type, name and value, but not the same host object
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
