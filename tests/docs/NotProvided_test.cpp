// docs/dom-not-provided.md against the library, both ways: each documented call throws its code, and the
// same call on the other node kinds throws neither -1 nor 9 unless documented.
#include <DOMKw/dom/Object.hpp>
#include <DOMKw/dom/Owned.hpp>

#include <xercesc/dom/DOM.hpp>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <string>

#include "common/HostFixture.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace {

using testing_support::HostTest;

// Ends whatever node object a call handed out.
void end(const DOMNode* node) { dom::dispose(const_cast<DOMNode*>(node)); }

// Calls of DOMNode are keyed by name and made on every node kind, the others by "Class name". G ignores
// the answer, N ends the node object it hands out. Arguments change nothing.
#define KEY(C, f) (std::string(#C) == "DOMNode" ? #f : #C " " #f)
#define G(C, f, ...) {KEY(C, f), [](DOMNode* n) { static_cast<C*>(n)->f(__VA_ARGS__); }}
#define N(C, f, ...) {KEY(C, f), [](DOMNode* n) { end(static_cast<C*>(n)->f(__VA_ARGS__)); }}
const std::map<std::string, std::function<void(DOMNode*)>> calls = {
    N(DOMNode, cloneNode, false), G(DOMNode, compareDocumentPosition, n), G(DOMNode, getBaseURI),
    G(DOMNode, getLocalName), G(DOMNode, getNamespaceURI), G(DOMNode, getPrefix), G(DOMNode, getTextContent),
    G(DOMNode, getUserData, u"probe"), G(DOMNode, setUserData, u"probe", nullptr, nullptr),
    G(DOMNode, isDefaultNamespace, u"urn:probe"), G(DOMNode, lookupPrefix, u"urn:probe"),
    G(DOMNode, isSupported, u"Core", u"3.0"), G(DOMNode, getAttributes), G(DOMNode, removeChild, nullptr),
    G(DOMNode, replaceChild, nullptr, nullptr), G(DOMNode, appendChild, nullptr),
    G(DOMNode, insertBefore, nullptr, nullptr), G(DOMNode, setPrefix, nullptr),
    N(DOMDocument, adoptNode, nullptr), N(DOMDocument, createAttributeNS, nullptr, u"probe"),
    N(DOMDocument, createCDATASection, u"probe"), N(DOMDocument, createComment, u"probe"),
    N(DOMDocument, createDocumentFragment), G(DOMDocument, createDocumentType, u"probe"),
    G(DOMDocument, createEntity, u"probe"), N(DOMDocument, createEntityReference, u"probe"),
    G(DOMDocument, createNodeIterator, n, DOMNodeFilter::SHOW_ALL, nullptr, false),
    G(DOMDocument, createNotation, u"probe"), N(DOMDocument, createProcessingInstruction, u"p", u"q"),
    G(DOMDocument, createRange), G(DOMDocument, createTreeWalker, n, DOMNodeFilter::SHOW_ALL, nullptr, false),
    G(DOMDocument, getDocumentURI), N(DOMDocument, getElementById, u"probe"),
    G(DOMDocument, getElementsByTagName, u"probe"), G(DOMDocument, getElementsByTagNameNS, nullptr, u"probe"),
    G(DOMDocument, getStrictErrorChecking), G(DOMDocument, getXmlStandalone),
    N(DOMDocument, renameNode, nullptr, nullptr, u"probe"), G(DOMDocument, setDocumentURI, nullptr),
    G(DOMDocument, setStrictErrorChecking, true), G(DOMDocument, setXmlStandalone, false),
    G(DOMElement, getChildElementCount), N(DOMElement, getFirstElementChild),
    N(DOMElement, getLastElementChild),
    N(DOMElement, getNextElementSibling), N(DOMElement, getPreviousElementSibling),
    G(DOMElement, getSchemaTypeInfo), G(DOMElement, removeAttribute, u"probe"),
    G(DOMElement, removeAttributeNS, nullptr, u"probe"), G(DOMElement, removeAttributeNode, nullptr),
    G(DOMElement, setIdAttribute, u"name", true), G(DOMElement, setIdAttributeNS, nullptr, u"name", true),
    G(DOMElement, setIdAttributeNode, nullptr, true), G(DOMText, getIsElementContentWhitespace),
    N(DOMText, splitText, 1), G(DOMAttr, getSchemaTypeInfo), G(DOMAttr, isId),
    G(DOMDocument, setTextContent, nullptr), G(DOMElement, setTextContent, nullptr),
    G(DOMAttr, setTextContent, nullptr),
};
#undef G
#undef N
#undef KEY

// "Class call" -> code, for the calls that throw -1 or 9.
using Table = std::map<std::string, int>;

Table readDocs() {
    std::ifstream in(std::string(DOMKW_DOCS_DIR) + "/dom-not-provided.md");
    Table table;
    const std::regex row(R"(^\| `(DOM\w+)` \| `(\w+)` \| (-1|9) \|)");
    std::smatch m;
    for (std::string line; std::getline(in, line);)
        if (std::regex_search(line, m, row)) table[m[1].str() + " " + m[2].str()] = std::stoi(m[3].str());
    return table;
}

class NotProvided : public HostTest {};

TEST_F(NotProvided, TheDocumentedTableIsExactlyWhatTheLibraryRefuses) {
    // The document is declared first: it is ended last.
    const dom::Owned<DOMDocument> owned(
        DOMImplementationRegistry::getDOMImplementation(u"Tellam 6.0")->createDocument());
    DOMDocument* doc = owned.get();
    const dom::Owned<DOMElement> app(doc->getDocumentElement());
    const dom::Owned<DOMNode> text(
        dom::own(doc->evaluate(u"(//text())[1]", doc, nullptr, DOMXPathResult::FIRST_ORDERED_NODE_TYPE, nullptr))
            ->getNodeValue());
    const dom::Owned<DOMNode> attr(
        dom::own(doc->evaluate(u"(//@*)[1]", doc, nullptr, DOMXPathResult::FIRST_ORDERED_NODE_TYPE, nullptr))
            ->getNodeValue());
    ASSERT_TRUE(text && attr);
    const std::map<std::string, DOMNode*> subjects = {
        {"DOMDocument", doc}, {"DOMElement", app.get()}, {"DOMText", text.get()}, {"DOMAttr", attr.get()}};
    const Table documented = readDocs();
    EXPECT_FALSE(documented.empty());
    size_t probed = 0;
    for (const auto& [interfaceName, node] : subjects)
        for (const auto& [name, run] : calls) {
            const bool ofNode = name.find(' ') == std::string::npos;
            if (!ofNode && name.rfind(interfaceName + " ", 0) != 0) continue;
            const std::string key = ofNode ? interfaceName + " " + name : name;
            int code = 0;
            try {
                run(node);
            } catch (const DOMException& e) {
                code = static_cast<short>(e.code);
                if (code == -1) {
                    EXPECT_TRUE(XMLString::equals(e.getMessage(), u"not provided by this DOM")) << key;
                }
            } catch (...) {
                code = 1000; // refused some other way: not a "not provided"
            }
            probed += documented.count(key);
            EXPECT_TRUE(documented.count(key) ? documented.at(key) == code : code != -1 && code != 9)
                << key << " throws " << code;
        }
    EXPECT_EQ(probed, documented.size()) << "a documented call is not probed";
}

} // namespace
