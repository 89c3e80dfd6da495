// What the writer declares: the encoding of a destination that names none, the XML declaration of a
// whole document, and the namespace prefixes its output uses; each cross-checked against Xerces-C's own
// serializer and read back by a namespace-aware parser.
#include <xercesc/dom/impl/DOMLSOutputImpl.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/NativeDom.hpp"
#include "serialize/WriterFixture.hpp"

using namespace testing_support;

namespace {

using Declarations = WriterTest;

std::string smallXml() {
    std::ifstream file(std::string(DOMKW_TEST_DATA_DIR) + "/small.xml", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The bytes a serializer writes for a node to a byte stream, with the encoding given (null: none).
std::string bytes(DOMLSSerializer* w, const DOMNode* node, const XMLCh* encoding, bool& ok) {
    MemBufFormatTarget target;
    DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
    output.setByteStream(&target);
    if (encoding) output.setEncoding(encoding);
    ok = w->write(node, &output);
    return std::string(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen());
}

std::string utf8(const std::u16string& text) {
    TranscodeToStr out(reinterpret_cast<const XMLCh*>(text.c_str()), "UTF-8");
    return reinterpret_cast<const char*>(out.str());
}

const std::u16string header =
    u" generator=\"DOMKw reference host &amp; &quot;friends&quot; &lt;1>\" schemaVersion=\"6.0\"";

TEST_F(Declarations, aDestinationWithoutAnEncodingIsWrittenInTheEncodingXercesChooses) {
    // Xerces-C falls back to the document's input encoding (then its declared one, then UTF-8): ours
    // answers UTF-16, a parsed native document the encoding it was read in.
    NativeDom native(smallXml());
    DOMLSSerializer* xerces =
        DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createLSSerializer();
    DOMLSSerializer* ours = serializer();
    Owned colors(at("colors"));
    struct Case {
        const char* what;
        DOMLSSerializer* writer;
        const DOMNode* node;
    } cases[] = {
        {"native", xerces, native.root()->getElementsByTagName(u"colors")->item(0)},
        {"ours", ours, colors.node},
    };
    for (const Case& c : cases) {
        bool none = false, named = false;
        const std::string unnamed = bytes(c.writer, c.node, nullptr, none);
        const std::string chosen =
            bytes(c.writer, c.node, c.node->getOwnerDocument()->getInputEncoding(), named);
        EXPECT_TRUE(none && named) << c.what;
        EXPECT_EQ(unnamed, chosen) << c.what;
        EXPECT_FALSE(unnamed.empty()) << c.what;
    }
    bool ok = false;
    const std::string raw = bytes(ours, colors.node, nullptr, ok);
    const std::u16string text(reinterpret_cast<const char16_t*>(raw.data()), raw.size() / 2);
    EXPECT_TRUE(parsesBack(text)) << narrow(text);
    EXPECT_EQ(text.substr(0, 7), u"<colors");
    ours->release();
    xerces->release();
}

TEST_F(Declarations, theWholeDocumentIsWrittenAsXercesWritesTheNativeOne) {
    NativeDom native(smallXml());
    DOMLSSerializer* xerces =
        DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createLSSerializer();
    XMLCh* theirsText = xerces->writeToString(native.document());
    const std::u16string theirs(theirsText);
    XMLString::release(&theirsText);

    struct Case {
        const char* what;
        bool declaration;
    } cases[] = {{"with the XML declaration", true}, {"without it", false}};
    for (const Case& c : cases) {
        DOMLSSerializer* w = serializer();
        xerces->getDomConfig()->setParameter(XMLUni::fgDOMXMLDeclaration, c.declaration);
        w->getDomConfig()->setParameter(XMLUni::fgDOMXMLDeclaration, c.declaration);
        XMLCh* expectedText = xerces->writeToString(native.document());
        const std::u16string expected(expectedText);
        XMLString::release(&expectedText);
        std::u16string mine = write(w, doc);
        w->release();
        const size_t at = mine.find(u"<application") + 12;
        ASSERT_EQ(mine.substr(at, header.size()), header) << c.what;
        mine.erase(at, header.size());
        EXPECT_EQ(sortAttributes(utf8(mine)), sortAttributes(utf8(expected))) << c.what;
    }
    // A byte order mark, asked for, leads a document written to a byte stream in a Unicode encoding,
    // as it leads Xerces-C's; a string gets none.
    xerces->getDomConfig()->setParameter(XMLUni::fgDOMWRTBOM, true);
    xerces->getDomConfig()->setParameter(XMLUni::fgDOMXMLDeclaration, true);
    DOMLSSerializer* w = serializer();
    w->getDomConfig()->setParameter(XMLUni::fgDOMWRTBOM, true);
    const struct {
        const XMLCh* encoding;
        std::string mark;
    } marks[] = {{u"UTF-8", "\xEF\xBB\xBF"}, {u"UTF-16BE", "\xFE\xFF"}, {u"ISO-8859-1", ""}};
    for (const auto& m : marks) {
        bool theirsOk = false, oursOk = false;
        const std::string theirsBytes = bytes(xerces, native.document(), m.encoding, theirsOk);
        const std::string oursBytes = bytes(w, doc, m.encoding, oursOk);
        EXPECT_TRUE(theirsOk && oursOk);
        EXPECT_EQ(theirsBytes.substr(0, m.mark.size()), m.mark) << narrow(m.encoding);
        EXPECT_EQ(oursBytes.substr(0, m.mark.size() + 4), theirsBytes.substr(0, m.mark.size() + 4))
            << narrow(m.encoding);
    }
    XMLCh* markedTheirs = xerces->writeToString(native.document());
    XMLCh* markedOurs = w->writeToString(doc);
    ASSERT_TRUE(markedTheirs && markedOurs);
    EXPECT_EQ(std::u16string(markedTheirs).substr(0, 5), u"<?xml");
    EXPECT_EQ(std::u16string(markedOurs).substr(0, 5), u"<?xml");
    XMLString::release(&markedTheirs);
    XMLPlatformUtils::fgMemoryManager->deallocate(markedOurs);
    w->release();
    xerces->release();
    const std::u16string declaration = u"<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"no\" ?>";
    EXPECT_EQ(theirs.substr(0, declaration.size()), declaration);
    // Callers still learn that the document has no standalone flag to give.
    try {
        doc->getXmlStandalone();
        ADD_FAILURE() << "getXmlStandalone answered";
    } catch (const DOMException& e) {
        EXPECT_EQ(e.code, 9);
    }
    // The document's save: the declaration, then the document element as its own save writes it.
    const std::u16string saved = save(doc);
    Owned root(doc->getDocumentElement());
    const std::u16string element = save(root.node);
    EXPECT_EQ(saved, declaration + element);
    EXPECT_EQ(doc->liveNodeCount(), 1u);
}

// xsi:type is kept by the host as a typed attribute: a subtree written without the document element
// declares xsi itself, once, on its outermost element, written and saved. A copy (a Xerces-C element)
// written by Xerces-C's own serializer, as a plug-in would, reads back with namespaces and its xsi:type is
// still the schema-instance type.
TEST_F(Declarations, everyPrefixWrittenIsDeclaredAndACopyKeepsTheNamespaceOfItsTypedAttribute) {
    const std::u16string xsi = u"xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";
    const dom::Owned<DOMLSSerializer> xerces(
        DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createLSSerializer());
    Owned colors(at("colors")), color(at("colors/color")), app(doc->getDocumentElement());
    for (DOMNode* node : {colors.node, color.node, app.node})
        for (const char* how : {"written", "saved", "copied"}) {
            const std::string what = narrow(node->getNodeName()) + " " + how;
            std::u16string out;
            const dom::Owned<DOMNode> copy(how[0] == 'c' ? node->cloneNode(true) : nullptr);
            if (copy) {
                XMLCh* written = xerces->writeToString(copy.get());
                out = written;
                XMLString::release(&written);
                auto* e = static_cast<DOMElement*>(copy.get());
                auto* typed = e->hasAttribute(u"xsi:type")
                                  ? e
                                  : static_cast<DOMElement*>(e->getElementsByTagName(u"color")->item(0));
                ASSERT_NE(typed, nullptr) << what;
                EXPECT_EQ(text(typed->getAttributeNS(u"http://www.w3.org/2001/XMLSchema-instance", u"type")),
                          u"ProcessColor") << what;
                EXPECT_EQ(text(typed->getAttribute(u"xsi:type")), u"ProcessColor") << what;
            } else {
                out = how[0] == 's' ? save(node) : write(node);
            }
            EXPECT_TRUE(parsesBack(out)) << what << ": " << narrow(out);
            const size_t first = out.find(xsi);
            ASSERT_NE(first, std::u16string::npos) << what << ": " << narrow(out);
            if (copy) continue; // Xerces-C declares it where it is used
            EXPECT_LT(first, out.find(u'<', 1)) << what;
            EXPECT_EQ(out.find(xsi, first + 1), std::u16string::npos) << what;
        }
}

TEST_F(Declarations, aPrefixBoundInsideTheOutputIsNotDeclaredAgainAndOneBoundAboveItIs) {
    // The prefix of an xsi:type value is declared too when the document binds it; one it does not bind
    // is left as it stands.
    host.loadString(
        "<application xmlns:kw=\"urn:kw\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
        "<project><page xmlns:q=\"urn:q\"><box q:mark=\"1\"/><box kw:x=\"2\"/></page>"
        "<colors><color xsi:type=\"kw:Spot\"/><color xsi:type=\"zz:Other\"/></colors></project>"
        "</application>",
        "prefixes");
    openDocument();
    Owned page(at("project/page")), box(at("project/page/box[2]")), colors(at("project/colors")),
        color(at("project/colors/color"));
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
    Owned project(at("project"));
    const std::u16string out = write(project.node);
    EXPECT_EQ(out.find(u"xmlns:q"), out.rfind(u"xmlns:q"));
    EXPECT_GT(out.find(u"xmlns:q"), out.find(u"<page"));
    EXPECT_LT(out.find(u"xmlns:kw"), out.find(u"<page"));
}

} // namespace
