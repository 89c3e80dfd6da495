// Changes made through the DOM lose nothing; the host tree is read through the reference host itself.
#include <functional>

#include "common/NativeDom.hpp"
#include "common/DomFixture.hpp"

using namespace testing_support;

namespace {

class NoDataLoss : public DomTest {
protected:
    std::string xml(const std::string& path) { return host.toXml(host.find(path)); }
};

// exportCopy leaves out read-only children and uncopyable attributes; cloneNode and moves keep them.
TEST_F(NoDataLoss, movingAnElementKeepsReadOnlyContentAndUncopyableAttributes) {
    Owned colors(at("colors")), project(at("project")), app(doc->getDocumentElement());
    dom::Owned<DOMElement> exported(static_cast<DOMElement*>(static_cast<domImpl::ElementImpl*>(app.node)->exportCopy(true)));
    EXPECT_EQ(exported->getElementsByTagName(u"preferences")->getLength(), 0u);
    auto* firstColor = static_cast<DOMElement*>(exported->getElementsByTagName(u"color")->item(0));
    EXPECT_TRUE(!firstColor->hasAttribute(u"id") && firstColor->hasAttribute(u"name"));
    exported.reset();
    dom::Owned<DOMElement> clone(static_cast<DOMElement*>(app->cloneNode(true)));
    EXPECT_EQ(clone->getElementsByTagName(u"preferences")->getLength(), 1u);
    EXPECT_TRUE(static_cast<DOMElement*>(clone->getElementsByTagName(u"color")->item(0))->hasAttribute(u"id"));
    clone.reset();
    const std::string moved = xml("colors");
    dom::dispose(project->appendChild(colors.node));
    EXPECT_EQ(xml("project/colors"), moved);
    EXPECT_NE(host.toXml(host.find("project/colors"), true).find("id=\"c1\""), std::string::npos);
}

TEST_F(NoDataLoss, isEqualNodeComparesAttributeValues) {
    Owned box(at("project/layout/spread/page/box")); // id="b1" bounds="12/-3"
    const std::u16string cases[][3] = {{u"b1", u"bounds", u"12/-3"},
                                       {u"b1", u"bounds", u"12/-4"},
                                       {u"b2", u"bounds", u"12/-3"},
                                       {u"b1", u"other", u"12/-3"}};
    for (const auto& c : cases) {
        dom::Owned<DOMElement> twin(doc->createElement(u"box"));
        twin->setAttribute(u"id", c[0].c_str());
        twin->setAttribute(c[1].c_str(), c[2].c_str());
        EXPECT_EQ(box->isEqualNode(twin.get()), &c == &cases[0]) << &c - &cases[0];
    }
    Owned b2(at("project/layout/spread/page/box[2]")), b3(at("project/layout[2]/spread/page/box"));
    b3.element()->setAttribute(u"id", u"b2");
    EXPECT_TRUE(b2->isEqualNode(b3.node));
    b3.element()->setAttribute(u"id", u"b9");
    EXPECT_FALSE(b2->isEqualNode(b3.node));
}

// Refused by the library before any change reaches the host (which would refuse some itself).
TEST_F(NoDataLoss, refusedCallsAnswerTheirCodeAndKeepTheTree) {
    const std::string before = host.toXml();
    Owned page(at("project/layout/spread/page")), project(at("project")), story(at("project/story"));
    Owned text1(at("project/story/paragraph/textRun")->getFirstChild());
    dom::dispose(domImpl::ElementImpl::create_(domImpl::refOf(text1.node).get_Parent(), doc));
    DOMAttr* attr = page.element()->getAttributeNode(u"number");
    Owned attrGuard(attr);
    const dom::Owned<DOMElement> scratchGuard(doc->createElement(u"x"));
    DOMElement* scratch = scratchGuard.get();
    struct Case {
        const char* what;
        std::function<void()> call;
        int code; // 1000 + n: the library's own code n
    } cases[] = {
        {"insertBefore a reference that is no child", [&] { page->insertBefore(story.node, scratch); }, 8},
        {"insert null", [&] { page->insertBefore(nullptr, nullptr); }, 16},
        {"insert an attribute", [&] { page->appendChild(attr); }, 9},
        {"append to itself", [&] { page->appendChild(page.node); }, 3},
        {"append a story into its own text run",
         [&] {
             Owned run(at("project/story/paragraph/textRun"));
             run->appendChild(story.node);
         },
         3},
        {"insert the project before a box of its own",
         [&] {
             Owned c(page->getFirstChild());
             page->insertBefore(project.node, c.node);
         },
         3},
        {"replace with an ancestor",
         [&] {
             Owned c(page->getFirstChild());
             page->replaceChild(project.node, c.node);
         },
         3},
        {"copyInto from a source whose child is the target's ancestor",
         [&] { static_cast<domImpl::ElementImpl*>(page.node)->copyInto(project.node, true); }, 3},
        {"replace a stranger", [&] { page->replaceChild(scratch, project.node); }, 8},
        {"remove a Xerces-C node", [&] { page->removeChild(scratch); }, 8},
        {"document insertBefore", [&] { doc->insertBefore(scratch, nullptr); }, 3},
        {"document removeChild", [&] { doc->removeChild(page.node); }, 9},
        {"document getTextContent", [&] { doc->getTextContent(); }, -1},
        {"importNode null", [&] { doc->importNode(nullptr, true); }, 11},
        {"createComment", [&] { doc->createComment(u"c"); }, 9},
        {"removeAttribute", [&] { page.element()->removeAttribute(u"number"); }, -1},
        {"setNamedItem", [&] { page->getAttributes()->setNamedItem(scratch); }, 9},
        {"attribute insertBefore", [&] { attr->appendChild(scratch); }, -1},
        {"text getAttributes", [&] { text1->getAttributes(); }, 9},
        {"text appendChild (the library's own code)", [&] { text1->appendChild(scratch); }, 1003},
        {"copyInto of a child with an \"ID\" attribute",
         [&] {
             dom::Owned<DOMElement> source(doc->createElement(u"box")), item(doc->createElement(u"item"));
             item->setAttribute(u"ID", u"1");
             source->appendChild(item.release());
             static_cast<domImpl::ElementImpl*>(page.node)->copyInto(source.get(), true);
         },
         1016},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.resetCallCounts();
        EXPECT_EQ(thrownCode(c.call), c.code);
        EXPECT_EQ(host.toXml(), before);
        EXPECT_EQ(host.callCount(Kw::host::InsertNewChild) + host.callCount(Kw::host::InsertBeforeChild) +
                      host.callCount(Kw::host::RemoveChild) + host.callCount(Kw::host::SetAttributeValue),
                  0u);
    }
    Owned parent(story->getParentNode());
    EXPECT_EQ(domImpl::refOf(parent.node).get(), host.find("project"));
}

TEST_F(NoDataLoss, namesAndCharactersXmlCannotHoldAreRefusedBeforeAnyHostCall) {
    const std::string before = host.toXml();
    Owned box(at("project/layout/spread/page/box"));
    Owned run(at("project/story/paragraph/textRun"));
    Owned textNode(run->getFirstChild());
    auto* e = box.element();
    auto* t = static_cast<DOMText*>(textNode.node);
    const char16_t* const badNames[] = {u"bad name", u"a>b", u"", u"1a", u"a\u0001", u"-x"};
    for (const char16_t* name : badNames) {
        SCOPED_TRACE(std::string(name, name + std::char_traits<char16_t>::length(name)));
        host.resetCallCounts();
        EXPECT_EQ(domExceptionCode([&] { e->setAttribute(name, u"v"); }), 5);
        EXPECT_EQ(domExceptionCode([&] { e->setAttributeNS(u"urn:x", name, u"v"); }), 5);
        EXPECT_EQ(host.callCount(Kw::host::SetAttributeValue) + host.callCount(Kw::host::SetAttributeValueNS),
                  0u);
    }
    EXPECT_EQ(domExceptionCode([&] { e->setAttribute(nullptr, u"v"); }), 5);
    const std::u16string lone1(1, char16_t(0xD800)), lone2 = std::u16string(u"a") + char16_t(0xDC00) + u"b";
    const std::u16string badValues[] = {
        u"\u0001", u"a\u000Bb", std::u16string(1, char16_t(0xFFFE)), std::u16string(1, char16_t(0xFFFF)),
        lone1,     lone2};
    Owned id(e->getAttributeNode(u"id"));
    for (const std::u16string& value : badValues) {
        SCOPED_TRACE(value.size());
        const XMLCh* v = value.c_str();
        const std::function<void()> calls[] = {
            [&] { e->setAttribute(u"id", v); },
            [&] { e->setAttributeNS(u"urn:x", u"x:a", v); },
            [&] { static_cast<DOMAttr*>(id.node)->setValue(v); },
            [&] { t->setData(v); },
            [&] { t->appendData(v); },
            [&] { t->insertData(0, v); },
            [&] { t->replaceData(0, 1, v); },
            [&] { dom::dispose(t->replaceWholeText(v)); },
            [&] { dom::dispose(run->appendChild(doc->createTextNode(v))); },
            [&] {
                dom::Owned<DOMElement> fresh(doc->createElement(u"box"));
                fresh->setAttribute(u"id", v);
                dom::dispose(run->appendChild(fresh.get()));
            },
        };
        for (const auto& call : calls) {
            host.resetCallCounts();
            EXPECT_EQ(thrownCode(call), 5) << "call " << &call - calls;
            EXPECT_EQ(host.callCount(Kw::host::SetAttributeValue) + host.callCount(Kw::host::SetTextValue) +
                          host.callCount(Kw::host::DeleteTextValue) +
                          host.callCount(Kw::host::InsertNewChild),
                      0u);
        }
    }
    // The attribute node forms carry the same checks.
    dom::Owned<DOMAttr> named(doc->createAttribute(u"ok"));
    named->setValue(u"\u0002");
    EXPECT_EQ(domExceptionCode([&] { dom::dispose(e->setAttributeNode(named.get())); }), 5);
    EXPECT_EQ(domExceptionCode([&] { dom::dispose(e->setAttributeNodeNS(named.get())); }), 5);
    named.reset();
    EXPECT_EQ(host.toXml(), before);
    // What XML holds goes through, and the saved project parses back.
    e->setAttribute(u"ok", u"tab\tnew\nline \U0001F600 \uFFFD");
    EXPECT_TRUE(parseBack(doc->saveToString(nullptr), false));
}

// replaceWholeText hands back the node itself, or null for an empty text (which it leaves alone).
TEST_F(NoDataLoss, WholeTextCopiesAndReadOnlyTexts) {
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
}

// Specified: not for a default or implied value, yes once written.
TEST_F(NoDataLoss, AttributeNodesFollowTheHostsAttributeRecords) {
    Owned color(at("colors/color"));
    DOMNamedNodeMap* attrs = color->getAttributes();
    Owned name(attrs->getNamedItem(u"name")), app(doc->getDocumentElement());
    Owned version(app.element()->getAttributeNode(u"version"));
    EXPECT_FALSE(static_cast<DOMAttr*>(name.node)->getSpecified());
    EXPECT_FALSE(static_cast<DOMAttr*>(version.node)->getSpecified());
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

    // An enumeration sees what any path of the library writes between its items, and another element's
    // enumeration in between changes nothing.
    DOMNamedNodeMap* map = c2->getAttributes();
    auto nameAt = [&](XMLSize_t i) { Owned a(map->item(i)); return a.node ? text(a->getNodeName()) : u""; };
    ASSERT_EQ(map->getLength(), 5u);
    Owned other(at("colors/color"));
    EXPECT_EQ(other->getAttributes()->getLength(), 3u);
    EXPECT_EQ(nameAt(4), u"xsi:type");
    Kw::ElementRef::fromHandle(host.find("colors/color[2]")).SetAttribute(Kw::StringKey(u"later"), u"3");
    EXPECT_EQ(nameAt(5), u"later");
    c2.element()->setAttribute(u"last", u"4");
    EXPECT_EQ(nameAt(6), u"last");
}

} // namespace
