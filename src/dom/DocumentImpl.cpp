#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/dom/ElementImpl.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "bridge/HostStatus.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "dom/Lifetime.hpp"
#include "dom/NodeGuard.hpp"
#include "dom/SerializerFactory.hpp"
#include "dom/XPathSupport.hpp"

using namespace XERCES_CPP_NAMESPACE;
using Kw::throwDOMException;

namespace domImpl {

DocumentImpl::DocumentImpl(const Kw::ObjectRef& app)
    : NodeBase<XERCES_CPP_NAMESPACE::DOMDocument>(nullptr, nullptr), application(app) {
    // The nodes the document's own node part makes belong to the document itself.
    ownerImpl = this;
}

XERCES_CPP_NAMESPACE::DOMDocument* DocumentImpl::create(const Kw::ObjectRef& app) {
    if (app.isNil()) return nullptr;
    return new DocumentImpl(app);
}

DocumentImpl::~DocumentImpl() {
    if (!trackedNodes.empty()) disposeTracked();
    // Whatever the callers left: the whole document goes, so every object is freed outright, however
    // many hand-outs of it are still counted.
    releasing = true;
    Disposable* left = std::exchange(liveHead, nullptr);
    liveCount = 0;
    trackedNodes.clear();
    elementCache.clear();
    while (left) {
        Disposable* object = left;
        left = object->liveNext;
        delete object;
    }
    xpathSlot.reset();
    if (scratchDocument) scratchDocument->release();
}

void DocumentImpl::release() { delete this; }

// Bookkeeping.

void DocumentImpl::registerNode(DOMNode* node) { registerNode(node, asDisposable(node)); }

// Out of line (also under link-time optimisation): counting is for evaluations only, and inlined it would
// make every node object's registration save registers it never needs.
[[gnu::noinline]] void DocumentImpl::countHandOut(DOMNode* node) { trackedNodes.set(node, trackedNodes.find(node) + 1); }

[[gnu::noinline]] void DocumentImpl::untrack(DOMNode* node) { trackedNodes.take(node); }

[[gnu::noinline]] void DocumentImpl::untrackOnce(DOMNode* node) {
    if (const size_t handOuts = trackedNodes.find(node)) {
        if (handOuts > 1)
            trackedNodes.set(node, handOuts - 1);
        else
            trackedNodes.take(node);
    }
}

ElementImpl* DocumentImpl::cachedElement(Kw::HostRef handle) const { return elementCache.find(handle); }

void DocumentImpl::cacheElement(Kw::HostRef handle, ElementImpl* element) { elementCache.set(handle, element); }

void DocumentImpl::uncacheElement(Kw::HostRef handle) { elementCache.take(handle); }

void DocumentImpl::disposeTracked() {
    // One dispose() per hand-out, but never on a node an earlier dispose() has already freed (a shared
    // element goes when its last hand-out ends).
    // Nodes go in address order, a round at a time: a dispose may end other tracked nodes (they leave
    // the table and are passed over) or, in principle, track new ones (the next round takes them).
    // The next write hands out as many objects again: the tables keep the room this one needed rather
    // than give it back now and grow into fresh memory then.
    // A node object leaves the table when it ends: a node still in it is alive, and is touched only then.
    // The counts are kept here, so the ends made here are not counted off a second time.
    struct Suspended {
        bool& mode;
        const bool previous;
        explicit Suspended(bool& m) : mode(m), previous(m) { mode = false; }
        ~Suspended() { mode = previous; }
    } suspended(trackingMode);
    trackedNodes.keepCapacity();
    std::vector<DOMNode*> round;
    while (!trackedNodes.empty()) {
        round.clear();
        round.reserve(trackedNodes.size());
        trackedNodes.forEach([&round](DOMNode* node, size_t) { round.push_back(node); });
        std::sort(round.begin(), round.end(), std::less<DOMNode*>());
        for (DOMNode* node : round) {
            for (size_t handOuts = trackedNodes.find(node); handOuts; handOuts = trackedNodes.find(node)) {
                if (handOuts > 1)
                    trackedNodes.set(node, handOuts - 1);
                else
                    trackedNodes.take(node);
                asDisposable(node)->dispose();
            }
        }
    }
}

void DocumentImpl::setXPathState(std::unique_ptr<XPathDocumentState> state) {
    // The old state ends before the new one is in place: the XPath layer reads the slot only after.
    xpathSlot.reset();
    xpathSlot = std::move(state);
}

XERCES_CPP_NAMESPACE::DOMDocument* DocumentImpl::scratch() const {
    if (!scratchDocument) {
        DOMImplementation* xerces = DOMImplementationRegistry::getDOMImplementation(u"Core LS");
        scratchDocument = xerces->createDocument(nullptr, u"TelDOM", nullptr, XMLPlatformUtils::fgMemoryManager);
    }
    return scratchDocument;
}

// DOMDocument.

DOMRange* DocumentImpl::createRange() { throwDOMException(-1); }
DOMElement* DocumentImpl::createElement(const XMLCh* tagName) { return scratch()->createElement(tagName); }
DOMDocumentFragment* DocumentImpl::createDocumentFragment() { throwDOMException(-1); }
DOMText* DocumentImpl::createTextNode(const XMLCh* data) { return scratch()->createTextNode(data); }
DOMComment* DocumentImpl::createComment(const XMLCh*) { throwDOMException(9); }
DOMCDATASection* DocumentImpl::createCDATASection(const XMLCh*) { throwDOMException(9); }
DOMProcessingInstruction* DocumentImpl::createProcessingInstruction(const XMLCh*, const XMLCh*) { throwDOMException(9); }
DOMAttr* DocumentImpl::createAttribute(const XMLCh* name) { return scratch()->createAttribute(name); }
DOMEntityReference* DocumentImpl::createEntityReference(const XMLCh*) { throwDOMException(9); }

DOMImplementation* DocumentImpl::getImplementation() const {
    return DOMImplementationRegistry::getDOMImplementation(u"Tellam 6.0");
}

DOMElement* DocumentImpl::getDocumentElement() const {
    return ElementImpl::create_(application, const_cast<DocumentImpl*>(this));
}

DOMNodeList* DocumentImpl::getElementsByTagName(const XMLCh*) const { throwDOMException(-1); }

DOMNode* DocumentImpl::importNode(const DOMNode* node, bool deep) {
    if (!node) throwDOMException(11);
    return scratch()->importNode(node, deep);
}

DOMElement* DocumentImpl::createElementNS(const XMLCh* namespaceURI, const XMLCh* qualifiedName) {
    return scratch()->createElementNS(namespaceURI, qualifiedName);
}

DOMElement* DocumentImpl::createElementNS(const XMLCh*, const XMLCh*, const XMLFileLoc, const XMLFileLoc) {
    throwDOMException(-1);
}

DOMAttr* DocumentImpl::createAttributeNS(const XMLCh*, const XMLCh*) { throwDOMException(-1); }
DOMNodeList* DocumentImpl::getElementsByTagNameNS(const XMLCh*, const XMLCh*) const { throwDOMException(-1); }
DOMElement* DocumentImpl::getElementById(const XMLCh*) const { throwDOMException(-1); }

const XMLCh* DocumentImpl::getInputEncoding() const {
    static const DOMBTString utf16(u"UTF-16");
    return utf16.GetUChar16();
}

bool DocumentImpl::getXmlStandalone() const { throwDOMException(9); }
void DocumentImpl::setXmlStandalone(bool) { throwDOMException(9); }
const XMLCh* DocumentImpl::getDocumentURI() const { throwDOMException(-1); }
void DocumentImpl::setDocumentURI(const XMLCh*) { throwDOMException(-1); }
bool DocumentImpl::getStrictErrorChecking() const { throwDOMException(-1); }
void DocumentImpl::setStrictErrorChecking(bool) { throwDOMException(-1); }
DOMNode* DocumentImpl::renameNode(DOMNode*, const XMLCh*, const XMLCh*) { throwDOMException(-1); }
DOMNode* DocumentImpl::adoptNode(DOMNode*) { throwDOMException(-1); }

DOMConfiguration* DocumentImpl::getDOMConfig() const {
    DOMConfiguration* config = nullptr;
    Kw::KWLIB::GetDOMConfiguration(config);
    return config;
}

DOMEntity* DocumentImpl::createEntity(const XMLCh*) { throwDOMException(-1); }
DOMDocumentType* DocumentImpl::createDocumentType(const XMLCh*) { throwDOMException(9); }
DOMNotation* DocumentImpl::createNotation(const XMLCh*) { throwDOMException(9); }

DOMNodeIterator* DocumentImpl::createNodeIterator(DOMNode*, DOMNodeFilter::ShowType, DOMNodeFilter*, bool) {
    throwDOMException(-1);
}

DOMTreeWalker* DocumentImpl::createTreeWalker(DOMNode*, DOMNodeFilter::ShowType, DOMNodeFilter*, bool) {
    throwDOMException(-1);
}

// Every document is an XPath evaluator: the operations are those of the XPath layer.
DOMXPathExpression* DocumentImpl::createExpression(const XMLCh* expression,
                                                   const DOMXPathNSResolver* resolver) {
    return XPathSupport::installed().createExpression(expression, resolver);
}
DOMXPathNSResolver* DocumentImpl::createNSResolver(const DOMNode* nodeResolver) {
    return XPathSupport::installed().createNSResolver(nodeResolver);
}
DOMXPathResult* DocumentImpl::evaluate(const XMLCh* expression, const DOMNode* contextNode,
                                       const DOMXPathNSResolver* resolver, DOMXPathResult::ResultType type,
                                       DOMXPathResult* result) {
    return XPathSupport::installed().evaluate(expression, contextNode, resolver, type, result);
}
dom::xpath::XPathExpression* DocumentImpl::createExpression(const XMLCh* expression,
                                                            dom::xpath::XPathNSResolver* resolver) {
    return XPathSupport::installed().createExpression(expression, resolver);
}
dom::xpath::XPathNSResolver* DocumentImpl::createNSResolver(DOMNode* nodeResolver) {
    return XPathSupport::installed().createNSResolver(nodeResolver);
}
DOMXPathResult* DocumentImpl::evaluate(const XMLCh* expression, DOMNode* contextNode,
                                       dom::xpath::XPathNSResolver* resolver, DOMXPathResult::ResultType type,
                                       dom::xpath::XPathResult* result) {
    return XPathSupport::installed().evaluate(expression, contextNode, resolver, type, result);
}

// The document's own node part.

DOMNode* DocumentImpl::cloneNode(bool) const { throwDOMException(-1); }
const XMLCh* DocumentImpl::getTextContent() const { throwDOMException(-1); }
void DocumentImpl::setTextContent(const XMLCh*) { throwDOMException(-1); }
DOMNode* DocumentImpl::insertBefore(DOMNode*, DOMNode*) { throwDOMException(3); }
DOMNode* DocumentImpl::appendChild(DOMNode*) { throwDOMException(3); }
DOMNode* DocumentImpl::replaceChild(DOMNode*, DOMNode*) { throwDOMException(9); }
DOMNode* DocumentImpl::removeChild(DOMNode*) { throwDOMException(9); }
const XMLCh* DocumentImpl::getNamespaceURI() const { throwDOMException(-1); }
const XMLCh* DocumentImpl::getPrefix() const { throwDOMException(-1); }
const XMLCh* DocumentImpl::getLocalName() const { throwDOMException(-1); }

void* DocumentImpl::getFeature(const XMLCh* feature, const XMLCh*) const {
    auto* self = const_cast<DocumentImpl*>(this);
    return identity::answer(feature, self, self, self);
}

bool DocumentImpl::isSupported(const XMLCh* feature, const XMLCh* version) const {
    DOMImplementation* impl = getImplementation();
    return impl && impl->hasFeature(feature, version);
}

// DocumentLS.

bool DocumentImpl::getAsync() const { throwDOMException(-1); }
void DocumentImpl::setAsync(bool) { throwDOMException(-1); }
void DocumentImpl::abort() { throwDOMException(-1); }

bool DocumentImpl::load(const XMLCh* source) {
    try {
        return Kw::KWLIB::Import(source);
    } catch (const DOMException&) {
        return false;
    }
}

bool DocumentImpl::loadXML(const XMLCh*) { throwDOMException(9); }

const XMLCh* DocumentImpl::saveToString(DOMNode* node) {
    static DOMBTString saved; // the buffer handed out, replaced by the next save of any document
    // A refused read during the save ends it (null) instead of writing a shorter or emptier project.
    Kw::CheckedReads checked;
    auto save = serializerFactory().save;
    if (!save) Kw::throwDOMException(DOMException::NOT_SUPPORTED_ERR);
    NodeGuard<DOMElement> root(node ? nullptr : getDocumentElement());
    XMLCh* text = save(node ? node : root.get());
    if (!text) return nullptr;
    saved = DOMBTString(text);
    XMLPlatformUtils::fgMemoryManager->deallocate(text);
    return saved.GetUChar16();
}

} // namespace domImpl
