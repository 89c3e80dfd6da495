#include "dom/Lifetime.hpp"

#include <DOMKw/dom/Object.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

#include <DOMKw/dom/ElementImpl.hpp>

#include "dom/AttrImpl.hpp"
#include "dom/FlatTable.hpp"
#include "dom/TextImpl.hpp"

#include "dom/Poison.hpp"
#ifdef DOMKW_ASAN
#include <sanitizer/lsan_interface.h>
#endif

namespace domImpl::lifetime {

namespace {

// Every node object starts and ends here, so the common path is a few pointer moves: no lookup, no
// allocation, no test for a first use (all the bookkeeping below is ready before the program starts).
constexpr size_t GRAIN = 16; // object sizes are rounded up to this
constexpr size_t CLASSES = LARGEST_POOLED / GRAIN + 1;

enum : uint32_t { NEVER_USED = 0, LIVE = 0x4C495645, ENDED = 0x454E4444 };

struct Slot {
    Slot* next; // the slot that ended next after this one (while ended)
    uint32_t state;
    uint32_t unused;
};
static_assert(sizeof(Slot) == GRAIN, "the slot header keeps objects aligned");

constexpr size_t rounded(size_t size) {
    return (size + GRAIN - 1) / GRAIN * GRAIN;
}

// Elements, text and attribute nodes share one slot size, the largest of the three: a slot that waited
// out the quarantine serves whichever kind of node is made next, so a workload that ends elements and
// makes attribute nodes reuses the same memory instead of growing a pool per kind.
constexpr size_t NODE_BYTES = rounded(std::max({sizeof(ElementImpl), sizeof(TextImpl), sizeof(AttrImpl)}));
static_assert(NODE_BYTES <= LARGEST_POOLED, "node objects are pooled");
constexpr size_t NODE_SLOT = sizeof(Slot) + NODE_BYTES;

// The object part of the slot for an object of `size` bytes.
size_t objectBytesFor(size_t size) {
    const size_t bytes = rounded(size ? size : 1);
    return bytes <= NODE_BYTES ? NODE_BYTES : bytes;
}

struct Block;

// Ended slots of one size wait in the order they ended; the oldest serves again once QUARANTINE more of
// its size have ended after it (so at least QUARANTINE node objects of any size have).
struct Pool {
    Slot first{};             // stands before the oldest: first.next is the oldest once one has ended
    Slot* newest = nullptr;   // the last to end (or `first`), whose `next` the next end fills
    size_t waiting = 0;       // ended slots in the queue
    Block* carving = nullptr; // the block new slots come from (node slots: once the range is used up)
};
Pool pools[CLASSES];

Pool& poolFor(size_t size) {
    return pools[objectBytesFor(size) / GRAIN];
}

// Node slots come first from one address range reserved up front and made usable a chunk at a time, so
// hasEnded finds the slot of a node by a subtraction and a division by a constant. The range holds
// tens of millions of nodes; past that, node slots come from blocks like every other size.
constexpr size_t RANGE_BYTES = size_t(1) << 32; // offsets in the range fit 32 bits
constexpr size_t CHUNK = size_t(1) << 20;
struct NodeRange {
    uintptr_t base = 0;      // 0 until the first node slot is carved
    uintptr_t carved = 0;    // bytes handed out as slots, from the base: below it, every address is a slot's
    uintptr_t committed = 0; // bytes readable and writable, from the base
    bool closed = false;     // no more slots from here: used up or not to be had
};
NodeRange range;

Slot* carveFromRange() {
    if (range.closed) return nullptr;
    if (!range.base) {
        void* reserved =
            mmap(nullptr, RANGE_BYTES, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (reserved == MAP_FAILED) {
            range.closed = true;
            return nullptr;
        }
        range.base = reinterpret_cast<uintptr_t>(reserved);
#ifdef DOMKW_ASAN
        // The leak checker reads the heap and globals only: the pointers in node objects and in ended
        // slots (to slots in blocks) hold what they point to as anywhere else.
        __lsan_register_root_region(reserved, RANGE_BYTES);
#endif
    }
    if (range.carved + NODE_SLOT > range.committed) {
        void* chunk = reinterpret_cast<void*>(range.base + range.committed);
        if (range.committed == RANGE_BYTES || mprotect(chunk, CHUNK, PROT_READ | PROT_WRITE) != 0) {
            range.closed = true;
            return nullptr;
        }
        // Off limits until carved, as in a block.
        DOMKW_POISON(chunk, CHUNK);
        range.committed += CHUNK;
    }
    Slot* slot = reinterpret_cast<Slot*>(range.base + range.carved);
    range.carved += NODE_SLOT;
    return slot;
}

// Other sizes, and node slots once the range is used up, come from blocks aligned to their size, found
// by masking an address and looking the block up in a table.
constexpr size_t BLOCK = size_t(1) << 16;
constexpr size_t FIRST_SLOT = 64; // the block's header, then the slots

struct Block {
    uint32_t slotBytes;
    uint32_t carved; // slots handed out at least once, from the front
    uint32_t slots;
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

// By address / BLOCK: the block's Layout. Never destroyed: node objects may end during the process's exit.
FlatTable<uintptr_t, uintptr_t>* blocks = nullptr;

Slot* slotAt(Block* block, size_t index) {
    return reinterpret_cast<Slot*>(reinterpret_cast<char*>(block) + FIRST_SLOT + index * block->slotBytes);
}

Block* newBlock(size_t slotBytes) {
    if (!blocks) blocks = new FlatTable<uintptr_t, uintptr_t>;
    void* memory = std::aligned_alloc(BLOCK, BLOCK);
    if (!memory) throw std::bad_alloc();
    std::memset(memory, 0, BLOCK);
    Block* block = static_cast<Block*>(memory);
    block->slotBytes = static_cast<uint32_t>(slotBytes);
    block->slots = static_cast<uint32_t>((BLOCK - FIRST_SLOT) / slotBytes);
    try {
        blocks->set(reinterpret_cast<uintptr_t>(memory) / BLOCK, Layout::of(slotBytes));
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

// A slot never used before: kept out of allocate, whose common path then needs no registers saved.
__attribute__((noinline)) Slot* carve(Pool& pool, size_t objectBytes) {
    // Set here, before any slot of this size can end: an initialiser that points into the pool would run
    // at start-up (possibly after other libraries' start-up made nodes), not at compile time.
    if (!pool.newest) pool.newest = &pool.first;
    Slot* slot = objectBytes == NODE_BYTES ? carveFromRange() : nullptr;
    if (!slot) {
        const size_t slotBytes = sizeof(Slot) + objectBytes;
        if (!pool.carving || pool.carving->carved == pool.carving->slots) pool.carving = newBlock(slotBytes);
        slot = slotAt(pool.carving, pool.carving->carved++);
    }
    DOMKW_UNPOISON(slot, sizeof(Slot) + objectBytes);
    return slot;
}

__attribute__((noinline)) bool hasEndedInBlock(uintptr_t at) {
    if (!blocks) return false;
    const uintptr_t layout = blocks->find(at / BLOCK); // null and the first block's worth: never a block
    if (!layout) return false;
    const uintptr_t block = at & ~(BLOCK - 1);
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

} // namespace

void* allocate(size_t size) {
    if (size > LARGEST_POOLED) return ::operator new(size);
    Pool& pool = poolFor(size);
    Slot* slot;
    if (pool.waiting > QUARANTINE) {
        slot = pool.first.next;
        DOMKW_UNPOISON(slot + 1, objectBytesFor(size));
        pool.first.next = slot->next;
        --pool.waiting;
        // The next to serve ended long ago and has left the cache: the whole of it (a node's construction
        // writes every line) is fetched while this one is used.
        for (size_t line = 0; line < NODE_SLOT; line += 64)
            __builtin_prefetch(reinterpret_cast<char*>(pool.first.next) + line, 1);
    } else {
        slot = carve(pool, objectBytesFor(size));
    }
    slot->state = LIVE;
    return slot + 1;
}

void release(void* storage, size_t size) noexcept {
    if (!storage) return;
    if (size > LARGEST_POOLED) {
        ::operator delete(storage);
        return;
    }
    Slot* slot = static_cast<Slot*>(storage) - 1;
    slot->state = ENDED;
    // Whatever touches an ended node object is still reported at once.
    DOMKW_POISON(storage, objectBytesFor(size));
    Pool& pool = poolFor(size);
    pool.newest->next = slot;
    pool.newest = slot;
    ++pool.waiting;
}

bool hasEnded(const XERCES_CPP_NAMESPACE::DOMNode* node) {
    const uintptr_t offset = reinterpret_cast<uintptr_t>(node) - range.base;
    if (offset < range.carved) {
        // Any address below `carved` lies in a slot, its header included (where no object lives).
        const size_t index = static_cast<uint32_t>(offset) / uint32_t(NODE_SLOT);
        return reinterpret_cast<const Slot*>(range.base + index * NODE_SLOT)->state == ENDED;
    }
    return hasEndedInBlock(reinterpret_cast<uintptr_t>(node));
}

size_t slotBytes(size_t size) {
    if (size > LARGEST_POOLED) return 0;
    return sizeof(Slot) + objectBytesFor(size);
}

size_t readySlots(size_t size) {
    if (size > LARGEST_POOLED) return 0;
    const Pool& pool = poolFor(size);
    return pool.waiting > QUARANTINE ? pool.waiting - QUARANTINE : 0;
}

void closeNodeRange() {
    range.closed = true;
}

} // namespace domImpl::lifetime

void* domImpl::Disposable::operator new(std::size_t size) {
    return lifetime::allocate(size);
}

void domImpl::Disposable::operator delete(void* storage, std::size_t size) {
    lifetime::release(storage, size);
}
