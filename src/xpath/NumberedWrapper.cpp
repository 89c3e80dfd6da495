#include "xpath/NumberedWrapper.hpp"

#include <xalanc/Include/XalanMemoryManagement.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>

#include "xpath/ModelNodes.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::xpathImpl {

NumberedWrapper::NumberedWrapper(NodeModel& view) : view(view), shape(view) {
    // Built up front (not thread-safe, maps kept): Xalan numbers the nodes in document order.
    built.reset(new XALAN_CPP_NAMESPACE::XercesDocumentWrapper(
        XALAN_CPP_NAMESPACE::XalanMemMgrs::getDefaultXercesMemMgr(),
        static_cast<const DOMDocument*>(view.documentNode()->asNode()), false, true, true));
}

NumberedWrapper::~NumberedWrapper() = default;

bool NumberedWrapper::matches() const {
    return shape.matches(view);
}

} // namespace domImpl::xpathImpl
