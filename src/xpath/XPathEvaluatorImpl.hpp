// The evaluator: the free-standing one of XPathEvaluator::create, and the operations every document of
// the library forwards its own evaluator operations to.
#pragma once

#include <DOMKw/xpath/XPathEvaluator.hpp>
#include <DOMKw/xpath/XPathExpression.hpp>
#include <DOMKw/xpath/XPathNSResolver.hpp>
#include <DOMKw/xpath/XPathResult.hpp>

#include <xercesc/dom/DOMXPathNSResolver.hpp>
#include <xercesc/dom/DOMXPathResult.hpp>

namespace domImpl::xpathImpl {

using XERCES_CPP_NAMESPACE::DOMNode;
using XERCES_CPP_NAMESPACE::DOMXPathNSResolver;
using XERCES_CPP_NAMESPACE::DOMXPathResult;

class XPathEvaluatorImpl : public virtual dom::xpath::XPathEvaluator {
public:
    dom::xpath::XPathExpression* createExpression(const XMLCh* expression,
                                                  dom::xpath::XPathNSResolver* resolver) override;
    dom::xpath::XPathNSResolver* createNSResolver(DOMNode* nodeResolver) override;
    DOMXPathResult* evaluate(const XMLCh* expression, DOMNode* contextNode,
                             dom::xpath::XPathNSResolver* resolver, DOMXPathResult::ResultType type,
                             dom::xpath::XPathResult* result) override;

    // The operations themselves, for any resolver and result the Xerces-C interfaces allow: a resolver
    // of the caller's own is asked for each prefix; a result that is not the library's is not reused.
    static dom::xpath::XPathExpression* makeExpression(const XMLCh* expression,
                                                       const DOMXPathNSResolver* resolver);
    static dom::xpath::XPathNSResolver* makeResolver(const DOMNode* nodeResolver);
    static DOMXPathResult* run(const XMLCh* expression, const DOMNode* contextNode,
                               const DOMXPathNSResolver* resolver, DOMXPathResult::ResultType type,
                               DOMXPathResult* result);
    // Compiles `expression` as an evaluation would before running it (checks and prefixes); throws
    // XPathException 51. Without a resolver only the syntax is checked.
    static void check(const XMLCh* expression, const DOMXPathNSResolver* resolver);
};

} // namespace domImpl::xpathImpl
