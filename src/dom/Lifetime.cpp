#include "dom/Lifetime.hpp"

#include <DOMKw/dom/Object.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <DOMKw/dom/ElementImpl.hpp>

#include "dom/AttrImpl.hpp"
#include "dom/FlatTable.hpp"
#include "dom/TextImpl.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define DOMKW_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DOMKW_ASAN 1
#endif
#endif
#ifdef DOMKW_ASAN
#include <sanitizer/asan_interface.h>
#define DOMKW_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define DOMKW_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define DOMKW_POISON(p, n) ((void)(p), (void)(n))
#define DOMKW_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace domImpl::lifetime {

namespace {

// Every node object starts and ends here, so the common path is a few pointer moves: no lookup, no
// allocation. Blocks are aligned to their size, so the block of any address is found by masking it.
constexpr size_t BLOCK = size_t(1) << 16;
constexpr size_t GRAIN = 16;      // object sizes are rounded up to this
constexpr size_t FIRST_SLOT = 64; // the block's header, then the slots
constexpr size_t CLASSES = LARGEST_POOLED / GRAIN + 1;
static_assert(CLASSES <= 256, "a size class fits a byte");

enum : uint32_t { NEVER_USED = 0, LIVE = 0x4C495645, ENDED = 0x454E4444 };

struct Slot {
    Slot* next; // the next ready slot (while ready)
    uint32_t state;
    uint32_t sizeClass; // which pool the slot belongs to
};
static_assert(sizeof(Slot) == GRAIN, "the slot header keeps objects aligned");

struct Block {
    uint32_t slotBytes;
    uint32_t carved; // slots handed out at least once, from the front
    uint32_t slots;
};

// Slots that have waited out the quarantine, ready to serve again (last in, first out).
struct Pool {
    Slot* ready = nullptr;
    size_t readyCount = 0;
    Block* carving = nullptr; // the block new slots come from
};

// What hasEnded needs of a block, kept in the table so that the block itself is not read: its slot size,
// and the reciprocal that finds a slot without a division.
struct Layout {
    static uintptr_t of(size_t slotBytes) {
        const uint64_t reciprocal = ((uint64_t(1) << 32) + slotBytes - 1) / slotBytes;
        return static_cast<uintptr_t>(reciprocal << 16 | slotBytes);
    }
    static size_t slotBytes(uintptr_t layout) { return layout & 0xFFFF; }
    // Exact for offsets below 2^16 and slot sizes below 2^16.
    static size_t slotIndex(uintptr_t layout, size_t offset) {
        return static_cast<size_t>((uint64_t(offset) * (layout >> 16)) >> 32);
    }
};

struct Pools {
    Pool bySize[CLASSES];
    // The last QUARANTINE slots to end, whatever their size, oldest at `oldest`: a slot leaves the ring
    // for its pool when the QUARANTINE-th slot after it ends.
    Slot* waiting[QUARANTINE] = {};
    // The pool of each waiting slot, kept beside it: the slot that leaves the ring ended thousands of
    // objects ago and has left the cache, and its own header is then only written, never read.
    uint8_t waitingClass[QUARANTINE] = {};
    size_t oldest = 0;
    FlatTable<uintptr_t, uintptr_t> blocks; // by address / BLOCK: the block's Layout
    // The blocks hasEnded found lately, with their Layouts, each at the place its address picks: a walk
    // ends its nodes in a few dozen blocks, so the table is seldom asked. Blocks are never given back, so
    // an entry stays true.
    struct Found {
        uintptr_t block = 0;
        uintptr_t layout = 0;
    };
    static constexpr size_t FOUND = 64;
    Found found[FOUND];
};
static_assert((QUARANTINE & (QUARANTINE - 1)) == 0, "the ring's size is a power of two");

// Never destroyed: node objects may end during the process's exit.
Pools* pools = nullptr;
__attribute__((noinline)) Pools& firstPools() {
    pools = new Pools;
    return *pools;
}
Pools& all() { return pools ? *pools : firstPools(); }

size_t rounded(size_t size) {
    return (size + GRAIN - 1) / GRAIN * GRAIN;
}

// Elements, text and attribute nodes share one slot size, the largest of the three: a slot that waited
// out the quarantine serves whichever kind of node is made next, so a workload that ends elements and
// makes attribute nodes reuses the same memory instead of growing a pool per kind.
constexpr size_t NODE_BYTES =
    (std::max({sizeof(ElementImpl), sizeof(TextImpl), sizeof(AttrImpl)}) + GRAIN - 1) / GRAIN * GRAIN;
static_assert(NODE_BYTES <= LARGEST_POOLED, "node objects are pooled");

// The object part of the slot for an object of `size` bytes.
size_t objectBytesFor(size_t size) {
    const size_t bytes = rounded(size ? size : 1);
    return bytes <= NODE_BYTES ? NODE_BYTES : bytes;
}

Slot* slotAt(Block* block, size_t index) {
    return reinterpret_cast<Slot*>(reinterpret_cast<char*>(block) + FIRST_SLOT + index * block->slotBytes);
}

Block* newBlock(size_t slotBytes) {
    void* memory = std::aligned_alloc(BLOCK, BLOCK);
    if (!memory) throw std::bad_alloc();
    std::memset(memory, 0, BLOCK);
    Block* block = static_cast<Block*>(memory);
    block->slotBytes = static_cast<uint32_t>(slotBytes);
    block->slots = static_cast<uint32_t>((BLOCK - FIRST_SLOT) / slotBytes);
    try {
        all().blocks.set(reinterpret_cast<uintptr_t>(memory) / BLOCK, Layout::of(slotBytes));
    } catch (...) {
        std::free(memory);
        throw;
    }
    // Nothing has a slot here yet: the objects' part of every slot is off limits (a header not yet
    // carved reads as zero, never as ended).
    for (uint32_t i = 0; i < block->slots; ++i)
        DOMKW_POISON(reinterpret_cast<char*>(slotAt(block, i) + 1), slotBytes - sizeof(Slot));
    return block;
}

} // namespace

namespace {

// A slot carved from the pool's block, a new block when that one is used up: kept out of allocate, whose
// common path (a ready slot) then needs no registers saved.
__attribute__((noinline)) Slot* carve(Pool& pool, size_t objectBytes) {
    const size_t slotBytes = sizeof(Slot) + objectBytes;
    if (!pool.carving || pool.carving->carved == pool.carving->slots) pool.carving = newBlock(slotBytes);
    Slot* slot = slotAt(pool.carving, pool.carving->carved++);
    DOMKW_UNPOISON(slot, sizeof(Slot) + objectBytes);
    return slot;
}

} // namespace

void* allocate(size_t size) {
    if (size > LARGEST_POOLED) return ::operator new(size);
    const size_t objectBytes = objectBytesFor(size);
    const size_t sizeClass = objectBytes / GRAIN;
    Pool& pool = all().bySize[sizeClass];
    Slot* slot = pool.ready;
    if (slot) {
        DOMKW_UNPOISON(slot, sizeof(Slot) + objectBytes);
        pool.ready = slot->next;
        --pool.readyCount;
        // The next one ended long ago and has left the cache: it is fetched while this one is used.
        if (pool.ready) __builtin_prefetch(pool.ready, 1);
    } else {
        slot = carve(pool, objectBytes);
    }
    slot->next = nullptr;
    slot->state = LIVE;
    slot->sizeClass = static_cast<uint32_t>(sizeClass);
    return slot + 1;
}

void release(void* storage, size_t size) noexcept {
    if (!storage) return;
    if (size > LARGEST_POOLED) {
        ::operator delete(storage);
        return;
    }
    Pools& p = all();
    Slot* slot = static_cast<Slot*>(storage) - 1;
    slot->state = ENDED;
    slot->next = nullptr;
    // Whatever touches an ended node object is still reported at once.
    DOMKW_POISON(storage, objectBytesFor(size));
    // The slot that ended QUARANTINE ends ago may serve again; this one takes its place in the ring.
    if (Slot* done = p.waiting[p.oldest]) {
        Pool& pool = p.bySize[p.waitingClass[p.oldest]];
        done->next = pool.ready;
        pool.ready = done;
        ++pool.readyCount;
    }
    p.waiting[p.oldest] = slot;
    p.waitingClass[p.oldest] = static_cast<uint8_t>(slot->sizeClass);
    p.oldest = (p.oldest + 1) & (QUARANTINE - 1);
    // The header the next end writes (the slot that then leaves the ring) is fetched meanwhile.
    if (Slot* next = p.waiting[p.oldest]) __builtin_prefetch(next, 1);
}

bool hasEnded(const XERCES_CPP_NAMESPACE::DOMNode* node) {
    if (!node || !pools) return false;
    const uintptr_t at = reinterpret_cast<uintptr_t>(node);
    const uintptr_t block = at & ~(BLOCK - 1);
    Pools::Found& found = pools->found[(at / BLOCK) & (Pools::FOUND - 1)];
    uintptr_t layout = found.layout;
    if (block != found.block || !layout) {
        layout = pools->blocks.find(at / BLOCK);
        if (!layout) return false;
        found.block = block;
        found.layout = layout;
    }
    const size_t offset = at - block;
    if (offset < FIRST_SLOT) return false;
    const size_t size = Layout::slotBytes(layout);
    const size_t index = Layout::slotIndex(layout, offset - FIRST_SLOT);
    if (FIRST_SLOT + (index + 1) * size > BLOCK) return false; // the block's unused tail
    const Slot* slot = reinterpret_cast<const Slot*>(block + FIRST_SLOT + index * size);
    // An address inside a slot's header is no object's.
    if (at < reinterpret_cast<uintptr_t>(slot + 1)) return false;
    return slot->state == ENDED;
}

size_t slotBytes(size_t size) {
    if (size > LARGEST_POOLED) return 0;
    return sizeof(Slot) + objectBytesFor(size);
}

size_t readySlots(size_t size) {
    if (size > LARGEST_POOLED || !pools) return 0;
    return pools->bySize[objectBytesFor(size) / GRAIN].readyCount;
}

} // namespace domImpl::lifetime

void* domImpl::Disposable::operator new(std::size_t size) {
    return lifetime::allocate(size);
}

void domImpl::Disposable::operator delete(void* storage, std::size_t size) {
    lifetime::release(storage, size);
}
