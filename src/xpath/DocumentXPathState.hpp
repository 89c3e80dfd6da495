// What a document of the library keeps for XPath: its Xalan document node (with the host's name texts),
// the link through which trees that results and resolvers still hold learn that the document has
// ended, and the expressions last compiled for it.
#pragma once

#include <memory>

#include "dom/XPathSupport.hpp"
#include "xpath/XPathEngine.hpp"

namespace domImpl {
class DocumentImpl;
}

namespace domImpl::xpathImpl {

class HostDocument;
struct DocumentLink;

class DocumentXPathState : public XPathDocumentState {
public:
    explicit DocumentXPathState(DocumentImpl& document);
    ~DocumentXPathState() override;

    std::shared_ptr<HostDocument> hostDocument() const { return node; }
    CompiledExpressions& compiledExpressions() { return compiled; }

private:
    CompiledExpressions compiled;
    std::shared_ptr<DocumentLink> link;
    std::shared_ptr<HostDocument> node;
};

// The Xalan document node of a document of the library (its state made on first use).
std::shared_ptr<HostDocument> hostDocument(DocumentImpl& document);
// The expressions kept for a document of the library (its state made on first use).
CompiledExpressions& compiledExpressions(DocumentImpl& document);

} // namespace domImpl::xpathImpl
