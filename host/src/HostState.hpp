// The host's process-wide state and the bookkeeping every operation goes through.
#pragma once

#include "EventFlow.hpp"
#include "EventObjects.hpp"
#include "ListenerRegistry.hpp"
#include "Store.hpp"

#include <array>
#include <map>
#include <set>

namespace kwhost {

struct TransactionRecord {
    int32_t model = 0;
    bool active = false;
    std::vector<const void*> handlers;
};

struct Transactions {
    std::map<uintptr_t, TransactionRecord> live; // by handle
    uintptr_t nextHandle = 1;
    uintptr_t active = 0; // the one active transaction, 0 for none
    std::vector<const void*> validators;
};

// What plug-ins registered, kept as it arrived.
struct Schema {
    std::vector<NamespaceRegistration> namespaces;
    std::vector<DeclarationRegistration> declarations;
    std::vector<Kw::KWLIB::PrefixNamePair> initialized;
    std::vector<EnumValue> enums;
    std::map<const void*, std::unique_ptr<BaseInstance>> instances;
    std::map<const void*, uint64_t> xpathReleases;
    std::set<const Kw::KWLIB::ValueMap*> valueMaps; // the live kwhost::ValueMap objects
};

inline bool samePair(const Kw::KWLIB::PrefixNamePair& a, const Kw::KWLIB::PrefixNamePair& b) {
    return a.prefix == b.prefix && a.localName == b.localName;
}

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
