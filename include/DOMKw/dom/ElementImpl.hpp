// The DOMElement of one host element, and at the same time its attribute map. Element objects are
// shared per host handle within a document and counted: each create_ is matched by one dispose().
#pragma once

#include <DOMKw/dom/NodeImpl.hpp>
#include <DOMKw/events/EventTargetImpl.hpp>

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>

namespace domImpl {

using XERCES_CPP_NAMESPACE::DOMAttr;
using XERCES_CPP_NAMESPACE::DOMElement;
using XERCES_CPP_NAMESPACE::DOMNamedNodeMap;

class ElementImpl : public NodeBase<DOMElement>,
                    public DOMNamedNodeMap,
                    public virtual eventsImpl::EventTargetImpl {
public:
    // Null for a nil reference; otherwise the document's one object for the host element.
    static DOMElement* create_(const Kw::ElementRef& ref, DOMDocument* doc);
    // The same for a reference the caller gives up (no host call to copy it).
    static DOMElement* create_(Kw::ElementRef&& ref, DOMDocument* doc);
    // The same in a document whose bookkeeping the caller has at hand (no lookup); null `owner` gives null.
    static DOMElement* create_(const Kw::ElementRef& ref, DocumentImpl* owner);
    static DOMElement* create_(Kw::ElementRef&& ref, DocumentImpl* owner);

    // Merges the attributes (and, when deep, the content) of `source` into this host element. The merge
    // of a typed element goes down its children by name one call per level: past 1,000 levels it is
    // refused with DOMException 1 (INDEX_SIZE_ERR) and everything merged so far is taken back. Copies
    // (cloneNode, exportCopy) and isEqualNode have no such bound: they keep their own stack.
    virtual void copyInto(DOMNode* source, bool deep);
    // The first child element whose attribute `name` has the text `value`.
    virtual DOMElement* findChildByAttribute(const XMLCh* name, const XMLCh* value);
    // The host's own search for a descendant with the tag name.
    virtual DOMElement* getElementByTagName(const XMLCh* name);
    virtual DOMAttr* getAttributeNode(const Kw::StringKey& name) const;

    const void* implementation_() const override { return &elementRef; }
    Kw::ObjectRef::DoubleRef getTargetRef() const override { return nodeTarget(elementRef.get()); }
    const DOMNode* targetNode() const override { return this; }
    DOMNode* exportCopy(bool deep) const override;
    void dispose() override;

    // DOMNode
    const XMLCh* getNodeName() const override { return getTagName(); }
    const XMLCh* getNodeValue() const override { return nullptr; }
    NodeType getNodeType() const override { return ELEMENT_NODE; }
    DOMNamedNodeMap* getAttributes() const override { return const_cast<ElementImpl*>(this); }
    DOMNode* cloneNode(bool deep) const override;
    void setNodeValue(const XMLCh*) override {}
    bool isSameNode(const DOMNode* other) const override;
    bool isEqualNode(const DOMNode* other) const override;
    const XMLCh* getTextContent() const override;
    void setTextContent(const XMLCh*) override;

    // DOMElement
    const XMLCh* getTagName() const override { return nodeName(); }
    const XMLCh* getAttribute(const XMLCh* name) const override;
    DOMAttr* getAttributeNode(const XMLCh* name) const override;
    DOMNodeList* getElementsByTagName(const XMLCh* name) const override;
    void setAttribute(const XMLCh* name, const XMLCh* value) override;
    DOMAttr* setAttributeNode(DOMAttr* attr) override;
    DOMAttr* removeAttributeNode(DOMAttr*) override;
    void removeAttribute(const XMLCh*) override;
    const XMLCh* getAttributeNS(const XMLCh* namespaceURI, const XMLCh* localName) const override;
    void setAttributeNS(const XMLCh* namespaceURI, const XMLCh* qualifiedName, const XMLCh* value) override;
    void removeAttributeNS(const XMLCh*, const XMLCh*) override;
    DOMAttr* getAttributeNodeNS(const XMLCh* namespaceURI, const XMLCh* localName) const override;
    DOMAttr* setAttributeNodeNS(DOMAttr* attr) override;
    DOMNodeList* getElementsByTagNameNS(const XMLCh* namespaceURI, const XMLCh* localName) const override;
    bool hasAttribute(const XMLCh* name) const override;
    bool hasAttributeNS(const XMLCh* namespaceURI, const XMLCh* localName) const override;
    void setIdAttribute(const XMLCh*, bool) override;
    void setIdAttributeNS(const XMLCh*, const XMLCh*, bool) override;
    void setIdAttributeNode(const DOMAttr*, bool) override;
    const XERCES_CPP_NAMESPACE::DOMTypeInfo* getSchemaTypeInfo() const override;
    DOMElement* getFirstElementChild() const override;
    DOMElement* getLastElementChild() const override;
    DOMElement* getPreviousElementSibling() const override;
    DOMElement* getNextElementSibling() const override;
    XMLSize_t getChildElementCount() const override;

    // DOMNamedNodeMap: the element's attributes as the host has them now.
    DOMNode* setNamedItem(DOMNode*) override;
    DOMNode* item(XMLSize_t index) const override;
    DOMNode* getNamedItem(const XMLCh* name) const override;
    XMLSize_t getLength() const override;
    DOMNode* removeNamedItem(const XMLCh* name) override;
    DOMNode* getNamedItemNS(const XMLCh* namespaceURI, const XMLCh* localName) const override;
    DOMNode* setNamedItemNS(DOMNode*) override;
    DOMNode* removeNamedItemNS(const XMLCh* namespaceURI, const XMLCh* localName) override;

    int32_t shares() const { return shareCount; }

private:
    ElementImpl(Kw::ElementRef ref, DocumentImpl* owner);
    template <class Ref> static DOMElement* obtain(Ref&& ref, DocumentImpl* owner);
    ~ElementImpl() override;
    friend class DocumentImpl;

    DOMNodeList* elementsByName(const XMLCh* namespaceURI, const XMLCh* name, bool byNS) const;

    struct CopyJournal;
    void copyInto(DOMNode* source, bool deep, CopyJournal& journal);

    // Copies (`exporting`: leaving out what the host marks read-only or uncopyable) and comparisons walk
    // the subtree with a stack of their own, so a deep tree does not run the caller's thread out of stack.
    DOMNode* copyTree(bool deep, bool exporting) const;
    void copyAttributesTo(DOMElement* copy, bool exporting, bool deep) const;
    // Name, namespace, attributes and the number of children; the children themselves are not compared.
    bool equalHere(const DOMNode* other) const;

    // The element's attribute keys as the host has them now; a refused read is thrown.
    std::vector<Kw::StringKey> currentKeys() const;

    Kw::ElementRef elementRef;
    int32_t shareCount = 0;
};

} // namespace domImpl
