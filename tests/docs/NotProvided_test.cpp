// docs/dom-not-provided.md against the library: every standard call the table lists throws the code it
// gives, and every call of the interfaces that throws -1 or 9 is in the table.
#include <DOMKw/dom/Object.hpp>
#include <DOMKw/dom/Owned.hpp>

#include <xercesc/dom/DOM.hpp>

#include <cstdlib>
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

DOMElement* E(DOMNode* n) { return static_cast<DOMElement*>(n); }
DOMDocument* D(DOMNode* n) { return static_cast<DOMDocument*>(n); }
DOMText* T(DOMNode* n) { return static_cast<DOMText*>(n); }
DOMAttr* A(DOMNode* n) { return static_cast<DOMAttr*>(n); }

// Calls every node answers, with arguments that change nothing.
const std::vector<Call>& nodeCalls() {
    static const std::vector<Call> calls = {
        {"getNodeName", [](DOMNode* n) { n->getNodeName(); }},
        {"getNodeValue", [](DOMNode* n) { n->getNodeValue(); }},
        {"getParentNode", [](DOMNode* n) { end(n->getParentNode()); }},
        {"getChildNodes", [](DOMNode* n) { n->getChildNodes(); }},
        {"getFirstChild", [](DOMNode* n) { end(n->getFirstChild()); }},
        {"getLastChild", [](DOMNode* n) { end(n->getLastChild()); }},
        {"getPreviousSibling", [](DOMNode* n) { end(n->getPreviousSibling()); }},
        {"getNextSibling", [](DOMNode* n) { end(n->getNextSibling()); }},
        {"getAttributes", [](DOMNode* n) { n->getAttributes(); }},
        {"getOwnerDocument", [](DOMNode* n) { n->getOwnerDocument(); }},
        {"cloneNode", [](DOMNode* n) { end(n->cloneNode(false)); }},
        {"hasChildNodes", [](DOMNode* n) { n->hasChildNodes(); }},
        {"normalize", [](DOMNode* n) { n->normalize(); }},
        {"isSupported", [](DOMNode* n) { n->isSupported(u"Core", u"3.0"); }},
        {"getNamespaceURI", [](DOMNode* n) { n->getNamespaceURI(); }},
        {"getPrefix", [](DOMNode* n) { n->getPrefix(); }},
        {"getLocalName", [](DOMNode* n) { n->getLocalName(); }},
        {"setPrefix", [](DOMNode* n) { n->setPrefix(nullptr); }},
        {"hasAttributes", [](DOMNode* n) { n->hasAttributes(); }},
        {"isSameNode", [](DOMNode* n) { n->isSameNode(n); }},
        {"isEqualNode", [](DOMNode* n) { n->isEqualNode(n); }},
        {"setUserData", [](DOMNode* n) { n->setUserData(u"probe", nullptr, nullptr); }},
        {"getUserData", [](DOMNode* n) { n->getUserData(u"probe"); }},
        {"getBaseURI", [](DOMNode* n) { n->getBaseURI(); }},
        {"compareDocumentPosition", [](DOMNode* n) { n->compareDocumentPosition(n); }},
        {"getTextContent", [](DOMNode* n) { n->getTextContent(); }},
        {"lookupPrefix", [](DOMNode* n) { n->lookupPrefix(u"urn:probe"); }},
        {"isDefaultNamespace", [](DOMNode* n) { n->isDefaultNamespace(u"urn:probe"); }},
        {"lookupNamespaceURI", [](DOMNode* n) { n->lookupNamespaceURI(u"probe"); }},
        {"getFeature", [](DOMNode* n) { n->getFeature(u"Core", u"3.0"); }},
    };
    return calls;
}

const std::vector<Call>& elementCalls() {
    static const std::vector<Call> calls = {
        {"getTagName", [](DOMNode* n) { E(n)->getTagName(); }},
        {"getAttribute", [](DOMNode* n) { E(n)->getAttribute(u"name"); }},
        {"getAttributeNode", [](DOMNode* n) { end(E(n)->getAttributeNode(u"name")); }},
        {"getElementsByTagName", [](DOMNode* n) { E(n)->getElementsByTagName(u"probe"); }},
        {"removeAttribute", [](DOMNode* n) { E(n)->removeAttribute(u"probe"); }},
        {"removeAttributeNode", [](DOMNode* n) { E(n)->removeAttributeNode(nullptr); }},
        {"removeAttributeNS", [](DOMNode* n) { E(n)->removeAttributeNS(nullptr, u"probe"); }},
        {"getAttributeNS", [](DOMNode* n) { E(n)->getAttributeNS(nullptr, u"name"); }},
        {"getAttributeNodeNS", [](DOMNode* n) { end(E(n)->getAttributeNodeNS(nullptr, u"name")); }},
        {"getElementsByTagNameNS", [](DOMNode* n) { E(n)->getElementsByTagNameNS(nullptr, u"probe"); }},
        {"hasAttribute", [](DOMNode* n) { E(n)->hasAttribute(u"name"); }},
        {"hasAttributeNS", [](DOMNode* n) { E(n)->hasAttributeNS(nullptr, u"name"); }},
        {"setIdAttribute", [](DOMNode* n) { E(n)->setIdAttribute(u"name", true); }},
        {"setIdAttributeNS", [](DOMNode* n) { E(n)->setIdAttributeNS(nullptr, u"name", true); }},
        {"setIdAttributeNode", [](DOMNode* n) { E(n)->setIdAttributeNode(nullptr, true); }},
        {"getSchemaTypeInfo", [](DOMNode* n) { E(n)->getSchemaTypeInfo(); }},
        {"getFirstElementChild", [](DOMNode* n) { end(E(n)->getFirstElementChild()); }},
        {"getLastElementChild", [](DOMNode* n) { end(E(n)->getLastElementChild()); }},
        {"getPreviousElementSibling", [](DOMNode* n) { end(E(n)->getPreviousElementSibling()); }},
        {"getNextElementSibling", [](DOMNode* n) { end(E(n)->getNextElementSibling()); }},
        {"getChildElementCount", [](DOMNode* n) { E(n)->getChildElementCount(); }},
    };
    return calls;
}

const std::vector<Call>& documentCalls() {
    static const std::vector<Call> calls = {
        {"createElement", [](DOMNode* n) { end(D(n)->createElement(u"probe")); }},
        {"createDocumentFragment", [](DOMNode* n) { end(D(n)->createDocumentFragment()); }},
        {"createTextNode", [](DOMNode* n) { end(D(n)->createTextNode(u"probe")); }},
        {"createComment", [](DOMNode* n) { end(D(n)->createComment(u"probe")); }},
        {"createCDATASection", [](DOMNode* n) { end(D(n)->createCDATASection(u"probe")); }},
        {"createProcessingInstruction", [](DOMNode* n) { end(D(n)->createProcessingInstruction(u"p", u"q")); }},
        {"createAttribute", [](DOMNode* n) { end(D(n)->createAttribute(u"probe")); }},
        {"createEntityReference", [](DOMNode* n) { end(D(n)->createEntityReference(u"probe")); }},
        {"getDoctype", [](DOMNode* n) { D(n)->getDoctype(); }},
        {"getImplementation", [](DOMNode* n) { D(n)->getImplementation(); }},
        {"getDocumentElement", [](DOMNode* n) { end(D(n)->getDocumentElement()); }},
        {"getElementsByTagName", [](DOMNode* n) { D(n)->getElementsByTagName(u"probe"); }},
        {"createElementNS", [](DOMNode* n) { end(D(n)->createElementNS(nullptr, u"probe")); }},
        {"createAttributeNS", [](DOMNode* n) { end(D(n)->createAttributeNS(nullptr, u"probe")); }},
        {"getElementsByTagNameNS", [](DOMNode* n) { D(n)->getElementsByTagNameNS(nullptr, u"probe"); }},
        {"getElementById", [](DOMNode* n) { end(D(n)->getElementById(u"probe")); }},
        {"getInputEncoding", [](DOMNode* n) { D(n)->getInputEncoding(); }},
        {"getXmlEncoding", [](DOMNode* n) { D(n)->getXmlEncoding(); }},
        {"getXmlStandalone", [](DOMNode* n) { D(n)->getXmlStandalone(); }},
        {"setXmlStandalone", [](DOMNode* n) { D(n)->setXmlStandalone(false); }},
        {"getXmlVersion", [](DOMNode* n) { D(n)->getXmlVersion(); }},
        {"getDocumentURI", [](DOMNode* n) { D(n)->getDocumentURI(); }},
        {"setDocumentURI", [](DOMNode* n) { D(n)->setDocumentURI(nullptr); }},
        {"getStrictErrorChecking", [](DOMNode* n) { D(n)->getStrictErrorChecking(); }},
        {"setStrictErrorChecking", [](DOMNode* n) { D(n)->setStrictErrorChecking(true); }},
        {"renameNode", [](DOMNode* n) { end(D(n)->renameNode(nullptr, nullptr, u"probe")); }},
        {"adoptNode", [](DOMNode* n) { end(D(n)->adoptNode(nullptr)); }},
        {"getDOMConfig", [](DOMNode* n) { D(n)->getDOMConfig(); }},
        {"createEntity", [](DOMNode* n) { D(n)->createEntity(u"probe"); }},
        {"createDocumentType", [](DOMNode* n) { D(n)->createDocumentType(u"probe"); }},
        {"createNotation", [](DOMNode* n) { D(n)->createNotation(u"probe"); }},
        {"createRange", [](DOMNode* n) { D(n)->createRange(); }},
        {"createNodeIterator", [](DOMNode* n) { D(n)->createNodeIterator(n, DOMNodeFilter::SHOW_ALL, nullptr, false); }},
        {"createTreeWalker", [](DOMNode* n) { D(n)->createTreeWalker(n, DOMNodeFilter::SHOW_ALL, nullptr, false); }},
        {"replaceChild", [](DOMNode* n) { D(n)->replaceChild(nullptr, nullptr); }},
        {"removeChild", [](DOMNode* n) { D(n)->removeChild(nullptr); }},
    };
    return calls;
}

const std::vector<Call>& textCalls() {
    static const std::vector<Call> calls = {
        {"getData", [](DOMNode* n) { T(n)->getData(); }},
        {"getLength", [](DOMNode* n) { T(n)->getLength(); }},
        {"substringData", [](DOMNode* n) { T(n)->substringData(0, 1); }},
        {"splitText", [](DOMNode* n) { end(T(n)->splitText(1)); }},
        {"getIsElementContentWhitespace", [](DOMNode* n) { T(n)->getIsElementContentWhitespace(); }},
        {"getWholeText", [](DOMNode* n) { T(n)->getWholeText(); }},
        {"isIgnorableWhitespace", [](DOMNode* n) { T(n)->isIgnorableWhitespace(); }},
        {"replaceChild", [](DOMNode* n) { n->replaceChild(nullptr, nullptr); }},
    };
    return calls;
}

const std::vector<Call>& attrCalls() {
    static const std::vector<Call> calls = {
        {"getName", [](DOMNode* n) { A(n)->getName(); }},
        {"getSpecified", [](DOMNode* n) { A(n)->getSpecified(); }},
        {"getValue", [](DOMNode* n) { A(n)->getValue(); }},
        {"getOwnerElement", [](DOMNode* n) { end(A(n)->getOwnerElement()); }},
        {"isId", [](DOMNode* n) { A(n)->isId(); }},
        {"getSchemaTypeInfo", [](DOMNode* n) { A(n)->getSchemaTypeInfo(); }},
        {"insertBefore", [](DOMNode* n) { n->insertBefore(nullptr, nullptr); }},
        {"replaceChild", [](DOMNode* n) { n->replaceChild(nullptr, nullptr); }},
        {"removeChild", [](DOMNode* n) { n->removeChild(nullptr); }},
        {"appendChild", [](DOMNode* n) { n->appendChild(nullptr); }},
        {"setTextContent", [](DOMNode* n) { n->setTextContent(nullptr); }},
    };
    return calls;
}

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
        std::vector<const std::vector<Call>*> families;
    } subjects[] = {
        {"DOMDocument", doc, {&nodeCalls(), &documentCalls()}},
        {"DOMElement", app.get(), {&nodeCalls(), &elementCalls()}},
        {"DOMText", text.get(), {&nodeCalls(), &textCalls()}},
        {"DOMAttr", attr.get(), {&nodeCalls(), &attrCalls()}},
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
    Table refused;
    for (const auto& [key, code] : found)
        if (code == -1 || code == 9) refused[key] = code;
    if (std::getenv("DOMKW_PRINT_TABLE"))
        for (const auto& [key, code] : refused)
            std::printf("| `%s` | `%s` | %d |\n", key.substr(0, key.find(' ')).c_str(),
                        key.substr(key.find(' ') + 1).c_str(), code);

    const Table documented = readDocs();
    EXPECT_FALSE(documented.empty());
    for (const auto& [key, code] : documented) {
        ASSERT_TRUE(found.count(key)) << key << " is documented but not probed";
        EXPECT_EQ(found[key], code) << key;
    }
    for (const auto& [key, code] : refused) EXPECT_TRUE(documented.count(key)) << key << " throws " << code << " but is not documented";
}

} // namespace
