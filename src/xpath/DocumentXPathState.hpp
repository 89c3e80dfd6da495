// What a document of the library keeps for XPath: its Xalan document node (with the host's name texts),
// and the link through which trees that results and resolvers still hold learn that the document has
// ended.
#pragma once

#include <memory>

#include "dom/XPathSupport.hpp"

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

private:
    std::shared_ptr<DocumentLink> link;
    std::shared_ptr<HostDocument> node;
};

// The Xalan document node of a document of the library (its state made on first use).
std::shared_ptr<HostDocument> hostDocument(DocumentImpl& document);

} // namespace domImpl::xpathImpl
