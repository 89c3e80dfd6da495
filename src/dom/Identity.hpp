// Telling the library's node objects from other DOM nodes without run-time type information: each of
// our classes answers getFeature for these private feature keys (compared by address) with the matching
// interface; every other node answers null.
#pragma once

#include "dom/DocumentImpl.hpp"

namespace domImpl::identity {

extern const XMLCh nodeImpl[];
extern const XMLCh disposable[];
extern const XMLCh document[];

// The answer of one of our classes to getFeature(feature, ...), or null for a feature it does not own.
inline void* answer(const XMLCh* feature, NodeImpl* node, Disposable* object, DocumentImpl* doc) {
    if (feature == nodeImpl) return node;
    if (feature == disposable) return object;
    if (feature == document) return doc;
    return nullptr;
}

} // namespace domImpl::identity

namespace domImpl {

inline NodeImpl* asNodeImpl(const DOMNode* node) {
    return node ? static_cast<NodeImpl*>(node->getFeature(identity::nodeImpl, nullptr)) : nullptr;
}

inline Disposable* asDisposable(const DOMNode* node) {
    return node ? static_cast<Disposable*>(node->getFeature(identity::disposable, nullptr)) : nullptr;
}

inline DocumentImpl* asDocumentImpl(const DOMNode* doc) {
    return doc ? static_cast<DocumentImpl*>(doc->getFeature(identity::document, nullptr)) : nullptr;
}

} // namespace domImpl
