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
    int armed = 0; // selectors with a failure armed: while none is, a call is one count and one branch
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
        if (__builtin_expect(armed == 0, 1)) return 0;
        return countDown(selector);
    }
    int32_t countDown(int selector) {
        Injection& inj = injections[selector];
        if (inj.countdown > 0 && --inj.countdown == 0) {
            --armed;
            return inj.status;
        }
        return 0;
    }
    // After a change of `injections`.
    void recountArmed() {
        armed = 0;
        for (const Injection& i : injections) armed += i.countdown > 0;
    }
};

// The state is made on first use; afterwards every operation reaches it through one pointer, without
// the guard of a function-local static or a call through the library's symbol table.
HostState& makeState();
extern HostState* theState __attribute__((visibility("hidden")));
inline HostState& state() {
    HostState* s = theState;
    return __builtin_expect(s != nullptr, 1) ? *s : makeState();
}

// Every operation starts here: counted, and answering an injected failure before doing anything.
#define KWHOST_ENTER(sel)                                                                                    \
    if (int32_t injected = ::kwhost::state().enter(sel)) return injected

// Fills the library's table with the host's operations.
int32_t getCallbacks(uint64_t table[], int count);

} // namespace kwhost
