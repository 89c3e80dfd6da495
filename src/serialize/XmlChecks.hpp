// The checks a write makes on what it is about to write, so that its output is well-formed XML or the
// write fails.
#pragma once

#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/util/XMLChar.hpp>
#include <xercesc/util/XMLString.hpp>

#include <string>

namespace domImpl::serializeImpl {

using XERCES_CPP_NAMESPACE::DOMNode;
using XERCES_CPP_NAMESPACE::XMLChar1_0;

// Text XML 1.0 can hold: tab, line feed, carriage return, U+0020 to U+D7FF, U+E000 to U+FFFD, and
// surrogates only in pairs.
inline bool isXmlText(const XMLCh* text) {
    for (; text && *text; ++text) {
        const XMLCh c = *text;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (text[1] < 0xDC00 || text[1] > 0xDFFF) return false;
            ++text;
            continue;
        }
        if (c >= 0x20 ? (c >= 0xDC00 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF
                      : c != 0x9 && c != 0xA && c != 0xD)
            return false;
    }
    return true;
}

// A name a namespace-aware parser reads back: an XML name, and with a colon a QName ("p:x", not "p:",
// ":x" or "a:b:c").
inline bool isXmlName(const XMLCh* name) {
    if (!name || !*name || !XMLChar1_0::isValidName(name)) return false;
    const XMLSize_t length = XERCES_CPP_NAMESPACE::XMLString::stringLen(name);
    return XERCES_CPP_NAMESPACE::XMLString::indexOf(name, u':') < 0 || XMLChar1_0::isValidQName(name, length);
}

// An attribute written name="value" that a namespace-aware parser reads back: besides a name and text,
// a declaration "xmlns:p" must bind p to a namespace (XML 1.0 cannot unbind a prefix), "xmlns" itself
// cannot be declared, and "xml" and its namespace belong to each other only.
inline bool isXmlAttribute(const XMLCh* name, const XMLCh* value) {
    if (!isXmlName(name) || !isXmlText(value)) return false;
    static const std::u16string xmlNamespace = u"http://www.w3.org/XML/1998/namespace";
    static const std::u16string xmlnsNamespace = u"http://www.w3.org/2000/xmlns/";
    const std::u16string text(name), bound(value ? value : u"");
    if (text == u"xmlns") return bound != xmlNamespace && bound != xmlnsNamespace;
    if (text.compare(0, 6, u"xmlns:") != 0) return true;
    const std::u16string prefix = text.substr(6);
    if (prefix == u"xmlns" || bound.empty() || bound == xmlnsNamespace) return false;
    return (prefix == u"xml") == (bound == xmlNamespace);
}

// xsi:type, whose value is a QName: its prefix is bound like the prefix of a name.
inline bool isTypeAttribute(const XMLCh* name) {
    return name && XERCES_CPP_NAMESPACE::XMLString::equals(name, u"xsi:type");
}

// The prefix of a QName value ("kw" of "kw:ProcessColor"); empty when it has none or is no QName.
inline std::u16string valuePrefix(const XMLCh* value) {
    if (!value) return std::u16string();
    const std::u16string text(value);
    const size_t colon = text.find(u':');
    if (colon == std::u16string::npos || colon == 0) return std::u16string();
    std::u16string prefix = text.substr(0, colon);
    if (prefix == u"xml" || prefix == u"xmlns" || !XMLChar1_0::isValidNCName(prefix.c_str(), prefix.size()))
        return std::u16string();
    return prefix;
}

// Whether the delegate can write a node as it stands: it checks the characters of text, but writes
// element and attribute names, and (with its well-formed check off) values, as they come.
inline bool writable(const DOMNode* node) {
    switch (node->getNodeType()) {
    case DOMNode::ELEMENT_NODE:
        return isXmlName(node->getNodeName());
    case DOMNode::ATTRIBUTE_NODE:
        return isXmlAttribute(node->getNodeName(), node->getNodeValue());
    case DOMNode::TEXT_NODE:
    case DOMNode::CDATA_SECTION_NODE:
    case DOMNode::COMMENT_NODE:
    case DOMNode::PROCESSING_INSTRUCTION_NODE:
        return isXmlText(node->getNodeValue());
    default:
        return true;
    }
}

// An attribute value between double quotes: '&', '<' and '"' as entities (as Xerces-C writes them), and tab,
// line feed and carriage return as character references, so that a parser hands back the value unchanged
// instead of normalising them to spaces.
inline std::u16string escapedValue(const XMLCh* value) {
    std::u16string out;
    for (; value && *value; ++value) {
        switch (*value) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'"':
            out += u"&quot;";
            break;
        case u'\t':
            out += u"&#x9;";
            break;
        case u'\n':
            out += u"&#xA;";
            break;
        case u'\r':
            out += u"&#xD;";
            break;
        default:
            out += *value;
        }
    }
    return out;
}

inline const XMLCh* nonEmpty(const XMLCh* text) {
    return text && *text ? text : nullptr;
}

} // namespace domImpl::serializeImpl
