// Node objects that have ended. A node object's storage is not handed back to the allocator at once: it
// waits in a short quarantine, and while it waits the node's address is known to be ended. So
// dom::dispose can refuse a node disposed twice, or disposed after its document's release(), before it
// touches the object, and without the risk of mistaking another object that took the same address.
#pragma once

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>

XERCES_CPP_NAMESPACE_BEGIN
class DOMNode;
XERCES_CPP_NAMESPACE_END

namespace domImpl::lifetime {

// How many ended node objects wait before their storage is freed. A node ended longer ago than that is
// no longer recognised (its address may belong to a new object by then).
constexpr size_t QUARANTINE = 4096;

// The node object at `node` is about to be deleted.
void ended(const XERCES_CPP_NAMESPACE::DOMNode* node);
// Whether `node` is the address of a node object that has ended (and whose storage still waits).
bool hasEnded(const XERCES_CPP_NAMESPACE::DOMNode* node);
// Storage of a deleted node object: it waits in the quarantine.
void park(void* storage, size_t size);

} // namespace domImpl::lifetime
