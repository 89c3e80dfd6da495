// A native Xerces-C DOM of the same XML as the reference host holds it, and text forms of both trees
// that compare equal when the trees do.
#pragma once

#include <xercesc/dom/DOM.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// Parses `xml` into a native DOM without what the reference host leaves out: whitespace-only text
// between elements, comments, and the host-only properties (implied and default-valued attributes are
// not specified in the host, so they are removed as well).
class NativeDom {
public:
    explicit NativeDom(const std::string& xml);
    XERCES_CPP_NAMESPACE::DOMDocument* document() const { return parser->getDocument(); }
    XERCES_CPP_NAMESPACE::DOMElement* root() const { return document()->getDocumentElement(); }

private:
    std::unique_ptr<XERCES_CPP_NAMESPACE::XercesDOMParser> parser;
};

// The node written by a serializer (Xerces-C's own for native nodes, ours for host nodes) as UTF-8, with
// the attributes of every start tag sorted (the two sides need not agree on attribute order).
std::string canonicalXml(XERCES_CPP_NAMESPACE::DOMLSSerializer* writer, const XERCES_CPP_NAMESPACE::DOMNode* node);

// canonicalXml through the stock Xerces-C serializer.
std::string nativeXml(const XERCES_CPP_NAMESPACE::DOMNode* node);

// XML text written by the library parsed again, with or without namespaces: the parser holding the
// document, or null when the text is not well-formed.
std::unique_ptr<XERCES_CPP_NAMESPACE::XercesDOMParser> parseBack(const std::u16string& text, bool namespaces);

// Sorts the attributes within each start tag of XML text.
std::string sortAttributes(const std::string& xml);

// Child-index paths: `collect` lists those of the elements (or texts) of a native tree in document
// order; `byPath` finds a node by one (native nodes directly, host nodes as new node objects the caller
// ends); `isPrefix` says whether `a` leads to `b` or to one of its ancestors.
using Path = std::vector<int>;
void collect(XERCES_CPP_NAMESPACE::DOMNode* node, XERCES_CPP_NAMESPACE::DOMNode::NodeType type, Path& path,
             std::vector<Path>& out);
XERCES_CPP_NAMESPACE::DOMNode* byPath(XERCES_CPP_NAMESPACE::DOMNode* root, const Path& path, bool host);
bool isPrefix(const Path& a, const Path& b);

} // namespace testing_support
