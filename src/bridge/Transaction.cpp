#include <DOMKw/bridge/Transaction.hpp>

#include "bridge/CallbackTable.hpp"
#include "bridge/HostStatus.hpp"

namespace Kw {

using host::callbacks;

Transaction::Transaction() : Transaction(Model{0}) {}

Transaction::Transaction(Model model) {
    // The host writes its handle through the field's address.
    checkStatusAsLong(callbacks().TransactionControl(&handle, host::Create, static_cast<int64_t>(model)));
}

Transaction::~Transaction() {
    destroy();
}

Transaction::Transaction(Transaction&& other) noexcept : handle(other.handle) {
    other.handle = nullptr;
}

Transaction& Transaction::operator=(Transaction&& other) noexcept {
    if (this != &other) {
        destroy();
        handle = other.handle;
        other.handle = nullptr;
    }
    return *this;
}

void Transaction::destroy() noexcept {
    // The host's answer is not examined: there is nothing left to do with a refusal here.
    if (handle) notExamined(callbacks().TransactionControl(&handle, host::Destroy, 0));
    handle = nullptr;
}

bool Transaction::control(int32_t operation, int64_t argument) {
    return succeeded(callbacks().TransactionControl(handle, operation, argument));
}

bool Transaction::Begin() {
    return control(host::Begin, 0);
}
bool Transaction::Commit() {
    return control(host::Commit, 0);
}
bool Transaction::Abort() {
    return control(host::Abort, 0);
}
bool Transaction::Rollback() {
    return control(host::Rollback, 0);
}

bool Transaction::RegisterHandler(ITransactionHandler& handler) {
    return control(host::RegisterHandler, reinterpret_cast<intptr_t>(&handler));
}

bool Transaction::UnRegisterHandler(ITransactionHandler& handler) {
    return control(host::UnregisterHandler, reinterpret_cast<intptr_t>(&handler));
}

bool Transaction::Validate(IValidator* validator) {
    return succeeded(callbacks().TransactionControl(validator, host::Validate, 0));
}

} // namespace Kw
