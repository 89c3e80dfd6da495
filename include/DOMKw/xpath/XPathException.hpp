// The failure of an XPath operation: thrown by value, carrying one 32-bit code.
#pragma once

#include <cstdint>

namespace dom::xpath {

class XPathException {
public:
    enum ExceptionCode : int32_t {
        INVALID_EXPRESSION_ERR = 51, // the text is not an expression, or cannot be evaluated where asked
        TYPE_ERR = 52                // the value cannot be had as the type asked for
    };

    explicit XPathException(int32_t code) : code(code) {}

    int32_t code;
};

} // namespace dom::xpath
