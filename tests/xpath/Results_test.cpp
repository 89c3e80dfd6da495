// Integer values, literals, cursors and reuse. (Result types and the refusals of their getters meet
// every result of the differential against Xalan-C.)
#include <climits>
#include <cmath>

#include "xpath/XPathFixture.hpp"

using namespace testing_support;

namespace {

class XPathResults : public XPathTest {
protected:
    std::u16string idOf(DOMNode* node) {
        Owned n(node);
        return n.node ? text(n.element()->getAttribute(u"id")) : u"(none)";
    }
};

TEST_F(XPathResults, IntegerValuesAreClampedAndNaNIsZero) {
    struct Row {
        const XMLCh* expression;
        double number;
        int integer;
    };
    const Row rows[] = {
        {u"2.9", 2.9, 2},
        {u"-2.9", -2.9, -2},
        {u"count(//box) * 2", 6, 6},
        {u"10000000000 * 10000000000", 1e20, INT_MAX},
        {u"-1 div 0", -HUGE_VAL, INT_MIN},
        // A number with no integer value answers 0 rather than whatever the conversion makes of it.
        {u"number('x')", NAN, 0},
    };
    for (const Row& row : rows) {
        Result r(evaluate(row.expression, docNode(), DOMXPathResult::NUMBER_TYPE));
        const double got = r->getNumberValue();
        EXPECT_TRUE(std::isnan(row.number) ? std::isnan(got) : got == row.number) << narrow(row.expression);
        EXPECT_EQ(r->getIntegerValue(), row.integer) << narrow(row.expression);
    }
}

TEST_F(XPathResults, LiteralValuesOutliveTheNextEvaluation) {
    // The engine compiles every expression into one XPath object: a literal's value must not point into it.
    Result text1(evaluate(u"'first literal'", docNode(), DOMXPathResult::STRING_TYPE));
    Result number1(evaluate(u"42", docNode(), DOMXPathResult::NUMBER_TYPE));
    Result other(evaluate(u"concat('a', 'b', 'c', 'd', 'e', 'f', 'g')", docNode()));
    Result more(evaluate(u"123456 + 654321", docNode()));
    EXPECT_EQ(text(text1->getStringValue()), u"first literal");
    EXPECT_EQ(number1->getNumberValue(), 42);
    EXPECT_EQ(text(other->getStringValue()), u"abcdefg");
}

TEST_F(XPathResults, CursorsAndAReusedResultThatIsTheSameObjectWithItsCursorAtZero) {
    // A result made empty serves no getter. An iterator starts at its first node and stays at its last.
    Result r(dom::xpath::XPathResult::create());
    EXPECT_EQ(r->getResultType(), DOMXPathResult::ANY_TYPE);
    EXPECT_FALSE(r->isNode());
    expectOtherGettersRefused(r.get());
    EXPECT_EQ(evaluate(u"//box", docNode(), DOMXPathResult::ANY_TYPE, nullptr, r.get()), r.get());
    EXPECT_EQ(idOf(r->getNodeValue()), u"b1");
    EXPECT_TRUE(r->iterateNext());
    EXPECT_TRUE(r->iterateNext());
    EXPECT_FALSE(r->iterateNext());
    EXPECT_EQ(idOf(r->getNodeValue()), u"b3");
    evaluate(u"//box", docNode(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE, nullptr, r.get());
    EXPECT_TRUE(r->snapshotItem(1));
    EXPECT_FALSE(r->snapshotItem(3)); // the length itself: refused, the current node stays
    EXPECT_EQ(idOf(r->getNodeValue()), u"b2");
    EXPECT_EQ(evaluate(u"//box[@id != 'b1']", docNode(), DOMXPathResult::ORDERED_NODE_ITERATOR_TYPE, nullptr,
                       r.get()),
              r.get());
    EXPECT_EQ(r->getResultType(), DOMXPathResult::ORDERED_NODE_ITERATOR_TYPE);
    EXPECT_EQ(idOf(r->getNodeValue()), u"b2");
    evaluate(u"//nothing", docNode(), DOMXPathResult::ORDERED_NODE_ITERATOR_TYPE, nullptr, r.get());
    EXPECT_EQ(r->getNodeValue(), nullptr);
    EXPECT_FALSE(r->iterateNext());
    EXPECT_EQ(evaluate(u"count(//box)", docNode(), DOMXPathResult::ANY_TYPE, nullptr, r.get()), r.get());
    EXPECT_EQ(r->getNumberValue(), 3);

    // Reused across documents: the nodes come from the document evaluated last.
    DOMDocument* other = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    EXPECT_EQ(other->evaluate(u"//box[last()]", other, nullptr, DOMXPathResult::ANY_TYPE, r.get()), r.get());
    DOMNode* node = r->getNodeValue();
    EXPECT_EQ(node->getOwnerDocument(), other);
    EXPECT_EQ(idOf(node), u"b2");
    r.reset();
    other->release();
}

} // namespace
