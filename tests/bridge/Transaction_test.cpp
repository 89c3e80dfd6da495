// Transactions: the order rules and the ownership of the host's transaction.
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/bridge/Transaction.hpp>

#include <functional>

#include "common/HostFixture.hpp"

using namespace Kw;

namespace {

class Transactions : public testing_support::HostTest {
protected:
    void TearDown() override {
        EXPECT_EQ(host.transactionCount(), 0u) << "a host transaction was never destroyed";
        HostTest::TearDown();
    }
    ElementRef at(const std::string& path) { return ElementRef::fromHandle(host.find(path)); }
    void rename(const char16_t* name) { at("colors/color").SetAttribute(StringKey(u"name"), DOMBTString(name)); }
    std::u16string colorName() { return at("colors/color").GetAttribute(StringKey(u"name")).str(); }
};

TEST_F(Transactions, OrderRules) {
    Transaction a, b;
    // (call, expected result) in order: not begun, no nested begin, one active at a time, begun again.
    const std::pair<std::function<bool()>, bool> steps[] = {
        {[&] { return a.Commit(); }, false}, {[&] { return a.Abort(); }, false},
        {[&] { return a.Rollback(); }, false}, {[&] { return a.Begin(); }, true},
        {[&] { return a.Begin(); }, false}, {[&] { return b.Begin(); }, false},
        {[&] { return a.Commit(); }, true}, {[&] { return a.Commit(); }, false},
        {[&] { return b.Begin(); }, true}, {[&] { return rename(u"Noir"), host.undoLogLength() == 1; }, true},
        {[&] { return b.Abort(); }, true}, {[&] { return a.Begin(); }, true}, {[&] { return a.Abort(); }, true}};
    for (size_t i = 0; i < std::size(steps); ++i) EXPECT_EQ(steps[i].first(), steps[i].second) << i;
    EXPECT_EQ(colorName(), u"Black");
    {
        Transaction c; // destroying an active transaction aborts it
        ASSERT_TRUE(c.Begin());
        rename(u"Noir");
    }
    EXPECT_EQ(colorName(), u"Black");
    long status = 0; // a model the host does not have is refused at creation, as a long
    try {
        Transaction bad(Transaction::Model{42});
    } catch (long s) {
        status = s;
    }
    EXPECT_EQ(status, kwhost::NOT_SUPPORTED);
    Transaction u(kwhost::UNLOGGED); // nothing to undo
    ASSERT_TRUE(u.Begin());
    rename(u"Noir");
    EXPECT_EQ(host.undoLogLength(), 0u);
    EXPECT_FALSE(u.Abort() || u.Rollback());
    EXPECT_TRUE(u.Commit());
    EXPECT_EQ(colorName(), u"Noir");
}

TEST_F(Transactions, MovedFromTransactionsHoldNothingAndDestroyNothing) {
    Transaction a;
    void* handle = a.GetImpl();
    Transaction b(std::move(a));
    EXPECT_EQ(a.GetImpl(), nullptr);
    EXPECT_EQ(b.GetImpl(), handle);
    EXPECT_TRUE(b.Begin());
    EXPECT_FALSE(a.Begin()); // a holds no transaction: the host refuses
    Transaction c;
    void* cHandle = c.GetImpl();
    c = std::move(b); // overwriting a transaction destroys it
    EXPECT_FALSE(host.transactionActive(cHandle));
    EXPECT_EQ(host.transactionCount(), 1u);
    c = std::move(c); // self-move changes nothing
    EXPECT_TRUE(host.transactionActive(handle));
    { Transaction moved(std::move(c)); }
    EXPECT_EQ(host.transactionCount(), 0u);
    const uint64_t before = host.callCount(host::TransactionControl);
    { Transaction gone(std::move(a)); }
    EXPECT_EQ(host.callCount(host::TransactionControl), before); // nothing held, nothing destroyed
}

} // namespace
