// Holds a node object the library must end, so that an exception on the way cannot leak it.
#pragma once

#include <DOMKw/dom/Object.hpp>

#include <memory>

namespace domImpl {

struct NodeDisposer {
    void operator()(XERCES_CPP_NAMESPACE::DOMNode* node) const { dom::dispose(node); }
};

template <class T> class NodeGuard {
public:
    explicit NodeGuard(T* node = nullptr) : node(node) {}
    NodeGuard(NodeGuard&&) = default;
    NodeGuard& operator=(NodeGuard&&) = default;

    T* get() const { return static_cast<T*>(node.get()); }
    T* operator->() const { return get(); }
    explicit operator bool() const { return node != nullptr; }
    T* release() { return static_cast<T*>(node.release()); }
    void reset(T* n = nullptr) { node.reset(n); }

private:
    std::unique_ptr<XERCES_CPP_NAMESPACE::DOMNode, NodeDisposer> node;
};

} // namespace domImpl
