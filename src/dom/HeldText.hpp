// The copy of a host text that a node object hands out: the host's own buffer may change with the next
// write, the copy stays as it was until the same node reads again or ends. Short texts (most attribute
// values) need no heap; a longer one keeps the largest buffer it needed, and gives it back for the next
// node object when it ends (a walk over long texts allocates no buffer per text node).
#pragma once

#include <xercesc/util/XercesDefs.hpp>

#include <cstring>
#include <string>

namespace domImpl {

class HeldText {
public:
    HeldText() = default;
    HeldText(const HeldText&) = delete;
    HeldText& operator=(const HeldText&) = delete;
    ~HeldText() {
        if (large) giveBack(large, capacity);
    }

    // Copies `text` (null reads as "") and returns the copy. `text` is the host's, never this buffer.
    const XMLCh* hold(const XMLCh* text) {
        if (!text) text = u"";
        const size_t units = std::char_traits<XMLCh>::length(text) + 1;
        if (units > capacity) grow(units);
        XMLCh* to = large ? large : small;
        std::memcpy(to, text, units * sizeof(XMLCh));
        return to;
    }

private:
    static constexpr size_t SMALL = 16;
    // A text longer than the buffer: a buffer of at least its size, kept for the reads that follow. Should
    // the allocation fail, the copy held so far stays.
    void grow(size_t units);
    // Buffers of ended node objects wait here for the next (the host's thread alone makes node objects).
    static XMLCh* take(size_t units, size_t& capacity);
    static void giveBack(XMLCh* buffer, size_t capacity) noexcept;

    XMLCh* large = nullptr;
    size_t capacity = SMALL;
    XMLCh small[SMALL]; // written before it is read
};

} // namespace domImpl
