// Writing numbers as text for Xalan-C.
//
// Xalan-C 1.12 writes a double that is not a whole 64-bit integer with sprintf("%.15f") into a buffer of
// about a hundred characters, in NumberToDOMString and in DOMStringHelper::NumberToCharacters. A value of
// 85 digits or more, which an expression reaches by arithmetic or reads from a document, overruns that
// buffer and brings the host down. Xalan-C calls both functions through its procedure linkage table, so
// the definitions below take their place in the process: they write such values themselves (every double
// that large is a whole number, written as its digits, as XPath writes one) and hand every other value to
// Xalan-C's own definition, so ordinary numbers read exactly as before.
#include <xalanc/PlatformSupport/DOMStringHelper.hpp>
#include <xalanc/PlatformSupport/FormatterListener.hpp>
#include <xalanc/XalanDOM/XalanDOMString.hpp>

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace XALAN_CPP_NAMESPACE {

namespace {

// Below this, Xalan-C's own writing fits its buffer.
constexpr double kLarge = 1e80;

bool large(double value) {
    return std::isfinite(value) && std::fabs(value) >= kLarge;
}

// Xalan-C's definition of a function that ours replaces.
template <class F> F next(const char* symbol) {
    void* found = dlsym(RTLD_NEXT, symbol);
    if (!found) std::abort(); // a Xalan-C without the function this file was written for
    return reinterpret_cast<F>(found);
}

// The digits of a large whole number, with its sign. 309 digits at most.
size_t digitsOf(double value, XalanDOMChar (&out)[400]) {
    char text[400];
    const int n = std::snprintf(text, sizeof text, "%.0f", value);
    size_t length = 0;
    for (int i = 0; i < n && length < sizeof text - 1; ++i)
        out[length++] = static_cast<XalanDOMChar>(text[i]);
    out[length] = 0;
    return length;
}

} // namespace

XalanDOMString& NumberToDOMString(double value, XalanDOMString& result) {
    using Original = XalanDOMString& (*)(double, XalanDOMString&);
    static const Original original =
        next<Original>("_ZN11xalanc_1_1217NumberToDOMStringEdRNS_14XalanDOMStringE");
    if (!large(value)) return original(value, result);
    XalanDOMChar digits[400];
    const size_t length = digitsOf(value, digits);
    result.append(digits, static_cast<XalanDOMString::size_type>(length));
    return result;
}

void DOMStringHelper::NumberToCharacters(double value, FormatterListener& listener,
                                         MemberFunctionPtr function) {
    using Original = void (*)(double, FormatterListener&, MemberFunctionPtr);
    static const Original original = next<Original>(
        "_ZN11xalanc_1_1215DOMStringHelper18NumberToCharactersEdRNS_17FormatterListenerEMS1_FvPKDsmE");
    if (!large(value)) return original(value, listener, function);
    XalanDOMChar digits[400];
    const size_t length = digitsOf(value, digits);
    (listener.*function)(digits, static_cast<FormatterListener::size_type>(length));
}

} // namespace XALAN_CPP_NAMESPACE
