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

// Random adds, sets and takes on both, from a pool small enough to collide and wrap, filling to thousands
// and emptying again (with `keep`, holding the capacity on the way down and through a second fill).
template <class Key> void agreesWithAReferenceMap(const std::vector<Key>& pool, unsigned seed, bool keep) {
    FlatTable<Key, uintptr_t> table;
    std::unordered_map<Key, uintptr_t> reference;
    std::mt19937 random(seed);
    // The key that marks an empty slot (null, the least handle) is never found nor taken.
    const Key vacant = std::is_pointer<Key>::value ? Key{} : std::numeric_limits<Key>::min();
    for (int phase = 0; phase < (keep ? 4 : 2); ++phase) {
        const bool down = phase % 2 == 1; // mostly removals, down to an empty table
        if (keep && phase == 1) table.keepCapacity();
        for (int i = 0; i < 6000 || (down && !reference.empty()); ++i) {
            const Key k = pool[random() % pool.size()];
            const uintptr_t v = 1 + random() % 1000;
            const unsigned dice = random() % 100;
            if (dice < (down ? 10u : 37u)) {
                table.add(k, v); // keeps an existing value, as emplace does
                reference.emplace(k, v);
            } else if (dice < (down ? 20u : 75u)) {
                table.set(k, v);
                reference[k] = v;
            } else {
                // On the way down, half the removals hit a present entry, so the table does empty.
                auto it = down && !reference.empty() && random() % 2 ? reference.begin() : reference.find(k);
                const bool present = it != reference.end();
                ASSERT_EQ(table.take(present ? it->first : k), present ? it->second : 0);
                if (present) reference.erase(it);
            }
            if (i % 97 != 0 && reference.size() >= 40) continue;
            ASSERT_EQ(table.find(vacant) + table.take(vacant), 0u);
            ASSERT_EQ(table.size(), reference.size());
            for (Key key : pool) {
                auto it = reference.find(key);
                ASSERT_EQ(table.find(key), it == reference.end() ? 0 : it->second);
            }
            std::unordered_map<Key, uintptr_t> visited;
            table.forEach([&](Key key, uintptr_t value) { ASSERT_TRUE(visited.emplace(key, value).second); });
            ASSERT_EQ(visited, reference);
        }
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
