// The Xalan-C wrapper of a document: a document of the library evaluates over its view; any other
// Xerces-C document keeps a wrapper of its own as user data "XalanDocument" until it is deleted.
#pragma once

#include <xalanc/Include/PlatformDefinitions.hpp>
#include <xercesc/dom/DOMUserDataHandler.hpp>

#include <memory>

XERCES_CPP_NAMESPACE_BEGIN
class DOMDocument;
class DOMNode;
XERCES_CPP_NAMESPACE_END

namespace XALAN_CPP_NAMESPACE {
class XalanNode;
class XercesDocumentWrapper;
} // namespace XALAN_CPP_NAMESPACE

namespace domImpl {
class DocumentImpl;
}

namespace domImpl::xpathImpl {

class NodeModel;

// Deletes a wrapper kept as user data when its document is deleted.
class DeleteXalanDocFunctor : public XERCES_CPP_NAMESPACE::DOMUserDataHandler {
public:
    void handle(DOMOperationType operation, const XMLCh* key, void* data,
                const XERCES_CPP_NAMESPACE::DOMNode* src, XERCES_CPP_NAMESPACE::DOMNode* dst) override;
};

// A document as Xalan sees it.
struct WrappedDocument {
    XALAN_CPP_NAMESPACE::XercesDocumentWrapper* wrapper = nullptr;
    // For a document of the library: the view the wrapper wraps (what results and resolvers keep).
    std::shared_ptr<NodeModel> view;

    // The Xalan node of a node of this document (a node object of the library for a library document);
    // null when the node is not one of its nodes.
    XALAN_CPP_NAMESPACE::XalanNode* map(const XERCES_CPP_NAMESPACE::DOMNode* node) const;
};

// The wrapper of `doc`, made on first use.
WrappedDocument wrapDocument(const XERCES_CPP_NAMESPACE::DOMDocument* doc);

// The document a node belongs to (a document belongs to itself).
const XERCES_CPP_NAMESPACE::DOMDocument* documentOf(const XERCES_CPP_NAMESPACE::DOMNode* node);

} // namespace domImpl::xpathImpl
