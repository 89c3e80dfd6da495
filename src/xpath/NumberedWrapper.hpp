// A Xalan-C wrapper of XPath's node model built up front over the whole tree, whose nodes Xalan numbers in
// document order, with the shape of the tree it was built from.
#pragma once

#include <xalanc/Include/PlatformDefinitions.hpp>

#include <memory>

#include "xpath/TreeShape.hpp"

#include <xercesc/util/XercesDefs.hpp>

XERCES_CPP_NAMESPACE_BEGIN
class DOMNode;
XERCES_CPP_NAMESPACE_END

namespace XALAN_CPP_NAMESPACE {
class XalanNode;
class XercesDocumentWrapper;
} // namespace XALAN_CPP_NAMESPACE

namespace domImpl::xpathImpl {

class NodeModel;

// A wrapper of a view built up front, and the shape of the tree it was built from (every node in document
// order with its attribute names). Results made over it keep it (and its view) alive.
class NumberedWrapper {
public:
    explicit NumberedWrapper(NodeModel& view);
    ~NumberedWrapper();
    NumberedWrapper(const NumberedWrapper&) = delete;
    NumberedWrapper& operator=(const NumberedWrapper&) = delete;

    XALAN_CPP_NAMESPACE::XercesDocumentWrapper& wrapper() { return *built; }
    // The wrapper's node for a node of the view (the document included); null for a node out of the tree.
    XALAN_CPP_NAMESPACE::XalanNode* map(const XERCES_CPP_NAMESPACE::DOMNode* viewed) const;
    // Whether the host tree has the shape the wrapper was built from (one walk of the tree).
    bool matches() const;
    // The nodes and attributes of the tree it was built from.
    size_t treeSize() const { return shape.size(); }

private:
    NodeModel& view;
    TreeShape shape;
    std::unique_ptr<XALAN_CPP_NAMESPACE::XercesDocumentWrapper> built;
};

} // namespace domImpl::xpathImpl
