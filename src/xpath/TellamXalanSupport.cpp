#include "xpath/TellamXalanSupport.hpp"

#include <xalanc/XercesParserLiaison/XercesWrapperNavigator.hpp>
#include <xercesc/dom/DOM.hpp>

#include "xpath/DocumentOrder.hpp"
#include "xpath/HostTree.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl {

TellamXalanSupport::TellamXalanSupport() = default;

TellamXalanSupport::~TellamXalanSupport() = default;

void TellamXalanSupport::reset() {
    base.reset();
}

const XALAN_CPP_NAMESPACE::XalanDOMString&
TellamXalanSupport::getUnparsedEntityURI(const XALAN_CPP_NAMESPACE::XalanDOMString& theName,
                                         const XALAN_CPP_NAMESPACE::XalanDocument& theDocument) const {
    return base.getUnparsedEntityURI(theName, theDocument);
}

bool TellamXalanSupport::isNodeAfter(const XALAN_CPP_NAMESPACE::XalanNode& node1,
                                     const XALAN_CPP_NAMESPACE::XalanNode& node2) const {
    // Document order is decided for every evaluation, whatever type was asked for: XPath itself needs it
    // (unions, positions over them, reverse axes), not only the caller.
    if (questionsLeft == 0) throw NeedsDocumentOrder();
    if (questionsLeft != ~size_t(0)) --questionsLeft;
    // Without a navigator the evaluation runs over a document of the library, whose nodes answer.
    if (!navigator) return xpathImpl::isAfterInTree(node1, node2);
    const DOMNode* dom1 = navigator->mapNode(const_cast<XALAN_CPP_NAMESPACE::XalanNode*>(&node1));
    const DOMNode* dom2 = navigator->mapNode(const_cast<XALAN_CPP_NAMESPACE::XalanNode*>(&node2));
    return xpathImpl::isNodeAfter(dom1, dom2);
}

} // namespace domImpl
