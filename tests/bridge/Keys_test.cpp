#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/StringKey.hpp>

#include "common/HostFixture.hpp"

using namespace Kw;
using testing_support::domExceptionCode;

namespace {

class Keys : public testing_support::HostTest {
protected:
    HostKey hostKey(const char16_t* text) { return host.keyOf(text); }
    uint64_t stringToKeyCalls() { return host.callCount(host::StringToKey); }
};

TEST_F(Keys, ConnectRegistersAllConstantsInTableOrder) {
    const RegisteredKeyEntry* keys = registeredKeys();
    for (int i = 0; i < REGISTERED_KEY_COUNT; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(keys[i].constant->isRegistered());
        EXPECT_EQ(keys[i].constant->name().str(), keys[i].name);
        EXPECT_EQ(keys[i].constant->rawValue(), hostKey(keys[i].name));
    }
    EXPECT_EQ(static_cast<StringKey>(NULL_KEY).value(), hostKey(u"null"));
    EXPECT_EQ(static_cast<StringKey>(domImpl::XSI_TYPE).value(), hostKey(u"xsi:type"));
    EXPECT_EQ(keys[0].constant, &NULL_KEY);
    EXPECT_EQ(keys[REGISTERED_KEY_COUNT - 1].constant, &domImpl::XSI_TYPE);
}

TEST_F(Keys, StringKeyCallsTheHostOnlyForText) {
    const uint64_t before = host.totalCalls();
    StringKey none(static_cast<const XMLCh*>(nullptr));
    EXPECT_EQ(none.value(), NO_KEY);
    EXPECT_EQ(none.GetUChar16(), nullptr);
    StringKey copy = none;
    (void)copy;
    EXPECT_EQ(host.totalCalls(), before);

    StringKey empty{DOMBTString()};
    EXPECT_EQ(host.callCount(host::StringToKey), 1u);
    EXPECT_EQ(empty.value(), hostKey(u""));
    StringKey box(u"box");
    EXPECT_EQ(std::u16string(box.GetUChar16()), u"box");
    EXPECT_EQ(StringKey(DOMBTString(u"box")), box);

    host.failAt(host::StringToKey, 0x7);
    EXPECT_EQ(domExceptionCode([] { StringKey k(u"x"); }), 7);
    host.failAt(host::KeyToString, 0x3);
    EXPECT_EQ(domExceptionCode([&] { box.GetUChar16(); }), 3);
}

TEST_F(Keys, SeparatePairForms) {
    struct Case {
        const char16_t* text;
        const char16_t* first;
        const char16_t* second;
    } cases[] = {
        {u"UIEvent,DOMFocusIn", u"UIEvent", u"DOMFocusIn"},
        {u"UIEvent", u"", u""},
        {u",DOMFocusIn", u",DOMFocusIn", u""},
        {u"a,b,c", u"a", u"b,c"},
        {u"a,", u"a", u""},
        {u"", u"", u""},
    };
    for (const Case& c : cases) {
        StringKey first, second;
        SeparatePair(DOMBTString(c.text), u',', &first, &second);
        EXPECT_EQ(first.value(), hostKey(c.first)) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
        EXPECT_EQ(second.value(), hostKey(c.second));
    }
    // A null out pointer is skipped, and its part is not interned.
    host.resetCallCounts();
    StringKey first;
    SeparatePair(DOMBTString(u"MouseEvent,click"), u',', &first, nullptr);
    EXPECT_EQ(first.value(), hostKey(u"MouseEvent"));
    EXPECT_EQ(host.callCount(host::StringToKey), 1u);
}

TEST_F(Keys, SeperatePrefixName) {
    using KWLIB::seperatePrefixName;
    auto pair = seperatePrefixName(DOMBTString(u"p:Box"));
    EXPECT_EQ(pair.prefix.value(), hostKey(u"p"));
    EXPECT_EQ(pair.localName.value(), hostKey(u"Box"));
    pair = seperatePrefixName(DOMBTString(u":Box"));
    EXPECT_TRUE(pair.prefix.isNone());
    EXPECT_EQ(pair.localName.value(), hostKey(u":Box"));
    pair = seperatePrefixName(DOMBTString(u"Box"));
    EXPECT_TRUE(pair.prefix.isNone());
    EXPECT_EQ(pair.localName.value(), hostKey(u"Box"));
    host.resetCallCounts();
    pair = seperatePrefixName(DOMBTString());
    EXPECT_TRUE(pair.prefix.isNone() && pair.localName.isNone());
    EXPECT_EQ(host.totalCalls(), 0u);
}

} // namespace
