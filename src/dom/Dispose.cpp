#include <DOMKw/dom/Object.hpp>

#include <xercesc/dom/DOM.hpp>

#include "bridge/HostStatus.hpp"
#include "dom/Identity.hpp"
#include "dom/Lifetime.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace dom {

void dispose(DOMNode* node) {
    if (!node) return;
    // An ended node object is recognised by its address alone: it is not touched.
    if (domImpl::lifetime::hasEnded(node)) Kw::throwDOMException(DOMException::INVALID_STATE_ERR);
    if (domImpl::Disposable* own = domImpl::asDisposable(node)) {
        own->dispose();
        return;
    }
    // A plain Xerces-C node: a detached one is ours to release; one in a tree (or an attribute of an
    // element) belongs to its document.
    switch (node->getNodeType()) {
    case DOMNode::DOCUMENT_NODE:
        return;
    case DOMNode::ATTRIBUTE_NODE:
        if (!static_cast<DOMAttr*>(node)->getOwnerElement()) node->release();
        return;
    default:
        if (!node->getParentNode()) node->release();
    }
}

} // namespace dom
