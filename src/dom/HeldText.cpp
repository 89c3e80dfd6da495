#include "dom/HeldText.hpp"

#include "dom/Poison.hpp"

namespace domImpl {

namespace {
// A few spare buffers are enough: node objects over long texts are made and ended one after another.
// Larger buffers than LARGEST_KEPT units go back to the heap, so the spares never hold more than 16 KiB.
constexpr size_t KEPT = 8;
constexpr size_t LARGEST_KEPT = 1024;
struct Spare {
    XMLCh* buffer;
    size_t capacity;
};
Spare spares[KEPT];
size_t spareCount = 0;
} // namespace

void HeldText::grow(size_t units) {
    size_t got = 0;
    XMLCh* fresh = take(units, got);
    if (large) giveBack(large, capacity);
    large = fresh;
    capacity = got;
}

XMLCh* HeldText::take(size_t units, size_t& capacity) {
    for (size_t i = spareCount; i-- > 0;)
        if (spares[i].capacity >= units) {
            XMLCh* buffer = spares[i].buffer;
            capacity = spares[i].capacity;
            spares[i] = spares[--spareCount];
            DOMKW_UNPOISON(buffer, capacity * sizeof(XMLCh));
            return buffer;
        }
    // Rounded up, so that texts of about the same length share the spares.
    capacity = (units + 63) / 64 * 64;
    return new XMLCh[capacity];
}

void HeldText::giveBack(XMLCh* buffer, size_t capacity) noexcept {
    if (capacity <= LARGEST_KEPT && spareCount < KEPT) {
        spares[spareCount++] = {buffer, capacity};
        // A value a caller kept from the ended node is no longer to be read.
        DOMKW_POISON(buffer, capacity * sizeof(XMLCh));
        return;
    }
    delete[] buffer;
}

} // namespace domImpl
