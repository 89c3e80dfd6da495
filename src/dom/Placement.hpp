// One insertion as the host made it, with what is needed to take it back: the bookkeeping of the node
// classes' insertions, kept out of the installed header.
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/dom/NodeImpl.hpp>

namespace domImpl {

struct NodeImpl::Placement {
    Kw::ElementRef node;               // the host object now in place (nil: nothing was inserted)
    Kw::ElementRef oldParent, oldNext; // a move: where the object was
    bool moved = false;
    bool isText = false;
};

} // namespace domImpl
