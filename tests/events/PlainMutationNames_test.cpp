// The W3C names of the mutation events register the host's "MutationEvent,..." types.
#include "events/EventsFixture.hpp"

namespace {

using namespace testing_support;

class PlainMutationNames : public EventsTest {};

TEST_F(PlainMutationNames, PlainW3cMutationNamesFireLikeTheHostsOwnNames) {
    Owned colors(at("colors")), color(at("colors/color[2]"));
    struct Case {
        const XMLCh* plain;
        std::function<void()> change;
    } cases[] = {
        {u"DOMAttrModified", [&] { static_cast<DOMElement*>(color.node)->setAttribute(u"name", u"Plain"); }},
        {u"DOMNodeInserted", [&] { Owned fresh(doc->createElement(u"color")); Owned added(colors->appendChild(fresh.node)); }},
        {u"DOMSubtreeModified", [&] { static_cast<DOMElement*>(color.node)->setAttribute(u"name", u"Again"); }},
    };
    for (const Case& c : cases) {
        std::vector<std::u16string> types;
        FnListener listener([&](Event* evt) { types.push_back(str(evt->getType())); });
        on(colors)->addEventListener(c.plain, &listener, false);
        // The same registration as the host's own name: adding that as well is the host's no-op.
        on(colors)->addEventListener((std::u16string(u"MutationEvent,") + c.plain).c_str(), &listener, false);
        ASSERT_EQ(host.listeners().size(), 1u) << narrow(c.plain);
        EXPECT_EQ(host.listeners()[0].type, host.keyOf(u"MutationEvent," + std::u16string(c.plain)));
        c.change();
        ASSERT_FALSE(types.empty()) << narrow(c.plain) << " never fired";
        EXPECT_EQ(types.front(), u"MutationEvent," + std::u16string(c.plain)) << "delivered under the host's name";
        on(colors)->removeEventListener(c.plain, &listener, false);
        EXPECT_TRUE(host.listeners().empty()) << narrow(c.plain) << ": removal by the plain name";
    }
}

TEST_F(PlainMutationNames, OtherNamesReachTheHostUnchanged) {
    Owned app(doc->getDocumentElement());
    FnListener listener;
    for (const XMLCh* type : {u"domattrmodified", u"DOMAttrModifiedX", u"MyEvent", u"BTMMenuClick", u"UIEvent,DOMActivate"}) {
        on(app)->addEventListener(type, &listener, false);
        ASSERT_EQ(host.listeners().size(), 1u);
        EXPECT_EQ(host.listeners()[0].type, host.keyOf(type)) << narrow(type);
        on(app)->removeEventListener(type, &listener, false);
    }
    // By names too: the first name is the event type.
    EventTarget::addEventListener(u"DOMAttrModified", u"color", &listener, false);
    ASSERT_EQ(host.listeners().size(), 1u);
    EXPECT_EQ(host.listeners()[0].first, host.keyOf(u"MutationEvent,DOMAttrModified"));
    Owned color(at("colors/color[2]"));
    static_cast<DOMElement*>(color.node)->setAttribute(u"name", u"ByNames");
    EXPECT_EQ(listener.calls, 1);
    EventTarget::removeEventListener(u"DOMAttrModified", u"color", &listener, false);
    EXPECT_TRUE(host.listeners().empty());
}

} // namespace
