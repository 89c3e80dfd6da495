#include <DOMKw/dom/ElementImpl.hpp>

#include <xercesc/dom/DOM.hpp>

#include "bridge/HostStatus.hpp"
#include "dom/AttrImpl.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "dom/NamespaceView.hpp"
#include "dom/NodeGuard.hpp"
#include "dom/NodeLists.hpp"
#include "dom/TextImpl.hpp"
#include "dom/XmlText.hpp"

using namespace XERCES_CPP_NAMESPACE;
using Kw::throwDOMException;

namespace domImpl {

namespace {
const XMLCh* keyBuffer(const Kw::StringKey& key) {
    // The host's own text of the key: it lives as long as the key.
    return key.GetUChar16();
}
} // namespace

AttrImpl::AttrImpl(Kw::AttributeRef attr, DOMDocument* doc) : AttrImpl(std::move(attr), doc, asDocumentImpl(doc)) {}

AttrImpl::AttrImpl(Kw::AttributeRef attr, DOMDocument* doc, DocumentImpl* owner)
    : attribute(std::move(attr)), ownerDocument(doc), ownerImpl(owner) {
    attribute.resolveName();
    if (ownerImpl) ownerImpl->registerNode(this, this);
}

AttrImpl::AttrImpl(const Kw::ElementRef& element, Kw::StringKey name, DOMDocument* doc, DocumentImpl* owner)
    : attribute(element, name), ownerDocument(doc), ownerImpl(owner) {
    attribute.resolveName();
    if (ownerImpl) ownerImpl->registerNode(this, this);
}

AttrImpl::~AttrImpl() = default;

void AttrImpl::dispose() {
    if (!ownerImpl || ownerImpl->forget(this, this)) delete this;
}

DOMAttr* AttrImpl::copyAttribute() {
    if (attribute.isUncopyable()) return nullptr;
    return static_cast<DOMAttr*>(cloneNode(true));
}

DOMNodeList* AttrImpl::getChildNodes() const {
    if (!childList) childList.reset(new NodeListImpl({}, ownerDocument));
    return childList.get();
}

DOMNamedNodeMap* AttrImpl::getAttributes() const { throwDOMException(-1); }

DOMNode* AttrImpl::cloneNode(bool) const {
    DOMAttr* copy = ownerDocument->createAttribute(getName());
    copy->setNodeValue(getValue());
    return copy;
}

DOMNode* AttrImpl::insertBefore(DOMNode*, DOMNode*) { throwDOMException(-1); }
DOMNode* AttrImpl::replaceChild(DOMNode*, DOMNode*) { throwDOMException(-1); }
DOMNode* AttrImpl::removeChild(DOMNode*) { throwDOMException(-1); }
DOMNode* AttrImpl::appendChild(DOMNode*) { throwDOMException(-1); }
bool AttrImpl::isSupported(const XMLCh*, const XMLCh*) const { throwDOMException(-1); }
void AttrImpl::setPrefix(const XMLCh*) { throwDOMException(-1); }
void* AttrImpl::setUserData(const XMLCh*, void*, DOMUserDataHandler*) { throwDOMException(-1); }
void* AttrImpl::getUserData(const XMLCh*) const { throwDOMException(-1); }
const XMLCh* AttrImpl::getBaseURI() const { throwDOMException(-1); }
short AttrImpl::compareDocumentPosition(const DOMNode*) const { throwDOMException(-1); }
const XMLCh* AttrImpl::getTextContent() const { throwDOMException(-1); }
void AttrImpl::setTextContent(const XMLCh*) { throwDOMException(-1); }
const XMLCh* AttrImpl::lookupPrefix(const XMLCh*) const { throwDOMException(-1); }
bool AttrImpl::isDefaultNamespace(const XMLCh*) const { throwDOMException(-1); }
bool AttrImpl::isId() const { throwDOMException(-1); }
const DOMTypeInfo* AttrImpl::getSchemaTypeInfo() const { throwDOMException(-1); }

const XMLCh* AttrImpl::getNamespaceURI() const {
    return namespaceInfoHidden() ? nullptr : keyBuffer(attribute.nsKey);
}
const XMLCh* AttrImpl::getPrefix() const { return namespaceInfoHidden() ? nullptr : keyBuffer(attribute.resolvedKey3); }
const XMLCh* AttrImpl::getLocalName() const {
    return namespaceInfoHidden() ? nullptr : keyBuffer(attribute.resolvedKey4);
}

bool AttrImpl::isSameNode(const DOMNode* other) const {
    if (!other) return false;
    return other->getNodeType() == ATTRIBUTE_NODE && DOMBTString(getName()) == DOMBTString(other->getNodeName()) &&
           DOMBTString(getValue()) == DOMBTString(other->getNodeValue());
}

bool AttrImpl::isEqualNode(const DOMNode* other) const {
    if (!other) return false;
    // Equal attributes have the same name and the same value.
    return other->getNodeType() == ATTRIBUTE_NODE && DOMBTString(getName()) == DOMBTString(other->getNodeName()) &&
           DOMBTString(getValue()) == DOMBTString(other->getNodeValue());
}

void* AttrImpl::getFeature(const XMLCh* feature, const XMLCh*) const {
    return identity::answer(feature, nullptr, const_cast<AttrImpl*>(this), nullptr);
}

const XMLCh* AttrImpl::lookupNamespaceURI(const XMLCh* prefix) const {
    NodeGuard<DOMElement> owner(getOwnerElement());
    return owner ? owner->lookupNamespaceURI(prefix) : nullptr;
}

const XMLCh* AttrImpl::getName() const {
    // The host's own text of the name key: it lives as long as the key.
    const XMLCh* name = attribute.name.GetUChar16();
    return name ? name : u"";
}

bool AttrImpl::getSpecified() const {
    if (attribute.isImplied()) return false;
    bool isDefault = false;
    attribute.readText(&isDefault);
    return !isDefault;
}

const XMLCh* AttrImpl::getValue() const { return valueCopy.hold(attribute.readText()); }

void AttrImpl::setValue(const XMLCh* value) {
    requireXmlChars(value);
    attribute.write(DOMBTString(value));
}

DOMElement* AttrImpl::getOwnerElement() const {
    return ownerImpl ? ElementImpl::create_(attribute.owner, ownerImpl)
                     : ElementImpl::create_(attribute.owner, ownerDocument);
}

} // namespace domImpl
