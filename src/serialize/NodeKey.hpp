// The identity of a node while a write runs.
#pragma once

#include <xercesc/dom/DOMNode.hpp>

#include <functional>

#include "dom/Identity.hpp"

namespace domImpl::serializeImpl {

// The identity of a node while a write runs: for one of ours the host handle behind it (the same host
// element can come back as another object), for any other node the object itself.
struct NodeKey {
    const void* object;
    Kw::HostRef handle;
    bool operator==(const NodeKey& other) const { return object == other.object && handle == other.handle; }
};

struct NodeKeyHash {
    size_t operator()(const NodeKey& key) const {
        return std::hash<const void*>()(key.object) ^ (std::hash<Kw::HostRef>()(key.handle) * 31);
    }
};

inline NodeKey keyOf(const XERCES_CPP_NAMESPACE::DOMNode* node) {
    if (asNodeImpl(node)) return {nullptr, refOf(node).get()};
    return {node, -1};
}

} // namespace domImpl::serializeImpl
