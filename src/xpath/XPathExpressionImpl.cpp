#include "xpath/XPathExpressionImpl.hpp"

#include <DOMKw/xpath/XPathException.hpp>

#include "xpath/XPathEvaluatorImpl.hpp"

namespace domImpl::xpathImpl {

XPathExpressionImpl::XPathExpressionImpl(const XMLCh* expression,
                                         const XERCES_CPP_NAMESPACE::DOMXPathNSResolver* r)
    : resolver(r) {
    XPathEvaluatorImpl::check(expression, resolver);
    text = expression;
}

XERCES_CPP_NAMESPACE::DOMXPathResult*
XPathExpressionImpl::evaluate(const XERCES_CPP_NAMESPACE::DOMNode* contextNode,
                              XERCES_CPP_NAMESPACE::DOMXPathResult::ResultType type,
                              XERCES_CPP_NAMESPACE::DOMXPathResult* result) const {
    // The engine holds one compiled expression at a time: ours is compiled again.
    return XPathEvaluatorImpl::run(text.c_str(), contextNode, resolver, type, result);
}

} // namespace domImpl::xpathImpl
