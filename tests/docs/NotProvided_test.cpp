// docs/dom-not-provided.md against the library: every standard call the table lists throws the code it
// gives, and every call of the interfaces that throws -1 or 9 is in the table.
#include <DOMKw/dom/Object.hpp>
#include <DOMKw/dom/Owned.hpp>

#include <xercesc/dom/DOM.hpp>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/HostFixture.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace {

using testing_support::HostTest;

// Ends whatever node object a call handed out.
void end(const DOMNode* node) { dom::dispose(const_cast<DOMNode*>(node)); }

struct Call {
    const char* name;
    std::function<void(DOMNode*)> run;
};

// One row per call: G ignores the answer, N ends the node object it hands out. Arguments change nothing.
#define G(C, f, ...) {#f, [](DOMNode* n) { static_cast<C*>(n)->f(__VA_ARGS__); }}
#define N(C, f, ...) {#f, [](DOMNode* n) { end(static_cast<C*>(n)->f(__VA_ARGS__)); }}
using Calls = std::vector<Call>;

const Calls nodeCalls = {
    G(DOMNode, getNodeName), G(DOMNode, getNodeValue), N(DOMNode, getParentNode),
    G(DOMNode, getChildNodes), N(DOMNode, getFirstChild), N(DOMNode, getLastChild),
    N(DOMNode, getPreviousSibling), N(DOMNode, getNextSibling), G(DOMNode, getAttributes),
    G(DOMNode, getOwnerDocument), N(DOMNode, cloneNode, false), G(DOMNode, hasChildNodes),
    G(DOMNode, normalize), G(DOMNode, isSupported, u"Core", u"3.0"), G(DOMNode, getNamespaceURI),
    G(DOMNode, getPrefix), G(DOMNode, getLocalName), G(DOMNode, setPrefix, nullptr),
    G(DOMNode, hasAttributes), G(DOMNode, isSameNode, n), G(DOMNode, isEqualNode, n),
    G(DOMNode, setUserData, u"probe", nullptr, nullptr), G(DOMNode, getUserData, u"probe"),
    G(DOMNode, getBaseURI), G(DOMNode, compareDocumentPosition, n), G(DOMNode, getTextContent),
    G(DOMNode, lookupPrefix, u"urn:probe"), G(DOMNode, isDefaultNamespace, u"urn:probe"),
    G(DOMNode, lookupNamespaceURI, u"probe"), G(DOMNode, getFeature, u"Core", u"3.0"),
};

const Calls elementCalls = {
    G(DOMElement, getTagName), G(DOMElement, getAttribute, u"name"),
    N(DOMElement, getAttributeNode, u"name"), G(DOMElement, getElementsByTagName, u"probe"),
    G(DOMElement, removeAttribute, u"probe"), G(DOMElement, removeAttributeNode, nullptr),
    G(DOMElement, removeAttributeNS, nullptr, u"probe"), G(DOMElement, getAttributeNS, nullptr, u"name"),
    N(DOMElement, getAttributeNodeNS, nullptr, u"name"),
    G(DOMElement, getElementsByTagNameNS, nullptr, u"probe"), G(DOMElement, hasAttribute, u"name"),
    G(DOMElement, hasAttributeNS, nullptr, u"name"), G(DOMElement, setIdAttribute, u"name", true),
    G(DOMElement, setIdAttributeNS, nullptr, u"name", true),
    G(DOMElement, setIdAttributeNode, nullptr, true), G(DOMElement, getSchemaTypeInfo),
    N(DOMElement, getFirstElementChild), N(DOMElement, getLastElementChild),
    N(DOMElement, getPreviousElementSibling), N(DOMElement, getNextElementSibling),
    G(DOMElement, getChildElementCount),
};

const Calls documentCalls = {
    N(DOMDocument, createElement, u"probe"), N(DOMDocument, createDocumentFragment),
    N(DOMDocument, createTextNode, u"probe"), N(DOMDocument, createComment, u"probe"),
    N(DOMDocument, createCDATASection, u"probe"), N(DOMDocument, createProcessingInstruction, u"p", u"q"),
    N(DOMDocument, createAttribute, u"probe"), N(DOMDocument, createEntityReference, u"probe"),
    G(DOMDocument, getDoctype), G(DOMDocument, getImplementation), N(DOMDocument, getDocumentElement),
    G(DOMDocument, getElementsByTagName, u"probe"), N(DOMDocument, createElementNS, nullptr, u"probe"),
    N(DOMDocument, createAttributeNS, nullptr, u"probe"),
    G(DOMDocument, getElementsByTagNameNS, nullptr, u"probe"), N(DOMDocument, getElementById, u"probe"),
    G(DOMDocument, getInputEncoding), G(DOMDocument, getXmlEncoding), G(DOMDocument, getXmlStandalone),
    G(DOMDocument, setXmlStandalone, false), G(DOMDocument, getXmlVersion), G(DOMDocument, getDocumentURI),
    G(DOMDocument, setDocumentURI, nullptr), G(DOMDocument, getStrictErrorChecking),
    G(DOMDocument, setStrictErrorChecking, true), N(DOMDocument, renameNode, nullptr, nullptr, u"probe"),
    N(DOMDocument, adoptNode, nullptr), G(DOMDocument, getDOMConfig), G(DOMDocument, createEntity, u"probe"),
    G(DOMDocument, createDocumentType, u"probe"), G(DOMDocument, createNotation, u"probe"),
    G(DOMDocument, createRange),
    G(DOMDocument, createNodeIterator, n, DOMNodeFilter::SHOW_ALL, nullptr, false),
    G(DOMDocument, createTreeWalker, n, DOMNodeFilter::SHOW_ALL, nullptr, false),
    G(DOMDocument, replaceChild, nullptr, nullptr), G(DOMDocument, removeChild, nullptr),
};

const Calls textCalls = {
    G(DOMText, getData), G(DOMText, getLength), G(DOMText, substringData, 0, 1), N(DOMText, splitText, 1),
    G(DOMText, getIsElementContentWhitespace), G(DOMText, getWholeText), G(DOMText, isIgnorableWhitespace),
    G(DOMNode, replaceChild, nullptr, nullptr),
};

const Calls attrCalls = {
    G(DOMAttr, getName), G(DOMAttr, getSpecified), G(DOMAttr, getValue), N(DOMAttr, getOwnerElement),
    G(DOMAttr, isId), G(DOMAttr, getSchemaTypeInfo), G(DOMNode, insertBefore, nullptr, nullptr),
    G(DOMNode, replaceChild, nullptr, nullptr), G(DOMNode, removeChild, nullptr),
    G(DOMNode, appendChild, nullptr), G(DOMNode, setTextContent, nullptr),
};
#undef G
#undef N

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

    struct Subject {
        const char* interfaceName;
        DOMNode* node;
        std::vector<const Calls*> families;
    } subjects[] = {
        {"DOMDocument", doc, {&nodeCalls, &documentCalls}},
        {"DOMElement", app.get(), {&nodeCalls, &elementCalls}},
        {"DOMText", text.get(), {&nodeCalls, &textCalls}},
        {"DOMAttr", attr.get(), {&nodeCalls, &attrCalls}},
    };
    Table found;
    for (const Subject& s : subjects)
        for (const auto* family : s.families)
            for (const Call& call : *family) {
                const std::string key = std::string(s.interfaceName) + " " + call.name;
                if (found.count(key)) continue;
                try {
                    call.run(s.node);
                    found[key] = 0;
                } catch (const DOMException& e) {
                    found[key] = static_cast<short>(e.code);
                    if (e.code == static_cast<short>(-1)) {
                        EXPECT_TRUE(XMLString::equals(e.getMessage(), u"not provided by this DOM")) << key;
                    }
                } catch (...) {
                    found[key] = 1000; // refused some other way: not a "not provided"
                }
            }
    const Table documented = readDocs();
    EXPECT_FALSE(documented.empty());
    for (const auto& [key, code] : documented) {
        ASSERT_TRUE(found.count(key)) << key << " is documented but not probed";
        EXPECT_EQ(found[key], code) << key;
    }
    for (const auto& [key, code] : found)
        EXPECT_TRUE((code != -1 && code != 9) || documented.count(key))
            << key << " throws " << code << " undocumented";
}

} // namespace
