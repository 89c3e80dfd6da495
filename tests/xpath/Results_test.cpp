// Result types, getters and their refusals, cursors, reuse, and the refusals of evaluation itself.
#include <climits>
#include <cmath>
#include <functional>

#include "xpath/XPathFixture.hpp"

using namespace testing_support;

namespace {

using Type = DOMXPathResult::ResultType;
constexpr int TYPE_ERR = 52, INVALID = 51;

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
    };
    for (const Row& row : rows) {
        Result r(evaluate(row.expression, docNode(), DOMXPathResult::NUMBER_TYPE));
        EXPECT_EQ(r->getNumberValue(), row.number) << narrow(row.expression);
        EXPECT_EQ(r->getIntegerValue(), row.integer) << narrow(row.expression);
    }
    // A number with no integer value answers 0 rather than whatever the conversion makes of it.
    Result nan(evaluate(u"number('x')", docNode(), DOMXPathResult::NUMBER_TYPE));
    EXPECT_TRUE(std::isnan(nan->getNumberValue()));
    EXPECT_EQ(nan->getIntegerValue(), 0);
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

TEST_F(XPathResults, InvalidExpressionsAreRefusedWithoutLeaks) {
    const XMLCh* invalid[] = {u"//box[", u"count(", u"@@id", u"unknownFunction()", u"", u"1 +", u"//box/",
                              u"a/",     u"//",     nullptr};
    for (const XMLCh* expression : invalid) {
        const std::string shown = expression ? narrow(expression) : "(null)";
        EXPECT_EQ(xpathCode([&] { evaluate(expression, docNode()); }), INVALID) << shown;
        EXPECT_EQ(xpathCode([&] { static_cast<DOMDocument*>(doc)->createExpression(expression, nullptr); }),
                  INVALID)
            << shown;
    }
    // An expression that compiles but cannot run: a node-set function given a number.
    EXPECT_EQ(xpathCode([&] { evaluate(u"count(1)", docNode()); }), INVALID);
    // A lone slash is the root; a slash inside a longer path is fine.
    EXPECT_EQ(Result(evaluate(u"/", docNode()))->getResultType(),
              DOMXPathResult::UNORDERED_NODE_ITERATOR_TYPE);
    EXPECT_EQ(number(u"count(/application/project/layout)"), 2);
    // No context node, or a resolver made without a node.
    EXPECT_EQ(xpathCode([&] { evaluate(u"//box", nullptr); }), INVALID);
    std::unique_ptr<DOMXPathNSResolver> noNode(static_cast<DOMDocument*>(doc)->createNSResolver(nullptr));
    EXPECT_EQ(xpathCode([&] { evaluate(u"//box", docNode(), DOMXPathResult::ANY_TYPE, noNode.get()); }),
              INVALID);
    EXPECT_EQ(xpathCode([&] { static_cast<DOMDocument*>(doc)->createExpression(u"//box", noNode.get()); }),
              INVALID);
    EXPECT_EQ(doc->liveNodeCount(), 0u);
}

// Nothing binds variables: a reference to one compiles (createExpression accepts it) but is refused with
// 51 as soon as an evaluation reaches it, never answered with a value of no type.
TEST_F(XPathResults, UnboundVariablesAreRefusedAtEvaluation) {
    DOMDocument* d = doc;
    const XMLCh* expressions[] = {
        u"$x", u"count($x)", u"//box[@id = $x]", u"$x + 1", u"string($kw:x)", u"//box | $x", u"not($x)"};
    const int types[] = {DOMXPathResult::ANY_TYPE, DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE};
    FixedResolver prefixes = sampleResolver();
    Result reused(evaluate(u"//box", docNode(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));
    for (const XMLCh* expression : expressions) {
        SCOPED_TRACE(narrow(expression));
        for (int type : types) {
            SCOPED_TRACE(type);
            EXPECT_EQ(answered(expression, type), INVALID) << narrow(expression) << " as " << type;
            EXPECT_EQ(xpathCode([&] {
                          evaluate(expression, docNode(), static_cast<Type>(type), &prefixes, reused.get());
                      }),
                      INVALID)
                << narrow(expression);
        }
        std::unique_ptr<DOMXPathExpression, void (*)(DOMXPathExpression*)> compiled(
            d->createExpression(expression, nullptr), [](DOMXPathExpression* e) { e->release(); });
        ASSERT_TRUE(compiled);
        EXPECT_EQ(xpathCode([&] { Result(compiled->evaluate(d, DOMXPathResult::ANY_TYPE, nullptr)); }),
                  INVALID)
            << narrow(expression);
    }
    EXPECT_EQ(xpathCode([&] {
                  evaluate(u"count(//box)", docNode(), DOMXPathResult::BOOLEAN_TYPE, nullptr, reused.get());
              }),
              TYPE_ERR);
    // The refusals leave the engine ready and a reused result as it was.
    EXPECT_EQ(reused->getSnapshotLength(), 3u);
    EXPECT_EQ(number(u"count(//box)"), 3);
    EXPECT_EQ(doc->liveNodeCount(), 0u);
}

} // namespace
