#include "serialize/WriteScope.hpp"

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "dom/Identity.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::serializeImpl {

WriteScope::WriteScope(const DOMNode* node, DOMLSSerializer* d)
    : config(asNodeImpl(node) ? d->getDomConfig() : nullptr) {
    if (config) {
        // Xerces-C answers a boolean parameter as the pointer value itself.
        entities = config->getParameter(XMLUni::fgDOMEntities) != nullptr;
        config->setParameter(XMLUni::fgDOMEntities, false);
        handler =
            static_cast<DOMErrorHandler*>(const_cast<void*>(config->getParameter(XMLUni::fgDOMErrorHandler)));
        if (handler) {
            callerHandler.emplace(handler);
            config->setParameter(XMLUni::fgDOMErrorHandler, static_cast<DOMErrorHandler*>(&*callerHandler));
        }
        hidden.emplace();
    }
    const DOMNode* doc =
        node && node->getNodeType() != DOMNode::DOCUMENT_NODE ? node->getOwnerDocument() : node;
    owner = asDocumentImpl(doc);
    if (owner && owner->isTracking()) owner = nullptr; // an outer scope ends them
    if (owner) scope = std::make_unique<DocumentImpl::TrackingScope>(*owner);
}

WriteScope::~WriteScope() {
    if (config) {
        config->setParameter(XMLUni::fgDOMEntities, entities);
        if (handler) config->setParameter(XMLUni::fgDOMErrorHandler, static_cast<void*>(handler));
    }
    if (!owner) return;
    scope.reset();
    owner->disposeTracked();
}

} // namespace domImpl::serializeImpl
