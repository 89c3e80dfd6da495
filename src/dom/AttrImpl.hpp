// The DOMAttr of one attribute of a host element.
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/dom/NodeImpl.hpp>
#include <DOMKw/events/EventTargetImpl.hpp>

#include <xercesc/dom/DOMAttr.hpp>

#include <memory>

#include "bridge/AttributeRef.hpp"
#include "dom/HeldText.hpp"

namespace domImpl {

using XERCES_CPP_NAMESPACE::DOMAttr;
using XERCES_CPP_NAMESPACE::DOMElement;

// Not a NodeImpl: it cannot go into the tree, and refOf gives no host reference for it.
class AttrImpl final : public DOMAttr,
                 public virtual dom::Object,
                 public Disposable,
                 public virtual eventsImpl::EventTargetImpl {
public:
    AttrImpl(Kw::AttributeRef attribute, DOMDocument* doc);
    // `owner` is the library document behind `doc` (null when `doc` is not one): no lookup.
    AttrImpl(Kw::AttributeRef attribute, DOMDocument* doc, DocumentImpl* owner);
    // The attribute `name` of `element`, the record made in place.
    AttrImpl(const Kw::ElementRef& element, Kw::StringKey name, DOMDocument* doc, DocumentImpl* owner);
    ~AttrImpl() override;

    // Null when the attribute is uncopyable; otherwise a copy in the scratch document.
    virtual DOMAttr* copyAttribute();
    void dispose() override;
    const Kw::AttributeRef& record() const { return attribute; }
    // The owner element and the attribute's name.
    Kw::ObjectRef::DoubleRef getTargetRef() const override {
        return {attribute.owner.get(), attribute.name.value()};
    }
    const DOMNode* targetNode() const override { return this; }

    // DOMNode
    const XMLCh* getNodeName() const override { return getName(); }
    const XMLCh* getNodeValue() const override { return getValue(); }
    NodeType getNodeType() const override { return ATTRIBUTE_NODE; }
    DOMNode* getParentNode() const override { return nullptr; }
    DOMNodeList* getChildNodes() const override;
    DOMNode* getFirstChild() const override { return nullptr; }
    DOMNode* getLastChild() const override { return nullptr; }
    DOMNode* getPreviousSibling() const override { return nullptr; }
    DOMNode* getNextSibling() const override { return nullptr; }
    XERCES_CPP_NAMESPACE::DOMNamedNodeMap* getAttributes() const override;
    DOMDocument* getOwnerDocument() const override { return ownerDocument; }
    DOMNode* cloneNode(bool deep) const override;
    DOMNode* insertBefore(DOMNode*, DOMNode*) override;
    DOMNode* replaceChild(DOMNode*, DOMNode*) override;
    DOMNode* removeChild(DOMNode*) override;
    DOMNode* appendChild(DOMNode*) override;
    bool hasChildNodes() const override { return false; }
    void setNodeValue(const XMLCh* value) override { setValue(value); }
    void normalize() override {}
    bool isSupported(const XMLCh*, const XMLCh*) const override;
    const XMLCh* getNamespaceURI() const override;
    const XMLCh* getPrefix() const override;
    const XMLCh* getLocalName() const override;
    void setPrefix(const XMLCh*) override;
    bool hasAttributes() const override { return false; }
    bool isSameNode(const DOMNode* other) const override;
    bool isEqualNode(const DOMNode* other) const override;
    void* setUserData(const XMLCh*, void*, XERCES_CPP_NAMESPACE::DOMUserDataHandler*) override;
    void* getUserData(const XMLCh*) const override;
    const XMLCh* getBaseURI() const override;
    short compareDocumentPosition(const DOMNode*) const override;
    const XMLCh* getTextContent() const override;
    void setTextContent(const XMLCh*) override;
    const XMLCh* lookupPrefix(const XMLCh*) const override;
    bool isDefaultNamespace(const XMLCh*) const override;
    const XMLCh* lookupNamespaceURI(const XMLCh* prefix) const override;
    // Null for every public feature.
    void* getFeature(const XMLCh* feature, const XMLCh* version) const override;
    void release() override {}

    // DOMAttr
    const XMLCh* getName() const override;
    bool getSpecified() const override;
    const XMLCh* getValue() const override;
    void setValue(const XMLCh* value) override;
    DOMElement* getOwnerElement() const override;
    bool isId() const override;
    const XERCES_CPP_NAMESPACE::DOMTypeInfo* getSchemaTypeInfo() const override;

private:
    Kw::AttributeRef attribute;
    // What getValue handed out last.
    mutable HeldText valueCopy;
    DOMDocument* ownerDocument;
    DocumentImpl* ownerImpl;
    mutable std::unique_ptr<DOMNodeList> childList;
};

} // namespace domImpl
