#include "xpath/ExpressionBounds.hpp"

#include <DOMKw/xpath/XPathException.hpp>

namespace domImpl::xpathImpl {

namespace {

bool isNameStart(XMLCh c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c >= 0x80;
}

bool isNameChar(XMLCh c) {
    return isNameStart(c) || (c >= u'0' && c <= u'9') || c == u'.' || c == u'-';
}

bool isOperatorName(const XMLCh* begin, std::size_t length) {
    static const char16_t* const names[] = {u"and", u"or", u"div", u"mod"};
    for (const char16_t* name : names) {
        std::size_t i = 0;
        while (i < length && name[i] && name[i] == begin[i]) ++i;
        if (i == length && !name[i]) return true;
    }
    return false;
}

} // namespace

ExpressionShape measureExpression(const XMLCh* text) {
    ExpressionShape shape;
    if (!text) return shape;
    std::size_t depth = 0;
    // One pass over the tokens; counting is deliberately generous (a "*" that is a name test or a word
    // that is an element name counts as an operator), since the bounds only need to hold from above.
    for (const XMLCh* p = text; *p;) {
        const XMLCh c = *p;
        if (c == u'\'' || c == u'"') {
            const XMLCh* close = p + 1;
            while (*close && *close != c) ++close;
            if (!*close) break;
            p = close + 1;
            continue;
        }
        if (isNameStart(c)) {
            const XMLCh* begin = p;
            while (*p && isNameChar(*p)) ++p;
            if (isOperatorName(begin, static_cast<std::size_t>(p - begin))) ++shape.operators;
            continue;
        }
        if (c >= u'0' && c <= u'9') {
            while (*p && ((*p >= u'0' && *p <= u'9') || *p == u'.')) ++p;
            continue;
        }
        switch (c) {
        case u'(':
        case u'[':
            if (++depth > shape.nesting) shape.nesting = depth;
            if (c == u'[') ++shape.operators;
            break;
        case u')':
        case u']':
            if (depth > 0) --depth;
            break;
        case u'/':
            if (p[1] == u'/') ++p;
            ++shape.operators;
            break;
        case u'!':
        case u'<':
        case u'>':
            if (p[1] == u'=') ++p;
            ++shape.operators;
            break;
        case u'+':
        case u'-':
        case u'*':
        case u'=':
        case u'|':
        case u',':
            ++shape.operators;
            break;
        default:
            break;
        }
        ++p;
    }
    return shape;
}

void checkExpressionBounds(const XMLCh* text) {
    const ExpressionShape shape = measureExpression(text);
    if (shape.nesting > kMaxExpressionNesting || shape.operators > kMaxExpressionOperators)
        throw dom::xpath::XPathException(dom::xpath::XPathException::INVALID_EXPRESSION_ERR);
}

} // namespace domImpl::xpathImpl
