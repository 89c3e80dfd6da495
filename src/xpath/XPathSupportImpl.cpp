#include "xpath/XPathSupportImpl.hpp"

#include "xpath/XPathEvaluatorImpl.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::xpathImpl {

dom::xpath::XPathExpression* XPathSupportImpl::createExpression(const XMLCh* expression,
                                                                const DOMXPathNSResolver* resolver) {
    return XPathEvaluatorImpl::makeExpression(expression, resolver);
}

dom::xpath::XPathNSResolver* XPathSupportImpl::createNSResolver(const DOMNode* nodeResolver) {
    return XPathEvaluatorImpl::makeResolver(nodeResolver);
}

DOMXPathResult* XPathSupportImpl::evaluate(const XMLCh* expression, const DOMNode* contextNode,
                                           const DOMXPathNSResolver* resolver,
                                           DOMXPathResult::ResultType type, DOMXPathResult* result) {
    return XPathEvaluatorImpl::run(expression, contextNode, resolver, type, result);
}

} // namespace domImpl::xpathImpl
