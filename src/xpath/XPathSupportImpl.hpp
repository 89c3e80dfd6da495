// The XPath support the documents of the library evaluate through: the evaluator's own operations.
#pragma once

#include "dom/XPathSupport.hpp"

namespace domImpl::xpathImpl {

class XPathSupportImpl : public XPathSupport {
public:
    dom::xpath::XPathExpression*
    createExpression(const XMLCh* expression,
                     const XERCES_CPP_NAMESPACE::DOMXPathNSResolver* resolver) override;
    dom::xpath::XPathNSResolver* createNSResolver(const XERCES_CPP_NAMESPACE::DOMNode* nodeResolver) override;
    XERCES_CPP_NAMESPACE::DOMXPathResult* evaluate(const XMLCh* expression,
                                                   const XERCES_CPP_NAMESPACE::DOMNode* contextNode,
                                                   const XERCES_CPP_NAMESPACE::DOMXPathNSResolver* resolver,
                                                   XERCES_CPP_NAMESPACE::DOMXPathResult::ResultType type,
                                                   XERCES_CPP_NAMESPACE::DOMXPathResult* result) override;
};

} // namespace domImpl::xpathImpl
