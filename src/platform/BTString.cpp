#include <DOMKw/platform/BTString.hpp>

#include <algorithm>
#include <functional>

namespace {

std::u16string clampedSub(const std::u16string& s, long start, long count) {
    const long len = static_cast<long>(s.size());
    if (start < 0) start = 0;
    if (start >= len) return {};
    if (count < 0 || count > len - start) count = len - start;
    return s.substr(static_cast<size_t>(start), static_cast<size_t>(count));
}

const BTString& fromHandle(const void* handle) {
    return *static_cast<const BTString*>(handle);
}

// 8-bit text is windows-1252, the code page the 8-bit view of a string is written in, so that bytes
// read here come back unchanged from DOMBTString::GetUChar. Bytes 0x80 to 0x9F differ from Latin-1;
// the five the code page leaves unassigned stand for the C1 control of the same value, as the
// converter behind GetUChar maps them.
constexpr XMLCh kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

XMLCh fromWindows1252(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : static_cast<XMLCh>(byte);
}

XMLCh foldAscii(XMLCh c) {
    return (c >= u'a' && c <= u'z') ? static_cast<XMLCh>(c - 32) : c;
}

} // namespace

BTString::BTString(const XMLCh* text, long start, long count) {
    if (!text) return;
    if (start < 0) start = 0;
    // The text is a C string: a start past its terminator gives the empty string rather than a read
    // beyond it.
    for (long i = 0; i < start; ++i)
        if (text[i] == 0) return;
    if (count < 0) {
        fText.assign(text + start);
    } else {
        // Stop at a NUL inside the range, as a C string would.
        long n = 0;
        while (n < count && text[start + n] != 0) ++n;
        fText.assign(text + start, static_cast<size_t>(n));
    }
}

BTString::BTString(const unsigned char* bytes, long start, long count)
    : BTString(reinterpret_cast<const char*>(bytes), start, count) {}

BTString::BTString(const char* bytes, long start, long count) {
    if (!bytes) return;
    if (start < 0) start = 0;
    const char* p = bytes + start;
    long n = 0;
    if (count < 0) {
        while (p[n] != 0) ++n;
    } else {
        n = count;
    }
    fText.resize(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i)
        fText[static_cast<size_t>(i)] = fromWindows1252(static_cast<unsigned char>(p[i]));
}

BTString::BTString(BTStringRef__* handle) {
    if (handle) fText = fromHandle(handle).fText;
}

BTString::BTString(BTMutableStringRef__* handle) {
    if (handle) fText = fromHandle(handle).fText;
}

BTString::BTString(const BTString& other, long start, long count)
    : fText(clampedSub(other.fText, start, count)) {}

BTString::~BTString() = default;

BTString& BTString::operator=(const BTString& other) {
    if (this != &other) {
        fText = other.fText;
        textChanged();
    }
    return *this;
}

BTString& BTString::operator=(BTString&& other) noexcept {
    if (this == &other) return *this;
    if (other.fText.size() <= fText.capacity())
        fText.assign(other.fText); // no allocation: the buffer is big enough
    else
        fText = std::move(other.fText);
    textChanged();
    other.leaveEmpty();
    return *this;
}

long BTString::Extract(long start, long count, XMLCh* dest, long destSize) const {
    if (!dest || destSize <= 0) return 0;
    std::u16string part = clampedSub(fText, start, count);
    long n = std::min<long>(static_cast<long>(part.size()), destSize - 1);
    std::copy_n(part.data(), n, dest);
    dest[n] = 0;
    return n;
}

long BTString::ExtractBetween(long start, long end, XMLCh* dest, long destSize) const {
    return Extract(start, end < start ? 0 : end - start, dest, destSize);
}

XMLCh BTString::CharAt(long index) const {
    return (index >= 0 && index < GetLength()) ? fText[static_cast<size_t>(index)] : 0;
}

long BTString::Find(const BTString& what, long from) const {
    if (from < 0) from = 0;
    size_t at = fText.find(what.fText, static_cast<size_t>(from));
    return at == std::u16string::npos ? -1 : static_cast<long>(at);
}

long BTString::Find(XMLCh unit, long from) const {
    if (from < 0) from = 0;
    size_t at = fText.find(unit, static_cast<size_t>(from));
    return at == std::u16string::npos ? -1 : static_cast<long>(at);
}

int BTString::ICompare(const BTString& other) const {
    const size_t n = std::min(fText.size(), other.fText.size());
    for (size_t i = 0; i < n; ++i) {
        XMLCh a = foldAscii(fText[i]), b = foldAscii(other.fText[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    if (fText.size() == other.fText.size()) return 0;
    return fText.size() < other.fText.size() ? -1 : 1;
}

BTStringRef__* BTString::GetBTStringRef() const {
    return reinterpret_cast<BTStringRef__*>(const_cast<BTString*>(this));
}

BTStringMutator::~BTStringMutator() = default;

BTStringMutator& BTStringMutator::operator=(const BTString& other) {
    BTString::operator=(other);
    return *this;
}

XMLCh* BTStringMutator::GetBuffer(long size) {
    fText.resize(static_cast<size_t>(std::max<long>(size, 0)));
    textChanged();
    return fText.data();
}

void BTStringMutator::SetTo(const XMLCh* text, long count) {
    const std::less<const XMLCh*> before;
    const XMLCh* here = fText.data();
    const XMLCh* hereEnd = here + fText.size() + 1; // the terminator included
    if (!text || count <= 0) {
        fText.clear();
    } else if (!before(text, hereEnd) || !before(here, text + count)) {
        // Text from elsewhere (the common case: a host's buffer) is copied over what was here, in place
        // when it fits.
        fText.clear();
        fText.append(text, static_cast<size_t>(count));
    } else {
        fText.assign(text, static_cast<size_t>(count)); // a part of this text itself
    }
    textChanged();
}

void BTStringMutator::Extract(long start, long count, BTStringMutator& dest) const {
    dest.fText = clampedSub(fText, start, count);
    dest.textChanged();
}

long BTStringMutator::FindAndReplace(const BTString& what, const BTString& with) {
    const std::u16string& w = what.str();
    if (w.empty()) return 0;
    long n = 0;
    std::u16string out;
    out.reserve(fText.size());
    size_t pos = 0;
    for (size_t at; (at = fText.find(w, pos)) != std::u16string::npos; pos = at + w.size(), ++n) {
        out.append(fText, pos, at - pos);
        out.append(with.str());
    }
    if (n == 0) return 0;
    out.append(fText, pos, std::u16string::npos);
    fText.swap(out);
    textChanged();
    return n;
}

BTStringMutator BTStringMutator::operator+(const BTString& other) const {
    BTStringMutator r(*this);
    r += other;
    return r;
}

BTStringMutator& BTStringMutator::operator+=(const BTString& other) {
    fText += other.str();
    textChanged();
    return *this;
}
