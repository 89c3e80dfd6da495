// The reference host's side of events through its operations: the life of event objects, and the
// mutation events of moves, which the library's DOM never asks for.
#include "events/EventsFixture.hpp"

using namespace testing_support;

namespace {

using HostEvents = EventsTest;

const Kw::host::CallbackTable& cb() {
    return Kw::host::callbacks();
}

long recordCall(void* listener, int phase, void* event) {
    static_cast<std::vector<std::pair<int, Kw::HostRef>>*>(listener)->emplace_back(
        phase, reinterpret_cast<Kw::HostRef>(event));
    return 0;
}

TEST_F(HostEvents, eventObjectsLiveWhileReferenced) {
    const size_t before = host.liveEvents();
    Kw::HostRef handle = -1;
    {
        std::unique_ptr<Event> evt = create(u"MouseEvent,click");
        handle = hostEventOf(evt.get()).get();
        EXPECT_TRUE(host.exists(handle));
        EXPECT_EQ(host.liveEvents(), before + 1);
        // It starts with the attributes of its interface, readable at once.
        EXPECT_EQ(attr(evt.get(), u"relatedTarget"), u"null");
        EXPECT_EQ(attr(evt.get(), u"ScreenX"), u"0");
        EXPECT_FALSE(evt->getBubbles());
        EXPECT_EQ(evt->getTarget(), nullptr);
    }
    EXPECT_FALSE(host.exists(handle));
    EXPECT_EQ(host.liveEvents(), before);
}

TEST_F(HostEvents, movesAreAnnouncedAsRemovalThenInsertion) {
    const Kw::HostRef page = host.find("project/layout/spread/page");
    const Kw::HostRef b1 = host.find("project/layout/spread/page/box");
    const Kw::HostRef b2 = host.find("project/layout/spread/page/box[2]");
    const Kw::HostRef story = host.find("project/story");
    std::vector<std::pair<int, Kw::HostRef>> calls;
    const Kw::HostKey null = host.keyOf(u"null");
    for (const char16_t* type : {u"MutationEvent,DOMNodeRemoved", u"MutationEvent,DOMNodeInserted"})
        ASSERT_EQ(cb().SetTargetEventListener(&recordCall, 0, host.keyOf(type), b2, null, &calls, false), 0);
    // Where it already is: no change, no event.
    ASSERT_EQ(cb().InsertBeforeChild(page, b2, -1), 0);
    EXPECT_TRUE(calls.empty());
    ASSERT_EQ(cb().InsertBeforeChild(page, b2, b1), 0);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].first, 2);
    EXPECT_EQ(calls[1].first, 2);
    // A refused move announces nothing.
    calls.clear();
    EXPECT_EQ(cb().InsertBeforeChild(page, b2, story), kwhost::NOT_FOUND);
    EXPECT_TRUE(calls.empty());
}

TEST_F(HostEvents, writesToEventObjectsAreNoMutations) {
    FnListener anyAttribute;
    EventTarget::addEventListener(u"MutationEvent,DOMAttrModified", u"", &anyAttribute, true);
    std::unique_ptr<Event> evt = create(u"CustomEvent,x");
    evt->initEvent(u"CustomEvent,y", true, true);
    EXPECT_EQ(anyAttribute.calls, 0);
    EventTarget::removeEventListener(u"MutationEvent,DOMAttrModified", u"", &anyAttribute, true);
}

} // namespace
