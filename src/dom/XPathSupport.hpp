// XPath as the DOM sees it: every document is an evaluator and forwards its evaluator operations to the
// support the XPath layer installs at start-up, and keeps for that layer one per-document state it
// never looks into.
#pragma once

#include <DOMKw/xpath/XPathExpression.hpp>
#include <DOMKw/xpath/XPathNSResolver.hpp>
#include <DOMKw/xpath/XPathResult.hpp>

#include <xercesc/dom/DOMXPathResult.hpp>

namespace domImpl {

// What the XPath layer keeps for one document (its node model of the host tree); the document ends it
// when it ends.
class XPathDocumentState {
public:
    virtual ~XPathDocumentState();
};

class XPathSupport {
public:
    virtual ~XPathSupport();

    virtual dom::xpath::XPathExpression*
    createExpression(const XMLCh* expression, const XERCES_CPP_NAMESPACE::DOMXPathNSResolver* resolver) = 0;
    virtual dom::xpath::XPathNSResolver*
    createNSResolver(const XERCES_CPP_NAMESPACE::DOMNode* nodeResolver) = 0;
    virtual XERCES_CPP_NAMESPACE::DOMXPathResult*
    evaluate(const XMLCh* expression, const XERCES_CPP_NAMESPACE::DOMNode* contextNode,
             const XERCES_CPP_NAMESPACE::DOMXPathNSResolver* resolver,
             XERCES_CPP_NAMESPACE::DOMXPathResult::ResultType type,
             XERCES_CPP_NAMESPACE::DOMXPathResult* result) = 0;

    // The support start-up installed; DOMException 9 (not supported) before it was.
    static XPathSupport& installed();
    // Called once at start-up by the XPath layer; the support lives until the process ends.
    static void install(XPathSupport& support);
};

} // namespace domImpl
