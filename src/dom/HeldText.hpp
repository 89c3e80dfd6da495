// The copy of a host text that a node object hands out: the host's own buffer may change with the next
// write, the copy stays as it was until the same node reads again or ends. Short texts (most attribute
// values) need no heap; a longer one keeps the largest buffer it needed.
#pragma once

#include <xercesc/util/XercesDefs.hpp>

#include <cstring>
#include <memory>
#include <string>

namespace domImpl {

class HeldText {
public:
    HeldText() = default;
    HeldText(const HeldText&) = delete;
    HeldText& operator=(const HeldText&) = delete;

    // Copies `text` (null reads as "") and returns the copy.
    const XMLCh* hold(const XMLCh* text) {
        if (!text) text = u"";
        const size_t units = std::char_traits<XMLCh>::length(text) + 1;
        if (units > capacity) grow(units);
        std::memmove(buffer(), text, units * sizeof(XMLCh));
        return buffer();
    }
    const XMLCh* get() const { return large ? large.get() : small; }

private:
    static constexpr size_t SMALL = 16;
    XMLCh* buffer() { return large ? large.get() : small; }
    void grow(size_t units) {
        // The old buffer goes only after the new one exists, so a failed allocation keeps the old copy.
        std::unique_ptr<XMLCh[]> bigger(new XMLCh[units]);
        large = std::move(bigger);
        capacity = units;
    }

    std::unique_ptr<XMLCh[]> large;
    size_t capacity = SMALL;
    XMLCh small[SMALL] = {};
};

} // namespace domImpl
