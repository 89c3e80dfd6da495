#include <DOMKw/xpath/XPathException.hpp>
#include <DOMKw/xpath/XPathResultImpl.hpp>

#include <xalanc/XPath/NodeRefListBase.hpp>
#include <xalanc/XercesParserLiaison/XercesWrapperNavigator.hpp>
#include <xercesc/dom/DOMException.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include <climits>
#include <cmath>

#include "bridge/HostStatus.hpp"
#include "xpath/HostTree.hpp"
#include "xpath/XPathEngine.hpp"

using XALAN_CPP_NAMESPACE::XercesWrapperNavigator;
using XALAN_CPP_NAMESPACE::XObject;
using XALAN_CPP_NAMESPACE::XObjectPtr;

namespace domImpl::xpathImpl {

namespace {

using dom::xpath::XPathException;

enum class Kind { None, Boolean, Number, String, NodeSet, Other };

Kind kindOf(const XObjectPtr& value) {
    if (value.null()) return Kind::None;
    switch (value->getType()) {
    case XObject::eTypeBoolean:
        return Kind::Boolean;
    case XObject::eTypeNumber:
    case XObject::eTypeXTokenNumberAdapter:
        return Kind::Number;
    case XObject::eTypeString:
    case XObject::eTypeStringReference:
    case XObject::eTypeStringAdapter:
    case XObject::eTypeStringCached:
    case XObject::eTypeXTokenStringAdapter:
        return Kind::String;
    case XObject::eTypeNodeSet:
    case XObject::eTypeNodeSetNodeProxy:
        return Kind::NodeSet;
    default:
        return Kind::Other;
    }
}

uint64_t lengthOf(const XObjectPtr& value) {
    return kindOf(value) == Kind::NodeSet ? value->nodeset().getLength() : 0;
}

bool isNodeType(DOMXPathResult::ResultType t) {
    return t >= DOMXPathResult::UNORDERED_NODE_ITERATOR_TYPE && t <= DOMXPathResult::FIRST_ORDERED_NODE_TYPE;
}

// The type a value answers when asked for `requested`: its natural type for ANY_TYPE, the requested one
// when the value may be had as it; otherwise XPathException 52.
DOMXPathResult::ResultType typeFor(const XObjectPtr& value, DOMXPathResult::ResultType requested) {
    if (requested < DOMXPathResult::ANY_TYPE || requested > DOMXPathResult::FIRST_ORDERED_NODE_TYPE)
        throw XPathException(XPathException::TYPE_ERR);
    DOMXPathResult::ResultType natural = DOMXPathResult::ANY_TYPE;
    bool accepted = false;
    switch (kindOf(value)) {
    case Kind::None:
        return DOMXPathResult::ANY_TYPE;
    case Kind::Boolean:
        natural = DOMXPathResult::BOOLEAN_TYPE;
        accepted = requested >= DOMXPathResult::NUMBER_TYPE && requested <= DOMXPathResult::BOOLEAN_TYPE;
        break;
    case Kind::Number:
        natural = DOMXPathResult::NUMBER_TYPE;
        accepted = requested == DOMXPathResult::NUMBER_TYPE || requested == DOMXPathResult::STRING_TYPE;
        break;
    case Kind::String:
        natural = DOMXPathResult::STRING_TYPE;
        accepted = requested == DOMXPathResult::STRING_TYPE;
        break;
    case Kind::NodeSet:
        natural = DOMXPathResult::UNORDERED_NODE_ITERATOR_TYPE;
        accepted =
            isNodeType(requested) || (requested == DOMXPathResult::STRING_TYPE && lengthOf(value) == 1);
        break;
    case Kind::Other:
        break;
    }
    if (requested == DOMXPathResult::ANY_TYPE) return natural;
    if (!accepted) throw XPathException(XPathException::TYPE_ERR);
    return requested;
}

} // namespace

XPathResultImpl::XPathResultImpl(XObjectPtr v, XercesWrapperNavigator* nav, ResultType type)
    : resultType(typeFor(v, type)) {
    // Taken only once the type is known to fit: a refusal leaves the navigator with the caller.
    value = v;
    navigator.reset(nav);
}

XPathResultImpl::~XPathResultImpl() {
    value.release();
}

dom::xpath::XPathResult* XPathResultImpl::create_(XObjectPtr value, XercesWrapperNavigator* navigator,
                                                  ResultType type) {
    return new XPathResultImpl(value, navigator, type);
}

void XPathResultImpl::SetResult(const XObjectPtr& v, XercesWrapperNavigator* nav, ResultType type) {
    // Everything that can fail comes first: a refused type leaves the result as it was.
    const ResultType answered = typeFor(v, type);
    if (v.get() != value.get()) value = v;
    if (nav != navigator.get()) navigator.reset(nav);
    cursor = 0;
    resultType = answered;
}

void XPathResultImpl::SetResultType(ResultType requested) {
    resultType = typeFor(value, requested);
}

void XPathResultImpl::require(bool fits) const {
    if (!fits) throw XPathException(XPathException::TYPE_ERR);
}

const DOMTypeInfo* XPathResultImpl::getTypeInfo() const {
    Kw::throwDOMException(-1);
}

bool XPathResultImpl::isNode() const {
    // Whether there is a node at the cursor, without handing one out.
    if (cursor >= GetResultLength()) return false;
    if (!navigator) return anchor != nullptr; // a node of a document of the library
    return navigator->mapNode(value->nodeset().item(static_cast<XALAN_CPP_NAMESPACE::XalanSize_t>(cursor))) !=
           nullptr;
}

bool XPathResultImpl::getBooleanValue() const {
    require(resultType == BOOLEAN_TYPE);
    return value->boolean(engine().getExecutionContext());
}

int XPathResultImpl::getIntegerValue() const {
    require(resultType == NUMBER_TYPE);
    // Truncation toward zero; a value with no integer (NaN) or beyond the range answers 0 or the bound.
    const double n = value->num(engine().getExecutionContext());
    if (std::isnan(n)) return 0;
    if (n >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (n <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(n);
}

double XPathResultImpl::getNumberValue() const {
    require(resultType == NUMBER_TYPE);
    return value->num(engine().getExecutionContext());
}

const XMLCh* XPathResultImpl::getStringValue() const {
    require(resultType == STRING_TYPE);
    return value->str(engine().getExecutionContext()).c_str();
}

DOMNode* XPathResultImpl::getNodeValue() const {
    require(isNodeType(resultType));
    return GetNthNode(static_cast<unsigned int>(cursor));
}

bool XPathResultImpl::iterateNext() {
    require(resultType == UNORDERED_NODE_ITERATOR_TYPE || resultType == ORDERED_NODE_ITERATOR_TYPE);
    if (getInvalidIteratorState())
        Kw::throwDOMException(XERCES_CPP_NAMESPACE::DOMException::INVALID_STATE_ERR);
    if (cursor + 1 < GetResultLength()) {
        ++cursor;
        return true;
    }
    return false;
}

bool XPathResultImpl::snapshotItem(XMLSize_t index) {
    require(resultType == UNORDERED_NODE_SNAPSHOT_TYPE || resultType == ORDERED_NODE_SNAPSHOT_TYPE);
    if (index >= GetResultLength()) return false;
    cursor = index;
    return true;
}

XMLSize_t XPathResultImpl::getSnapshotLength() const {
    require(resultType == UNORDERED_NODE_SNAPSHOT_TYPE || resultType == ORDERED_NODE_SNAPSHOT_TYPE);
    return static_cast<XMLSize_t>(GetResultLength());
}

void XPathResultImpl::release() {
    delete this;
}

uint64_t XPathResultImpl::GetResultLength() const {
    return lengthOf(value);
}

DOMNode* XPathResultImpl::GetNthNode(unsigned int index) const {
    if (index >= GetResultLength()) return nullptr;
    XALAN_CPP_NAMESPACE::XalanNode* node = value->nodeset().item(index);
    // A node of a document of the library becomes the library's own node object for the same host object.
    if (!navigator) return anchor && node ? handOut(*node) : nullptr;
    return const_cast<DOMNode*>(navigator->mapNode(node));
}

} // namespace domImpl::xpathImpl

dom::xpath::XPathResult* dom::xpath::XPathResult::create() {
    return new domImpl::xpathImpl::XPathResultImpl(XObjectPtr(), nullptr, ANY_TYPE);
}
