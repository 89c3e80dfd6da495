#include "bridge/PairText.hpp"

namespace Kw {

namespace {

// The 8-bit route reads at most this many bytes of the converted text.
constexpr size_t kVisible = 255;

class PairScanner {
public:
    PairScanner(const XMLCh* text, size_t length) : text(text), end(length < kVisible ? length : kVisible) {}

    // The unit at `pos` as the 8-bit route would see it: 0 past the visible part. Sets `foreign` for a
    // unit outside ASCII.
    XMLCh at(size_t i) {
        if (i >= end) return 0;
        const XMLCh unit = text[i];
        if (unit >= 0x80) foreign = true;
        return unit;
    }

    // One "%ld": false when no number is there (nothing stored).
    bool number(int64_t& out) {
        XMLCh c = at(pos);
        while (c == u' ' || (c >= u'\t' && c <= u'\r')) c = at(++pos);
        bool negative = false;
        if (c == u'-' || c == u'+') {
            negative = c == u'-';
            c = at(++pos);
        }
        if (c < u'0' || c > u'9') return false;
        uint64_t magnitude = 0;
        bool overflow = false;
        for (; c >= u'0' && c <= u'9'; c = at(++pos)) {
            const unsigned digit = static_cast<unsigned>(c - u'0');
            if (magnitude > (UINT64_MAX - digit) / 10)
                overflow = true;
            else
                magnitude = magnitude * 10 + digit;
        }
        // strtol's saturation at the ends of the 64-bit range.
        constexpr uint64_t kLargest = static_cast<uint64_t>(INT64_MAX);
        if (negative)
            out = overflow || magnitude > kLargest + 1 ? INT64_MIN
                                                        : static_cast<int64_t>(0 - magnitude);
        else
            out = overflow || magnitude > kLargest ? INT64_MAX : static_cast<int64_t>(magnitude);
        return true;
    }

    bool slash() { return at(pos) == u'/' && (++pos, true); }

    bool foreign = false;

private:
    const XMLCh* text;
    size_t end;
    size_t pos = 0;
};

int32_t low32(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

} // namespace

bool readPairText(const XMLCh* text, size_t length, int32_t& first, int32_t& second) {
    if (!text) length = 0;
    PairScanner scan(text, length);
    int64_t a = 0, b = 0;
    if (scan.number(a) && scan.slash()) scan.number(b);
    if (scan.foreign) return false;
    first = low32(a);
    second = low32(b);
    return true;
}

} // namespace Kw
