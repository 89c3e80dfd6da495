// What a document of the library keeps for XPath: its current node model, and the link through which
// models that results and resolvers still hold learn that the document has ended.
#pragma once

#include <memory>

#include "dom/XPathSupport.hpp"

namespace domImpl {
class DocumentImpl;
}

namespace domImpl::xpathImpl {

class NodeModel;
struct DocumentLink;

class DocumentXPathState : public XPathDocumentState {
public:
    explicit DocumentXPathState(DocumentImpl& document);
    ~DocumentXPathState() override;

    // The model the document evaluates over now: made on first use, replaced when worn.
    std::shared_ptr<NodeModel> currentModel(DocumentImpl& document);

private:
    std::shared_ptr<DocumentLink> link;
    std::shared_ptr<NodeModel> model;
};

// The model a document of the library evaluates over now (its state made on first use).
std::shared_ptr<NodeModel> currentModel(DocumentImpl& document);

} // namespace domImpl::xpathImpl
