// References to host objects (ObjectRef / ElementRef / AttributeRef) against the host's tree and counts.
#include <DOMKw/bridge/ObjectRef.hpp>

#include <functional>

#include "bridge/AttributeRef.hpp"
#include "bridge/CallbackTable.hpp"
#include "common/HostFixture.hpp"

using namespace Kw;
using testing_support::domExceptionCode;

namespace {

class References : public testing_support::HostTest {
protected:
    ElementRef at(const std::string& path) { return ElementRef::fromHandle(host.find(path)); }
    std::u16string raw(const ElementRef& e, const char16_t* name) { return e.GetAttribute(StringKey(name)).str(); }
};

// Getting, copying, moving or assigning holds what it should; nil and self assignments call nothing.
TEST_F(References, EveryHandOutHoldsExactlyOneReference) {
    ElementRef page = at("project/layout/spread/page");
    ElementRef first = at("project/layout/spread/page/box");
    ElementRef second = at("project/layout/spread/page/box[2]");
    const int64_t baseline = host.outstandingReferences();
    struct Step {
        const char* name;
        std::function<ElementRef()> go;
        HostRef expected;
    } steps[] = {
        {"first child", [&] { return page.get_FirstChild(); }, first.get()},
        {"application", [&] { return ElementRef::get_Application(); }, host.application()},
        {"none", [&] { return second.get_NextSibling(); }, ElementRef::NIL},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        const int64_t on = s.expected >= 0 ? host.referencesOn(s.expected) : 0, one = s.expected >= 0 ? 1 : 0;
        {
            ElementRef r = s.go();
            EXPECT_EQ(r.get(), s.expected);
            if (s.expected >= 0) {
                EXPECT_EQ(host.referencesOn(s.expected), on + 1);
            }
            ElementRef copy(r), assigned;
            assigned = copy;
            EXPECT_EQ(host.outstandingReferences(), baseline + 3 * one);
            const uint64_t adjusts = host.callCount(host::AdjustReference);
            ElementRef moved(std::move(copy)), nil, nil2(nil);
            copy = copy; // a moved-from reference assigned to itself
            assigned = assigned;
            assigned = r; // same handle
            nil = nil2;
            EXPECT_EQ(host.callCount(host::AdjustReference), adjusts);
            EXPECT_TRUE(copy.isNil());
            EXPECT_EQ(moved.get(), s.expected);
            EXPECT_EQ(host.outstandingReferences(), baseline + 3 * one);
            moved = ElementRef();
            EXPECT_EQ(host.outstandingReferences(), baseline + 2 * one);
        }
        EXPECT_EQ(host.outstandingReferences(), baseline);
    }
}

TEST_F(References, NavigationAndStructureFollowTheHostTree) {
    ElementRef app = ElementRef::get_Application();
    EXPECT_TRUE(app.get_Parent().isNil() && app.get_FirstChild().get_PreviousSibling().isNil());
    ElementRef run = app.getElementByTagName(StringKey(u"textRun"));
    EXPECT_EQ(run.get(), host.find("project/story/paragraph/textRun"));
    ElementRef text = run.get_FirstChild();
    EXPECT_TRUE(text.IsTextNode() && !run.IsTextNode());
    EXPECT_EQ(text.get_TagName().str(), u"#text");
    EXPECT_TRUE(app.getElementByTagName(StringKey(u"nothing")).isNil() &&
                ElementRef().get_FirstChild().isNil());
    EXPECT_EQ(domExceptionCode([] { ElementRef::fromHandle(999999); }), 8); // stale handle refused

    ElementRef page = at("project/layout/spread/page"), b2 = at("project/layout/spread/page/box[2]");
    ElementRef added = page.InsertBeforeChild(DOMBTString(u"<box id=\"new\"><note>n</note></box>"), b2, 0);
    EXPECT_EQ(host.referencesOn(added.get()), 1); // the host's reference, not one more
    EXPECT_EQ(added.get_NextSibling().get(), b2.get());
    EXPECT_EQ(added.GetAttributeValue(StringKey(u"id")).str(), u"new");
    ElementRef plain = page.InsertBeforeChild(DOMBTString(u"plain &lt;text&gt;"), ElementRef(), 1);
    EXPECT_EQ(plain.GetTextValue().str(), u"plain <text>");
    plain.SetTextValue(5, DOMBTString(u" inserted"));
    plain.DeleteTextValue(0, 6);
    EXPECT_EQ(plain.GetTextValue().str(), u"inserted <text>");
    EXPECT_EQ(domExceptionCode([&] { plain.SetTextValue(99, DOMBTString(u"x")); }), 1);
    const int children = page.get_NumChildren();
    EXPECT_EQ(domExceptionCode([&] { page.InsertBeforeChild(DOMBTString(u"<box"), ElementRef(), 0); }), 12);
    EXPECT_EQ(page.get_NumChildren(), children);
    ElementRef story = at("project/story");
    page.InsertBeforeChild(story, added);
    page.RemoveChild(story);
    EXPECT_EQ(story.get_TagName().str(), u"story"); // a removed element stays readable
    EXPECT_EQ(domExceptionCode([&] { page.RemoveChild(story); }), 8);
    EXPECT_EQ(domExceptionCode([&] { page.InsertBeforeChild(at("project"), ElementRef()); }), 3);
}

TEST_F(References, AttributesRecordsAndReadOnlyElements) {
    // Default, implied and uncopyable attributes as the DOM sees them: NoDataLoss_test.cpp.
    ElementRef color = at("colors/color");
    EXPECT_EQ(color.SetAttribute(StringKey(u"name"), DOMBTString(u"Noir")).str(), u"Black");
    EXPECT_EQ(color.GetAttributeValue(StringKey(u"name")).str(), u"Noir");
    const StringKey xsi(u"http://www.w3.org/2001/XMLSchema-instance");
    EXPECT_TRUE(color.hasAttributeNS(xsi, StringKey(u"type")));
    EXPECT_EQ(color.GetAttributeValueNS(xsi, StringKey(u"type")).str(), u"ProcessColor");
    EXPECT_FALSE(ElementRef::get_Application().CanReplace(color));
    EXPECT_TRUE(at("project/layout/spread").CanReplace(color));
    ElementRef prefs = at("preferences");
    EXPECT_TRUE(prefs.IsReadOnly() && prefs.get_FirstChild().IsReadOnly());
    EXPECT_EQ(domExceptionCode([&] { prefs.SetAttribute(StringKey(u"x"), DOMBTString(u"1")); }), 7);
    EXPECT_EQ(domExceptionCode([&] { prefs.RemoveChild(prefs.get_FirstChild()); }), 7);

    AttributeRef version(ElementRef::get_Application(), StringKey(u"version"));
    version.write(DOMBTString(u"2"));
    EXPECT_FALSE(version.isImplied());
    EXPECT_EQ(domExceptionCode([&] { AttributeRef(color, StringKey(u"gone")).isImplied(); }), 8);

    int number = 3; // header reads themselves: ReferenceHost and WellFormed
    DOMBTString name, value;
    EXPECT_NE(ElementRef::GetXMLHeaderAttr(1, number, name, value), 0);
}

TEST_F(References, TypedAttributesReadAndWriteThroughText) {
    ElementRef box = at("project/layout/spread/page/box");
    const StringKey bounds(u"bounds"), size(u"size"), locked(u"locked");
    ObjectRef::DoubleRef next;
    next.first = 5;
    next.second = 7;
    const ObjectRef::DoubleRef previous = box.SetAttribute(bounds, next);
    EXPECT_EQ(previous.first * 100 + previous.second, 1197); // 12/-3
    EXPECT_EQ(raw(box, u"bounds"), u"5/7");
    next.first = 0x100000005LL; // only the low 32 bits of each number are written, signed
    next.second = -0x80000001LL;
    box.SetAttribute(bounds, next);
    EXPECT_EQ(raw(box, u"bounds"), u"5/2147483647");
    // Reads of every form of pair text are checked against the 8-bit route in PairText_test.cpp.
    EXPECT_EQ(box.SetAttribute(size, int32_t{-40}), 0); // no previous text
    EXPECT_EQ(raw(box, u"size"), u"-40");
    EXPECT_EQ(box.SetAttribute(size, int32_t{9}), -40);
    EXPECT_EQ(box.GetAttributeUShort(size), 9);
    EXPECT_EQ(box.SetAttribute(size, static_cast<unsigned short>(65535)), 9);
    EXPECT_EQ(box.GetAttributeLong(size), 65535);
    box.SetAttribute(locked, u"1"); // a literal is text, never the bool overload
    EXPECT_EQ(raw(box, u"locked"), u"1");
    EXPECT_TRUE(box.GetAttributeBool(locked));
    EXPECT_TRUE(box.SetAttribute(locked, false));
    EXPECT_EQ(raw(box, u"locked"), u"false");
    EXPECT_FALSE(box.SetAttribute(locked, true));
    box.SetAttribute(locked, DOMBTString(u"maybe"));
    EXPECT_EQ(domExceptionCode([&] { box.GetAttributeBool(locked); }), 16);
    EXPECT_EQ(domExceptionCode([&] { box.GetAttributeBool(StringKey(u"absent")); }), 16);
    // A boolean over a text that was none is written, and answers false rather than a validation error.
    EXPECT_FALSE(box.SetAttribute(StringKey(u"id"), true));
    EXPECT_EQ(raw(box, u"id"), u"true");
}

// A host with 300 attributes is played by a GetAttributeKeys of our own (the reference host keeps 255).
HostKey wideKeys[300];
HostRef wideElement = -1;
HostStatus threeHundredKeys(int32_t* count, HostRef ref, HostKey* keys, int32_t capacity) {
    *count = 0;
    if (ref != wideElement) return 0;
    for (int32_t i = 0; i < 300 && i < capacity; ++i) keys[i] = wideKeys[i];
    *count = 300;
    return 0;
}

TEST_F(References, AtMost255AttributeKeys) {
    host.loadString("<application><wide/><narrow/></application>");
    ElementRef wide = at("wide");
    wideElement = wide.get();
    for (int i = 0; i < 300; ++i) wideKeys[i] = host.keyOf(u"a" + std::u16string(1, u'0' + i % 10) + u"_" +
                                                            std::u16string(1, u'0' + i / 10 % 10) + std::u16string(1, u'0' + i / 100));
    uint64_t words[host::SelectorCount];
    auto install = [&](bool ours) {
        for (int i = 0; i < host::SelectorCount; ++i) words[i] = static_cast<uint64_t>(i);
        host.activateRec().GetCallbacks(words, host::SelectorCount);
        if (ours) words[host::GetAttributeKeys] = reinterpret_cast<uint64_t>(&threeHundredKeys);
        host::installCallbacks(words);
    };
    install(true);
    const std::vector<StringKey> keys = wide.get_AttributeKeys();
    const bool narrowEmpty = at("narrow").get_AttributeKeys().empty();
    const bool narrowReplaces = at("narrow").CanReplace(wide), wideReplaces = wide.CanReplace(at("narrow"));
    install(false);
    ASSERT_EQ(keys.size(), 255u);
    EXPECT_EQ(keys[0].GetUChar16(), std::u16string(u"a0_00"));
    EXPECT_EQ(keys[254].GetUChar16(), std::u16string(u"a4_52"));
    EXPECT_TRUE(narrowEmpty && narrowReplaces && !wideReplaces);
}

} // namespace
