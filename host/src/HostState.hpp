// The host's process-wide state and the bookkeeping every operation goes through.
#pragma once

#include "EventFlow.hpp"
#include "EventObjects.hpp"
#include "ListenerRegistry.hpp"
#include "Schema.hpp"
#include "Store.hpp"
#include "Transactions.hpp"

#include <array>

namespace kwhost {

struct Injection {
    int countdown = 0; // calls left before the failing one; 0 when nothing is armed
    int32_t status = 0;
};

struct HostState {
    Store store;
    std::array<uint64_t, Kw::host::SelectorCount> calls{};
    std::array<Injection, Kw::host::SelectorCount> injections{};
    std::vector<HostRef> refusedReleases; // releases an injected failure refused, in order
    Kw::ActivateRec rec{};
    Transactions transactions;
    Schema schema;
    ListenerRegistry listeners;
    EventObjects events;
    Deliveries deliveries;

    // Counts the call; answers the injected status when this is the armed call, else 0.
    int32_t enter(int selector) {
        ++calls[selector];
        Injection& inj = injections[selector];
        if (inj.countdown > 0 && --inj.countdown == 0) return inj.status;
        return 0;
    }
};

HostState& state();

// Every operation starts here: counted, and answering an injected failure before doing anything.
#define KWHOST_ENTER(sel)                                                                                    \
    if (int32_t injected = ::kwhost::state().enter(sel)) return injected

// Fills the library's table with the host's operations.
int32_t getCallbacks(uint64_t table[], int count);

} // namespace kwhost
