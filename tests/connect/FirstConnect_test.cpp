// A process of its own: what happens before and during the first Connect.
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/bridge/StringKey.hpp>

#include "common/HostFixture.hpp"

using namespace Kw;
using testing_support::domExceptionCode;

namespace {

TEST(FirstConnect, CallsBeforeConnectFailCleanly) {
    // The table is empty until Connect: facade calls report an error instead of jumping through null.
    EXPECT_EQ(domExceptionCode([] { StringKey k(u"early"); }), 11);
    EXPECT_EQ(domExceptionCode([] { ElementRef::get_Application(); }), 11);
    EXPECT_TRUE(ElementRef().get_FirstChild().isNil());
    EXPECT_EQ(ElementRef().GetTextValue().GetLength(), 0);
}

TEST(FirstConnect, FailedRegistrationStopsConnectAndLeavesTheRestLazy) {
    kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
    host.loadFile(testing_support::testDataPath("small.xml"));
    // The 10th registration fails: keys 1-9 stay valid, the 10th keeps its name without a key, the
    // later ones keep neither.
    host.failAt(host::StringToKey, 0x20008, 10);
    EXPECT_EQ(domExceptionCode([&] { Connect(host.activateRec()); }), 8);
    const RegisteredKeyEntry* keys = registeredKeys();
    for (int i = 0; i < 9; ++i) {
        EXPECT_TRUE(keys[i].constant->isRegistered()) << i;
        EXPECT_EQ(keys[i].constant->rawValue(), host.keyOf(keys[i].name)) << i;
    }
    EXPECT_FALSE(TARGET_KEY.isRegistered());
    EXPECT_EQ(TARGET_KEY.rawValue(), NO_KEY);
    EXPECT_EQ(TARGET_KEY.name().str(), u"target");
    for (int i = 10; i < REGISTERED_KEY_COUNT; ++i) {
        EXPECT_EQ(keys[i].constant->rawValue(), NO_KEY) << i;
        EXPECT_TRUE(keys[i].constant->name().IsEmpty()) << i;
    }
    // First use registers the named constant once; it keeps its key afterwards.
    const uint64_t before = host.callCount(host::StringToKey);
    EXPECT_EQ(static_cast<StringKey>(TARGET_KEY).value(), host.keyOf(u"target"));
    EXPECT_EQ(static_cast<StringKey>(TARGET_KEY).value(), host.keyOf(u"target"));
    EXPECT_EQ(host.callCount(host::StringToKey), before + 1);
    EXPECT_TRUE(TARGET_KEY.isRegistered());

    // A repeated Connect registers everything.
    Connect(host.activateRec());
    for (int i = 0; i < REGISTERED_KEY_COUNT; ++i) {
        EXPECT_EQ(keys[i].constant->rawValue(), host.keyOf(keys[i].name)) << i;
    }
    EXPECT_FALSE(host.failureArmed());
    EXPECT_EQ(host.outstandingReferences(), 0);
}

} // namespace
