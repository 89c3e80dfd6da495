#include <DOMKw/dom/ElementImpl.hpp>

#include <xercesc/dom/DOM.hpp>

#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "dom/NodeLists.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl {

XMLSize_t NodeListNodeImpl::getLength() const {
    const int n = refOf(node).get_NumChildren();
    return n > 0 ? static_cast<XMLSize_t>(n) : 0;
}

DOMNode* NodeListNodeImpl::item(XMLSize_t index) const {
    Kw::ElementRef child = refOf(node).get_FirstChild();
    for (XMLSize_t i = 0; i < index && !child.isNil(); ++i) child = child.get_NextSibling();
    // Text children are wrapped as text nodes, elements through the element cache.
    DOMDocument* doc = node->getNodeType() == DOMNode::DOCUMENT_NODE ? const_cast<DOMDocument*>(
                                                                           static_cast<const DOMDocument*>(node))
                                                                     : node->getOwnerDocument();
    return NodeImpl::create_(std::move(child), doc);
}

DOMNode* NodeListImpl::item(XMLSize_t index) const {
    if (index >= refs.size()) return nullptr;
    return ElementImpl::create_(refs[index], ownerDocument);
}

Kw::ElementRef TypeBasedNodeListImpl::walk(int64_t index, XMLSize_t* count) const {
    XMLSize_t matches = 0;
    for (Kw::ElementRef at = first; !at.isNil(); at = at.get_NextSibling()) {
        if (at.IsTextNode()) continue;
        if (Kw::StringKey(at.GetAttribute(XSI_TYPE)) != typeKey) continue;
        if (index >= 0 && matches == static_cast<XMLSize_t>(index)) return at;
        ++matches;
    }
    if (count) *count = matches;
    return Kw::ElementRef();
}

XMLSize_t TypeBasedNodeListImpl::getLength() const {
    XMLSize_t n = 0;
    walk(-1, &n);
    return n;
}

DOMNode* TypeBasedNodeListImpl::item(XMLSize_t index) const {
    return ElementImpl::create_(walk(static_cast<int64_t>(index), nullptr), ownerDocument);
}

namespace {

// One of this library's elements, or null: an element among our nodes is always an ElementImpl.
ElementImpl* asElementImpl(DOMElement* element) {
    NodeImpl* own = asNodeImpl(element);
    return own && element->getNodeType() == DOMNode::ELEMENT_NODE ? static_cast<ElementImpl*>(own) : nullptr;
}

} // namespace

} // namespace domImpl

DOMElement* getElementByTagName(DOMElement* element, const DOMBTString& name) {
    if (!element) return nullptr;
    if (auto* own = domImpl::asElementImpl(element)) return own->getElementByTagName(name.GetUChar16());
    DOMNodeList* list = element->getElementsByTagName(name.GetUChar16());
    if (!list || list->getLength() == 0) return nullptr;
    return static_cast<DOMElement*>(list->item(0));
}

DOMNodeList* getElementsByTypeName(DOMElement* element, const DOMBTString& typeName) {
    auto* own = domImpl::asElementImpl(element);
    if (!own) return nullptr;
    const Kw::ElementRef& parent = own->ref();
    Kw::ElementRef first;
    for (Kw::ElementRef child = parent.get_FirstChild(); !child.isNil(); child = child.get_NextSibling()) {
        if (!child.IsTextNode() && child.GetAttribute(domImpl::XSI_TYPE) == typeName) {
            first = child;
            break;
        }
    }
    return own->keepList(new domImpl::TypeBasedNodeListImpl(first, Kw::StringKey(typeName), own->getOwnerDocument()));
}
