#include "common/NativeDom.hpp"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>

#include <algorithm>
#include <regex>
#include <vector>

using namespace XERCES_CPP_NAMESPACE;

namespace testing_support {

namespace {

const std::u16string hostNs = u"urn:domkw:reference-host";

// Implied and default-valued attributes are not specified in the host; host-only properties are not
// content at all.
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
    static const std::regex tag(R"(<([A-Za-z_][-\w:.]*)((?:\s+[^\s=<>]+="[^"]*")*)\s*(/?)>)");
    static const std::regex attr(R"(\s+([^\s=<>]+="[^"]*"))");
    std::string out;
    size_t last = 0;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), tag); it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        out += xml.substr(last, static_cast<size_t>(m.position()) - last);
        std::vector<std::string> attrs;
        const std::string list = m[2];
        for (auto a = std::sregex_iterator(list.begin(), list.end(), attr); a != std::sregex_iterator(); ++a)
            attrs.push_back(" " + (*a)[1].str());
        std::sort(attrs.begin(), attrs.end());
        out += "<" + m[1].str();
        for (const auto& a : attrs) out += a;
        out += m[3].str() + ">";
        last = static_cast<size_t>(m.position() + m.length());
    }
    return out + xml.substr(last);
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

} // namespace testing_support
