// Storage of node objects. Node objects come from pools of fixed slots, each slot a small header before
// the object; elements, text and attribute nodes share one slot size. A slot whose object has ended keeps
// a mark in its header, and it is handed out again only after 4096 more objects of its size (so at least
// 4096 node objects) have ended. So dom::dispose can refuse a node disposed twice, or disposed after its
// document's release(), by its address alone: it reads the slot's mark, never the object, and no object
// that took the same address can be mistaken for it.
// Under AddressSanitizer the object part of a free slot is poisoned: a use of an ended node is reported.
#pragma once

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>

XERCES_CPP_NAMESPACE_BEGIN
class DOMNode;
XERCES_CPP_NAMESPACE_END

namespace domImpl::lifetime {

// How many ended objects of its size wait after a slot before it is handed out again. A node ended longer
// ago than that may no longer be recognised (its address may belong to a new object by then).
constexpr size_t QUARANTINE = 4096;

// Objects larger than this do not come from the pools (nor are they recognised once ended).
constexpr size_t LARGEST_POOLED = 1024;

// Storage for an object of `size` bytes, and its return once the object has been destroyed.
void* allocate(size_t size);
void release(void* storage, size_t size) noexcept;

// Whether `node` lies in pooled storage whose object has ended.
bool hasEnded(const XERCES_CPP_NAMESPACE::DOMNode* node);

// The bytes one object of `size` takes in its pool: the slot, header included (0 when not pooled).
size_t slotBytes(size_t size);
// How many slots for objects of `size` have waited out the quarantine and are ready to serve again.
size_t readySlots(size_t size);

// Node slots no longer come from the one range that holds them, as once it is used up (for tests).
void closeNodeRange();

} // namespace domImpl::lifetime
