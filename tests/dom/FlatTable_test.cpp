// The flat table behind the document's live set and element cache, against std::unordered_map.
#include "dom/FlatTable.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <type_traits>
#include <random>
#include <unordered_map>
#include <vector>

namespace {

using domImpl::FlatTable;

// Runs random adds, sets and takes on both tables and compares them after every step: lookups of present
// and absent keys, the size, and what forEach visits. Keys come from a small pool so that entries
// collide, wrap around the end of the array and are taken out of the middle of probe runs; the pool
// grows to thousands and falls back to nothing, so the table grows and shrinks on the way (or, with
// `keep`, holds its full capacity on the way down and through a second fill).
template <class Key> void agreesWithAReferenceMap(const std::vector<Key>& pool, unsigned seed, bool keep) {
    FlatTable<Key, uintptr_t> table;
    std::unordered_map<Key, uintptr_t> reference;
    std::mt19937 random(seed);
    auto check = [&](size_t step) {
        // The key that marks an empty slot (null, the least handle) is never found nor taken.
        const Key vacant = std::is_pointer<Key>::value ? Key{} : std::numeric_limits<Key>::min();
        ASSERT_EQ(table.find(vacant) + table.take(vacant), 0u) << step;
        ASSERT_EQ(table.size(), reference.size()) << step;
        for (Key k : pool) {
            auto it = reference.find(k);
            ASSERT_EQ(table.find(k), it == reference.end() ? 0 : it->second) << step;
        }
        std::unordered_map<Key, uintptr_t> visited;
        table.forEach([&](Key k, uintptr_t v) { EXPECT_TRUE(visited.emplace(k, v).second) << step; });
        ASSERT_EQ(visited, reference) << step;
    };
    size_t step = 0;
    for (int phase = 0; phase < (keep ? 4 : 2); ++phase) {
        // Mostly additions first, then mostly removals down to an empty table.
        const unsigned addPercent = phase % 2 == 0 ? 75 : 20;
        if (keep && phase == 1) table.keepCapacity();
        for (int i = 0; i < 6000 || (phase % 2 == 1 && !reference.empty()); ++i, ++step) {
            const Key k = pool[random() % pool.size()];
            const uintptr_t v = 1 + random() % 1000;
            const unsigned dice = random() % 100;
            if (dice < addPercent / 2) {
                table.add(k, v); // keeps an existing value, as emplace does
                reference.emplace(k, v);
            } else if (dice < addPercent) {
                table.set(k, v);
                reference[k] = v;
            } else {
                // On the way down, half the removals hit a present entry, so the table does empty.
                auto it = phase % 2 == 1 && !reference.empty() && random() % 2 ? reference.begin() : reference.find(k);
                const Key taken = it == reference.end() ? k : it->first;
                const uintptr_t expected = it == reference.end() ? 0 : it->second;
                if (it != reference.end()) reference.erase(it);
                ASSERT_EQ(table.take(taken), expected) << step;
            }
            if (step % 97 == 0 || reference.size() < 40) check(step);
        }
        check(step);
    }
    EXPECT_TRUE(table.empty());
    table.set(pool[0], 7);
    table.clear();
    EXPECT_EQ(table.find(pool[0]) + table.size(), 0u);
}

TEST(FlatTable, agreesWithAReferenceMapForAddressesAndHandles) {
    // Node addresses: 16-byte aligned, dense (as an allocator hands them out) and scattered.
    std::vector<const void*> addresses;
    for (uintptr_t i = 1; i <= 3000; ++i) addresses.push_back(reinterpret_cast<const void*>(0x10000 + 16 * i));
    for (uintptr_t i = 1; i <= 1000; ++i) addresses.push_back(reinterpret_cast<const void*>(i * 0x9E3779B90ull & ~uintptr_t(15)));
    // Host handles: small sequential numbers and a few very large ones.
    std::vector<int64_t> handles;
    for (int64_t i = 0; i < 4000; ++i) handles.push_back(i);
    for (int64_t i = 1; i <= 64; ++i) handles.push_back(INT64_MAX - i * 4096);
    for (unsigned seed : {1u, 2u, 3u})
        for (bool keep : {false, true}) {
            agreesWithAReferenceMap(addresses, seed, keep);
            agreesWithAReferenceMap(handles, seed, keep);
        }
}

} // namespace
