// The result of an XPath evaluation. A result can be passed back into a later evaluation to be reused.
#pragma once

#include <DOMKw/dom/Object.hpp>

#include <xercesc/dom/DOMXPathResult.hpp>

namespace dom::xpath {

class XPathResult : public virtual dom::Object, public virtual XERCES_CPP_NAMESPACE::DOMXPathResult {
public:
    // An empty result (type ANY_TYPE, no value) to hand to an evaluation for reuse; ended with release().
    static XPathResult* create();
};

} // namespace dom::xpath
