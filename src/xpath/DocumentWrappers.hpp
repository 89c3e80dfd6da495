// What Xalan-C evaluates over for a document: a document of the library over its own Xalan nodes
// (HostTree); any other Xerces-C document over a wrapper of its own kept as user data "XalanDocument"
// until it is deleted.
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

class HostDocument;

// Deletes a wrapper kept as user data when its document is deleted.
class DeleteXalanDocFunctor : public XERCES_CPP_NAMESPACE::DOMUserDataHandler {
public:
    void handle(DOMOperationType operation, const XMLCh* key, void* data,
                const XERCES_CPP_NAMESPACE::DOMNode* src, XERCES_CPP_NAMESPACE::DOMNode* dst) override;
};

// A document as Xalan sees it: one of the two is set (neither for no document).
struct WrappedDocument {
    // Any other Xerces-C document.
    XALAN_CPP_NAMESPACE::XercesDocumentWrapper* wrapper = nullptr;
    // A document of the library.
    std::shared_ptr<HostDocument> host;
};

// The wrapper of `doc`, made on first use.
WrappedDocument wrapDocument(const XERCES_CPP_NAMESPACE::DOMDocument* doc);

// The document a node belongs to (a document belongs to itself).
const XERCES_CPP_NAMESPACE::DOMDocument* documentOf(const XERCES_CPP_NAMESPACE::DOMNode* node);

} // namespace domImpl::xpathImpl
