// An expression made by createExpression: its text, compiled at creation (so that an invalid one fails
// there) and again at each evaluation, and the resolver it was made with.
#pragma once

#include <DOMKw/xpath/XPathExpression.hpp>

#include <xercesc/dom/DOMXPathNSResolver.hpp>

#include <string>

namespace domImpl::xpathImpl {

class XPathExpressionImpl : public virtual dom::xpath::XPathExpression {
public:
    // Throws XPathException 51 for an invalid expression.
    XPathExpressionImpl(const XMLCh* expression, const XERCES_CPP_NAMESPACE::DOMXPathNSResolver* resolver);

    XERCES_CPP_NAMESPACE::DOMXPathResult*
    evaluate(const XERCES_CPP_NAMESPACE::DOMNode* contextNode,
             XERCES_CPP_NAMESPACE::DOMXPathResult::ResultType type,
             XERCES_CPP_NAMESPACE::DOMXPathResult* result) const override;
    void release() override { delete this; }

private:
    std::u16string text;
    const XERCES_CPP_NAMESPACE::DOMXPathNSResolver* resolver;
};

} // namespace domImpl::xpathImpl
