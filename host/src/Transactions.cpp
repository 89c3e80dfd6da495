// TransactionControl: transactions over the store's undo log, one active at a time.
#include "HostOperations.hpp"

#include <algorithm>

namespace kwhost {

using namespace Kw::host;

namespace {

Transactions& T() {
    return state().transactions;
}
Store& S() {
    return state().store;
}

constexpr int32_t kLogged = 0, kUnlogged = 1;

TransactionRecord* find(const void* handle) {
    auto it = T().live.find(reinterpret_cast<uintptr_t>(handle));
    return it == T().live.end() ? nullptr : &it->second;
}

void finish(TransactionRecord& t) {
    t.active = false;
    T().active = 0;
    S().dropJournal(true);
}

int32_t begin(uintptr_t handle, TransactionRecord& t) {
    if (t.active || T().active != 0) return INVALID_STATE;
    t.active = true;
    T().active = handle;
    if (t.model == kLogged) S().startJournal();
    return OK;
}

// Abort ends the transaction; rollback keeps it active for more changes. Both undo everything logged.
int32_t undo(TransactionRecord& t, bool end) {
    if (!t.active) return INVALID_STATE;
    if (t.model != kLogged) return NOT_SUPPORTED;
    S().undoJournal();
    if (end) finish(t);
    return OK;
}

int32_t create(void* field, int64_t model) {
    if (!field) return INVALID_ACCESS;
    if (model != kLogged && model != kUnlogged) return NOT_SUPPORTED;
    const uintptr_t handle = T().nextHandle++;
    T().live[handle].model = static_cast<int32_t>(model);
    *static_cast<void**>(field) = reinterpret_cast<void*>(handle);
    return OK;
}

int32_t destroy(void* field) {
    if (!field) return INVALID_ACCESS;
    const void* handle = *static_cast<void**>(field);
    TransactionRecord* t = find(handle);
    if (!t) return NOT_FOUND;
    if (t->active) {
        if (t->model == kLogged) S().undoJournal();
        finish(*t);
    }
    T().live.erase(reinterpret_cast<uintptr_t>(handle));
    return OK;
}

} // namespace

int32_t opTransactionControl(void* handle, int32_t operation, int64_t argument) {
    KWHOST_ENTER(TransactionControl);
    switch (operation) {
    case Create:
        return create(handle, argument);
    case Destroy:
        return destroy(handle);
    case Validate: {
        if (!handle) return INVALID_ACCESS;
        auto& v = T().validators;
        if (std::find(v.begin(), v.end(), handle) == v.end()) v.push_back(handle);
        return OK;
    }
    default:
        break;
    }
    TransactionRecord* t = find(handle);
    if (!t) return NOT_FOUND;
    const void* handler = reinterpret_cast<const void*>(static_cast<intptr_t>(argument));
    switch (operation) {
    case Begin:
        return begin(reinterpret_cast<uintptr_t>(handle), *t);
    case Commit:
        if (!t->active) return INVALID_STATE;
        finish(*t);
        return OK;
    case Abort:
        return undo(*t, true);
    case Rollback:
        return undo(*t, false);
    case RegisterHandler: {
        if (!handler) return INVALID_ACCESS;
        auto& h = t->handlers;
        if (std::find(h.begin(), h.end(), handler) != h.end()) return INVALID_STATE;
        h.push_back(handler);
        return OK;
    }
    case UnregisterHandler: {
        auto& h = t->handlers;
        auto it = std::find(h.begin(), h.end(), handler);
        if (it == h.end()) return NOT_FOUND;
        h.erase(it);
        return OK;
    }
    default:
        return NOT_SUPPORTED;
    }
}

} // namespace kwhost
