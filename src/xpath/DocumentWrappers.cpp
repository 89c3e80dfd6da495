#include "xpath/DocumentWrappers.hpp"


#include <xalanc/Include/XalanMemoryManagement.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>
#include <xercesc/dom/DOM.hpp>

#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "xpath/DocumentXPathState.hpp"
#include "xpath/HostTree.hpp"

using namespace XERCES_CPP_NAMESPACE;
using XALAN_CPP_NAMESPACE::XercesDocumentWrapper;

namespace domImpl::xpathImpl {

namespace {

const XMLCh wrapperKey[] = u"XalanDocument";

DeleteXalanDocFunctor& deleteFunctor() {
    static DeleteXalanDocFunctor functor;
    return functor;
}

} // namespace

void DeleteXalanDocFunctor::handle(DOMOperationType operation, const XMLCh* key, void* data, const DOMNode*,
                                   DOMNode*) {
    if (operation == NODE_DELETED && XMLString::equals(key, wrapperKey))
        delete static_cast<XALAN_CPP_NAMESPACE::XalanDocument*>(data);
}

const DOMDocument* documentOf(const DOMNode* node) {
    if (!node) return nullptr;
    if (node->getNodeType() == DOMNode::DOCUMENT_NODE) return static_cast<const DOMDocument*>(node);
    return node->getOwnerDocument();
}

WrappedDocument wrapDocument(const DOMDocument* doc) {
    WrappedDocument wrapped;
    if (!doc) return wrapped;
    if (DocumentImpl* own = asDocumentImpl(doc)) {
        wrapped.host = hostDocument(*own);
        return wrapped;
    }
    if (void* kept = doc->getUserData(wrapperKey)) {
        wrapped.wrapper =
            static_cast<XercesDocumentWrapper*>(static_cast<XALAN_CPP_NAMESPACE::XalanDocument*>(kept));
        return wrapped;
    }
    std::unique_ptr<XercesDocumentWrapper> made(new XercesDocumentWrapper(
        XALAN_CPP_NAMESPACE::XalanMemMgrs::getDefaultXercesMemMgr(), doc, false, false, true));
    const_cast<DOMDocument*>(doc)->setUserData(
        wrapperKey, static_cast<XALAN_CPP_NAMESPACE::XalanDocument*>(made.get()), &deleteFunctor());
    wrapped.wrapper = made.release();
    return wrapped;
}

} // namespace domImpl::xpathImpl
