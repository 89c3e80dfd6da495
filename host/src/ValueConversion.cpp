// ConvertValue: measurements in 16.16 fixed-point points, and the registered enumeration values.
#include "HostOperations.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kwhost {

using namespace Kw::host;

namespace {

// Picas and ciceros are compound: whole units, the suffix, then the rest in their sub-unit.
struct Unit {
    const char* suffix;
    double points;    // points per unit
    double subPoints; // points per sub-unit; 0 when the unit is not compound
};

constexpr double kDidotPoint = 0.376065 * 72.0 / 25.4;

const Unit kUnits[] = {
    {"pt", 1.0, 0},                         // POINTS
    {"\"", 72.0, 0},                        // INCHES
    {"in", 72.0, 0},                        // DECIMAL_INCHES
    {"p", 12.0, 1.0},                       // PICAS
    {"mm", 72.0 / 25.4, 0},                 // MILLIMETRES
    {"cm", 72.0 / 2.54, 0},                 // CENTIMETRES
    {"c", 12.0 * kDidotPoint, kDidotPoint}, // CICEROS
    {"ag", 72.0 / 14.0, 0},                 // AGATES
    {"q", 72.0 / 101.6, 0},                 // Q
    {"px", 1.0, 0},                         // PIXELS
};
constexpr int32_t kUnitCount = static_cast<int32_t>(sizeof kUnits / sizeof kUnits[0]);
constexpr int32_t kMaxDecimals = 8;

int32_t formatFixed(int32_t fixed, int32_t unit, int32_t n, std::string& out) {
    if (unit < 0 || unit >= kUnitCount) return NOT_SUPPORTED;
    if (n < 0 || n > kMaxDecimals) return VALIDATION;
    const Unit& u = kUnits[unit];
    const double points = fixed / static_cast<double>(FIXED_ONE);
    char buf[96];
    if (u.subPoints == 0) {
        std::snprintf(buf, sizeof buf, "%.*f%s", static_cast<int>(n), points / u.points, u.suffix);
    } else {
        // Counted in 10^-n sub-units, so that rounding the rest up carries into the whole units.
        long long scale = 1;
        for (int32_t i = 0; i < n; ++i) scale *= 10;
        const long long perUnit = std::llround(u.points / u.subPoints) * scale;
        const long long total = std::llround(std::fabs(points) / u.subPoints * static_cast<double>(scale));
        const long long whole = total / perUnit, rest = total % perUnit;
        const char* sign = points < 0 && total != 0 ? "-" : "";
        if (n == 0)
            std::snprintf(buf, sizeof buf, "%s%lld%s%lld", sign, whole, u.suffix, rest);
        else
            std::snprintf(buf, sizeof buf, "%s%lld%s%lld.%0*lld", sign, whole, u.suffix, rest / scale,
                          static_cast<int>(n), rest % scale);
    }
    out = buf;
    return OK;
}

bool isSpace(char16_t c) {
    return c == u' ' || c == u'\t';
}
bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool isLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Digits with an optional decimal part ("12", "12.5", ".5"), copied as ASCII for strtod.
bool readNumber(const std::u16string& text, size_t& i, std::string& number) {
    const size_t start = i;
    while (i < text.size() && isDigit(text[i])) number += static_cast<char>(text[i++]);
    bool digits = i > start;
    if (i < text.size() && text[i] == u'.') {
        number += '.';
        ++i;
        const size_t fraction = i;
        while (i < text.size() && isDigit(text[i])) number += static_cast<char>(text[i++]);
        digits = digits || i > fraction;
    }
    if (!digits) {
        i = start;
        number.clear();
    }
    return digits;
}

int32_t parseFixed(const std::u16string& text, int32_t unit, int32_t& out) {
    if (unit < 0 || unit >= kUnitCount) return NOT_SUPPORTED;
    size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    std::string first, second;
    const bool hasFirst = readNumber(text, i, first);
    while (i < text.size() && isSpace(text[i])) ++i;
    std::string suffix;
    if (i < text.size() && text[i] == u'"') {
        suffix = "\"";
        ++i;
    } else {
        while (i < text.size() && isLetter(text[i]) && suffix.size() < 3)
            suffix += static_cast<char>(text[i++] | 0x20);
    }
    int32_t u = unit;
    if (!suffix.empty()) {
        u = -1;
        for (int32_t k = 0; k < kUnitCount && u < 0; ++k)
            if (suffix == kUnits[k].suffix) u = k;
        if (u < 0) return VALIDATION;
    }
    const Unit& info = kUnits[u];
    bool hasSecond = false;
    if (!suffix.empty() && info.subPoints != 0) hasSecond = readNumber(text, i, second);
    while (i < text.size() && isSpace(text[i])) ++i;
    if (i != text.size() || !(hasFirst || hasSecond)) return VALIDATION;
    double points = (hasFirst ? std::strtod(first.c_str(), nullptr) * info.points : 0.0) +
                    (hasSecond ? std::strtod(second.c_str(), nullptr) * info.subPoints : 0.0);
    if (negative) points = -points;
    const double fixed = std::nearbyint(points * FIXED_ONE);
    if (!(fixed >= INT32_MIN && fixed <= INT32_MAX)) return VALIDATION; // NaN and infinity included
    out = static_cast<int32_t>(fixed);
    return OK;
}

// Into the caller's 256-unit buffer: at most 255 units and the terminating zero, or nothing.
int32_t writeText(void* out, const std::u16string& text) {
    if (text.size() > 255) return INDEX_SIZE;
    XMLCh* units = static_cast<XMLCh*>(out);
    text.copy(units, text.size());
    units[text.size()] = 0;
    return OK;
}

} // namespace

int32_t opConvertValue(void* out, int32_t mode, intptr_t x, intptr_t y, int32_t z) {
    KWHOST_ENTER(ConvertValue);
    if (!out) return INVALID_ACCESS;
    switch (mode) {
    case FixedToText: {
        std::string text;
        if (int32_t s = formatFixed(static_cast<int32_t>(x), static_cast<int32_t>(y), z, text)) return s;
        return writeText(out, std::u16string(text.begin(), text.end()));
    }
    case EnumToText: {
        const XMLCh* type = reinterpret_cast<const XMLCh*>(y);
        if (!type) return INVALID_ACCESS;
        const std::u16string* text = nullptr;
        if (int32_t s = enumText(type, static_cast<int32_t>(x), text)) return s;
        return writeText(out, *text);
    }
    case TextToFixed: {
        const XMLCh* text = reinterpret_cast<const XMLCh*>(x);
        if (!text) return INVALID_ACCESS;
        int32_t fixed = 0;
        if (int32_t s = parseFixed(text, static_cast<int32_t>(y), fixed)) return s;
        *static_cast<int32_t*>(out) = fixed;
        return OK;
    }
    case TextToEnum: {
        const XMLCh* text = reinterpret_cast<const XMLCh*>(x);
        const XMLCh* type = reinterpret_cast<const XMLCh*>(y);
        if (!text || !type) return INVALID_ACCESS;
        int32_t number = 0;
        if (int32_t s = enumNumber(type, text, number)) return s;
        *static_cast<int32_t*>(out) = number;
        return OK;
    }
    default:
        return NOT_SUPPORTED;
    }
}

} // namespace kwhost
