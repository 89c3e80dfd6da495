// A compiled XPath expression: its text and the resolver it was made with.
#pragma once

#include <DOMKw/dom/Object.hpp>

#include <xercesc/dom/DOMXPathExpression.hpp>

namespace dom::xpath {

class XPathExpression : public virtual dom::Object,
                        public virtual XERCES_CPP_NAMESPACE::DOMXPathExpression {};

} // namespace dom::xpath
