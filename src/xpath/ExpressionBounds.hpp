// Bounds on the shape of an XPath expression, checked before Xalan-C parses it.
//
// Xalan-C parses and evaluates by recursion: every nested parenthesis, predicate or function call, and
// every link of an operator chain ("1+1+1...") or of a location path, costs frames on the caller's stack.
// A plug-in may evaluate on a thread with a small stack, so an expression past these bounds is refused
// with XPathException 51 instead of being handed to the engine.
#pragma once

#include <xercesc/util/XercesDefs.hpp>

#include <cstddef>

namespace domImpl::xpathImpl {

// Parentheses (grouping and function calls) and predicates open inside one another.
constexpr std::size_t kMaxExpressionNesting = 64;
// Operators, path steps, predicates and argument separators, over the whole expression.
constexpr std::size_t kMaxExpressionOperators = 256;

struct ExpressionShape {
    std::size_t nesting = 0;   // deepest nesting reached
    std::size_t operators = 0; // operators, steps, predicates and commas counted
};

// The shape of an expression text (null counts as empty). String literals do not count; an unterminated
// one ends the scan (the parser refuses it anyway).
ExpressionShape measureExpression(const XMLCh* text);

// Throws dom::xpath::XPathException 51 when the text is past either bound.
void checkExpressionBounds(const XMLCh* text);

} // namespace domImpl::xpathImpl
