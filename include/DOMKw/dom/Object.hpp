// The root of the library's own interfaces, and the one way to end a node object.
#pragma once

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>
#include <new>

XERCES_CPP_NAMESPACE_BEGIN
class DOMNode;
XERCES_CPP_NAMESPACE_END

namespace dom {

class Object {
public:
    virtual ~Object();
    // What the object stands for (for a node: the address of its host reference). The base version
    // throws dom::Exceptions::KwErrorCodes value 9.
    virtual const void* implementation_() const;
    // The base version throws dom::Exceptions::KwErrorCodes value 9.
    virtual Object* clone() const;
};

// Ends a node object handed out by the library (elements are shared and counted, see ElementImpl).
// Nodes of the library's scratch documents are plain Xerces-C nodes: a detached one is released, one
// that sits in a tree is left to its document. Null does nothing.
//
// A node object that has already ended (disposed, or freed by its document's release()) is refused with
// DOMException 11 (INVALID_STATE_ERR), nothing else done, as long as it ended within the last 4096 node
// objects to end. Not detected, and undefined: a node ended longer ago than that; an element object
// disposed more often than it was handed out while another hand-out of it still lives (elements are
// shared: the extra dispose ends the other holder's share, and that holder's later use is undefined).
void dispose(XERCES_CPP_NAMESPACE::DOMNode* node);

} // namespace dom

namespace domImpl {

class DocumentImpl;

// The node objects of the library end with dispose(); release() does nothing on them.
class Disposable {
public:
    Disposable() = default;
    Disposable(const Disposable&) = delete;
    Disposable& operator=(const Disposable&) = delete;
    virtual ~Disposable() = default;
    virtual void dispose() = 0;
    // Node objects live in pooled slots that remember an ended object, so that dom::dispose recognises
    // the node if it is ended again.
    static void* operator new(std::size_t size);
    static void operator delete(void* storage, std::size_t size);

private:
    // The document that owns a node object keeps its live objects in a list that runs through them: no
    // table to grow, and joining or leaving it touches only the neighbours.
    friend class DocumentImpl;
    Disposable* livePrevious = nullptr;
    Disposable* liveNext = nullptr;
};

} // namespace domImpl
