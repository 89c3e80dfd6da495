// Evaluations see the host tree as it is now, whoever changed it; results already handed out keep their
// nodes; and an unchanged tree is not wrapped again.
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/Transaction.hpp>
#include <DOMKwHost/ProjectGenerator.hpp>

#include <functional>

#include "xpath/XPathFixture.hpp"

using namespace testing_support;

namespace {

class XPathFreshness : public XPathTest {
protected:
    std::u16string string(const XMLCh* expression) {
        Result r(evaluate(expression, docNode(), DOMXPathResult::STRING_TYPE));
        return text(r->getStringValue());
    }
};

// Changes made through the DOM meet XPath questions in reliability/RandomChanges.
TEST_F(XPathFreshness, EvaluationAfterAChangeByTheHostSeesIt) {
    EXPECT_EQ(string(u"count(//box)"), u"3");
    // The host imports a project of its own (appended to the application element).
    const std::string path = testDataPath("import.xml");
    ASSERT_TRUE(Kw::KWLIB::Import(std::u16string(path.begin(), path.end()).c_str()));
    EXPECT_EQ(string(u"count(//box)"), u"4");
    EXPECT_EQ(string(u"string(/application/project[@id='p2']/layout/@name)"), u"IL");

    // The host undoes changes: nothing of that goes through the DOM.
    Owned box(at("project/layout/spread/page/box"));
    Kw::Transaction transaction;
    ASSERT_TRUE(transaction.Begin());
    box.element()->setAttribute(u"id", u"changed");
    EXPECT_EQ(string(u"string(//box[1]/@id)"), u"changed");
    ASSERT_TRUE(transaction.Abort());
    EXPECT_EQ(string(u"string(//box[1]/@id)"), u"b1");

    // A plug-in writing through the facade, past the DOM.
    Kw::ElementRef(Kw::ElementRef::fromHandle(host.find("project/layout[2]/spread/page/box")))
        .SetAttribute(Kw::StringKey(u"id"), u"direct");
    EXPECT_EQ(string(u"string((//box)[3]/@id)"), u"direct");
}

TEST_F(XPathFreshness, ResultsHandedOutKeepTheirNodesUntilReleased) {
    Result boxes(evaluate(u"//box", docNode(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));
    Result ids(evaluate(u"//box/@id", docNode(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));
    {
        Owned page(at("project/layout/spread/page"));
        Owned b2(at("project/layout/spread/page/box[2]"));
        Owned copy(page->removeChild(b2.node));
    }
    EXPECT_EQ(string(u"count(//box)"), u"2");
    ASSERT_EQ(boxes->getSnapshotLength(), 3u);
    ASSERT_TRUE(boxes->snapshotItem(1));
    Owned removed(boxes->getNodeValue());
    EXPECT_EQ(text(removed.element()->getAttribute(u"id")), u"b2");
    ASSERT_TRUE(ids->snapshotItem(1));
    Owned attr(ids->getNodeValue());
    EXPECT_EQ(text(attr->getNodeValue()), u"b2");
}

TEST_F(XPathFreshness, RepeatedEvaluationOnAnUnchangedTreeTakesNoNewReferences) {
    host.loadString(kwhost::generateProject(3000));
    openDocument();
    // One expression that needs document order over the whole tree, one that reads a few nodes.
    for (const XMLCh* expression :
         {u"count(//paragraph | //box) + count(//box[@type='text']/ancestor::*)",
          u"string-length(/application/project/layout[2]/spread[3]/page[2]/box[1]/@id)"}) {
        SCOPED_TRACE(narrow(expression));
        const double first = number(expression);
        host.resetCallCounts();
        EXPECT_EQ(number(expression), first);
        const uint64_t kinds = host.callCount(Kw::host::IsTextNode);
        host.resetCallCounts();
        EXPECT_EQ(number(expression), first);
        // No reference is taken or given back for a number; each node's kind is read once per evaluation
        // (the same count every time), the texts of names once per document.
        EXPECT_EQ(host.callCount(Kw::host::AdjustReference), 0u);
        EXPECT_EQ(host.callCount(Kw::host::IsTextNode), kinds);
        EXPECT_EQ(host.callCount(Kw::host::KeyToString), 0u);
        EXPECT_GT(host.callCount(Kw::host::NavigateElement), 0u); // the tree itself is read again
    }
}

} // namespace
