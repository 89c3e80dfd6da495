// A map from pointer-sized keys (node addresses, host handles) to pointers, kept in one flat array:
// open addressing with linear probing, deletion by shifting back what follows, so an entry costs no
// allocation of its own and a lookup touches one or two cache lines. The table grows at half full and
// shrinks again when it empties, so its memory follows the number of entries; a table that fills and
// empties again and again (the node objects of one write after another) may keep its present capacity
// instead (`keepCapacity`), until it is cleared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace domImpl {

template <class Key, class Value> class FlatTable {
    static_assert(std::is_pointer<Key>::value || std::is_integral<Key>::value, "keys are addresses or handles");

public:
    FlatTable() = default;
    ~FlatTable() { giveBack(std::move(slots), capacity); }
    FlatTable(const FlatTable&) = delete;
    FlatTable& operator=(const FlatTable&) = delete;
    FlatTable(FlatTable&& other) noexcept { swap(other); }
    FlatTable& operator=(FlatTable&& other) noexcept {
        FlatTable(std::move(other)).swap(*this);
        return *this;
    }

    // The key no entry may have (null, or the lowest integer: host handles are never negative).
    static Key vacant() {
        if constexpr (std::is_pointer<Key>::value)
            return nullptr;
        else
            return std::numeric_limits<Key>::min();
    }

    size_t size() const { return count; }
    bool empty() const { return count == 0; }

    // The value of `key`, or null.
    Value find(Key key) const {
        if (count == 0 || key == vacant()) return Value();
        for (size_t i = home(key);; i = next(i)) {
            if (slots[i].key == key) return slots[i].value;
            if (slots[i].key == vacant()) return Value();
        }
    }

    // Sets the value of `key` (a new entry or a replaced value). `key` is never vacant().
    void set(Key key, Value value) { slotOf(key).value = value; }

    // Adds `key` with `value` unless it has an entry already (which is kept).
    void add(Key key, Value value) {
        Slot& slot = slotOf(key);
        if (slot.value == Value()) slot.value = value;
    }

    // Removes `key`; answers its value, or null when it had none.
    Value take(Key key) {
        if (count == 0 || key == vacant()) return Value();
        size_t i = home(key);
        for (; slots[i].key != key; i = next(i))
            if (slots[i].key == vacant()) return Value();
        const Value value = slots[i].value;
        // Entries after the hole that could not sit at their home move into it, one by one.
        for (size_t j = next(i); slots[j].key != vacant(); j = next(j)) {
            const size_t k = home(slots[j].key);
            const bool staysPut = i <= j ? (i < k && k <= j) : (i < k || k <= j);
            if (staysPut) continue;
            slots[i] = slots[j];
            i = j;
        }
        slots[i] = Slot();
        --count;
        if (capacity > 64 && capacity > kept && count * 8 < capacity) {
            try {
                rehash(capacity / 2);
            } catch (const std::bad_alloc&) {
                // Shrinking is only tidiness: the table stays as large as it is.
            }
        }
        return value;
    }

    // Calls f(key, value) for every entry; f must not change the table.
    template <class F> void forEach(F&& f) const {
        for (size_t i = 0; i < capacity; ++i)
            if (slots[i].key != vacant()) f(slots[i].key, slots[i].value);
    }

    void clear() { FlatTable().swap(*this); }

    // The table no longer shrinks below the capacity it has now (it still grows); clear() lets go.
    void keepCapacity() {
        if (capacity > kept) kept = capacity;
    }

    void swap(FlatTable& other) noexcept {
        std::swap(slots, other.slots);
        std::swap(capacity, other.capacity);
        std::swap(count, other.count);
        std::swap(kept, other.kept);
    }

private:
    struct Slot {
        Key key = vacant();
        Value value = Value();
    };

    // The slot of `key`, made (with no value) when it has none.
    Slot& slotOf(Key key) {
        if ((count + 1) * 2 > capacity) rehash(capacity ? capacity * 2 : kFirst);
        size_t i = home(key);
        while (slots[i].key != vacant() && slots[i].key != key) i = next(i);
        if (slots[i].key == vacant()) {
            slots[i].key = key;
            ++count;
        }
        return slots[i];
    }

    size_t next(size_t i) const { return (i + 1) & (capacity - 1); }
    size_t home(Key key) const {
        uint64_t bits;
        if constexpr (std::is_pointer<Key>::value)
            bits = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key)) >> 4; // objects are 16-aligned
        else
            bits = static_cast<uint64_t>(key);
        // Fibonacci hashing: the high bits of the product, no division.
        return static_cast<size_t>((bits * 0x9E3779B97F4A7C15ull) >> 32) & (capacity - 1);
    }

    // The first array a table takes: small tables that come and go (those of the document made for each
    // event delivery) take and give back the same one instead of allocating it each time. One array per
    // kind of table waits, never freed; like every node object's bookkeeping it belongs to the host's
    // thread.
    static constexpr size_t kFirst = 16;
    static Slot*& spare() {
        static Slot* first = nullptr;
        return first;
    }
    static void giveBack(std::unique_ptr<Slot[]> old, size_t oldCapacity) noexcept {
        if (oldCapacity != kFirst || !old || spare()) return;
        for (size_t i = 0; i < kFirst; ++i) old[i] = Slot();
        spare() = old.release();
    }

    void rehash(size_t newCapacity) {
        std::unique_ptr<Slot[]> fresh;
        if (newCapacity == kFirst && spare())
            fresh.reset(std::exchange(spare(), nullptr));
        else
            fresh.reset(new Slot[newCapacity]); // the table is untouched should this throw
        std::unique_ptr<Slot[]> old = std::move(slots);
        const size_t oldCapacity = capacity;
        slots = std::move(fresh);
        capacity = newCapacity;
        for (size_t i = 0; i < oldCapacity; ++i) {
            if (old[i].key == vacant()) continue;
            size_t j = home(old[i].key);
            while (slots[j].key != vacant()) j = next(j);
            slots[j] = old[i];
        }
        giveBack(std::move(old), oldCapacity);
    }

    std::unique_ptr<Slot[]> slots;
    size_t capacity = 0; // zero or a power of two
    size_t count = 0;
    size_t kept = 0; // the capacity the table keeps when it empties
};

} // namespace domImpl
