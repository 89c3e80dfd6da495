#include "xpath/DocumentXPathState.hpp"

#include "dom/DocumentImpl.hpp"

#include "xpath/NodeModel.hpp"

namespace domImpl::xpathImpl {

DocumentXPathState::DocumentXPathState(DocumentImpl& document)
    : link(std::make_shared<DocumentLink>(DocumentLink{&document})) {}

DocumentXPathState::~DocumentXPathState() {
    link->document = nullptr; // models that results or resolvers still hold no longer reach the document
}

std::shared_ptr<NodeModel> DocumentXPathState::currentModel(DocumentImpl& document) {
    if (!model || model->worn()) model = std::make_shared<NodeModel>(document, link);
    return model;
}

std::shared_ptr<NodeModel> currentModel(DocumentImpl& document) {
    // Only this layer fills the slot.
    auto* state = static_cast<DocumentXPathState*>(document.xpathState());
    if (!state) {
        auto made = std::make_unique<DocumentXPathState>(document);
        state = made.get();
        document.setXPathState(std::move(made));
    }
    return state->currentModel(document);
}

} // namespace domImpl::xpathImpl
