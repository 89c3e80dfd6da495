// The reference host's side of events: what a listener finds in the host while a removal is announced
// (refused changes announcing nothing: host/MutationAnnouncer).
#include "events/EventsFixture.hpp"

#include <functional>

using namespace testing_support;

namespace {

using HostEvents = EventsTest;

const Kw::host::CallbackTable& cb() {
    return Kw::host::callbacks();
}

// What a listener finds in the host while a removal is announced.
struct Witness {
    Kw::HostRef node = -1, parent = -1;
    struct Seen {
        Kw::HostRef target, parent;
        bool amongChildren;
    };
    std::vector<Seen> seen;
};

long witnessCall(void* listener, int, void* event) {
    auto* w = static_cast<Witness*>(listener);
    Kw::HostRef parent = -1;
    cb().NavigateElement(&parent, w->node, Kw::host::Parent, Kw::NO_KEY, 0);
    bool among = false;
    Kw::HostRef child = -1;
    cb().NavigateElement(&child, w->parent, Kw::host::FirstChild, Kw::NO_KEY, 0);
    while (child >= 0) {
        among = among || child == w->node;
        Kw::HostRef next = -1;
        cb().NavigateElement(&next, child, Kw::host::NextSibling, Kw::NO_KEY, 0);
        child = next;
    }
    w->seen.push_back({reinterpret_cast<Kw::HostRef>(event), parent, among});
    return 0;
}

TEST_F(HostEvents, removalIsAnnouncedWhileTheNodeIsStillInPlace) {
    Kw::HostRef page = -1, page2 = -1;
    const Kw::HostKey null = host.keyOf(u"null");
    const Kw::HostKey removed = host.keyOf(u"MutationEvent,DOMNodeRemoved");
    const Kw::HostKey fromDocument = host.keyOf(u"MutationEvent,DOMNodeRemovedFromDocument");
    struct Case {
        const char* what;
        std::function<int32_t(Kw::HostRef node)> change;
    } cases[] = {
        {"RemoveChild", [&](Kw::HostRef node) { return cb().RemoveChild(page, node); }},
        {"a move", [&](Kw::HostRef node) { return cb().InsertBeforeChild(page2, node, -1); }},
    };
    for (const Case& c : cases) {
        host.loadFile(testDataPath("small.xml"));
        page = host.find("project/layout/spread/page");
        page2 = host.find("project/layout[2]/spread/page");
        Witness w;
        w.node = host.find("project/layout/spread/page/box");
        w.parent = page;
        for (Kw::HostKey type : {removed, fromDocument})
            ASSERT_EQ(cb().SetTargetEventListener(&witnessCall, 0, type, w.node, null, &w, false), 0);
        ASSERT_EQ(c.change(w.node), 0) << c.what;
        // Both events, each while the node still had its parent and was among its parent's children.
        ASSERT_EQ(w.seen.size(), c.what == std::string("a move") ? 1u : 2u) << c.what;
        for (const Witness::Seen& s : w.seen) {
            EXPECT_EQ(s.parent, page) << c.what;
            EXPECT_TRUE(s.amongChildren) << c.what;
        }
        // The change itself happened.
        Kw::HostRef parent = -1;
        cb().NavigateElement(&parent, w.node, Kw::host::Parent, Kw::NO_KEY, 0);
        EXPECT_NE(parent, page) << c.what;
        host.clearListeners();
    }
}

} // namespace
