// Document order, one algorithm for every tree XPath runs over: the trees read from the host and any
// Xerces-C DOM. The node comes before its attributes, its attributes (in the element's order) before its
// children, and children in sibling order. Nodes of different trees get a fixed, arbitrary order.
#pragma once

#include <cstddef>

#include <xercesc/dom/DOMNode.hpp>

namespace domImpl::xpathImpl {

// Whether `a` comes after `b`. `Tree` answers two questions:
//   const Node* parentOf(const Node* n)  the parent, and for an attribute its element; null at the top;
//   bool siblingAfter(const Node* parent, const Node* x, const Node* y)  for two different children (or
//       attributes) of `parent`, whether `x` comes after `y`.
// The parent chains are counted, the deeper node raised to the depth of the other, then both together
// until they meet below one parent.
template <class Node, class Tree> bool isAfterInDocument(const Node* a, const Node* b, Tree& tree) {
    if (a == b) return false;
    size_t depthA = 0, depthB = 0;
    for (const Node* n = tree.parentOf(a); n; n = tree.parentOf(n)) ++depthA;
    for (const Node* n = tree.parentOf(b); n; n = tree.parentOf(n)) ++depthB;
    const Node* x = a;
    const Node* y = b;
    for (size_t d = depthA; d > depthB; --d) x = tree.parentOf(x);
    for (size_t d = depthB; d > depthA; --d) y = tree.parentOf(y);
    // One is an ancestor of the other: the deeper one comes after.
    if (x == y) return depthA > depthB;
    for (;;) {
        const Node* px = tree.parentOf(x);
        const Node* py = tree.parentOf(y);
        if (px == py) {
            if (!px) return x > y; // different trees: any fixed order will do
            return tree.siblingAfter(px, x, y);
        }
        x = px;
        y = py;
    }
}

// Document order on a Xerces-C DOM (any implementation of its interfaces).
bool isNodeAfter(const XERCES_CPP_NAMESPACE::DOMNode* node1, const XERCES_CPP_NAMESPACE::DOMNode* node2);

} // namespace domImpl::xpathImpl
