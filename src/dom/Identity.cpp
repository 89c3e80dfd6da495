#include "dom/Identity.hpp"

namespace domImpl::identity {

const XMLCh nodeImpl[] = u"DOMKw node";
const XMLCh disposable[] = u"DOMKw disposable";
const XMLCh document[] = u"DOMKw document";

void* answer(const XMLCh* feature, NodeImpl* node, Disposable* object, DocumentImpl* doc) {
    if (feature == nodeImpl) return node;
    if (feature == disposable) return object;
    if (feature == document) return doc;
    return nullptr;
}

} // namespace domImpl::identity
