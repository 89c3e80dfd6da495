#include <DOMKw/bridge/Exceptions.hpp>
#include <DOMKw/dom/ElementImpl.hpp>
#include <DOMKw/schema/DomSchemaConstants.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include "bridge/HostStatus.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "dom/Lifetime.hpp"
#include "dom/NamespaceView.hpp"
#include "dom/NodeGuard.hpp"
#include "dom/NodeLists.hpp"
#include "dom/Placement.hpp"
#include "dom/TextImpl.hpp"
#include "dom/XmlText.hpp"

using namespace XERCES_CPP_NAMESPACE;
using Kw::throwDOMException;

namespace domImpl {

namespace {

// A process-wide reference with no host object, for nodes that are not host nodes.
const Kw::ElementRef& nilRef() {
    static const Kw::ElementRef nil;
    return nil;
}

DOMImplementation* xercesImplementation() {
    return DOMImplementationRegistry::getDOMImplementation(u"Core LS");
}

} // namespace

const Kw::ElementRef& refOf(const DOMNode* node) {
    const NodeImpl* own = asNodeImpl(node);
    return own ? own->ref() : nilRef();
}

DOMNode* NodeImpl::create_(const Kw::ElementRef& ref, DOMDocument* doc) {
    if (ref.isNil()) return nullptr;
    if (ref.IsTextNode()) return new TextImpl(ref, doc);
    return ElementImpl::create_(ref, doc);
}

DOMNode* NodeImpl::create_(Kw::ElementRef&& ref, DOMDocument* doc) {
    if (ref.isNil()) return nullptr;
    if (ref.IsTextNode()) return new TextImpl(std::move(ref), doc);
    return ElementImpl::create_(std::move(ref), doc);
}

DOMNode* NodeImpl::create_(Kw::ElementRef&& ref, DocumentImpl* owner) {
    if (ref.isNil() || !owner) return nullptr;
    if (ref.IsTextNode()) return new TextImpl(std::move(ref), owner);
    return ElementImpl::create_(std::move(ref), owner);
}

NodeImpl::NodeImpl(DOMDocument* doc, DocumentImpl* owner) : ownerDocument(doc), ownerImpl(owner) {}

NodeImpl::~NodeImpl() = default;

DOMNode* NodeImpl::exportCopy(bool) const { throwDOMException(-1); }

void NodeImpl::dispose() {
    childLists.clear();
    if (ownerImpl)
        ownerImpl->unregisterNode(asNode(), this);
    else
        delete this;
}

DOMDocument* NodeImpl::documentForChildren() const {
    // The document's own node part has no owner: the nodes it makes belong to the document itself.
    return ownerDocument ? ownerDocument : static_cast<DOMDocument*>(const_cast<DOMNode*>(asNode()));
}

DOMNode* NodeImpl::wrap(Kw::ElementRef&& ref) const {
    if (ownerImpl) return create_(std::move(ref), ownerImpl);
    return create_(std::move(ref), documentForChildren());
}

DOMNode* NodeImpl::wrapElement(Kw::ElementRef&& ref) const {
    if (ownerImpl) return ElementImpl::create_(std::move(ref), ownerImpl);
    return ElementImpl::create_(std::move(ref), documentForChildren());
}

DOMNodeList* NodeImpl::keepList(DOMNodeList* list) const {
    childLists.emplace_back(list);
    return list;
}

const XMLCh* NodeImpl::nodeName() const {
    if (nodeNameText) return nodeNameText;
    const XMLCh* name = ref().tagNameText();
    // No name yet (refused, or empty): asked again next time.
    if (*name) nodeNameText = name;
    return name;
}

DOMNode* NodeImpl::parentNode() const { return wrapElement(ref().get_Parent()); }

DOMNodeList* NodeImpl::childNodes() const { return keepList(new NodeListNodeImpl(asNode())); }

DOMNode* NodeImpl::firstChild() const { return wrap(ref().get_FirstChild()); }

DOMNode* NodeImpl::previousSibling() const { return wrap(ref().get_PreviousSibling()); }

DOMNode* NodeImpl::nextSibling() const { return wrap(ref().get_NextSibling()); }

DOMNode* NodeImpl::lastChild() const {
    Kw::ElementRef child = ref().get_FirstChild();
    if (child.isNil()) return nullptr;
    for (Kw::ElementRef next = child.get_NextSibling(); !next.isNil(); next = next.get_NextSibling()) child = next;
    return wrap(std::move(child));
}

bool NodeImpl::hasChildNodes() const { return !ref().get_FirstChild().isNil(); }

bool& namespaceInfoHidden() {
    thread_local bool hidden = false; // the writing thread's alone
    return hidden;
}

const XMLCh* NodeImpl::namespaceURI() const {
    if (namespaceInfoHidden()) return nullptr;
    static DOMBTString uri;
    uri = ref().get_URI();
    return uri.IsEmpty() ? nullptr : uri.GetUChar16();
}

const XMLCh* NodeImpl::localName() const {
    if (namespaceInfoHidden()) return nullptr;
    static DOMBTString local;
    local = ref().get_localName();
    return local.GetUChar16();
}

bool NodeImpl::hasAttributes() const { return ref().countAttributeKeys() > 0; }

bool NodeImpl::sameByTypeNameValue(const DOMNode* other) const {
    if (!other) return false;
    const DOMNode* self = asNode();
    return self->getNodeType() == other->getNodeType() &&
           DOMBTString(self->getNodeName()) == DOMBTString(other->getNodeName()) &&
           DOMBTString(self->getNodeValue()) == DOMBTString(other->getNodeValue());
}

bool NodeImpl::equalByTypeName(const DOMNode* other) const {
    if (!other) return false;
    const DOMNode* self = asNode();
    return self->getNodeType() == other->getNodeType() &&
           DOMBTString(self->getNodeName()) == DOMBTString(other->getNodeName());
}

const XMLCh* NodeImpl::lookupNamespaceURI(const XMLCh* prefixText) const {
    // Only the document element's declarations are consulted, whatever the node.
    const DOMBTString name = DOMBTString(DomSchemaConstants::kXmlNS) + DOMBTString(prefixText);
    NodeGuard<DOMElement> element(documentForChildren()->getDocumentElement());
    if (!element || !element->hasAttribute(name.GetUChar16())) return nullptr;
    return element->getAttribute(name.GetUChar16());
}

// Tree changes. New content reaches the host as XML text; a host node that is already in a tree is
// moved by the host itself, so that nothing of it (read-only content, uncopyable attributes, its
// identity) is lost on the way.

namespace {

// Content nested deeper than this below a plain Xerces-C child is refused: the host keeps no deeper tree,
// and writing it out for the host would recurse once per level.
constexpr unsigned maxForeignDepth = 1000;

// Refuses a plain Xerces-C child whose text or attribute values XML cannot hold, or whose content is
// nested deeper than maxForeignDepth (INDEX_SIZE_ERR). Walks without recursing: the caller's tree may be
// arbitrarily deep.
void requireWritable(const DOMNode* top) {
    unsigned depth = 0;
    for (const DOMNode* node = top; node;) {
        if (node->getNodeType() == DOMNode::TEXT_NODE) requireXmlChars(node->getNodeValue());
        if (const DOMNamedNodeMap* attrs = node->getAttributes())
            for (XMLSize_t i = 0, n = attrs->getLength(); i < n; ++i) requireXmlChars(attrs->item(i)->getNodeValue());
        if (const DOMNode* child = node->getFirstChild()) {
            if (++depth > maxForeignDepth) throwDOMException(1);
            node = child;
            continue;
        }
        // Up until a node with a next sibling, never above the top.
        while (node != top && !node->getNextSibling()) {
            node = node->getParentNode();
            --depth;
        }
        node = node == top ? nullptr : node->getNextSibling();
    }
}

} // namespace

NodeImpl::Placement NodeImpl::place(DOMNode* newChild, DOMNode* refChild) {
    if (!newChild) throwDOMException(16);
    const DOMNode::NodeType type = newChild->getNodeType();
    if (type != DOMNode::ELEMENT_NODE && type != DOMNode::TEXT_NODE) throwDOMException(9);
    Kw::CheckedReads checked;
    const Kw::ElementRef& self = ref();
    // The reference child is checked before anything moves: a bad one must not cost the new child.
    if (refChild && refOf(refChild).isNil()) throwDOMException(8);
    Placement placement;
    placement.isText = type == DOMNode::TEXT_NODE;
    const bool hostBacked = asNodeImpl(newChild) != nullptr;
    if (hostBacked) {
        // A node cannot go into itself or into one of its own descendants.
        const Kw::HostRef child = refOf(newChild).get();
        for (Kw::ElementRef at = self; !at.isNil(); at = at.get_Parent())
            if (at.get() == child) throwDOMException(3);
    } else {
        requireWritable(newChild);
    }
    self.ValidateElement(newChild);

    if (hostBacked) {
        // Everything the undo needs is taken before the move.
        Kw::ElementRef moving = refOf(newChild);
        placement.oldParent = moving.get_Parent();
        if (!placement.oldParent.isNil()) placement.oldNext = moving.get_NextSibling();
        Kw::ElementRef before = refOf(refChild);
        // insertBefore(x, x): x stays where it is.
        if (before.get() == moving.get()) before = placement.oldNext;
        self.InsertBeforeChild(moving, before);
        placement.node = std::move(moving);
        placement.moved = true;
        return placement;
    }

    std::unique_ptr<DOMLSSerializer, void (*)(DOMLSSerializer*)> writer(
        xercesImplementation()->createLSSerializer(XMLPlatformUtils::fgMemoryManager),
        [](DOMLSSerializer* w) { w->release(); });
    XMLCh* written = writer->writeToString(newChild);
    writer.reset();
    // The stock serializer answers null for a node it cannot write: that is a refusal, not "nothing".
    if (!written) throwDOMException(12);
    DOMBTString text(written);
    XMLString::release(&written, XMLPlatformUtils::fgMemoryManager);
    // An empty text node is still a node the caller expects back: the host is asked to hold it (and says
    // so when it cannot). Only content that comes to nothing at all inserts nothing.
    if (text.IsEmpty() && !placement.isText) return placement;
    placement.node = self.InsertBeforeChild(text, refOf(refChild), placement.isText ? 1 : 0);
    return placement;
}

void NodeImpl::unplace(const Placement& placement) noexcept {
    // Best effort: the host answered the change a moment ago, it is asked to take it back.
    try {
        if (placement.node.isNil()) return;
        if (placement.moved && !placement.oldParent.isNil())
            placement.oldParent.InsertBeforeChild(placement.node, placement.oldNext);
        else
            ref().RemoveChild(placement.node);
    } catch (...) {
    }
}

DOMNode* NodeImpl::wrapPlaced(Placement&& placement) {
    // The kind is known: no further host call may fail once the tree has changed.
    if (placement.node.isNil()) return nullptr;
    if (placement.isText) return new TextImpl(std::move(placement.node), documentForChildren());
    return ElementImpl::create_(std::move(placement.node), documentForChildren());
}

DOMNode* NodeImpl::insertBefore(DOMNode* newChild, DOMNode* refChild) { return wrapPlaced(place(newChild, refChild)); }

DOMNode* NodeImpl::replaceChild(DOMNode* newChild, DOMNode* oldChild) {
    Kw::CheckedReads checked;
    const Kw::ElementRef& self = ref();
    {
        NodeGuard<DOMNode> parent(oldChild ? oldChild->getParentNode() : nullptr);
        if (refOf(parent.get()).get() != self.get() || self.isNil()) throwDOMException(8);
    }
    NodeGuard<DOMNode> result(oldChild->cloneNode(true));
    const Kw::ElementRef& old = refOf(oldChild);
    // Replacing a node by itself (the same object, or another object of the same host node) changes nothing.
    if (newChild != oldChild && refOf(newChild).get() != old.get()) {
        Placement placement = place(newChild, oldChild);
        try {
            self.RemoveChild(old);
        } catch (...) {
            // All or nothing: the new child leaves again and the tree is as it was.
            unplace(placement);
            throw;
        }
    }
    return result.release();
}

DOMNode* NodeImpl::removeChild(DOMNode* oldChild) {
    if (!asNodeImpl(oldChild)) throwDOMException(8);
    Kw::CheckedReads checked;
    NodeGuard<DOMNode> result(oldChild->cloneNode(true));
    ref().RemoveChild(refOf(oldChild));
    return result.release();
}

// NodeBase: the operations the host-backed nodes share and that no Part of them overrides.

template <class I> DOMNamedNodeMap* NodeBase<I>::getAttributes() const { throwDOMException(9); }
template <class I> DOMNode* NodeBase<I>::cloneNode(bool) const { throwDOMException(-1); }
template <class I> bool NodeBase<I>::isSupported(const XMLCh*, const XMLCh*) const { throwDOMException(-1); }
template <class I> void* NodeBase<I>::setUserData(const XMLCh*, void*, DOMUserDataHandler*) { throwDOMException(-1); }
template <class I> void* NodeBase<I>::getUserData(const XMLCh*) const { throwDOMException(-1); }
template <class I> const XMLCh* NodeBase<I>::getBaseURI() const { throwDOMException(-1); }
template <class I> short NodeBase<I>::compareDocumentPosition(const DOMNode*) const { throwDOMException(-1); }
template <class I> const XMLCh* NodeBase<I>::getTextContent() const { throwDOMException(9); }
template <class I> void NodeBase<I>::setTextContent(const XMLCh*) { throwDOMException(9); }
template <class I> const XMLCh* NodeBase<I>::lookupPrefix(const XMLCh*) const { throwDOMException(-1); }
template <class I> bool NodeBase<I>::isDefaultNamespace(const XMLCh*) const { throwDOMException(-1); }
template <class I> void* NodeBase<I>::getFeature(const XMLCh* feature, const XMLCh*) const {
    auto* self = const_cast<NodeBase<I>*>(this);
    return identity::answer(feature, self, self, nullptr);
}

template class NodeBase<DOMElement>;
template class NodeBase<DOMText>;
template class NodeBase<XERCES_CPP_NAMESPACE::DOMDocument>;

} // namespace domImpl
