// The event document: the owner of the node objects that event objects make for their targets and
// related nodes. It exists only while a delivery runs; nested deliveries share the outermost one's.
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/events/EventTargetImpl.hpp>

XERCES_CPP_NAMESPACE_BEGIN
class DOMDocument;
class DOMNode;
XERCES_CPP_NAMESPACE_END

namespace domImpl::eventsImpl {

// Null outside deliveries.
XERCES_CPP_NAMESPACE::DOMDocument* eventDocument();

// Creates the event document when none is set and releases it again, on every way out of the scope,
// exceptions included. An inner scope finds it set and leaves it alone.
class EventDocumentScope {
public:
    EventDocumentScope();
    ~EventDocumentScope();
    EventDocumentScope(const EventDocumentScope&) = delete;
    EventDocumentScope& operator=(const EventDocumentScope&) = delete;

private:
    bool created = false;
};

// A node object of the event document and the same object as an event target.
struct TargetNode {
    XERCES_CPP_NAMESPACE::DOMNode* node = nullptr;
    EventTargetImpl* target = nullptr;
};

// The node a node-reference attribute names: an attribute node when the key is not that of "null",
// otherwise the element or text object. Nothing (and no host call) for a negative handle or outside
// a delivery, when there is no document to own the node.
TargetNode nodeOfReference(const Kw::ObjectRef::DoubleRef& reference);
// The element or text object of the handle, whatever the key.
TargetNode nodeOfHandle(Kw::HostRef handle);

// The event-target side of one of this library's nodes, or null for any other node.
const EventTargetImpl* asEventTarget(const XERCES_CPP_NAMESPACE::DOMNode* node);

} // namespace domImpl::eventsImpl
