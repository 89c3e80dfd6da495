// Evaluation of XPath 1.0 expressions over the library's documents (and over any Xerces-C document).
// Every document of the library is an evaluator; create() gives a free-standing one.
#pragma once

#include <DOMKw/dom/Object.hpp>

#include <xercesc/dom/DOMXPathResult.hpp>

XERCES_CPP_NAMESPACE_BEGIN
class DOMNode;
XERCES_CPP_NAMESPACE_END

namespace dom::xpath {

class XPathExpression;
class XPathNSResolver;
class XPathResult;

class XPathEvaluator : public virtual dom::Object {
public:
    // A new free-standing evaluator; ended with delete.
    static XPathEvaluator* create();

    // The expression compiled once now (an invalid one throws XPathException 51) and again at each of its
    // evaluations. The resolver is kept, not copied: it must outlive the expression.
    virtual XPathExpression* createExpression(const XMLCh* expression, XPathNSResolver* resolver) = 0;
    // A resolver of the prefixes declared on the document element of the node's document; ended with delete.
    virtual XPathNSResolver* createNSResolver(XERCES_CPP_NAMESPACE::DOMNode* nodeResolver) = 0;
    // Evaluates `expression` at `contextNode`. Answers `result` itself when one is given (reused, its
    // cursor back at 0), else a new result that the caller releases. Prefixes are resolved with
    // `resolver`, or against the context node's document when it is null.
    virtual XERCES_CPP_NAMESPACE::DOMXPathResult*
    evaluate(const XMLCh* expression, XERCES_CPP_NAMESPACE::DOMNode* contextNode, XPathNSResolver* resolver,
             XERCES_CPP_NAMESPACE::DOMXPathResult::ResultType type, XPathResult* result) = 0;
};

} // namespace dom::xpath
