// The one document-order algorithm, over a native Xerces-C DOM, against Xerces-C's own
// compareDocumentPosition and against Xalan-C's numbering of a wrapper built over the same DOM.
#include <xalanc/Include/XalanMemoryManagement.hpp>
#include <xalanc/XalanDOM/XalanNode.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>
#include <xercesc/dom/DOM.hpp>

#include <gtest/gtest.h>

#include <vector>

#include "common/NativeDom.hpp"
#include "xpath/DocumentOrder.hpp"
#include "xpath/XPathStartup.hpp"

using namespace XERCES_CPP_NAMESPACE;
using domImpl::xpathImpl::isNodeAfter;

namespace {

const char* const kXml = "<r a='1' b='2'><x c='3'>t1<y d='4'/>t2</x><z/>t3<x e='5' f='6'><y/></x></r>";

// Every node below the document in document order: a node, its attributes in the element's order,
// then its children.
void collect(DOMNode* node, std::vector<DOMNode*>& out) {
    out.push_back(node);
    if (DOMNamedNodeMap* attrs = node->getAttributes())
        for (XMLSize_t i = 0; i < attrs->getLength(); ++i) out.push_back(attrs->item(i));
    for (DOMNode* c = node->getFirstChild(); c; c = c->getNextSibling()) collect(c, out);
}

class DocumentOrder : public testing::Test {
protected:
    void SetUp() override {
        domImpl::xpathImpl::startXPath();
        dom = std::make_unique<testing_support::NativeDom>(kXml);
        collect(dom->document(), nodes);
    }
    std::unique_ptr<testing_support::NativeDom> dom;
    std::vector<DOMNode*> nodes;
};

TEST_F(DocumentOrder, NamedPairsAreOrderedAsXPathOrdersThem) {
    // Indexes into the walk: 0 document, 1 r, 2 @a, 3 @b, 4 x, 5 @c, 6 t1, 7 y, 8 @d, 9 t2, 10 z, 11 t3,
    // 12 x, 13 @e, 14 @f, 15 y.
    ASSERT_EQ(nodes.size(), 16u);
    struct Pair {
        int a, b;
        bool after;
        const char* what;
    };
    const Pair pairs[] = {
        {1, 0, true, "element after the document"},
        {15, 1, true, "descendant after its ancestor"},
        {1, 15, false, "ancestor before its descendant"},
        {2, 1, true, "attribute after its element"},
        {4, 2, true, "child after its element's attributes"},
        {3, 2, true, "attributes in the element's order"},
        {2, 3, false, "attributes in the element's order, reversed"},
        {9, 7, true, "text sibling after an element sibling"},
        {6, 9, false, "text before a later text sibling"},
        {8, 6, true, "attribute of a later sibling after a text"},
        {13, 8, true, "attribute of a later branch after a deeper attribute"},
        {11, 15, false, "text before a later branch's descendant"},
        {5, 5, false, "a node is not after itself"},
    };
    for (const Pair& p : pairs) EXPECT_EQ(isNodeAfter(nodes[p.a], nodes[p.b]), p.after) << p.what;
}

TEST_F(DocumentOrder, EveryPairAgreesWithXercesAndXalan) {
    XALAN_CPP_NAMESPACE::XercesDocumentWrapper numbered(
        XALAN_CPP_NAMESPACE::XalanMemMgrs::getDefaultXercesMemMgr(), dom->document(), false, true, true);
    auto xalanNode = [&](DOMNode* n) -> const XALAN_CPP_NAMESPACE::XalanNode* {
        if (n == dom->document()) return &numbered;
        return numbered.mapNode(n);
    };
    size_t checkedAgainstXerces = 0;
    for (size_t i = 0; i < nodes.size(); ++i) {
        for (size_t j = 0; j < nodes.size(); ++j) {
            const bool after = isNodeAfter(nodes[i], nodes[j]);
            EXPECT_EQ(after, i > j) << i << " " << j;
            // Xalan numbers the nodes of a built wrapper in document order.
            const auto* xi = xalanNode(nodes[i]);
            const auto* xj = xalanNode(nodes[j]);
            ASSERT_TRUE(xi && xj) << i << " " << j;
            EXPECT_EQ(after, xi->getIndex() > xj->getIndex()) << i << " " << j;
            // Xerces-C leaves the order of two attributes of one element to the implementation.
            const bool attributes = nodes[i]->getNodeType() == DOMNode::ATTRIBUTE_NODE &&
                                    nodes[j]->getNodeType() == DOMNode::ATTRIBUTE_NODE;
            if (i == j || attributes) continue;
            const bool follows =
                (nodes[j]->compareDocumentPosition(nodes[i]) & DOMNode::DOCUMENT_POSITION_FOLLOWING) != 0;
            EXPECT_EQ(after, follows) << i << " " << j;
            ++checkedAgainstXerces;
        }
    }
    EXPECT_GT(checkedAgainstXerces, 200u);
}

TEST_F(DocumentOrder, NodesOfDifferentTreesGetOneFixedOrder) {
    testing_support::NativeDom other("<q/>");
    DOMNode* mine = nodes[4];
    DOMNode* theirs = other.root();
    EXPECT_NE(isNodeAfter(mine, theirs), isNodeAfter(theirs, mine));
}

} // namespace
