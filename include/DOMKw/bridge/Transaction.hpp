// Transactions: a client groups changes to the host's document so that the host can commit, abort or
// roll them back. All the work is the host's: each operation is one host call, and the order rules
// (begin before commit, and so on) are the host's state machine.
#pragma once

#include <cstdint>

namespace Kw {

// Client-side interfaces: the library only hands their addresses to the host and never calls them.
class ITransactionHandler {
public:
    virtual ~ITransactionHandler() = default;
};

class IValidator {
public:
    virtual ~IValidator() = default;
};

// Owns one host transaction. Move-only: a transaction is destroyed exactly once, by the object that
// holds it last; a moved-from object holds no transaction and its destruction makes no host call.
class Transaction {
public:
    // The host's transaction models; the number is passed to the host unchanged.
    enum Model : int32_t {};

    // Asks the host for a transaction in model 0.
    Transaction();
    // Asks the host for a transaction in the model; a refusal is thrown as a plain long (the status).
    explicit Transaction(Model model);
    ~Transaction();

    Transaction(Transaction&& other) noexcept;
    // Destroys the transaction held so far, then takes over `other`'s.
    Transaction& operator=(Transaction&& other) noexcept;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // True when the host accepts.
    bool Begin();
    bool Commit();
    bool Abort();
    bool Rollback();
    bool RegisterHandler(ITransactionHandler& handler);
    bool UnRegisterHandler(ITransactionHandler& handler);
    // Hands a validator to the host (null is passed on as it is).
    static bool Validate(IValidator* validator);

    // The host's handle (null for a moved-from transaction).
    void* GetImpl() const { return handle; }

private:
    bool control(int32_t operation, int64_t argument);
    void destroy() noexcept;

    void* handle = nullptr;
};

} // namespace Kw
