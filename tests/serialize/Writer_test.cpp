// The serializer against Xerces-C's own (forms, filters, declaration, encodings, namespace prefixes), the
// caller's code a write calls, and the entries through which dom reaches the serializer.
#include <fstream>
#include <iterator>
#include <map>
#include <tuple>

#include "common/NativeDom.hpp"
#include "dom/SerializerFactory.hpp"
#include "serialize/SerializerStartup.hpp"
#include "serialize/WriterFixture.hpp"

using namespace testing_support;

namespace {

using Writer = WriterTest;
using SerializerSeam = WriterTest;
using CallerCode = WriterTest;

const std::u16string header =
    u" generator=\"DOMKw reference host &amp; &quot;friends&quot; &lt;1>\" schemaVersion=\"6.0\"";

std::string smallXml() {
    std::ifstream file(std::string(DOMKW_TEST_DATA_DIR) + "/small.xml", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A project that binds prefixes at several levels.
void loadPrefixes(kwhost::ReferenceHost& host) {
    host.loadString(
        "<application xmlns:kw=\"urn:kw\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
        "<project><page xmlns:q=\"urn:q\"><box q:mark=\"1\"/><box kw:x=\"2\"/></page>"
        "<colors><color xsi:type=\"kw:Spot\"/><color xsi:type=\"zz:Other\"/></colors></project>"
        "</application>",
        "prefixes");
}

class Decide : public DOMLSSerializerFilter {
public:
    Decide(FilterAction action, ShowType show) : action(action), show(show) {}
    FilterAction acceptNode(const DOMNode*) const override { return action; }
    ShowType getWhatToShow() const override { return show; }
    FilterAction action;
    ShowType show;
};

TEST_F(Writer, OutermostElementFormsAndFilterDecisions) {
    Owned spread(at("project/layout[2]/spread"));
    EXPECT_EQ(write(spread.node),
              u"<spread" + header + u"><page number=\"1\"><box id=\"b3\"/></page></spread>");
    // Implied attributes are not written; a text node is written as the delegate escapes it.
    Owned app(doc->getDocumentElement());
    EXPECT_EQ(write(app.node).find(u"version="), std::u16string::npos);
    Owned run(at("project/story/paragraph/textRun"));
    Owned text(run->getFirstChild());
    static_cast<DOMText*>(text.node)->setData(u"a < b & c");
    EXPECT_EQ(write(text.node), u"a &lt; b &amp; c");
    // Shown only elements, the filter decides for the outermost element and (through the delegate) its
    // children alike: skipped or rejected, nothing is written. Not shown elements, it is never asked.
    Owned page(at("project/layout[2]/spread/page"));
    const std::u16string whole = write(page.node);
    const std::tuple<DOMNodeFilter::FilterAction, DOMNodeFilter::ShowType, std::u16string> cases[] = {
        {DOMNodeFilter::FILTER_SKIP, 0x1, u""},
        {DOMNodeFilter::FILTER_REJECT, 0x1, u""},
        {DOMNodeFilter::FILTER_REJECT, 0x4, whole},
    };
    for (const auto& [action, show, expected] : cases) {
        const Serializer w = serializer();
        Decide filter(action, show);
        w->setFilter(&filter);
        EXPECT_EQ(write(w.get(), page.node), expected) << action << " showing " << show;
    }
}

TEST_F(Writer, implementationListsComeBackWithoutRecursingAndNoProjectMeansNoDocument) {
    // The registry asks every source for its list, ours included; ours answers without asking back.
    DOMImplementation* impl = domImpl::DOMImplementationImpl::instance();
    for (const char16_t* features : {u"Tellam 6.0", u"Core", u""}) {
        DOMImplementationList* list = DOMImplementationRegistry::getDOMImplementationList(features);
        bool ours = false;
        for (XMLSize_t i = 0; i < list->getLength(); ++i) ours = ours || list->item(i) == impl;
        EXPECT_TRUE(ours) << narrow(features);
        list->release();
    }
    // The host answers NOT_FOUND for the application element when no project is loaded.
    host.failAt(Kw::host::NavigateElement, 8);
    EXPECT_EQ(impl->createDocument(), nullptr);
    host.failAt(Kw::host::NavigateElement, 8);
    EXPECT_EQ(impl->createDocument(nullptr, u"x", nullptr), nullptr);
    host.failAt(Kw::host::NavigateElement, 7);
    EXPECT_EQ(domExceptionCode([&] { impl->createDocument(); }), 7);
}

TEST_F(Writer, aDestinationWithoutAnEncodingIsWrittenInTheEncodingXercesChooses) {
    // Xerces-C falls back to the document's input encoding (then its declared one, then UTF-8): ours
    // answers UTF-16, a parsed native document the encoding it was read in.
    NativeDom native(smallXml());
    const Serializer xerces = xercesSerializer();
    const Serializer ours = serializer();
    Owned colors(at("colors"));
    const std::pair<DOMLSSerializer*, const DOMNode*> cases[] = {
        {xerces.get(), native.root()->getElementsByTagName(u"colors")->item(0)}, {ours.get(), colors.node}};
    for (const auto& [writer, node] : cases) {
        bool none = false, named = false;
        const std::string unnamed = toBytes(writer, node, nullptr, none);
        EXPECT_EQ(unnamed, toBytes(writer, node, node->getOwnerDocument()->getInputEncoding(), named));
        EXPECT_TRUE(none && named);
        EXPECT_FALSE(unnamed.empty());
    }
    bool ok = false;
    const std::string raw = toBytes(ours.get(), colors.node, nullptr, ok);
    const std::u16string text(reinterpret_cast<const char16_t*>(raw.data()), raw.size() / 2);
    EXPECT_TRUE(parsesBack(text)) << narrow(text);
    EXPECT_EQ(text.substr(0, 7), u"<colors");
}

TEST_F(Writer, theWholeDocumentIsWrittenAsXercesWritesTheNativeOne) {
    NativeDom native(smallXml());
    const Serializer xerces = xercesSerializer();
    for (const bool declaration : {true, false}) {
        const Serializer w = serializer();
        xerces->getDomConfig()->setParameter(XMLUni::fgDOMXMLDeclaration, declaration);
        w->getDomConfig()->setParameter(XMLUni::fgDOMXMLDeclaration, declaration);
        const std::u16string expected = toString(xerces.get(), native.document());
        std::u16string mine = write(w.get(), doc);
        const size_t at = mine.find(u"<application") + 12;
        ASSERT_EQ(mine.substr(at, header.size()), header) << declaration;
        mine.erase(at, header.size());
        EXPECT_EQ(sortAttributes(utf8(mine.c_str())), sortAttributes(utf8(expected.c_str()))) << declaration;
    }
    // A byte order mark, asked for, leads a document written to a byte stream in a Unicode encoding,
    // as it leads Xerces-C's.
    xerces->getDomConfig()->setParameter(XMLUni::fgDOMWRTBOM, true);
    xerces->getDomConfig()->setParameter(XMLUni::fgDOMXMLDeclaration, true);
    const Serializer w = serializer();
    w->getDomConfig()->setParameter(XMLUni::fgDOMWRTBOM, true);
    const std::pair<const XMLCh*, std::string> marks[] = {
        {u"UTF-8", "\xEF\xBB\xBF"}, {u"UTF-16BE", "\xFE\xFF"}, {u"ISO-8859-1", ""}};
    for (const auto& [encoding, mark] : marks) {
        bool theirsOk = false, oursOk = false;
        const std::string theirsBytes = toBytes(xerces.get(), native.document(), encoding, theirsOk);
        const std::string oursBytes = toBytes(w.get(), doc, encoding, oursOk);
        EXPECT_TRUE(theirsOk && oursOk);
        EXPECT_EQ(theirsBytes.substr(0, mark.size()), mark) << narrow(encoding);
        EXPECT_EQ(oursBytes.substr(0, mark.size() + 4), theirsBytes.substr(0, mark.size() + 4))
            << narrow(encoding);
    }
    // The document's save: the declaration, then the document element as its own save writes it.
    const std::u16string declaration = u"<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"no\" ?>";
    const std::u16string saved = save(doc);
    Owned root(doc->getDocumentElement());
    EXPECT_EQ(saved, declaration + save(root.node));
    EXPECT_EQ(doc->liveNodeCount(), 1u);
}

// An xsi:type value's prefix is declared when the document binds it; a prefix bound inside the output is
// not declared again, one bound above it is, once, on the outermost element.
TEST_F(Writer, aPrefixBoundInsideTheOutputIsNotDeclaredAgainAndOneBoundAboveItIs) {
    loadPrefixes(host);
    openDocument();
    Owned page(at("project/page")), box(at("project/page/box[2]")), colors(at("project/colors")),
        color(at("project/colors/color")), project(at("project"));
    struct Case {
        const char* what;
        DOMNode* node;
        const char16_t* expected;
    } cases[] = {
        {"page", page.node,
         u"<page xmlns:q=\"urn:q\" xmlns:kw=\"urn:kw\"><box q:mark=\"1\"/><box kw:x=\"2\"/></page>"},
        {"box", box.node, u"<box kw:x=\"2\" xmlns:kw=\"urn:kw\"/>"},
        {"colors", colors.node,
         u"<colors xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:kw=\"urn:kw\">"
         u"<color xsi:type=\"kw:Spot\"/><color xsi:type=\"zz:Other\"/></colors>"},
        {"color", color.node,
         u"<color xsi:type=\"kw:Spot\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         u"xmlns:kw=\"urn:kw\"/>"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(write(c.node), c.expected) << c.what;
        EXPECT_EQ(save(c.node), c.expected) << c.what;
    }
    const std::u16string out = write(project.node);
    EXPECT_EQ(out.find(u"xmlns:q"), out.rfind(u"xmlns:q"));
    EXPECT_GT(out.find(u"xmlns:q"), out.find(u"<page"));
    EXPECT_LT(out.find(u"xmlns:kw"), out.find(u"<page"));
}

// The whole application, written and saved, declares xsi once; a copy written by Xerces-C's serializer, as
// a plug-in would, reads back with its xsi:type in the schema-instance namespace.
TEST_F(Writer, everyPrefixWrittenIsDeclaredAndACopyKeepsTheNamespaceOfItsTypedAttribute) {
    loadPrefixes(host);
    openDocument();
    const std::u16string xsi = u"http://www.w3.org/2001/XMLSchema-instance";
    Owned colors(at("project/colors")), color(at("project/colors/color")), app(doc->getDocumentElement());
    for (const std::u16string& whole : {write(app.node), save(app.node)}) {
        const size_t first = whole.find(u"xmlns:xsi=");
        EXPECT_LT(first, whole.find(u'<', 1)) << narrow(whole);
        EXPECT_EQ(whole.find(u"xmlns:xsi=", first + 1), std::u16string::npos) << narrow(whole);
    }
    const Serializer xerces = xercesSerializer();
    for (DOMNode* node : {colors.node, color.node, app.node}) {
        const dom::Owned<DOMNode> copy(node->cloneNode(true));
        const std::u16string written = toString(xerces.get(), copy.get());
        EXPECT_TRUE(parsesBack(written)) << narrow(written);
        EXPECT_NE(written.find(u"xmlns:xsi=\"" + xsi + u"\""), std::u16string::npos) << narrow(written);
        auto* e = static_cast<DOMElement*>(copy.get());
        auto* typed = e->hasAttribute(u"xsi:type")
                          ? e
                          : static_cast<DOMElement*>(e->getElementsByTagName(u"color")->item(0));
        ASSERT_NE(typed, nullptr) << narrow(written);
        EXPECT_EQ(text(typed->getAttributeNS(xsi.c_str(), u"type")), u"kw:Spot");
        EXPECT_EQ(text(typed->getAttribute(u"xsi:type")), u"kw:Spot");
    }
}

// dom reaches the serializer through the entries start-up fills: with them empty, dom refuses clearly
// instead of calling through nothing; filled again, a second start-up changes nothing.
TEST_F(SerializerSeam, withoutTheSerializerStartedDomRefusesInsteadOfCallingThroughNothing) {
    domImpl::SerializerFactory& factory = domImpl::serializerFactory();
    ASSERT_NE(factory.create, nullptr);
    ASSERT_NE(factory.save, nullptr);
    const domImpl::SerializerFactory started = factory;
    struct Restore {
        domImpl::SerializerFactory& factory;
        domImpl::SerializerFactory started;
        ~Restore() { factory = started; }
    } restore{factory, started};

    factory = domImpl::SerializerFactory();
    EXPECT_EQ(domExceptionCode([&] { serializer(); }), DOMException::NOT_SUPPORTED_ERR);
    EXPECT_EQ(domExceptionCode([&] { doc->saveToString(nullptr); }), DOMException::NOT_SUPPORTED_ERR);
    EXPECT_EQ(doc->liveNodeCount(), 0u); // the refusal made no node object

    domImpl::serializeImpl::startSerializer();
    domImpl::serializeImpl::startSerializer();
    EXPECT_EQ(factory.create, started.create);
    EXPECT_EQ(factory.save, started.save);
    const Serializer w = serializer();
    Owned box(at("project/layout/spread/page/box[2]"));
    EXPECT_NE(write(w.get(), box.node).find(u"id=\"b2\""), std::u16string::npos);
    EXPECT_NE(save(nullptr).find(u"id=\"b2\""), std::u16string::npos);
}

// The caller's code a write calls (filter, byte stream, error handler) sees the nodes as outside a write,
// and what it meets does not fail the write; the writer's own namespace-free view stays the writer's.

// What a node answers about its namespace, in one line.
std::u16string namespaceView(const DOMNode* node) {
    return text(node->getNamespaceURI()) + u" | " + text(node->getPrefix()) + u" | " +
           text(node->getLocalName());
}

// Accepts everything and remembers what each node it was asked about answered; looks for an attribute
// the elements lack as well.
class RecordingFilter : public DOMLSSerializerFilter {
public:
    FilterAction acceptNode(const DOMNode* node) const override {
        seen[node->getNodeName()] = namespaceView(node);
        if (node->getNodeType() == DOMNode::ELEMENT_NODE)
            absent += *static_cast<const DOMElement*>(node)->getAttribute(u"hidden") == 0;
        return FILTER_ACCEPT;
    }
    ShowType getWhatToShow() const override { return DOMNodeFilter::SHOW_ALL; }
    mutable std::map<std::u16string, std::u16string> seen;
    mutable int absent = 0;
};

// A byte stream that looks at a node of the document each time it is written to.
class LookingTarget : public MemBufFormatTarget {
public:
    explicit LookingTarget(const DOMNode* node) : node(node) {}
    void writeChars(const XMLByte* const bytes, const XMLSize_t count,
                    XMLFormatter* const formatter) override {
        views.push_back(namespaceView(node));
        MemBufFormatTarget::writeChars(bytes, count, formatter);
    }
    const DOMNode* node;
    std::vector<std::u16string> views;
};

TEST_F(CallerCode, aCallersFilterAndByteStreamSeeNamespaceInformationDuringAWriteAndTheOutputIsUnchanged) {
    host.loadString("<application xmlns:kw=\"urn:kw\"><project>"
                    "<kw:frame kw:x=\"1\"><kw:item kw:y=\"2\"/><plain z=\"3\"/></kw:frame>"
                    "</project></application>",
                    "namespaces");
    openDocument();
    Owned frame(at("project/kw:frame"));
    Owned item(frame->getFirstChild());
    Owned plain(item->getNextSibling());
    Owned x(frame.element()->getAttributeNode(u"kw:x")), y(item.element()->getAttributeNode(u"kw:y"));
    ASSERT_TRUE(frame.node && item.node && plain.node && x.node && y.node);
    // Outside a write.
    const std::map<std::u16string, std::u16string> outside = {{u"kw:frame", namespaceView(frame.node)},
                                                              {u"kw:item", namespaceView(item.node)},
                                                              {u"kw:y", namespaceView(y.node)},
                                                              {u"plain", namespaceView(plain.node)}};
    ASSERT_NE(outside.at(u"kw:y").find(u"urn:kw"), std::u16string::npos) << "the host answers no namespace";
    const std::u16string written =
        u"<kw:frame kw:x=\"1\" xmlns:kw=\"urn:kw\"><kw:item kw:y=\"2\"/><plain z=\"3\"/></kw:frame>";
    EXPECT_EQ(write(frame.node), written);

    for (const bool whole : {false, true}) {
        SCOPED_TRACE(whole ? "the document" : "the element");
        RecordingFilter filter;
        LookingTarget target(x.node);
        DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
        output.setByteStream(&target);
        output.setEncoding(u"UTF-8");
        const Serializer w = serializer();
        // The document answers no namespace questions at all: the recording filter meets elements only.
        if (!whole) w->setFilter(&filter);
        EXPECT_TRUE(w->write(whole ? static_cast<DOMNode*>(doc) : frame.node, &output));
        ASSERT_FALSE(target.views.empty());
        for (const std::u16string& view : target.views) EXPECT_EQ(view, namespaceView(x.node));
        if (whole) continue;
        // The outermost element too, which the writer asks about itself.
        for (const auto& [name, view] : outside) {
            ASSERT_EQ(filter.seen.count(name), 1u) << narrow(name);
            EXPECT_EQ(filter.seen.at(name), view) << narrow(name);
        }
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen()),
                  narrow(written));
    }
    // After the write the nodes answer as before.
    EXPECT_EQ(namespaceView(item.node), outside.at(u"kw:item"));
}

TEST_F(CallerCode, whatACallersFilterMeetsDoesNotFailTheWrite) {
    // The recording filter looks for an attribute the elements lack: that refusal is the filter's business.
    Owned page(at("project/layout/spread/page"));
    const std::u16string plain = write(page.node);
    const Serializer w = serializer();
    RecordingFilter filter;
    w->setFilter(&filter);
    EXPECT_EQ(write(w.get(), page.node), plain);
    EXPECT_EQ(filter.absent, 3);
}

} // namespace
