#include "xpath/DocumentXPathState.hpp"

#include "dom/DocumentImpl.hpp"

#include "xpath/HostTree.hpp"

namespace domImpl::xpathImpl {

DocumentXPathState::DocumentXPathState(DocumentImpl& document)
    : link(std::make_shared<DocumentLink>(DocumentLink{&document})),
      node(std::make_shared<HostDocument>(document, link)) {}

DocumentXPathState::~DocumentXPathState() {
    link->document = nullptr; // trees that results or resolvers still hold no longer reach the document
}

namespace {

DocumentXPathState& stateOf(DocumentImpl& document) {
    // Only this layer fills the slot.
    auto* state = static_cast<DocumentXPathState*>(document.xpathState());
    if (!state) {
        auto made = std::make_unique<DocumentXPathState>(document);
        state = made.get();
        document.setXPathState(std::move(made));
    }
    return *state;
}

} // namespace

std::shared_ptr<HostDocument> hostDocument(DocumentImpl& document) {
    return stateOf(document).hostDocument();
}

CompiledExpressions& compiledExpressions(DocumentImpl& document) {
    return stateOf(document).compiledExpressions();
}

} // namespace domImpl::xpathImpl
