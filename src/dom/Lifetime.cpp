#include "dom/Lifetime.hpp"

#include <DOMKw/dom/Object.hpp>

#include <cstdint>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define DOMKW_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DOMKW_ASAN 1
#endif
#endif
#ifdef DOMKW_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace domImpl::lifetime {

namespace {

// Every node object ends here, so nothing on this path allocates: the ended addresses sit in a fixed
// open-addressed set, their storage in a fixed ring.

// Addresses of ended nodes whose storage waits. Twice as many slots as the quarantine holds, so probes
// stay short; linear probing, and deletion by shifting back what follows.
class AddressSet {
public:
    bool contains(const void* p) const {
        for (size_t i = home(p);; i = next(i)) {
            if (!slot[i]) return false;
            if (slot[i] == p) return true;
        }
    }
    void insert(const void* p) {
        size_t i = home(p);
        while (slot[i] && slot[i] != p) i = next(i);
        slot[i] = p;
    }
    void erase(const void* p) {
        size_t i = home(p);
        for (; slot[i] != p; i = next(i))
            if (!slot[i]) return;
        // Entries after the hole that could not sit at their home move into it, one by one.
        for (size_t j = next(i); slot[j]; j = next(j)) {
            const size_t k = home(slot[j]);
            const bool staysPut = i <= j ? (i < k && k <= j) : (i < k || k <= j);
            if (staysPut) continue;
            slot[i] = slot[j];
            i = j;
        }
        slot[i] = nullptr;
    }

private:
    static constexpr size_t SLOTS = 2 * QUARANTINE; // a power of two
    static_assert((SLOTS & (SLOTS - 1)) == 0, "the slot count is a power of two");
    static size_t next(size_t i) { return (i + 1) & (SLOTS - 1); }
    static size_t home(const void* p) {
        const uint64_t h = (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)) >> 4) * 0x9E3779B97F4A7C15ull;
        return static_cast<size_t>(h >> 40) & (SLOTS - 1);
    }
    const void* slot[SLOTS] = {};
};

struct Parked {
    void* storage = nullptr;
    size_t size = 0;
    const void* node = nullptr; // the ended node address inside the storage, if any
};

struct Registry {
    AddressSet ended;
    const void* pending = nullptr; // ended, its storage not deleted yet
    Parked ring[QUARANTINE];
    size_t oldest = 0, count = 0;
};

// Never destroyed: node objects may end during the process's exit.
Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

void release(Parked& p) {
    if (p.node) registry().ended.erase(p.node);
#ifdef DOMKW_ASAN
    ASAN_UNPOISON_MEMORY_REGION(p.storage, p.size);
#endif
    ::operator delete(p.storage);
    p = Parked();
}

} // namespace

void ended(const XERCES_CPP_NAMESPACE::DOMNode* node) {
    if (!node) return;
    Registry& r = registry();
    // An ended node's storage follows at once; should one never have come, that address is forgotten
    // rather than kept (its storage would be freed, and could be taken by another object).
    if (r.pending) r.ended.erase(r.pending);
    r.ended.insert(node);
    r.pending = node;
}

bool hasEnded(const XERCES_CPP_NAMESPACE::DOMNode* node) {
    return node && registry().ended.contains(node);
}

void park(void* storage, size_t size) {
    if (!storage) return;
    Registry& r = registry();
    Parked p{storage, size, nullptr};
    // The pending ended address belongs to this storage when it lies inside it.
    const char* begin = static_cast<const char*>(storage);
    const char* node = static_cast<const char*>(r.pending);
    if (node && node >= begin && node < begin + size) {
        p.node = r.pending;
        r.pending = nullptr;
    }
#ifdef DOMKW_ASAN
    // Whatever touches an ended node object is still reported at once.
    ASAN_POISON_MEMORY_REGION(storage, size);
#endif
    if (r.count == QUARANTINE) {
        release(r.ring[r.oldest]);
        r.oldest = (r.oldest + 1) % QUARANTINE;
        --r.count;
    }
    r.ring[(r.oldest + r.count) % QUARANTINE] = p;
    ++r.count;
}

} // namespace domImpl::lifetime

void domImpl::Disposable::operator delete(void* storage, std::size_t size) {
    lifetime::park(storage, size);
}
