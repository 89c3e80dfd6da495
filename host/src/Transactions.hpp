// The transactions TransactionControl keeps: their models, handlers and the one active.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

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

} // namespace kwhost
