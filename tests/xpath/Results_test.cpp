// Result types, getters and their refusals, cursors and reuse.
#include <climits>
#include <cmath>
#include <functional>

#include "xpath/XPathFixture.hpp"

using namespace testing_support;

namespace {

using Type = DOMXPathResult::ResultType;
constexpr int TYPE_ERR = 52;

class XPathResults : public XPathTest {
protected:
    // The type a result answers, or the XPathException code of the evaluation.
    int answered(const XMLCh* expression, int requested) {
        try {
            Result r(evaluate(expression, docNode(), static_cast<Type>(requested)));
            return r->getResultType();
        } catch (const dom::xpath::XPathException& e) {
            return e.code;
        }
    }
    std::u16string idOf(DOMNode* node) {
        Owned n(node);
        return n.node ? text(n.element()->getAttribute(u"id")) : u"(none)";
    }
};

TEST_F(XPathResults, GettersRefuseEveryTypeTheyDoNotServe) {
    struct Getter {
        const char* name;
        std::vector<int> serves;
        std::function<void(DOMXPathResult*)> call;
    };
    const std::vector<Getter> getters = {
        {"getNumberValue", {1}, [](DOMXPathResult* r) { r->getNumberValue(); }},
        {"getIntegerValue", {1}, [](DOMXPathResult* r) { r->getIntegerValue(); }},
        {"getStringValue", {2}, [](DOMXPathResult* r) { r->getStringValue(); }},
        {"getBooleanValue", {3}, [](DOMXPathResult* r) { r->getBooleanValue(); }},
        {"iterateNext", {4, 5}, [](DOMXPathResult* r) { r->iterateNext(); }},
        {"getSnapshotLength", {6, 7}, [](DOMXPathResult* r) { r->getSnapshotLength(); }},
        {"snapshotItem", {6, 7}, [](DOMXPathResult* r) { r->snapshotItem(0); }},
        {"getNodeValue", {4, 5, 6, 7, 8, 9}, [](DOMXPathResult* r) { dom::dispose(r->getNodeValue()); }},
    };
    // One result of each type: an empty one (type 0), then values asked for types 1 to 9.
    std::vector<Result> results;
    results.emplace_back(dom::xpath::XPathResult::create());
    results.emplace_back(evaluate(u"1.5", docNode(), DOMXPathResult::NUMBER_TYPE));
    results.emplace_back(evaluate(u"'s'", docNode(), DOMXPathResult::STRING_TYPE));
    results.emplace_back(evaluate(u"true()", docNode(), DOMXPathResult::BOOLEAN_TYPE));
    for (int t = 4; t <= 9; ++t) results.emplace_back(evaluate(u"//box", docNode(), static_cast<Type>(t)));
    for (const Result& r : results) {
        const int type = r->getResultType();
        for (const Getter& g : getters) {
            const bool serves = std::find(g.serves.begin(), g.serves.end(), type) != g.serves.end();
            if (serves)
                EXPECT_NO_THROW(g.call(r.get())) << g.name << " on type " << type;
            else
                EXPECT_EQ(xpathCode([&] { g.call(r.get()); }), TYPE_ERR) << g.name << " on type " << type;
        }
        EXPECT_EQ(domExceptionCode([&] { r->getTypeInfo(); }), -1);
    }
    EXPECT_EQ(results[0]->getResultType(), DOMXPathResult::ANY_TYPE);
    EXPECT_FALSE(results[0]->isNode());
    for (int t : {10, 100, 101, 102}) EXPECT_EQ(answered(u"count(//box)", t), TYPE_ERR) << t;
}

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
    // An iterator starts at its first node and stays at its last.
    Result r(dom::xpath::XPathResult::create());
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
