// A namespace resolver for XPath expressions: the prefixes declared on the document element of the
// document of the node it was made for.
#pragma once

#include <DOMKw/dom/Object.hpp>

#include <xalanc/Include/PlatformDefinitions.hpp>
#include <xercesc/dom/DOMXPathNSResolver.hpp>

namespace XALAN_CPP_NAMESPACE {
class PrefixResolver;
}

namespace dom::xpath {

class XPathNSResolver : public virtual dom::Object, public virtual XERCES_CPP_NAMESPACE::DOMXPathNSResolver {
public:
    // What evaluations resolve prefixes with; null for a resolver made without a node.
    virtual const XALAN_CPP_NAMESPACE::PrefixResolver* getPrefixResolver() const = 0;
    // The node the resolver was made for (null when none was given).
    virtual const XERCES_CPP_NAMESPACE::DOMNode* getNode() const = 0;
};

} // namespace dom::xpath
