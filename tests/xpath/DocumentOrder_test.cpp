// Document order, for every pair against Xerces-C's compareDocumentPosition and Xalan-C's numbering;
// over the host both ways it is decided (node by node, by a tree numbered up front), and detached.
#include <DOMKwHost/ProjectGenerator.hpp>

#include <set>

#include <xalanc/Include/XalanMemoryManagement.hpp>
#include <xalanc/XalanDOM/XalanNamedNodeMap.hpp>
#include <xalanc/XalanDOM/XalanNode.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>
#include <xercesc/dom/DOM.hpp>

#include <gtest/gtest.h>

#include <vector>

#include "common/NativeDom.hpp"
#include "xpath/DocumentOrder.hpp"
#include "xpath/DocumentXPathState.hpp"
#include "xpath/HostTree.hpp"
#include "xpath/XPathFixture.hpp"
#include "xpath/XPathStartup.hpp"

using namespace XERCES_CPP_NAMESPACE;
using namespace testing_support;
using domImpl::xpathImpl::isNodeAfter;

namespace {

const char* const kXml = "<r a='1' b='2'><x c='3'>t1<y d='4'/>t2</x><z/>t3<x e='5' f='6'><y/></x></r>";

// Every node below the document in document order: a node, its attributes in the element's order,
// then its children. Over a Xerces-C DOM and over a tree of an evaluation alike.
template <class Node> void collect(Node* node, std::vector<Node*>& out) {
    out.push_back(node);
    if (const auto* attrs = node->getAttributes())
        for (decltype(attrs->getLength()) i = 0; i < attrs->getLength(); ++i) out.push_back(attrs->item(i));
    for (auto* c = node->getFirstChild(); c; c = c->getNextSibling()) collect<Node>(c, out);
}

TEST(DocumentOrder, EveryPairAgreesWithXercesAndXalanAndOtherTreesGetOneFixedOrder) {
    domImpl::xpathImpl::startXPath();
    const auto dom = std::make_unique<testing_support::NativeDom>(kXml);
    std::vector<DOMNode*> nodes;
    collect<DOMNode>(dom->document(), nodes);
    ASSERT_EQ(nodes.size(), 16u);
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
    // Nodes of different trees get one fixed order.
    testing_support::NativeDom other("<q/>");
    DOMNode* mine = nodes[4];
    DOMNode* theirs = other.root();
    EXPECT_NE(isNodeAfter(mine, theirs), isNodeAfter(theirs, mine));
}

class XPathOrdering : public XPathTest {
protected:
    void SetUp() override {
        XPathTest::SetUp();
        host.loadString(kwhost::generateProject(40));
        openDocument();
    }
};

TEST_F(XPathOrdering, NodeByNodeAndNumberedTreesOrderEveryPairAsTheWalkDoes) {
    // The two ways a tree of an evaluation decides document order (its numbers when it was read whole up
    // front, walking up to the common ancestor otherwise) against the order of a walk of the same tree,
    // for every pair of its nodes: document, elements, attributes and texts.
    using domImpl::xpathImpl::isAfterInTree;
    std::shared_ptr<domImpl::xpathImpl::HostDocument> node = domImpl::xpathImpl::hostDocument(*doc);
    for (const bool numbered : {true, false}) {
        SCOPED_TRACE(numbered ? "numbered" : "node by node");
        std::shared_ptr<domImpl::xpathImpl::HostTree> tree = node->newTree(numbered);
        std::vector<const XALAN_CPP_NAMESPACE::XalanNode*> nodes;
        collect<const XALAN_CPP_NAMESPACE::XalanNode>(node.get(), nodes);
        ASSERT_GT(nodes.size(), 160u);
        std::set<int> kinds;
        for (const auto* n : nodes) kinds.insert(n->getNodeType());
        EXPECT_EQ(kinds.size(), 4u);
        EXPECT_EQ(nodes[1]->isIndexed(), numbered);
        size_t disagreements = 0;
        for (size_t i = 0; i < nodes.size(); ++i)
            for (size_t j = 0; j < nodes.size(); ++j)
                if (isAfterInTree(*nodes[i], *nodes[j]) != (i > j)) ++disagreements;
        EXPECT_EQ(disagreements, 0u);
    }
}

TEST_F(XPathOrdering, ContextTakenOutOfTheTreeIsOrderedNodeByNode) {
    Owned stories(at("project/stories"));
    Owned story(at("project/stories/story[3]"));
    Owned copy(stories->removeChild(story.node));
    // The element object still stands for the host object, now outside the tree.
    Result inside(evaluate(u"descendant::textRun | descendant::paragraph | .", story.node,
                           DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));
    const std::vector<std::u16string> expected = {u"/story",
                                                  u"/story/paragraph[1]",
                                                  u"/story/paragraph[1]/textRun[1]",
                                                  u"/story/paragraph[1]/textRun[2]",
                                                  u"/story/paragraph[2]",
                                                  u"/story/paragraph[2]/textRun[1]",
                                                  u"/story/paragraph[2]/textRun[2]"};
    EXPECT_EQ(snapshotPaths(inside.get()), expected);
    EXPECT_EQ(number(u"count(//story)"), number(u"count(//box[@type='text'])") - 1);
}

} // namespace
