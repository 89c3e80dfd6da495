#include <DOMKw/bridge/ObjectRef.hpp>

#include "bridge/AttributeRef.hpp"
#include "common/HostFixture.hpp"

using namespace Kw;
using testing_support::domExceptionCode;

namespace {

class References : public testing_support::HostTest {
protected:
    uint64_t adjustCalls() { return host.callCount(host::AdjustReference); }
    ElementRef at(const std::string& path) { return ElementRef::fromHandle(host.find(path)); }
};

TEST_F(References, CountingIsBalancedAndNilOrSelfMakeNoCall) {
    {
        ElementRef app = ElementRef::get_Application();
        EXPECT_EQ(app.get(), host.application());
        EXPECT_EQ(host.referencesOn(app.get()), 1);
        ElementRef copy(app);
        EXPECT_EQ(host.referencesOn(app.get()), 2);
        ElementRef other = app.get_FirstChild();
        EXPECT_EQ(host.outstandingReferences(), 3);

        const uint64_t before = adjustCalls();
        copy = copy;       // self-assignment
        copy = app;        // same handle
        ElementRef nil, nil2(nil);
        nil = nil2;        // nil to nil
        EXPECT_EQ(adjustCalls(), before);

        other = app;       // releases the child, acquires the application
        EXPECT_EQ(host.referencesOn(app.get()), 3);
        other = ElementRef();
        EXPECT_EQ(host.referencesOn(app.get()), 2);
    }
    EXPECT_EQ(host.outstandingReferences(), 0);
}

TEST_F(References, NavigationFollowsTheHostTree) {
    ElementRef app = ElementRef::get_Application();
    EXPECT_EQ(app.get_TagName().str(), u"application");
    EXPECT_EQ(app.get_NumChildren(), 3);
    ElementRef prefs = app.get_FirstChild();
    EXPECT_EQ(prefs.get_TagName().str(), u"preferences");
    EXPECT_TRUE(prefs.get_PreviousSibling().isNil());
    ElementRef colors = prefs.get_NextSibling();
    EXPECT_EQ(colors.get_Parent().get(), app.get());
    EXPECT_TRUE(app.get_Parent().isNil());
    ElementRef run = app.getElementByTagName(StringKey(u"textRun"));
    EXPECT_EQ(run.get(), host.find("project/story/paragraph/textRun"));
    ElementRef text = run.get_FirstChild();
    EXPECT_TRUE(text.IsTextNode());
    EXPECT_FALSE(run.IsTextNode());
    EXPECT_EQ(text.GetTextValue().str(), u"Hello, world");
    EXPECT_EQ(text.get_TagName().str(), u"#text");
    EXPECT_TRUE(app.getElementByTagName(StringKey(u"nothing")).isNil());
    // A stale or unknown handle is refused, never a crash.
    EXPECT_TRUE(ElementRef().get_FirstChild().isNil());
    EXPECT_EQ(domExceptionCode([] { ElementRef::fromHandle(999999); }), 8);
}

TEST_F(References, StructureAndContent) {
    ElementRef page = at("project/layout/spread/page");
    ElementRef b2 = at("project/layout/spread/page/box[2]");
    {
        ElementRef added = page.InsertBeforeChild(DOMBTString(u"<box id=\"new\"><note>n</note></box>"), b2, 0);
        EXPECT_EQ(host.referencesOn(added.get()), 1); // the host's reference, not one more
        EXPECT_EQ(added.get_NextSibling().get(), b2.get());
        EXPECT_EQ(added.GetAttributeValue(StringKey(u"id")).str(), u"new");
        ElementRef text = page.InsertBeforeChild(DOMBTString(u"plain &lt;text&gt;"), ElementRef(), 1);
        EXPECT_TRUE(text.IsTextNode());
        EXPECT_EQ(text.GetTextValue().str(), u"plain <text>");
        text.SetTextValue(5, DOMBTString(u" inserted"));
        text.DeleteTextValue(0, 6);
        EXPECT_EQ(text.GetTextValue().str(), u"inserted <text>");
        EXPECT_EQ(domExceptionCode([&] { text.SetTextValue(99, DOMBTString(u"x")); }), 1);
        // Malformed XML is refused and changes nothing.
        const int children = page.get_NumChildren();
        EXPECT_EQ(domExceptionCode([&] { page.InsertBeforeChild(DOMBTString(u"<box"), ElementRef(), 0); }), 12);
        EXPECT_EQ(page.get_NumChildren(), children);
        // Moving an existing element; removing it keeps our reference valid.
        ElementRef story = at("project/story");
        page.InsertBeforeChild(story, added);
        EXPECT_EQ(story.get_Parent().get(), page.get());
        page.RemoveChild(story);
        EXPECT_TRUE(story.get_Parent().isNil());
        EXPECT_EQ(story.get_TagName().str(), u"story");
        EXPECT_EQ(domExceptionCode([&] { page.RemoveChild(story); }), 8);
        // An element cannot go under itself.
        EXPECT_EQ(domExceptionCode([&] { page.InsertBeforeChild(at("project"), ElementRef()); }), 3);
    }
    EXPECT_EQ(host.outstandingReferences(), 2); // page and b2
}

TEST_F(References, AttributesAndReadOnly) {
    ElementRef color = at("colors/color");
    EXPECT_EQ(color.GetAttribute(StringKey(u"name")).str(), u"Black");
    EXPECT_EQ(color.SetAttribute(StringKey(u"name"), DOMBTString(u"Noir")).str(), u"Black");
    EXPECT_EQ(color.GetAttributeValue(StringKey(u"name")).str(), u"Noir");
    EXPECT_EQ(color.GetAttribute(StringKey(u"missing")).str(), u"");
    auto keys = color.get_AttributeKeys();
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(std::u16string(keys[2].GetUChar16()), u"xsi:type");
    EXPECT_TRUE(color.hasAttributeNS(StringKey(u"http://www.w3.org/2001/XMLSchema-instance"), StringKey(u"type")));
    EXPECT_EQ(color.GetAttributeValueNS(StringKey(u"http://www.w3.org/2001/XMLSchema-instance"), StringKey(u"type"))
                  .str(),
              u"ProcessColor");
    EXPECT_TRUE(ElementRef::get_Application().CanReplace(color) == false);
    EXPECT_TRUE(at("project/layout/spread").CanReplace(color));

    ElementRef prefs = at("preferences");
    EXPECT_TRUE(prefs.IsReadOnly());
    EXPECT_TRUE(prefs.get_FirstChild().IsReadOnly());
    EXPECT_EQ(domExceptionCode([&] { prefs.SetAttribute(StringKey(u"x"), DOMBTString(u"1")); }), 7);
    EXPECT_EQ(domExceptionCode([&] { prefs.RemoveChild(prefs.get_FirstChild()); }), 7);
    // Host refusal of a read falls back to "".
    host.failAt(host::GetAttributeValue, 5);
    EXPECT_EQ(color.GetAttribute(StringKey(u"id")).str(), u"");
}

TEST_F(References, AttributeRecord) {
    ElementRef app = ElementRef::get_Application();
    AttributeRef version(app, StringKey(u"version"));
    EXPECT_TRUE(version.isImplied());
    EXPECT_EQ(version.read().str(), u"1");
    version.write(DOMBTString(u"2"));
    EXPECT_FALSE(version.isImplied());

    ElementRef color = at("colors/color");
    AttributeRef name(color, StringKey(u"name"));
    bool isDefault = false;
    name.read(&isDefault);
    EXPECT_TRUE(isDefault);
    EXPECT_TRUE(AttributeRef(color, StringKey(u"id")).isUncopyable());
    EXPECT_FALSE(name.isUncopyable());

    AttributeRef type(color, StringKey(u"xsi:type"));
    type.resolveName();
    EXPECT_EQ(std::u16string(type.nsKey.GetUChar16()), u"http://www.w3.org/2001/XMLSchema-instance");
    EXPECT_EQ(std::u16string(type.resolvedKey3.GetUChar16()), u"xsi");
    EXPECT_EQ(std::u16string(type.resolvedKey4.GetUChar16()), u"type");
    EXPECT_EQ(domExceptionCode([&] { AttributeRef(color, StringKey(u"gone")).isImplied(); }), 8);
}

TEST_F(References, HeaderAttributes) {
    int number = 0;
    DOMBTString name(u"untouched"), value(u"untouched");
    EXPECT_EQ(ElementRef::GetXMLHeaderAttr(0, number, name, value), 0);
    EXPECT_EQ(number, 2);
    EXPECT_EQ(name.str(), u"untouched");
    number = 2;
    EXPECT_EQ(ElementRef::GetXMLHeaderAttr(1, number, name, value), 0);
    EXPECT_EQ(name.str(), u"schemaVersion");
    EXPECT_EQ(value.str(), u"6.0");
    number = 3;
    EXPECT_NE(ElementRef::GetXMLHeaderAttr(1, number, name, value), 0);
}

} // namespace
