// The common base of the node classes that stand for host objects: elements, text objects and the
// document's own node part. Nodes keep no tree: every navigation asks the host and wraps the answer.
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/dom/Object.hpp>

#include <xercesc/dom/DOMNode.hpp>

#include <memory>
#include <vector>

XERCES_CPP_NAMESPACE_BEGIN
class DOMDocument;
class DOMNodeList;
XERCES_CPP_NAMESPACE_END

namespace domImpl {

using XERCES_CPP_NAMESPACE::DOMDocument;
using XERCES_CPP_NAMESPACE::DOMNode;
using XERCES_CPP_NAMESPACE::DOMNodeList;

class DocumentImpl;

class NodeImpl : public virtual dom::Object, public Disposable {
public:
    // Null for a nil reference; a new TextImpl for a host text object; otherwise the document's shared
    // ElementImpl of the element.
    static DOMNode* create_(const Kw::ElementRef& ref, DOMDocument* doc);
    // The same for a reference the caller gives up (no host call to copy it).
    static DOMNode* create_(Kw::ElementRef&& ref, DOMDocument* doc);
    // The same in a document whose bookkeeping the caller has at hand (no lookup); null `owner` gives null.
    static DOMNode* create_(Kw::ElementRef&& ref, DocumentImpl* owner);

    // A detached copy as an ordinary Xerces-C node. The base version throws DOMException -1.
    virtual DOMNode* exportCopy(bool deep) const;
    void dispose() override;

    // The host object this node stands for.
    const Kw::ElementRef& ref() const { return *static_cast<const Kw::ElementRef*>(implementation_()); }
    // Keeps a list this node handed out; it dies with the node object.
    DOMNodeList* keepList(DOMNodeList* list) const;

    // This object as a DOMNode.
    virtual DOMNode* asNode() = 0;
    const DOMNode* asNode() const { return const_cast<NodeImpl*>(this)->asNode(); }

protected:
    // `owner` is the library document behind `doc` (null when `doc` is not one).
    NodeImpl(DOMDocument* doc, DocumentImpl* owner);
    ~NodeImpl() override;

    // The document that node objects made by this one belong to.
    DOMDocument* documentForChildren() const;
    // A node object for `ref` in that document.
    DOMNode* wrap(Kw::ElementRef&& ref) const;
    DOMNode* wrapElement(Kw::ElementRef&& ref) const;

    // The DOMNode operations as the host-backed nodes share them.
    const XMLCh* nodeName() const;
    DOMNode* parentNode() const;
    DOMNodeList* childNodes() const;
    DOMNode* firstChild() const;
    DOMNode* lastChild() const;
    DOMNode* previousSibling() const;
    DOMNode* nextSibling() const;
    DOMNode* insertBefore(DOMNode* newChild, DOMNode* refChild);
    // One insertion as the host made it, with what is needed to take it back (dom/Placement.hpp).
    struct Placement;
    // Checks everything (null, kind, reference child, the hierarchy, the host's rules, the text) before
    // the one host call that inserts.
    Placement place(DOMNode* newChild, DOMNode* refChild);
    void unplace(const Placement& placement) noexcept;
    DOMNode* wrapPlaced(Placement&& placement);
    DOMNode* replaceChild(DOMNode* newChild, DOMNode* oldChild);
    DOMNode* removeChild(DOMNode* oldChild);
    bool hasChildNodes() const;
    const XMLCh* namespaceURI() const;
    const XMLCh* localName() const;
    bool hasAttributes() const;
    bool sameByTypeNameValue(const DOMNode* other) const;
    bool equalByTypeName(const DOMNode* other) const;
    const XMLCh* lookupNamespaceURI(const XMLCh* prefix) const;

    friend class DocumentImpl;
    template <class> friend class NodeBase;

    mutable std::vector<std::unique_ptr<DOMNodeList>> childLists;
    // The tag name: the host's own text of the name key (keys and their texts live as long as the
    // connection), read on the first getNodeName that finds a name.
    mutable const XMLCh* nodeNameText = nullptr;
    DOMDocument* ownerDocument;
    // The bookkeeping that holds this node object and the ones it makes: the owner document as the
    // library's document (for the document's own node part, the document itself), null for a node of
    // some other document.
    DocumentImpl* ownerImpl;
    // What setPrefix stored; none ("") until the first setPrefix, which few nodes ever see.
    std::unique_ptr<DOMBTString> prefix;
};

// The host reference behind any node: handle -1 for nodes that are not host nodes (null, attributes,
// Xerces-C nodes).
const Kw::ElementRef& refOf(const DOMNode* node);

// A Xerces-C node interface (DOMElement, DOMText, DOMDocument) with the DOMNode operations answered by
// NodeImpl. Subclasses override what differs.
template <class Interface> class NodeBase : public Interface, public NodeImpl {
public:
    DOMNode* asNode() override { return this; }

    const XMLCh* getNodeName() const override { return nodeName(); }
    DOMNode* getParentNode() const override { return parentNode(); }
    DOMNodeList* getChildNodes() const override { return childNodes(); }
    DOMNode* getFirstChild() const override { return firstChild(); }
    DOMNode* getLastChild() const override { return lastChild(); }
    DOMNode* getPreviousSibling() const override { return previousSibling(); }
    DOMNode* getNextSibling() const override { return nextSibling(); }
    XERCES_CPP_NAMESPACE::DOMNamedNodeMap* getAttributes() const override;
    DOMDocument* getOwnerDocument() const override { return ownerDocument; }
    DOMNode* cloneNode(bool deep) const override;
    DOMNode* insertBefore(DOMNode* newChild, DOMNode* refChild) override {
        return NodeImpl::insertBefore(newChild, refChild);
    }
    DOMNode* replaceChild(DOMNode* newChild, DOMNode* oldChild) override {
        return NodeImpl::replaceChild(newChild, oldChild);
    }
    DOMNode* removeChild(DOMNode* oldChild) override { return NodeImpl::removeChild(oldChild); }
    DOMNode* appendChild(DOMNode* newChild) override { return NodeImpl::insertBefore(newChild, nullptr); }
    bool hasChildNodes() const override { return NodeImpl::hasChildNodes(); }
    void normalize() override {}
    bool isSupported(const XMLCh* feature, const XMLCh* version) const override;
    const XMLCh* getNamespaceURI() const override { return namespaceURI(); }
    const XMLCh* getPrefix() const override { return prefix ? prefix->GetUChar16() : u""; }
    void setPrefix(const XMLCh* p) override {
        if (prefix)
            *prefix = DOMBTString(p);
        else
            prefix = std::make_unique<DOMBTString>(p);
    }
    const XMLCh* getLocalName() const override { return localName(); }
    bool hasAttributes() const override { return NodeImpl::hasAttributes(); }
    bool isSameNode(const DOMNode* other) const override { return sameByTypeNameValue(other); }
    bool isEqualNode(const DOMNode* other) const override { return equalByTypeName(other); }
    void* setUserData(const XMLCh*, void*, XERCES_CPP_NAMESPACE::DOMUserDataHandler*) override;
    void* getUserData(const XMLCh*) const override;
    const XMLCh* getBaseURI() const override;
    short compareDocumentPosition(const DOMNode*) const override;
    const XMLCh* getTextContent() const override;
    void setTextContent(const XMLCh*) override;
    const XMLCh* lookupPrefix(const XMLCh*) const override;
    bool isDefaultNamespace(const XMLCh*) const override;
    const XMLCh* lookupNamespaceURI(const XMLCh* p) const override { return NodeImpl::lookupNamespaceURI(p); }
    // Null for every public feature.
    void* getFeature(const XMLCh* feature, const XMLCh* version) const override;
    void release() override {}

protected:
    using NodeImpl::NodeImpl;
};

} // namespace domImpl
