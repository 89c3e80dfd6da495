// The serializer against Xerces-C's own: the outermost element's forms, the
// caller's filter, the save-to-string filter, files, the XML declaration, the encoding of a destination
// that names none, and the namespace prefixes its output uses, read back by a namespace-aware parser.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <tuple>

#include "common/NativeDom.hpp"
#include "serialize/WriterFixture.hpp"

using namespace testing_support;

namespace {

using Writer = WriterTest;

const std::u16string header =
    u" generator=\"DOMKw reference host &amp; &quot;friends&quot; &lt;1>\" schemaVersion=\"6.0\"";

std::string smallXml() {
    std::ifstream file(std::string(DOMKW_TEST_DATA_DIR) + "/small.xml", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string utf8(const std::u16string& text) {
    TranscodeToStr out(reinterpret_cast<const XMLCh*>(text.c_str()), "UTF-8");
    return reinterpret_cast<const char*>(out.str());
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

// A file named by URI, or by the system id of a destination without a byte stream: the whole output, in
// UTF-8, byte for byte what the string holds. A file that cannot be made, or a write that fails, leaves
// the file as it was.
TEST_F(Writer, aFileGetsTheWholeOutputOrStaysAsItWas) {
    Owned spread(at("project/layout[2]/spread"));
    const Serializer w = serializer();
    const std::string expected = utf8(write(w.get(), spread.node));
    char path[] = "/tmp/domkw-writer-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    const std::u16string uri(path, path + std::strlen(path));
    auto onDisk = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_TRUE(w->writeToURI(spread.node, uri.c_str()));
    EXPECT_EQ(onDisk(), expected);
    std::ofstream(path) << "before";
    DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
    output.setSystemId(uri.c_str());
    output.setEncoding(u"UTF-8");
    EXPECT_TRUE(w->write(spread.node, &output));
    EXPECT_EQ(onDisk(), expected);
    EXPECT_FALSE(w->writeToURI(spread.node, u"/nonexistent-dir/out.xml"));

    std::ofstream(path) << "<kept/>";
    Owned page(at("project/layout/spread/page"));
    host.failAt(Kw::host::NavigateElement, 11, 2);
    EXPECT_EQ(domExceptionCode([&] { w->writeToURI(page.node, uri.c_str()); }), 11);
    host.disarm();
    EXPECT_EQ(onDisk(), "<kept/>");
    std::remove(path);
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
        EXPECT_EQ(sortAttributes(utf8(mine)), sortAttributes(utf8(expected))) << declaration;
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

// Every prefix written is declared, once, on the outermost element: xsi of the typed attribute the host
// keeps for xsi:type, and the prefix of an xsi:type value when the document binds it (one it does not bind
// is left as it stands); a prefix bound inside the output is not declared again. A copy (a Xerces-C
// element) written by Xerces-C's own serializer, as a plug-in would, reads back with namespaces and its
// xsi:type is still the schema-instance type.
TEST_F(Writer, everyPrefixWrittenIsDeclaredOnceAndACopyKeepsTheNamespaceOfItsTypedAttribute) {
    host.loadString(
        "<application xmlns:kw=\"urn:kw\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
        "<project><page xmlns:q=\"urn:q\"><box q:mark=\"1\"/><box kw:x=\"2\"/></page>"
        "<colors><color xsi:type=\"kw:Spot\"/><color xsi:type=\"zz:Other\"/></colors></project>"
        "</application>",
        "prefixes");
    openDocument();
    const std::u16string xsi = u"http://www.w3.org/2001/XMLSchema-instance";
    Owned page(at("project/page")), box(at("project/page/box[2]")), colors(at("project/colors")),
        color(at("project/colors/color")), project(at("project")), app(doc->getDocumentElement());
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
    // q is bound on <page>, inside the output: the outermost element does not bind it again.
    const std::u16string out = write(project.node);
    EXPECT_EQ(out.find(u"xmlns:q"), out.rfind(u"xmlns:q"));
    EXPECT_GT(out.find(u"xmlns:q"), out.find(u"<page"));
    EXPECT_LT(out.find(u"xmlns:kw"), out.find(u"<page"));
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

} // namespace
