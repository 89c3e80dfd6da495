// Transactions against the host's tree: changes undone by abort and rollback and kept by commit, the
// order rules, handlers and validators, and the ownership of the host's transaction.
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/bridge/Transaction.hpp>

#include <functional>

#include "common/HostFixture.hpp"

using namespace Kw;

namespace {

class Transactions : public testing_support::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        host.clearValidators();
    }
    void TearDown() override {
        EXPECT_EQ(host.transactionCount(), 0u) << "a host transaction was never destroyed";
        host.clearValidators();
        HostTest::TearDown();
    }
    ElementRef at(const std::string& path) { return ElementRef::fromHandle(host.find(path)); }
    uint64_t controlCalls() { return host.callCount(host::TransactionControl); }

    struct Change {
        const char* name;
        std::function<void()> make;
    };
    std::vector<Change> changes() {
        return {
            {"attribute write",
             [this] { at("colors/color").SetAttribute(StringKey(u"name"), DOMBTString(u"Noir")); }},
            {"new attribute",
             [this] { at("colors/color[2]").SetAttribute(StringKey(u"shade"), int32_t{40}); }},
            {"text insert",
             [this] {
                 at("project/story/paragraph/textRun")
                     .get_FirstChild()
                     .SetTextValue(5, DOMBTString(u" there"));
             }},
            {"text delete",
             [this] { at("project/story/paragraph/textRun").get_FirstChild().DeleteTextValue(0, 7); }},
            {"new child",
             [this] {
                 at("project/layout/spread/page")
                     .InsertBeforeChild(DOMBTString(u"<box id=\"n\"/>"), ElementRef(), 0);
             }},
            {"move",
             [this] {
                 at("project/layout[2]/spread/page")
                     .InsertBeforeChild(at("project/layout/spread/page/box"), ElementRef());
             }},
            {"remove", [this] { at("colors").RemoveChild(at("colors/color")); }},
            {"import",
             [] {
                 const std::string p = testing_support::testDataPath("import.xml");
                 ASSERT_TRUE(KWLIB::Import(std::u16string(p.begin(), p.end()).c_str()));
             }},
            {"several, one object twice",
             [this] {
                 ElementRef color = at("colors/color");
                 color.SetAttribute(StringKey(u"name"), DOMBTString(u"A"));
                 at("colors").RemoveChild(color);
                 at("project").InsertBeforeChild(color, ElementRef());
                 color.SetAttribute(StringKey(u"name"), DOMBTString(u"B"));
                 color.SetAttribute(StringKey(u"extra"), DOMBTString(u"C"));
                 at("project").RemoveChild(color);
             }},
        };
    }
};

TEST_F(Transactions, AbortAndRollbackUndoEveryChangeAndCommitKeepsIt) {
    const std::string original = host.toXml(-1, true);
    for (const Change& c : changes()) {
        SCOPED_TRACE(c.name);
        {
            Transaction tx;
            ASSERT_TRUE(tx.Begin());
            c.make();
            EXPECT_NE(host.toXml(-1, true), original);
            EXPECT_TRUE(tx.Abort());
            EXPECT_EQ(host.toXml(-1, true), original);
            EXPECT_FALSE(host.transactionActive(tx.GetImpl()));
        }
        {
            Transaction tx;
            ASSERT_TRUE(tx.Begin());
            c.make();
            EXPECT_TRUE(tx.Rollback());
            EXPECT_EQ(host.toXml(-1, true), original);
            // Rollback leaves the transaction open: a later change is committed.
            EXPECT_TRUE(host.transactionActive(tx.GetImpl()));
            c.make();
            const std::string changed = host.toXml(-1, true);
            EXPECT_TRUE(tx.Commit());
            EXPECT_EQ(host.toXml(-1, true), changed);
            EXPECT_EQ(host.undoLogLength(), 0u);
        }
        host.loadFile(testing_support::testDataPath("small.xml"));
        EXPECT_EQ(host.toXml(-1, true), original);
    }
    EXPECT_EQ(host.outstandingReferences(), 0);
}

TEST_F(Transactions, ARemovedElementLivesUntilTheTransactionCanNoLongerPutItBack) {
    const HostRef color = host.find("colors/color");
    const size_t live = host.liveObjects();
    {
        Transaction tx;
        ASSERT_TRUE(tx.Begin());
        at("colors").RemoveChild(at("colors/color")); // we keep no reference to it
        EXPECT_TRUE(host.exists(color));
        ASSERT_TRUE(tx.Abort());
        EXPECT_EQ(host.find("colors/color"), color); // back in its place
    }
    {
        Transaction tx;
        ASSERT_TRUE(tx.Begin());
        at("colors").RemoveChild(at("colors/color"));
        ASSERT_TRUE(tx.Commit());
        EXPECT_FALSE(host.exists(color)); // nothing keeps it now
        EXPECT_EQ(host.liveObjects(), live - 1);
    }
    {
        // An element inserted and then undone is freed as soon as nothing refers to it.
        Transaction tx;
        ASSERT_TRUE(tx.Begin());
        HostRef added;
        {
            ElementRef e = at("colors").InsertBeforeChild(DOMBTString(u"<color id=\"x\"><note/></color>"),
                                                          ElementRef(), 0);
            added = e.get();
        }
        EXPECT_TRUE(host.exists(added));
        ASSERT_TRUE(tx.Abort());
        EXPECT_FALSE(host.exists(added));
    }
}

TEST_F(Transactions, OrderRules) {
    Transaction a, b;
    EXPECT_FALSE(a.Commit()); // not begun
    EXPECT_FALSE(a.Abort());
    EXPECT_FALSE(a.Rollback());
    EXPECT_TRUE(a.Begin());
    EXPECT_FALSE(a.Begin()); // no nested begin
    EXPECT_FALSE(b.Begin()); // one active transaction at a time
    EXPECT_TRUE(a.Commit());
    EXPECT_FALSE(a.Commit());
    EXPECT_TRUE(b.Begin()); // free again
    at("colors/color").SetAttribute(StringKey(u"name"), DOMBTString(u"Noir"));
    EXPECT_EQ(host.undoLogLength(), 1u);
    EXPECT_TRUE(b.Abort());
    EXPECT_TRUE(a.Begin()); // a transaction can be begun again after its end
    EXPECT_TRUE(a.Abort());

    // Destroying an active transaction aborts it.
    {
        Transaction c;
        ASSERT_TRUE(c.Begin());
        at("colors/color").SetAttribute(StringKey(u"name"), DOMBTString(u"Noir"));
    }
    EXPECT_EQ(at("colors/color").GetAttribute(StringKey(u"name")).str(), u"Black");

    // A model the host does not have is refused at creation, as a long.
    long status = 0;
    try {
        Transaction bad(Transaction::Model{42});
    } catch (long s) {
        status = s;
    }
    EXPECT_EQ(status, kwhost::NOT_SUPPORTED);

    // Unlogged: nothing to undo.
    Transaction u(kwhost::UNLOGGED);
    ASSERT_TRUE(u.Begin());
    at("colors/color").SetAttribute(StringKey(u"name"), DOMBTString(u"Noir"));
    EXPECT_EQ(host.undoLogLength(), 0u);
    EXPECT_FALSE(u.Abort());
    EXPECT_FALSE(u.Rollback());
    EXPECT_TRUE(u.Commit());
    EXPECT_EQ(at("colors/color").GetAttribute(StringKey(u"name")).str(), u"Noir");
}

TEST_F(Transactions, HandlersAndValidatorsAreRecorded) {
    Transaction tx;
    ITransactionHandler h1, h2;
    EXPECT_TRUE(tx.RegisterHandler(h1));
    EXPECT_TRUE(tx.RegisterHandler(h2));
    EXPECT_FALSE(tx.RegisterHandler(h1));
    EXPECT_EQ(host.transactionHandlers(tx.GetImpl()), (std::vector<const void*>{&h1, &h2}));
    EXPECT_TRUE(tx.UnRegisterHandler(h1));
    EXPECT_FALSE(tx.UnRegisterHandler(h1));
    EXPECT_EQ(host.transactionHandlers(tx.GetImpl()), (std::vector<const void*>{&h2}));

    IValidator v;
    const uint64_t before = controlCalls();
    EXPECT_FALSE(Transaction::Validate(nullptr)); // passed on, and refused by this host
    EXPECT_EQ(controlCalls(), before + 1);
    EXPECT_TRUE(Transaction::Validate(&v));
    EXPECT_EQ(host.validators(), (std::vector<const void*>{&v}));
}

TEST_F(Transactions, MovedFromTransactionsHoldNothingAndDestroyNothing) {
    Transaction a;
    void* handle = a.GetImpl();
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(host.transactionCount(), 1u);

    Transaction b(std::move(a));
    EXPECT_EQ(a.GetImpl(), nullptr);
    EXPECT_EQ(b.GetImpl(), handle);
    EXPECT_TRUE(b.Begin());
    EXPECT_FALSE(a.Begin()); // a holds no transaction: the host refuses

    {
        // Overwriting a transaction destroys it; the moved-from one makes no host call when it ends.
        Transaction c;
        void* cHandle = c.GetImpl();
        const uint64_t before = controlCalls();
        c = std::move(b);
        EXPECT_EQ(controlCalls(), before + 1); // the destruction of c's own transaction
        EXPECT_EQ(c.GetImpl(), handle);
        EXPECT_FALSE(host.transactionActive(cHandle));
        EXPECT_EQ(host.transactionCount(), 1u);
        c = std::move(c); // self-move changes nothing
        EXPECT_EQ(c.GetImpl(), handle);
        EXPECT_TRUE(host.transactionActive(handle));
        const uint64_t beforeEnds = controlCalls();
        { Transaction moved(std::move(c)); }
        EXPECT_EQ(controlCalls(), beforeEnds + 1);
        EXPECT_EQ(host.transactionCount(), 0u);
    }
    const uint64_t before = controlCalls();
    { Transaction gone(std::move(a)); }
    EXPECT_EQ(controlCalls(), before); // nothing held, nothing destroyed
}

} // namespace
