// The DOMDocument of the library: a thin shell around the host application element, owner of every
// node object it hands out, and the maker of plain Xerces-C nodes through a private scratch document.
#pragma once

#include <DOMKw/dom/DocumentLS.hpp>
#include <DOMKw/dom/NodeImpl.hpp>
#include <DOMKw/events/EventTargetImpl.hpp>
#include <DOMKw/xpath/XPathEvaluator.hpp>

#include <xercesc/dom/DOMDocument.hpp>

#include <memory>

#include "dom/FlatTable.hpp"
#include "events/DocumentEventImpl.hpp"

namespace domImpl {

class ElementImpl;
class XPathDocumentState;

// Made once, in NodeImpl.cpp, with the other node bases: no other file builds its own copy of its table.
extern template class NodeBase<XERCES_CPP_NAMESPACE::DOMDocument>;

class DocumentImpl : public NodeBase<XERCES_CPP_NAMESPACE::DOMDocument>,
                     public dom::ls::DocumentLS,
                     public virtual eventsImpl::EventTargetImpl,
                     public virtual eventsImpl::DocumentEventImpl,
                     public virtual dom::xpath::XPathEvaluator {
public:
    explicit DocumentImpl(const Kw::ObjectRef& application);
    ~DocumentImpl() override;

    // Null when the application handle is nil.
    static XERCES_CPP_NAMESPACE::DOMDocument* create(const Kw::ObjectRef& application);

    const void* implementation_() const override { return &application; }
    // Events aimed at the document go to the application element.
    Kw::ObjectRef::DoubleRef getTargetRef() const override { return nodeTarget(application.get()); }
    const DOMNode* targetNode() const override { return this; }

    // Bookkeeping of the node objects of this document: a node object joins when it is made (a shared
    // element handed out again during an evaluation is only counted as another hand-out) and leaves,
    // ended, at its last dispose.
    void registerNode(DOMNode* node);
    // The same for a node whose ending interface the caller has at hand (no lookup).
    void registerNode(DOMNode* node, Disposable* object) {
        // A node registered again (a shared element handed out during an evaluation) keeps its place.
        if (!isLive(object)) {
            object->livePrevious = nullptr;
            object->liveNext = liveHead;
            if (liveHead) liveHead->livePrevious = object;
            liveHead = object;
            ++liveCount;
        }
        if (trackingMode) countHandOut(node);
    }
    // Ends `object`, a node object of this document (`node` is the same object as a DOMNode).
    void unregisterNode(DOMNode* node, Disposable* object) {
        if (forget(node, object)) delete object;
    }
    // Takes `object` out of the bookkeeping; true when the caller is to delete it now (a class known to
    // the caller is then deleted without a virtual call).
    bool forget(DOMNode* node, Disposable* object) {
        if (!object || releasing) return false;
        if (!trackedNodes.empty()) untrack(node);
        if (!isLive(object)) return false;
        Disposable* previous = object->livePrevious;
        Disposable* next = object->liveNext;
        if (previous)
            previous->liveNext = next;
        else
            liveHead = next;
        if (next) next->livePrevious = previous;
        object->livePrevious = object->liveNext = nullptr;
        --liveCount;
        return true;
    }
    ElementImpl* cachedElement(Kw::HostRef handle) const;
    void cacheElement(Kw::HostRef handle, ElementImpl* element);
    void uncacheElement(Kw::HostRef handle);
    void disposeTracked();
    bool isTracking() const { return trackingMode; }

    // The attribute keys of one element as the last full read of them found them, and how many host calls
    // that may change the tree had been made then (see ElementImpl::item).
    struct AttributeKeys {
        Kw::HostRef element = -1;
        uint64_t asOf = 0;
        int32_t count = 0;
        Kw::HostKey keys[255];
    };
    AttributeKeys& attributeKeysRead() { return keysRead; }
    // Removes one tracked entry of `node`.
    void untrackOnce(DOMNode* node);
    // The number of node objects alive (for tests and leak checks).
    size_t liveNodeCount() const { return liveCount; }

    // Tracking scope: on while an evaluation runs; scopes nest, the outermost switches it off.
    class TrackingScope {
    public:
        explicit TrackingScope(DocumentImpl& doc) : doc(doc), previous(doc.trackingMode) { doc.trackingMode = true; }
        ~TrackingScope() { doc.trackingMode = previous; }
        TrackingScope(const TrackingScope&) = delete;
        TrackingScope& operator=(const TrackingScope&) = delete;

    private:
        DocumentImpl& doc;
        bool previous;
    };

    // What the XPath layer keeps for this document; ended with the document.
    XPathDocumentState* xpathState() const { return xpathSlot.get(); }
    void setXPathState(std::unique_ptr<XPathDocumentState> state);

    XERCES_CPP_NAMESPACE::DOMDocument* scratch() const;

    // DOMDocument
    XERCES_CPP_NAMESPACE::DOMRange* createRange() override;
    XERCES_CPP_NAMESPACE::DOMElement* createElement(const XMLCh* tagName) override;
    XERCES_CPP_NAMESPACE::DOMDocumentFragment* createDocumentFragment() override;
    XERCES_CPP_NAMESPACE::DOMText* createTextNode(const XMLCh* data) override;
    XERCES_CPP_NAMESPACE::DOMComment* createComment(const XMLCh*) override;
    XERCES_CPP_NAMESPACE::DOMCDATASection* createCDATASection(const XMLCh*) override;
    XERCES_CPP_NAMESPACE::DOMProcessingInstruction* createProcessingInstruction(const XMLCh*, const XMLCh*) override;
    XERCES_CPP_NAMESPACE::DOMAttr* createAttribute(const XMLCh* name) override;
    XERCES_CPP_NAMESPACE::DOMEntityReference* createEntityReference(const XMLCh*) override;
    XERCES_CPP_NAMESPACE::DOMDocumentType* getDoctype() const override { return nullptr; }
    XERCES_CPP_NAMESPACE::DOMImplementation* getImplementation() const override;
    XERCES_CPP_NAMESPACE::DOMElement* getDocumentElement() const override;
    DOMNodeList* getElementsByTagName(const XMLCh*) const override;
    DOMNode* importNode(const DOMNode* node, bool deep) override;
    XERCES_CPP_NAMESPACE::DOMElement* createElementNS(const XMLCh* namespaceURI, const XMLCh* qualifiedName) override;
    XERCES_CPP_NAMESPACE::DOMElement* createElementNS(const XMLCh*, const XMLCh*, const XMLFileLoc, const XMLFileLoc) override;
    XERCES_CPP_NAMESPACE::DOMAttr* createAttributeNS(const XMLCh*, const XMLCh*) override;
    DOMNodeList* getElementsByTagNameNS(const XMLCh*, const XMLCh*) const override;
    XERCES_CPP_NAMESPACE::DOMElement* getElementById(const XMLCh*) const override;
    const XMLCh* getInputEncoding() const override;
    const XMLCh* getXmlEncoding() const override { return xmlEncoding.GetUChar16(); }
    void setXmlEncoding(const XMLCh* text) { xmlEncoding = DOMBTString(text); }
    bool getXmlStandalone() const override;
    void setXmlStandalone(bool) override;
    const XMLCh* getXmlVersion() const override { return xmlVersion.GetUChar16(); }
    void setXmlVersion(const XMLCh* text) override { xmlVersion = DOMBTString(text); }
    const XMLCh* getDocumentURI() const override;
    void setDocumentURI(const XMLCh*) override;
    bool getStrictErrorChecking() const override;
    void setStrictErrorChecking(bool) override;
    DOMNode* renameNode(DOMNode*, const XMLCh*, const XMLCh*) override;
    DOMNode* adoptNode(DOMNode*) override;
    void normalizeDocument() override {}
    XERCES_CPP_NAMESPACE::DOMConfiguration* getDOMConfig() const override;
    XERCES_CPP_NAMESPACE::DOMEntity* createEntity(const XMLCh*) override;
    XERCES_CPP_NAMESPACE::DOMDocumentType* createDocumentType(const XMLCh*) override;
    XERCES_CPP_NAMESPACE::DOMNotation* createNotation(const XMLCh*) override;
    XERCES_CPP_NAMESPACE::DOMNodeIterator* createNodeIterator(DOMNode*, XERCES_CPP_NAMESPACE::DOMNodeFilter::ShowType,
                                                              XERCES_CPP_NAMESPACE::DOMNodeFilter*, bool) override;
    XERCES_CPP_NAMESPACE::DOMTreeWalker* createTreeWalker(DOMNode*, XERCES_CPP_NAMESPACE::DOMNodeFilter::ShowType,
                                                          XERCES_CPP_NAMESPACE::DOMNodeFilter*, bool) override;
    XERCES_CPP_NAMESPACE::DOMXPathExpression* createExpression(const XMLCh*,
                                                               const XERCES_CPP_NAMESPACE::DOMXPathNSResolver*) override;
    XERCES_CPP_NAMESPACE::DOMXPathNSResolver* createNSResolver(const DOMNode*) override;
    XERCES_CPP_NAMESPACE::DOMXPathResult* evaluate(const XMLCh*, const DOMNode*,
                                                   const XERCES_CPP_NAMESPACE::DOMXPathNSResolver*,
                                                   XERCES_CPP_NAMESPACE::DOMXPathResult::ResultType,
                                                   XERCES_CPP_NAMESPACE::DOMXPathResult*) override;

    // dom::xpath::XPathEvaluator: the same operations as the library's own interface.
    dom::xpath::XPathExpression* createExpression(const XMLCh* expression,
                                                  dom::xpath::XPathNSResolver* resolver) override;
    dom::xpath::XPathNSResolver* createNSResolver(DOMNode* nodeResolver) override;
    XERCES_CPP_NAMESPACE::DOMXPathResult* evaluate(const XMLCh* expression, DOMNode* contextNode,
                                                   dom::xpath::XPathNSResolver* resolver,
                                                   XERCES_CPP_NAMESPACE::DOMXPathResult::ResultType type,
                                                   dom::xpath::XPathResult* result) override;

    // DOMNode of the document itself
    const XMLCh* getNodeName() const override { return nullptr; }
    const XMLCh* getNodeValue() const override { return nullptr; }
    NodeType getNodeType() const override { return DOCUMENT_NODE; }
    DOMNode* getParentNode() const override { return nullptr; }
    XERCES_CPP_NAMESPACE::DOMNamedNodeMap* getAttributes() const override { return nullptr; }
    DOMDocument* getOwnerDocument() const override { return nullptr; }
    DOMNode* cloneNode(bool) const override;
    // The document's text content is not provided: DOMException -1, as for its other node operations.
    const XMLCh* getTextContent() const override;
    void setTextContent(const XMLCh*) override;
    DOMNode* insertBefore(DOMNode*, DOMNode*) override;
    DOMNode* appendChild(DOMNode*) override;
    DOMNode* replaceChild(DOMNode*, DOMNode*) override;
    DOMNode* removeChild(DOMNode*) override;
    void setNodeValue(const XMLCh*) override {}
    void setPrefix(const XMLCh*) override {}
    bool isSupported(const XMLCh* feature, const XMLCh* version) const override;
    const XMLCh* getNamespaceURI() const override;
    const XMLCh* getPrefix() const override;
    const XMLCh* getLocalName() const override;
    bool hasAttributes() const override { return false; }
    void* getFeature(const XMLCh* feature, const XMLCh* version) const override;
    bool isSameNode(const DOMNode*) const override { return false; }
    bool isEqualNode(const DOMNode*) const override { return false; }
    void release() override;
    void dispose() override {}

    // DocumentLS
    bool getAsync() const override;
    void setAsync(bool) override;
    void abort() override;
    bool load(const XMLCh* source) override;
    bool loadXML(const XMLCh*) override;
    const XMLCh* saveToString(DOMNode* node) override;

private:
    void countHandOut(DOMNode* node);
    void untrack(DOMNode* node);
    // Hand-outs made while tracking, counted per node object.
    FlatTable<DOMNode*, size_t> trackedNodes;
    bool trackingMode = false;
    std::unique_ptr<XPathDocumentState> xpathSlot;
    FlatTable<Kw::HostRef, ElementImpl*> elementCache;
    AttributeKeys keysRead;
    DOMBTString xmlEncoding;
    DOMBTString xmlVersion{u"1.0"};
    mutable XERCES_CPP_NAMESPACE::DOMDocument* scratchDocument = nullptr;
    // Every node object alive, whichever mode registered it, newest first, linked through the objects
    // themselves: the bookkeeping never touches a node that is gone.
    bool isLive(const Disposable* object) const { return object->livePrevious || liveHead == object; }
    Disposable* liveHead = nullptr;
    size_t liveCount = 0;
    // Set while the document ends what is left: a node object ended meanwhile is ended by that sweep.
    bool releasing = false;
    Kw::ElementRef application;
};

} // namespace domImpl
