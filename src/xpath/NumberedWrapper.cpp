#include "xpath/NumberedWrapper.hpp"

#include <xalanc/Include/XalanMemoryManagement.hpp>
#include <xalanc/XalanDOM/XalanNamedNodeMap.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>
#include <xercesc/dom/DOM.hpp>

#include <vector>

#include "xpath/ModelNodes.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::xpathImpl {

NumberedWrapper::NumberedWrapper(NodeModel& view) : view(view), shape(view) {
    // Built up front (not thread-safe): Xalan numbers the nodes in document order. No maps: each wrapper
    // node knows the node it wraps, and the one way in (the context node) is found by walking down, so
    // Xalan's table of every node, which costs more to fill than the rest of the build, is not made.
    built.reset(new XALAN_CPP_NAMESPACE::XercesDocumentWrapper(
        XALAN_CPP_NAMESPACE::XalanMemMgrs::getDefaultXercesMemMgr(),
        static_cast<const DOMDocument*>(view.documentNode()->asNode()), false, true, false));
}

NumberedWrapper::~NumberedWrapper() = default;

XALAN_CPP_NAMESPACE::XalanNode* NumberedWrapper::map(const DOMNode* viewed) const {
    using XALAN_CPP_NAMESPACE::XalanNode;
    const DOMNode* top = view.documentNode()->asNode();
    // The path from the node up to the document; a node out of the tree has none.
    std::vector<const DOMNode*> path;
    const DOMNode* n = viewed;
    while (n && n != top) {
        path.push_back(n);
        n = n->getNodeType() == DOMNode::ATTRIBUTE_NODE ? static_cast<const DOMAttr*>(n)->getOwnerElement()
                                                        : n->getParentNode();
    }
    if (!n) return nullptr;
    // The same steps down the wrapper, which keeps the children and attributes in the model's order.
    XalanNode* at = built.get();
    for (auto step = path.rbegin(); step != path.rend() && at; ++step) {
        XalanNode* found = nullptr;
        if ((*step)->getNodeType() == DOMNode::ATTRIBUTE_NODE) {
            const XALAN_CPP_NAMESPACE::XalanNamedNodeMap* attributes = at->getAttributes();
            const auto count = attributes ? attributes->getLength() : 0;
            for (decltype(attributes->getLength()) i = 0; i < count && !found; ++i)
                if (built->mapNode(attributes->item(i)) == *step) found = attributes->item(i);
        } else {
            for (XalanNode* c = at->getFirstChild(); c && !found; c = c->getNextSibling())
                if (built->mapNode(c) == *step) found = c;
        }
        at = found;
    }
    return at;
}

bool NumberedWrapper::matches() const {
    return shape.matches(view);
}

} // namespace domImpl::xpathImpl
