// Changes made through the DOM lose nothing: a refused change leaves the host tree as it was, copies copy,
// moves move everything, enumerations and saves see the present, and what XML cannot hold is refused at
// the entry. The host tree is read through the reference host itself.
#include <DOMKw/bridge/Exceptions.hpp>

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>

#include <functional>

#include "common/NativeDom.hpp"
#include "common/DomFixture.hpp"

using namespace testing_support;

namespace {

class NoDataLoss : public DomTest {
protected:
    std::string xml(const std::string& path) { return host.toXml(host.find(path)); }
    static bool parsesBack(const std::u16string& text) {
        XercesDOMParser parser;
        HandlerBase errors;
        parser.setErrorHandler(&errors);
        MemBufInputSource in(reinterpret_cast<const XMLByte*>(text.data()), text.size() * sizeof(char16_t),
                             "saved");
        in.setEncoding(u"UTF-16LE");
        try {
            parser.parse(in);
        } catch (...) {
            return false;
        }
        return parser.getErrorCount() == 0;
    }
    // A call that must throw a DOMException or one of the library's own codes; the code, or 0.
    static int codeOf(const std::function<void()>& call) {
        try {
            call();
        } catch (const DOMException& e) {
            return static_cast<short>(e.code);
        } catch (dom::Exceptions::KwErrorCodes e) {
            return e;
        }
        return 0;
    }
};

TEST_F(NoDataLoss, insertionOfTheTargetOrAnAncestorIsRefusedAndKeepsTheTree) {
    const std::string before = host.toXml();
    struct Case {
        const char* what;
        std::function<void()> run;
    };
    const Case cases[] = {
        {"appendChild of a story into its own text run",
         [&] {
             Owned run(at("project/story/paragraph/textRun")), story(at("project/story"));
             dom::dispose(run->appendChild(story.node));
         }},
        {"insertBefore of the project before a box of its own",
         [&] {
             Owned page(at("project/layout/spread/page")), project(at("project")), box(page->getFirstChild());
             dom::dispose(page->insertBefore(project.node, box.node));
         }},
        {"appendChild of an element into itself",
         [&] {
             Owned page(at("project/layout/spread/page"));
             dom::dispose(page->appendChild(page.node));
         }},
        {"replaceChild of a child by an ancestor of the parent",
         [&] {
             Owned page(at("project/layout/spread/page")), layout(at("project/layout")),
                 box(page->getFirstChild());
             dom::dispose(page->replaceChild(layout.node, box.node));
         }},
        {"copyInto from a source whose child is the target's ancestor",
         [&] {
             Owned page(at("project/layout/spread/page")), project(at("project"));
             static_cast<domImpl::ElementImpl*>(page.node)->copyInto(project.node, true);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.resetCallCounts();
        EXPECT_EQ(codeOf(c.run), 3);
        EXPECT_EQ(host.toXml(), before);
        EXPECT_EQ(host.callCount(Kw::host::InsertNewChild) + host.callCount(Kw::host::InsertBeforeChild) +
                      host.callCount(Kw::host::RemoveChild) + host.callCount(Kw::host::SetAttributeValue),
                  0u);
    }
}

TEST_F(NoDataLoss, attributeAddedThroughTheElementIsEnumeratedSavedMovedAndCopied) {
    Owned box(at("project/layout/spread/page/box"));
    box.element()->setAttribute(u"added", u"yes");
    ASSERT_EQ(box->getAttributes()->getLength(), 3u);
    Owned added(box->getAttributes()->item(2));
    EXPECT_EQ(text(added->getNodeName()), u"added");

    // Saves, of the element and of the whole document, while the element object is held.
    const std::u16string saved = doc->saveToString(box.node);
    EXPECT_NE(saved.find(u"added=\"yes\""), std::u16string::npos) << std::string(saved.begin(), saved.end());
    const std::u16string all = doc->saveToString(nullptr);
    EXPECT_NE(all.find(u"added=\"yes\""), std::u16string::npos);

    // Copies.
    dom::Owned<DOMElement> clone(static_cast<DOMElement*>(box->cloneNode(true)));
    EXPECT_EQ(text(clone->getAttribute(u"added")), u"yes");
    clone.reset();
    dom::Owned<DOMElement> exported(
        static_cast<DOMElement*>(static_cast<domImpl::ElementImpl*>(box.node)->exportCopy(true)));
    EXPECT_EQ(text(exported->getAttribute(u"added")), u"yes");
    exported.reset();

    // A move keeps it, and the copy removeChild hands back has it.
    Owned other(at("project/layout[2]/spread/page"));
    dom::dispose(other->appendChild(box.node));
    EXPECT_EQ(xml("project/layout[2]/spread/page"),
              "<page number=\"1\"><box id=\"b3\"/><box id=\"b1\" bounds=\"12/-3\" added=\"yes\"/></page>");
    dom::Owned<DOMElement> removed(static_cast<DOMElement*>(other->removeChild(box.node)));
    EXPECT_EQ(text(removed->getAttribute(u"added")), u"yes");
}

TEST_F(NoDataLoss, refusedAttributeKeyReadIsNotTakenForNoAttributes) {
    host.failAt(Kw::host::GetAttributeKeys, 7);
    Owned box(at("project/layout/spread/page/box"));
    // Made while the host would refuse: the element object remembers nothing of it.
    EXPECT_EQ(domExceptionCode([&] { box->getAttributes()->getLength(); }), 7);
    host.failAt(Kw::host::GetAttributeKeys, 7);
    EXPECT_EQ(domExceptionCode([&] { dom::dispose(box->getAttributes()->item(0)); }), 7);
    host.disarm();
    EXPECT_EQ(box->getAttributes()->getLength(), 2u);
    const std::u16string saved = doc->saveToString(box.node);
    EXPECT_NE(saved.find(u"bounds=\"12/-3\""), std::u16string::npos);
    host.failAt(Kw::host::GetAttributeKeys, 7);
    EXPECT_EQ(domExceptionCode([&] { dom::dispose(box->cloneNode(true)); }), 7);
    host.disarm();
}

TEST_F(NoDataLoss, replaceChildWhoseRemovalIsRefusedKeepsTheTree) {
    const std::string before = host.toXml();
    Owned page(at("project/layout/spread/page"));
    Owned second(at("project/layout/spread/page/box[2]"));
    Owned story(at("project/story"));
    for (bool move : {false, true}) {
        SCOPED_TRACE(move ? "a host node moved in" : "new content");
        dom::Owned<DOMElement> fresh(doc->createElement(u"replacement"));
        host.failAt(Kw::host::RemoveChild, 0x10007);
        EXPECT_EQ(domExceptionCode([&] {
                      dom::dispose(page->replaceChild(move ? story.node : fresh.get(), second.node));
                  }),
                  7);
        EXPECT_FALSE(host.failureArmed());
        host.disarm();
        fresh.reset();
        EXPECT_EQ(host.toXml(), before);
    }
}

TEST_F(NoDataLoss, characterDataEditsTakeFullEffectOrNone) {
    const std::string before = host.toXml();
    DOMText* t = nullptr;
    struct Edit {
        const char* what;
        std::function<void()> run;
    };
    const Edit edits[] = {
        {"setData", [&] { t->setData(u"new"); }},
        {"setNodeValue", [&] { t->setNodeValue(u"new"); }},
        {"setNodeValue to empty", [&] { t->setNodeValue(u""); }},
        {"replaceData", [&] { t->replaceData(0, 5, u"Howdy"); }},
        {"replaceData to the end", [&] { t->replaceData(7, 100, u"there"); }},
        {"appendData", [&] { t->appendData(u"!"); }},
        {"insertData", [&] { t->insertData(5, u"!"); }},
        {"deleteData", [&] { t->deleteData(5, 2); }},
        {"replaceWholeText", [&] { dom::dispose(t->replaceWholeText(u"whole")); }},
    };
    const int selectors[] = {Kw::host::GetTextValue, Kw::host::DeleteTextValue, Kw::host::SetTextValue,
                             Kw::host::AdjustReference};
    int reached = 0;
    for (const Edit& e : edits) {
        for (int selector : selectors) {
            SCOPED_TRACE(std::string(e.what) + ", failing selector " + std::to_string(selector));
            load(testDataPath("small.xml")); // every edit starts from the same text
            Owned run(at("project/story/paragraph/textRun"));
            Owned textNode(run->getFirstChild());
            t = static_cast<DOMText*>(textNode.node);
            host.failAt(selector, 0x20007);
            const int code = codeOf(e.run);
            const bool hit = !host.failureArmed();
            host.disarm();
            if (!hit) continue; // this edit makes no such call
            ++reached;
            EXPECT_EQ(code, 7);
            EXPECT_EQ(host.toXml(), before);
        }
    }
    EXPECT_GE(reached, 20);
}

TEST_F(NoDataLoss, editsInsideASurrogatePairAreRefusedAndKeepTheText) {
    Owned run(at("project/story/paragraph/textRun"));
    Owned textNode(run->getFirstChild());
    auto* t = static_cast<DOMText*>(textNode.node);
    t->setData(u"a\U0001F600b"); // a, the pair at 1 and 2, b
    const std::string before = host.toXml();
    const std::function<void()> edits[] = {
        [&] { t->insertData(2, u"x"); },     [&] { t->deleteData(2, 1); },
        [&] { t->deleteData(0, 2); },        [&] { t->replaceData(2, 2, u"y"); },
        [&] { t->replaceData(1, 1, u"y"); },
    };
    for (const auto& edit : edits) EXPECT_EQ(codeOf(edit), 5);
    EXPECT_EQ(host.toXml(), before);
    // Around the pair, edits go through.
    t->insertData(1, u"<");
    t->deleteData(4, 1);
    EXPECT_EQ(std::u16string(t->getData()), u"a<\U0001F600");
}

TEST_F(NoDataLoss, copyIntoLeavesTheSourceUnchanged) {
    Owned source(at("project/layout/spread/page"));
    Owned target(at("project/layout[2]/spread/page"));
    const std::string sourceBefore = xml("project/layout/spread/page");
    static_cast<domImpl::ElementImpl*>(target.node)->copyInto(source.node, true);
    EXPECT_EQ(xml("project/layout/spread/page"), sourceBefore);
    // Copies go in through XML text, where attribute order carries no meaning.
    EXPECT_EQ(
        sortAttributes(xml("project/layout[2]/spread/page")),
        sortAttributes(
            "<page number=\"1\"><box id=\"b3\"/><box id=\"b1\" bounds=\"12/-3\"/><box id=\"b2\"/></page>"));
}

TEST_F(NoDataLoss, refusedCopyIntoKeepsTheTarget) {
    const std::string before = host.toXml();
    int reached = 0;
    for (int selector : {Kw::host::InsertNewChild, Kw::host::SetAttributeValue, Kw::host::GetAttributeKeys,
                         Kw::host::NavigateElement, Kw::host::GetAttributeValue}) {
        for (int n = 1; n <= 3; ++n) {
            SCOPED_TRACE("selector " + std::to_string(selector) + " call " + std::to_string(n));
            load(testDataPath("small.xml"));
            Owned source(at("project/layout/spread/page"));
            Owned target(at("colors/color[2]")); // gets number (new) and the two boxes
            host.failAt(selector, 0x7, n);
            const int code =
                codeOf([&] { static_cast<domImpl::ElementImpl*>(target.node)->copyInto(source.node, true); });
            const bool hit = !host.failureArmed();
            host.disarm();
            if (!hit) continue;
            ++reached;
            EXPECT_EQ(code, 7);
            EXPECT_EQ(host.toXml(), before);
        }
    }
    EXPECT_GE(reached, 8);
}

TEST_F(NoDataLoss, movingAnElementKeepsReadOnlyContentAndUncopyableAttributes) {
    Owned colors(at("colors")), project(at("project"));
    const std::string moved = xml("colors");
    dom::dispose(project->appendChild(colors.node));
    EXPECT_EQ(xml("project/colors"), moved);
    EXPECT_NE(host.toXml(host.find("project/colors"), true).find("id=\"c1\""), std::string::npos);
}

TEST_F(NoDataLoss, isEqualNodeComparesAttributeValues) {
    Owned box(at("project/layout/spread/page/box")); // id="b1" bounds="12/-3"
    struct Case {
        const char16_t* id;
        const char16_t* secondName;
        const char16_t* secondValue;
        bool equal;
    } cases[] = {
        {u"b1", u"bounds", u"12/-3", true},
        {u"b1", u"bounds", u"12/-4", false},
        {u"b2", u"bounds", u"12/-3", false},
        {u"b1", u"other", u"12/-3", false},
    };
    for (const Case& c : cases) {
        dom::Owned<DOMElement> twin(doc->createElement(u"box"));
        twin->setAttribute(u"id", c.id);
        twin->setAttribute(c.secondName, c.secondValue);
        EXPECT_EQ(box->isEqualNode(twin.get()), c.equal) << std::string(c.id, c.id + 2);
    }
    // Two host elements.
    Owned b2(at("project/layout/spread/page/box[2]")), b3(at("project/layout[2]/spread/page/box"));
    b3.element()->setAttribute(u"id", u"b2");
    EXPECT_TRUE(b2->isEqualNode(b3.node));
    b3.element()->setAttribute(u"id", u"b9");
    EXPECT_FALSE(b2->isEqualNode(b3.node));
}

TEST_F(NoDataLoss, copiesAndSavesEndAtARefusedReadInsteadOfComingOutShort) {
    Owned project(at("project"));
    Owned run(at("project/story/paragraph/textRun"));
    Owned textNode(run->getFirstChild());
    struct Case {
        const char* what;
        int selector;
        int nth;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"cloneNode, a refused navigation", Kw::host::NavigateElement, 3,
         [&] { dom::dispose(project->cloneNode(true)); }},
        {"exportCopy, a refused navigation", Kw::host::NavigateElement, 3,
         [&] { dom::dispose(static_cast<domImpl::ElementImpl*>(project.node)->exportCopy(true)); }},
        {"cloneNode, a refused attribute value", Kw::host::GetAttributeValue, 1,
         [&] { dom::dispose(project->cloneNode(false)); }},
        {"cloneNode of a text, a refused text read", Kw::host::GetTextValue, 1,
         [&] { dom::dispose(textNode->cloneNode(true)); }},
        {"removeChild, a refused read of the copy", Kw::host::NavigateElement, 2,
         [&] {
             Owned layout(at("project/layout"));
             dom::dispose(project->removeChild(layout.node));
         }},
    };
    const std::string before = host.toXml();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.failAt(c.selector, 0x30007, c.nth);
        EXPECT_EQ(codeOf(c.call), 7);
        EXPECT_FALSE(host.failureArmed());
        host.disarm();
        EXPECT_EQ(host.toXml(), before);
    }
    // A save that meets a refused navigation answers null rather than a shorter project.
    host.failAt(Kw::host::NavigateElement, 0x30007, 4);
    EXPECT_EQ(doc->saveToString(nullptr), nullptr);
    host.disarm();
}

// Every refused call answers its own code and changes nothing in the host tree.
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
        int code;
    } cases[] = {
        {"insertBefore a reference that is no child", [&] { page->insertBefore(story.node, scratch); }, 8},
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
        {"document getTextContent", [&] { doc->getTextContent(); }, -1},
        {"document setTextContent", [&] { doc->setTextContent(u"x"); }, -1},
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
        {"text appendChild (thrown by value)", [&] { text1->appendChild(scratch); }, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(codeOf(c.call), c.code) << c.what;
        EXPECT_EQ(host.toXml(), before) << c.what;
    }
    Owned parent(story->getParentNode());
    EXPECT_EQ(domImpl::refOf(parent.node).get(), host.find("project"));
}

// A host that refuses a step of an insertion (validation, the insertion, the navigation after it) leaves
// the tree as it was, for new content and for a move alike.
TEST_F(NoDataLoss, refusedInsertionKeepsTheTree) {
    const std::string before = host.toXml();
    Owned story(at("project/story")), page(at("project/layout/spread/page"));
    struct Case {
        int selector;
        int32_t status;
        bool newContent;
    } cases[] = {{Kw::host::ValidateElement, 0x10010, false}, {Kw::host::InsertBeforeChild, 0x10003, false},
                 {Kw::host::NavigateElement, 0x10007, false}, {Kw::host::ValidateElement, 0x10010, true},
                 {Kw::host::InsertNewChild, 0x10003, true}};
    for (const Case& c : cases) {
        dom::Owned<DOMElement> fresh(doc->createElement(u"box"));
        host.failAt(c.selector, c.status);
        EXPECT_EQ(codeOf([&] { dom::dispose(page->appendChild(c.newContent ? fresh.get() : story.node)); }),
                  c.status & 0xFFFF)
            << c.selector;
        EXPECT_FALSE(host.failureArmed()) << c.selector;
        host.disarm();
        fresh.reset();
        EXPECT_EQ(host.toXml(), before) << c.selector;
    }
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
        lone1,     lone2,       std::u16string(u"x") + char16_t(0)};
    Owned id(e->getAttributeNode(u"id"));
    for (const std::u16string& value : badValues) {
        if (value.size() > 1 && value.back() == 0) continue; // a NUL ends the text: nothing to refuse
        SCOPED_TRACE(value.size());
        const XMLCh* v = value.c_str();
        const std::function<void()> calls[] = {
            [&] { e->setAttribute(u"id", v); },
            [&] { e->setAttributeNS(u"urn:x", u"x:a", v); },
            [&] { static_cast<DOMAttr*>(id.node)->setValue(v); },
            [&] { id->setNodeValue(v); },
            [&] { t->setData(v); },
            [&] { t->setNodeValue(v); },
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
        int i = 0;
        for (const auto& call : calls) {
            host.resetCallCounts();
            EXPECT_EQ(codeOf(call), 5) << "call " << i;
            EXPECT_EQ(host.callCount(Kw::host::SetAttributeValue) + host.callCount(Kw::host::SetTextValue) +
                          host.callCount(Kw::host::DeleteTextValue) +
                          host.callCount(Kw::host::InsertNewChild),
                      0u)
                << "call " << i;
            ++i;
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
    EXPECT_TRUE(parsesBack(doc->saveToString(nullptr)));
}

} // namespace
