#include <DOMKw/bridge/Exceptions.hpp>
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/dom/DocumentImpl.hpp>
#include <DOMKw/dom/ElementImpl.hpp>
#include <DOMKw/dom/NodeLists.hpp>
#include <DOMKw/dom/TextImpl.hpp>

#include <xercesc/dom/DOM.hpp>

#include "bridge/HostStatus.hpp"
#include "dom/Identity.hpp"
#include "dom/NodeGuard.hpp"

using namespace XERCES_CPP_NAMESPACE;
using Kw::throwDOMException;

namespace domImpl {

namespace {
// The buffer handed out by getAttribute and getAttributeNS: replaced by the next such call.
const XMLCh* sharedText(const DOMBTString& text) {
    static DOMBTString shared;
    shared = text;
    return shared.GetUChar16();
}

DOMBTString keyText(const Kw::StringKey& key) { return DOMBTString(key.GetUChar16()); }
} // namespace

ElementImpl::ElementImpl(Kw::ElementRef ref, DOMDocument* doc)
    : NodeBase<DOMElement>(doc), elementRef(std::move(ref)), attributeKeys(elementRef.get_AttributeKeys()) {}

ElementImpl::~ElementImpl() = default;

DOMElement* ElementImpl::create_(const Kw::ElementRef& ref, DOMDocument* doc) { return obtain(ref, doc); }

DOMElement* ElementImpl::create_(Kw::ElementRef&& ref, DOMDocument* doc) { return obtain(std::move(ref), doc); }

template <class Ref> DOMElement* ElementImpl::obtain(Ref&& ref, DOMDocument* doc) {
    if (ref.isNil()) return nullptr;
    DocumentImpl* d = asDocumentImpl(doc);
    if (!d) return nullptr;
    if (ElementImpl* cached = d->cachedElement(ref.get())) {
        if (d->isTracking()) d->registerNode(cached);
        ++cached->shareCount;
        return cached;
    }
    const Kw::HostRef handle = ref.get();
    auto* element = new ElementImpl(std::forward<Ref>(ref), doc);
    d->registerNode(element);
    d->cacheElement(handle, element);
    ++element->shareCount;
    return element;
}

void ElementImpl::dispose() {
    DocumentImpl* d = asDocumentImpl(ownerDocument);
    --shareCount;
    if (d && d->isTracking()) d->untrackOnce(this);
    if (shareCount > 0) return;
    if (d) d->uncacheElement(elementRef.get());
    NodeImpl::dispose();
}

// Own operations.

void ElementImpl::copyInto(DOMNode* source, bool deep) {
    if (!source) return;
    if (deep) {
        if (hasAttribute(XSI_TYPE.name().GetUChar16())) {
            for (NodeGuard<DOMNode> child(getFirstChild()); child;) {
                auto* element = dynamic_cast<ElementImpl*>(child.get());
                if (!element) break;
                NodeGuard<DOMElement> found(
                    ::getElementByTagName(static_cast<DOMElement*>(source), DOMBTString(element->getTagName())));
                if (found) element->copyInto(found.get(), true);
                child.reset(child->getNextSibling());
            }
        } else {
            // The next child is taken first: inserting a host-backed child moves it out of `source`.
            for (NodeGuard<DOMNode> c(source->getFirstChild()); c;) {
                NodeGuard<DOMNode> next(c->getNextSibling());
                if (c->getNodeType() == DOMNode::ELEMENT_NODE && static_cast<DOMElement*>(c.get())->hasAttribute(u"ID"))
                    throw dom::Exceptions::VALIDATION_ERR;
                NodeGuard<DOMNode> added(insertBefore(c.get(), nullptr));
                c = std::move(next);
            }
        }
    }
    DOMNamedNodeMap* attrs = source->getAttributes();
    const XMLSize_t n = attrs ? attrs->getLength() : 0;
    for (XMLSize_t i = 0; i < n; ++i) {
        NodeGuard<DOMAttr> a(static_cast<DOMAttr*>(attrs->item(i)));
        if (a) setAttribute(a->getName(), a->getValue());
    }
}

DOMElement* ElementImpl::findChildByAttribute(const XMLCh* name, const XMLCh* value) {
    const DOMBTString wanted(value);
    for (NodeGuard<DOMNode> child(getFirstChild()); child; child.reset(child->getNextSibling())) {
        if (child->getNodeType() != DOMNode::ELEMENT_NODE) continue;
        if (DOMBTString(static_cast<DOMElement*>(child.get())->getAttribute(name)) == wanted)
            return static_cast<DOMElement*>(child.release());
    }
    return nullptr;
}

DOMElement* ElementImpl::getElementByTagName(const XMLCh* name) {
    return create_(elementRef.getElementByTagName(Kw::StringKey(name)), ownerDocument);
}

DOMAttr* ElementImpl::getAttributeNode(const Kw::StringKey& name) const {
    return new AttrImpl(Kw::AttributeRef(elementRef, name), ownerDocument);
}

// Copies.

DOMNode* ElementImpl::exportCopy(bool deep) const {
    DOMElement* copy = ownerDocument->createElement(getTagName());
    if (deep) {
        for (NodeGuard<DOMNode> child(getFirstChild()); child; child.reset(child->getNextSibling())) {
            if (refOf(child.get()).IsReadOnly()) continue;
            NodeGuard<DOMNode> c(asNodeImpl(child.get())->exportCopy(deep));
            copy->appendChild(c.get());
        }
    }
    for (const Kw::StringKey& key : attributeKeys) {
        NodeGuard<DOMAttr> a(getAttributeNode(keyText(key).GetUChar16()));
        NodeGuard<DOMAttr> c(static_cast<AttrImpl*>(a.get())->copyAttribute());
        if (c) copy->setAttribute(c->getName(), c->getValue());
    }
    return copy;
}

DOMNode* ElementImpl::cloneNode(bool deep) const {
    DOMElement* copy = ownerDocument->createElement(getTagName());
    if (deep) {
        for (NodeGuard<DOMNode> child(getFirstChild()); child;) {
            NodeGuard<DOMNode> next(child->getNextSibling());
            NodeGuard<DOMNode> c(child->cloneNode(true));
            copy->appendChild(c.get());
            child = std::move(next);
        }
    }
    const std::vector<Kw::StringKey> keys = attributeKeys;
    for (const Kw::StringKey& key : keys) {
        NodeGuard<DOMAttr> a(getAttributeNode(key));
        NodeGuard<DOMAttr> c(static_cast<DOMAttr*>(a->cloneNode(deep)));
        copy->setAttribute(c->getName(), c->getValue());
    }
    return copy;
}

bool ElementImpl::isSameNode(const DOMNode* other) const {
    return sameByTypeNameValue(other) && refOf(other).get() == elementRef.get();
}

bool ElementImpl::isEqualNode(const DOMNode* other) const {
    if (!other) return false;
    if (DOMBTString(getNamespaceURI()) != DOMBTString(other->getNamespaceURI())) return false;
    if (!equalByTypeName(other)) return false;
    const std::vector<Kw::StringKey> keys = attributeKeys;
    DOMNamedNodeMap* otherAttrs = other->getAttributes();
    if (!otherAttrs || keys.size() != otherAttrs->getLength()) return false;
    const DOMElement* otherElement = static_cast<const DOMElement*>(other);
    for (const Kw::StringKey& key : keys) {
        NodeGuard<DOMAttr> a(getAttributeNode(key));
        NodeGuard<DOMAttr> b(otherElement->getAttributeNode(keyText(key).GetUChar16()));
        if (b && !a->isEqualNode(b.get())) return false;
    }
    DOMNodeList* otherChildren = const_cast<DOMNode*>(other)->getChildNodes();
    if (static_cast<XMLSize_t>(elementRef.get_NumChildren()) != (otherChildren ? otherChildren->getLength() : 0))
        return false;
    bool result = true;
    NodeGuard<DOMNode> c1(getFirstChild());
    DOMNode* c2 = other->getFirstChild();
    NodeGuard<DOMNode> c2Guard(c2);
    while (c1 && c2Guard) {
        result = c1->isEqualNode(c2Guard.get());
        NodeGuard<DOMNode> n1(c1->getNextSibling());
        NodeGuard<DOMNode> n2(c2Guard->getNextSibling());
        c1 = std::move(n1);
        c2Guard = std::move(n2);
        if (!result) break;
    }
    return result;
}

const XMLCh* ElementImpl::getTextContent() const { throwDOMException(9); }
void ElementImpl::setTextContent(const XMLCh*) { throwDOMException(9); }

// Attributes.

const XMLCh* ElementImpl::getAttribute(const XMLCh* name) const {
    return sharedText(elementRef.GetAttributeValue(Kw::StringKey(name)));
}

DOMAttr* ElementImpl::getAttributeNode(const XMLCh* name) const { return getAttributeNode(Kw::StringKey(name)); }

void ElementImpl::setAttribute(const XMLCh* name, const XMLCh* value) {
    const Kw::StringKey key(name);
    Kw::AttributeRef record(elementRef, key);
    const DOMBTString newValue(value);
    bool typeChanged = false;
    if (DOMBTString(name) == XSI_TYPE.name()) typeChanged = DOMBTString(getAttribute(name)) != newValue;
    record.write(newValue);
    if (typeChanged) attributeKeys = elementRef.get_AttributeKeys();
}

DOMAttr* ElementImpl::setAttributeNode(DOMAttr* attr) {
    Kw::AttributeRef record(elementRef, Kw::StringKey(attr->getName()));
    record.write(DOMBTString(attr->getValue()));
    return new AttrImpl(record, ownerDocument);
}

DOMAttr* ElementImpl::removeAttributeNode(DOMAttr*) { throwDOMException(-1); }
void ElementImpl::removeAttribute(const XMLCh*) { throwDOMException(-1); }
void ElementImpl::removeAttributeNS(const XMLCh*, const XMLCh*) { throwDOMException(-1); }

const XMLCh* ElementImpl::getAttributeNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    return sharedText(elementRef.GetAttributeValueNS(Kw::StringKey(namespaceURI), Kw::StringKey(localName)));
}

void ElementImpl::setAttributeNS(const XMLCh* namespaceURI, const XMLCh* qualifiedName, const XMLCh* value) {
    const Kw::KWLIB::PrefixNamePair pair = Kw::KWLIB::seperatePrefixName(DOMBTString(qualifiedName));
    Kw::AttributeRef record(elementRef, pair.localName);
    record.nsKey = Kw::StringKey(namespaceURI);
    record.useNS = true;
    record.write(DOMBTString(value));
}

DOMAttr* ElementImpl::getAttributeNodeNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    Kw::AttributeRef record(elementRef, Kw::StringKey(localName));
    record.nsKey = Kw::StringKey(namespaceURI);
    return new AttrImpl(record, ownerDocument);
}

DOMAttr* ElementImpl::setAttributeNodeNS(DOMAttr* attr) {
    Kw::AttributeRef record(elementRef, Kw::StringKey(attr->getLocalName()));
    record.nsKey = Kw::StringKey(attr->getNamespaceURI());
    record.useNS = true;
    record.write(DOMBTString(attr->getValue()));
    return new AttrImpl(record, ownerDocument);
}

bool ElementImpl::hasAttribute(const XMLCh* name) const {
    return elementRef.hasAttributeNS(Kw::StringKey(), Kw::StringKey(name));
}

bool ElementImpl::hasAttributeNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    return elementRef.hasAttributeNS(Kw::StringKey(namespaceURI), Kw::StringKey(localName));
}

// Searches among the direct children.

DOMNodeList* ElementImpl::elementsByName(const XMLCh* namespaceURI, const XMLCh* name, bool byNS) const {
    const DOMBTString wanted(name), wantedNS(namespaceURI);
    std::vector<Kw::ElementRef> found;
    for (Kw::ElementRef child = elementRef.get_FirstChild(); !child.isNil(); child = child.get_NextSibling()) {
        const bool match = byNS ? child.get_URI() == wantedNS && child.get_localName() == wanted
                                : child.get_TagName() == wanted;
        if (match) found.push_back(child);
    }
    return keepList(new NodeListImpl(std::move(found), ownerDocument));
}

DOMNodeList* ElementImpl::getElementsByTagName(const XMLCh* name) const { return elementsByName(nullptr, name, false); }

DOMNodeList* ElementImpl::getElementsByTagNameNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    return elementsByName(namespaceURI, localName, true);
}

void ElementImpl::setIdAttribute(const XMLCh*, bool) { throwDOMException(-1); }
void ElementImpl::setIdAttributeNS(const XMLCh*, const XMLCh*, bool) { throwDOMException(-1); }
void ElementImpl::setIdAttributeNode(const DOMAttr*, bool) { throwDOMException(-1); }
const DOMTypeInfo* ElementImpl::getSchemaTypeInfo() const { throwDOMException(-1); }
DOMElement* ElementImpl::getFirstElementChild() const { throwDOMException(-1); }
DOMElement* ElementImpl::getLastElementChild() const { throwDOMException(-1); }
DOMElement* ElementImpl::getPreviousElementSibling() const { throwDOMException(-1); }
DOMElement* ElementImpl::getNextElementSibling() const { throwDOMException(-1); }
XMLSize_t ElementImpl::getChildElementCount() const { throwDOMException(-1); }

// The element as its own attribute map.

DOMNode* ElementImpl::setNamedItem(DOMNode*) { throwDOMException(9); }
DOMNode* ElementImpl::setNamedItemNS(DOMNode*) { throwDOMException(9); }

DOMNode* ElementImpl::item(XMLSize_t index) const {
    if (index >= attributeKeys.size()) return nullptr;
    return getAttributeNode(attributeKeys[index]);
}

DOMNode* ElementImpl::getNamedItem(const XMLCh* name) const { return getAttributeNode(name); }

DOMNode* ElementImpl::removeNamedItem(const XMLCh* name) {
    NodeGuard<DOMAttr> attr(getAttributeNode(name));
    removeAttribute(name);
    return attr.release();
}

DOMNode* ElementImpl::getNamedItemNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    return getAttributeNodeNS(namespaceURI, localName);
}

DOMNode* ElementImpl::removeNamedItemNS(const XMLCh* namespaceURI, const XMLCh* localName) {
    NodeGuard<DOMAttr> attr(getAttributeNodeNS(namespaceURI, localName));
    removeAttributeNS(namespaceURI, localName);
    return attr.release();
}

} // namespace domImpl
