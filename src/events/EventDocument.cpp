#include "events/EventDocument.hpp"

#include <DOMKw/bridge/StringKey.hpp>
#include <DOMKw/dom/ElementImpl.hpp>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMImplementationRegistry.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include "dom/AttrImpl.hpp"
#include "dom/Identity.hpp"
#include "dom/TextImpl.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::eventsImpl {

namespace {

DOMDocument*& slot() {
    static DOMDocument* document = nullptr;
    return document;
}

// Null when our implementation is not published (before Connect): deliveries then make no node objects.
DOMDocument* newEventDocument() {
    // Once the registry answers it answers the same for the process (sources are never removed): kept, as
    // the lookup costs a good part of a delivery.
    static DOMImplementation* tellam = nullptr;
    if (!tellam) tellam = DOMImplementationRegistry::getDOMImplementation(u"Tellam");
    return tellam ? tellam->createDocument(nullptr, u"TelDOM", nullptr, XMLPlatformUtils::fgMemoryManager)
                  : nullptr;
}

} // namespace

DOMDocument* eventDocument() {
    return slot();
}

EventDocumentScope::EventDocumentScope() {
    if (slot()) return;
    slot() = newEventDocument();
    created = slot() != nullptr;
}

EventDocumentScope::~EventDocumentScope() {
    if (!created) return;
    DOMDocument* document = slot();
    slot() = nullptr;
    document->release();
}

TargetNode nodeOfHandle(Kw::HostRef handle) {
    DOMDocument* document = slot();
    if (handle < 0 || !document) return {};
    const Kw::ElementRef ref = Kw::ElementRef::fromHandle(handle);
    // A host text object is a text node, not an element.
    if (ref.IsTextNode()) {
        auto* text = new TextImpl(ref, document);
        return {text, text};
    }
    auto* element = static_cast<ElementImpl*>(ElementImpl::create_(ref, document));
    return {element, element};
}

TargetNode nodeOfReference(const Kw::ObjectRef::DoubleRef& reference) {
    const Kw::HostKey key = static_cast<Kw::HostKey>(reference.second);
    if (key == Kw::StringKey(Kw::NULL_KEY).value()) return nodeOfHandle(reference.first);
    DOMDocument* document = slot();
    if (reference.first < 0 || !document) return {};
    auto* attribute = new AttrImpl(
        Kw::AttributeRef(Kw::ElementRef::fromHandle(reference.first), Kw::StringKey::fromValue(key)),
        document);
    return {attribute, attribute};
}

const EventTargetImpl* asEventTarget(const DOMNode* node) {
    // Every node object of this library is an event target; the identity helpers tell which class it is.
    if (const DocumentImpl* document = asDocumentImpl(node)) return document;
    if (NodeImpl* own = asNodeImpl(node)) {
        switch (node->getNodeType()) {
        case DOMNode::ELEMENT_NODE: return static_cast<const ElementImpl*>(own);
        case DOMNode::TEXT_NODE: return static_cast<const TextImpl*>(own);
        default: return nullptr;
        }
    }
    // Of our attribute nodes only AttrImpl ends with dispose().
    if (node && node->getNodeType() == DOMNode::ATTRIBUTE_NODE && asDisposable(node))
        return static_cast<const AttrImpl*>(static_cast<const DOMAttr*>(node));
    return nullptr;
}

} // namespace domImpl::eventsImpl
