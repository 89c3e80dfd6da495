// Document order. The one algorithm, over a native Xerces-C DOM, for every pair against Xerces-C's own
// compareDocumentPosition and Xalan-C's numbering of a wrapper built over the same DOM; then over the host,
// however the order is decided: node by node for small node-sets, by the numbers of a tree read whole up
// front for large ones and for searches from the root, node by node again for a context the host has taken
// out of the tree.
#include <DOMKwHost/ProjectGenerator.hpp>

#include <algorithm>
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

class DocumentOrder : public testing::Test {
protected:
    void SetUp() override {
        domImpl::xpathImpl::startXPath();
        dom = std::make_unique<testing_support::NativeDom>(kXml);
        collect<DOMNode>(dom->document(), nodes);
        ASSERT_EQ(nodes.size(), 16u);
    }
    std::unique_ptr<testing_support::NativeDom> dom;
    std::vector<DOMNode*> nodes;
};

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

class XPathOrdering : public XPathTest {
protected:
    void SetUp() override {
        XPathTest::SetUp();
        host.loadString(kwhost::generateProject(2000));
        openDocument();
    }
    // Whether a result's nodes were read with the whole tree, numbered in document order.
    static bool numbered(DOMXPathResult* r) {
        const auto& nodes = dynamic_cast<domImpl::xpathImpl::XPathResultImpl*>(r)->getValue()->nodeset();
        return nodes.getLength() > 0 && nodes.item(nodes.getLength() - 1)->isIndexed();
    }
};

TEST_F(XPathOrdering, EveryWayOfDecidingOrderGivesTheSameNodes) {
    Owned app(doc->getDocumentElement());
    // From the root: over the tree read whole up front at once.
    Result fromRoot(
        evaluate(u"//textRun | //paragraph", docNode(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));
    // The same nodes from the application element: node by node until too many questions are asked.
    Result relative(
        evaluate(u".//paragraph | .//textRun", app.node, DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));
    // A few nodes: node by node throughout.
    Owned story(at("project/stories/story[7]"));
    Result few(
        evaluate(u".//textRun | .//paragraph | ..", story.node, DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));

    const std::vector<std::u16string> all = snapshotPaths(fromRoot.get());
    ASSERT_GT(all.size(), 1000u);
    EXPECT_EQ(snapshotPaths(relative.get()), all);
    EXPECT_TRUE(numbered(fromRoot.get()));
    EXPECT_TRUE(numbered(relative.get()));
    EXPECT_FALSE(numbered(few.get()));
    const std::vector<std::u16string> some = snapshotPaths(few.get());
    ASSERT_EQ(some.size(), 7u);
    EXPECT_EQ(some[0], u"/application/project[1]/stories[1]");
    for (size_t i = 1; i < some.size(); ++i) EXPECT_NE(std::find(all.begin(), all.end(), some[i]), all.end());
}

TEST_F(XPathOrdering, NodeByNodeAndNumberedTreesOrderEveryPairAsTheWalkDoes) {
    // The two ways a tree of an evaluation decides document order (its numbers when it was read whole up
    // front, walking up to the common ancestor otherwise) against the order of a walk of the same tree,
    // for every pair of its nodes: document, elements, attributes and texts.
    host.loadString(kwhost::generateProject(40));
    openDocument();
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
    std::vector<std::u16string> names;
    for (XMLSize_t i = 0; i < inside->getSnapshotLength(); ++i) {
        inside->snapshotItem(i);
        Owned n(inside->getNodeValue());
        names.push_back(text(n->getNodeName()));
    }
    const std::vector<std::u16string> expected = {u"story",     u"paragraph", u"textRun", u"textRun",
                                                  u"paragraph", u"textRun",   u"textRun"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(number(u"count(//story)"), number(u"count(//box[@type='text'])") - 1);
}

} // namespace
