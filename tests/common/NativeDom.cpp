#include "common/NativeDom.hpp"

#include <DOMKw/dom/Object.hpp>
#include <DOMKw/dom/Owned.hpp>

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>

#include <algorithm>
#include <cctype>
#include <regex>
#include <vector>

using namespace XERCES_CPP_NAMESPACE;

namespace testing_support {

namespace {

const std::u16string hostNs = u"urn:domkw:reference-host";

// Implied and default-valued attributes are not specified in the host; host-only ones are no content.
void stripAttributes(DOMElement* e) {
    for (const char16_t* property : {u"implied", u"default"}) {
        std::u16string names = e->getAttributeNS(hostNs.c_str(), property);
        names += u' ';
        for (size_t at = 0, space; (space = names.find(u' ', at)) != std::u16string::npos; at = space + 1)
            if (space > at) e->removeAttribute(names.substr(at, space - at).c_str());
    }
    DOMNamedNodeMap* attrs = e->getAttributes();
    for (XMLSize_t i = attrs->getLength(); i-- > 0;) {
        auto* a = static_cast<DOMAttr*>(attrs->item(i));
        const XMLCh* ans = a->getNamespaceURI();
        if ((ans && hostNs == ans) || hostNs == a->getValue()) e->removeAttributeNode(a)->release();
    }
}

void strip(DOMElement* element) {
    stripAttributes(element);
    for (DOMNode* child = element->getFirstChild(); child;) {
        DOMNode* next = child->getNextSibling();
        const XMLCh* ns = child->getNamespaceURI();
        bool drop = child->getNodeType() == DOMNode::COMMENT_NODE ||
                    child->getNodeType() == DOMNode::PROCESSING_INSTRUCTION_NODE || (ns && hostNs == ns);
        if (child->getNodeType() == DOMNode::TEXT_NODE) {
            const std::u16string v = child->getNodeValue();
            drop = v.find_first_not_of(u" \t\r\n") == std::u16string::npos;
        }
        if (drop)
            element->removeChild(child)->release();
        else if (child->getNodeType() == DOMNode::ELEMENT_NODE)
            strip(static_cast<DOMElement*>(child));
        child = next;
    }
}

} // namespace

NativeDom::NativeDom(const std::string& xml) : parser(std::make_unique<XercesDOMParser>()) {
    parser->setDoNamespaces(true);
    MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "native");
    parser->parse(source);
    strip(document()->getDocumentElement());
}

std::string sortAttributes(const std::string& xml) {
    // A scanner rather than a regular expression: the random differential canonicalizes whole trees at
    // every step. Text holds no raw '<' and attribute values no raw '"', so tags are found reliably.
    const char* const space = " \t\r\n";
    std::string out;
    out.reserve(xml.size());
    size_t i = 0;
    for (size_t lt; (lt = xml.find('<', i)) != std::string::npos;) {
        const size_t nameEnd = xml.find_first_of(" \t\r\n/>", lt);
        if (!(std::isalpha(static_cast<unsigned char>(xml[lt + 1])) || xml[lt + 1] == '_') ||
            nameEnd == std::string::npos) {
            out.append(xml, i, lt + 1 - i);
            i = lt + 1;
            continue;
        }
        // The attributes up to the end of the tag, each written after one space.
        std::vector<std::string> attrs;
        size_t p = xml.find_first_not_of(space, nameEnd);
        while (p != std::string::npos && xml[p] != '>' && xml[p] != '/') {
            const size_t open = xml.find('"', p);
            const size_t close = open == std::string::npos ? open : xml.find('"', open + 1);
            if (close == std::string::npos) return out + xml.substr(i);
            attrs.push_back(" " + xml.substr(p, close + 1 - p));
            p = xml.find_first_not_of(space, close + 1);
        }
        if (p == std::string::npos) break;
        std::sort(attrs.begin(), attrs.end());
        out.append(xml, i, nameEnd - i);
        for (const std::string& a : attrs) out += a;
        i = p;
    }
    return out + xml.substr(i);
}

std::string canonicalXml(DOMLSSerializer* writer, const DOMNode* node) {
    XMLCh* text = writer->writeToString(node);
    if (!text) return "(null)";
    TranscodeToStr bytes(text, "UTF-8");
    std::string out(reinterpret_cast<const char*>(bytes.str()), bytes.length());
    XMLPlatformUtils::fgMemoryManager->deallocate(text);
    // An element with only empty text is written <x></x>, one without any <x/>: the same content.
    // The attribute part ends with a quote, never with the slash of a nested empty element.
    static const std::regex emptyElement(R"(<([^\s/<>]+)((?:\s[^<>]*")?)></\1>)");
    return sortAttributes(std::regex_replace(out, emptyElement, "<$1$2/>"));
}

std::string nativeXml(const DOMNode* node) {
    const dom::Owned<DOMLSSerializer> writer(
        DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createLSSerializer());
    return canonicalXml(writer.get(), node);
}

std::unique_ptr<XercesDOMParser> parseBack(const std::u16string& text, bool namespaces) {
    auto parser = std::make_unique<XercesDOMParser>();
    HandlerBase errors;
    parser->setErrorHandler(&errors);
    parser->setDoNamespaces(namespaces);
    MemBufInputSource in(reinterpret_cast<const XMLByte*>(text.data()), text.size() * sizeof(char16_t),
                         "written");
    in.setEncoding(u"UTF-16LE");
    try {
        parser->parse(in);
    } catch (...) {
        return nullptr;
    }
    if (parser->getErrorCount() != 0 || !parser->getDocument() || !parser->getDocument()->getDocumentElement())
        return nullptr;
    return parser;
}

void collect(DOMNode* node, DOMNode::NodeType type, Path& path, std::vector<Path>& out) {
    int index = 0;
    for (DOMNode* c = node->getFirstChild(); c; c = c->getNextSibling(), ++index) {
        path.push_back(index);
        if (c->getNodeType() == type) out.push_back(path);
        if (c->getNodeType() == DOMNode::ELEMENT_NODE) collect(c, type, path, out);
        path.pop_back();
    }
}

DOMNode* byPath(DOMNode* root, const Path& path, bool host) {
    DOMNode* at = root;
    bool owned = false;
    for (int step : path) {
        DOMNode* c = at->getFirstChild();
        for (int i = 0; i < step && c; ++i) {
            DOMNode* next = c->getNextSibling();
            if (host) dom::dispose(c);
            c = next;
        }
        if (host && owned) dom::dispose(at);
        at = c;
        owned = host;
    }
    return at;
}

bool isPrefix(const Path& a, const Path& b) {
    return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
}

} // namespace testing_support
