// Expressions past the nesting and operator bounds are refused before the engine parses them; the largest
// accepted expression of every shape runs on a thread with a 256 KiB stack.

#include <cstdio>
#include <cstring>
#include <functional>

#include "common/SmallStack.hpp"
#include "xpath/ExpressionBounds.hpp"
#include "xpath/XPathFixture.hpp"

using namespace testing_support;
using domImpl::xpathImpl::kMaxExpressionNesting;
using domImpl::xpathImpl::kMaxExpressionOperators;
using domImpl::xpathImpl::measureExpression;

namespace {

std::u16string repeat(const std::u16string& s, size_t n) {
    std::u16string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

std::u16string nestedParentheses(size_t n) {
    return repeat(u"(", n) + u"1" + repeat(u")", n);
}
std::u16string nestedNot(size_t n) {
    return repeat(u"not(", n) + u"0" + repeat(u")", n);
}
std::u16string chain(const std::u16string& op, size_t terms) {
    return u"1" + repeat(op + u"1", terms - 1);
}
// Predicates inside predicates, each of them evaluated (the context node is always there).
std::u16string nestedPredicates(size_t n, const std::u16string& inner = u"1") {
    return repeat(u"self::node()[", n) + inner + repeat(u"]", n);
}

class XPathBounds : public XPathTest {
protected:
    Expression compiled(const std::u16string& text) {
        return Expression(static_cast<DOMDocument*>(doc)->createExpression(text.c_str(), nullptr));
    }
};

// Every shape at its bound runs on a 256 KiB stack, through evaluate and through an expression object as
// a plug-in keeps one; one step past the bound (and far past it) is refused with 51 before parsing.
TEST_F(XPathBounds, EveryShapeRunsAtItsBoundOnASmallStackAndIsRefusedWith51PastIt) {
    const size_t n = kMaxExpressionNesting, ops = kMaxExpressionOperators;
    const double REFUSED = -51;
    struct Case {
        std::u16string text;
        double value;
    } cases[] = {
        {nestedParentheses(n), 1},
        {nestedParentheses(n + 1), REFUSED},
        {nestedParentheses(25000), REFUSED},
        {nestedNot(n), n % 2 ? 1 : 0},
        {nestedNot(n + 1), REFUSED},
        {nestedNot(20000), REFUSED},
        {u"count(" + nestedPredicates(n - 1) + u")", 1},
        {nestedPredicates(n + 1), REFUSED},
        {chain(u"+", ops + 1), double(ops + 1)},
        {chain(u"+", ops + 2), REFUSED},
        {chain(u"+", 60000), REFUSED},
        {chain(u" or ", ops + 1), 1},
        {chain(u" or ", ops + 2), REFUSED},
        {chain(u" and ", ops + 1), 1},
        {u"count(" + repeat(u"/*", ops / 2) + u")", 0},
        {repeat(u"/a", ops + 1), REFUSED},
        {u"count(." + repeat(u"|.", ops) + u")", 1},
        {chain(u"|", ops + 2), REFUSED},
        {u"string-length(concat(" + chain(u",", ops + 1) + u"))", double(ops + 1)},
        {u"concat(" + chain(u",", ops + 2) + u")", REFUSED},
        // The deepest nesting with the rest of the operator budget inside it.
        {u"count(" + nestedPredicates(n - 1, chain(u" or ", ops - n + 2)) + u")", 1},
        {repeat(u"(", n) + chain(u"+", ops + 1) + repeat(u")", n), double(ops + 1)},
        // Literals do not nest, however many brackets they hold.
        {u"string-length('" + repeat(u"((([[[", 10000) + u"')", 60000},
    };
    for (const Case& c : cases) {
        const auto shape = measureExpression(c.text.c_str());
        ASSERT_EQ(shape.nesting <= n && shape.operators <= ops, c.value != REFUSED)
            << narrow(c.text.substr(0, 60));
    }
    onSmallStack(256 * 1024, [&] {
        for (const Case& c : cases) {
            SCOPED_TRACE(narrow(c.text.substr(0, 60)));
            if (c.value == REFUSED) {
                EXPECT_EQ(xpathCode([&] { evaluate(c.text.c_str(), docNode()); }), 51);
                EXPECT_EQ(xpathCode([&] { compiled(c.text); }), 51);
                continue;
            }
            // A boolean asked for as a number is 0 or 1.
            EXPECT_EQ(number(c.text.c_str()), c.value);
            Expression expression = compiled(c.text);
            Result again(expression->evaluate(docNode(), DOMXPathResult::NUMBER_TYPE, nullptr));
            EXPECT_EQ(again->getNumberValue(), c.value);
        }
    });
}

TEST_F(XPathBounds, LargeNumbersAreWrittenWithoutOverrunningTheEngine) {
    // Values of 85 digits and more, as literals or made by arithmetic, are written as their digits (the
    // engine's own writing overran a fixed buffer there, which the engine parsing a literal did as well).
    const std::u16string big = repeat(u"9", 80);
    const std::u16string values[] = {
        repeat(u"8", 100),         u"1+" + repeat(u"8", 100) + u"1",    big + u" * 100000",
        u"-" + big + u" * " + big, repeat(u"4294967296 * ", 30) + u"1", u"count(//*) * " + big + u" * " + big,
    };
    for (const std::u16string& value : values) {
        SCOPED_TRACE(narrow(value.substr(0, 40)));
        Result n(evaluate(value.c_str(), docNode(), DOMXPathResult::NUMBER_TYPE));
        char digits[400];
        std::snprintf(digits, sizeof digits, "%.0f", n->getNumberValue());
        const std::u16string expected(digits, digits + std::strlen(digits));
        ASSERT_GE(expected.size(), 85u);
        Result text(evaluate((u"string(" + value + u")").c_str(), docNode(), DOMXPathResult::STRING_TYPE));
        EXPECT_EQ(std::u16string(text->getStringValue()), expected);
        Result joined(
            evaluate((u"concat(" + value + u", 'x')").c_str(), docNode(), DOMXPathResult::STRING_TYPE));
        EXPECT_EQ(std::u16string(joined->getStringValue()), expected + u"x");
        Result length(
            evaluate((u"string-length(" + value + u")").c_str(), docNode(), DOMXPathResult::NUMBER_TYPE));
        EXPECT_EQ(length->getNumberValue(), double(expected.size()));
    }
}

} // namespace
