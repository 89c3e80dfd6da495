// A native Xerces-C DOM of the same XML as the reference host holds, and comparable text forms of trees.
#pragma once

#include <xercesc/dom/DOM.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// Parses `xml` into a native DOM without what the reference host leaves out: whitespace-only text,
// comments, host-only properties, implied and default-valued attributes.
class NativeDom {
public:
    explicit NativeDom(const std::string& xml);
    XERCES_CPP_NAMESPACE::DOMDocument* document() const { return parser->getDocument(); }
    XERCES_CPP_NAMESPACE::DOMElement* root() const { return document()->getDocumentElement(); }

private:
    std::unique_ptr<XERCES_CPP_NAMESPACE::XercesDOMParser> parser;
};

// The node written by a serializer as UTF-8, with the attributes of every start tag sorted.
std::string canonicalXml(XERCES_CPP_NAMESPACE::DOMLSSerializer* writer, const XERCES_CPP_NAMESPACE::DOMNode* node);

// canonicalXml through the stock Xerces-C serializer.
std::string nativeXml(const XERCES_CPP_NAMESPACE::DOMNode* node);

// XML text parsed again, with or without namespaces; null when it is not well-formed.
std::unique_ptr<XERCES_CPP_NAMESPACE::XercesDOMParser> parseBack(const std::u16string& text, bool namespaces);

// Sorts the attributes within each start tag of XML text.
std::string sortAttributes(const std::string& xml);

// Child-index paths: `collect` lists those of the elements (or texts) of a tree in document order;
// `byPath` finds a node by one (a host node as a new node object); `isPrefix`: `a` leads to `b`.
using Path = std::vector<int>;
void collect(XERCES_CPP_NAMESPACE::DOMNode* node, XERCES_CPP_NAMESPACE::DOMNode::NodeType type, Path& path,
             std::vector<Path>& out);
XERCES_CPP_NAMESPACE::DOMNode* byPath(XERCES_CPP_NAMESPACE::DOMNode* root, const Path& path, bool host);
bool isPrefix(const Path& a, const Path& b);

} // namespace testing_support
