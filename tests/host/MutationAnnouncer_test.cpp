// The mutation events the reference host announces for the changes made through its table: a change the
// host refuses is never announced, and a removal (a move's included) is announced while the node is still
// in place.
#include <set>

#include "bridge/CallbackTable.hpp"
#include "common/HostFixture.hpp"

using namespace Kw;

namespace {

const host::CallbackTable& cb() {
    return host::callbacks();
}

// Whether `child` is still under `parent`, read both ways: its parent, and its parent's children.
bool inPlace(HostRef parent, HostRef child) {
    HostRef up = -1, at = -1;
    cb().NavigateElement(&up, child, host::Parent, NO_KEY, 0);
    cb().NavigateElement(&at, parent, host::FirstChild, NO_KEY, 0);
    while (at >= 0 && at != child) {
        HostRef next = -1;
        cb().NavigateElement(&next, at, host::NextSibling, NO_KEY, 0);
        at = next;
    }
    return up == parent && at == child;
}

// What a listener by names heard: the distinct events (it hears one event at every node on the event's
// way) and whether the watched child was in place under its parent at every delivery.
struct Heard {
    std::set<void*> events;
    HostRef parent = -1, child = -1;
    bool alwaysInPlace = true;
    size_t size() const { return events.size(); }
    bool empty() const { return events.empty(); }
};
long hear(void* listener, int, void* event) {
    auto* heard = static_cast<Heard*>(listener);
    heard->events.insert(event);
    if (heard->child >= 0)
        heard->alwaysInPlace = heard->alwaysInPlace && inPlace(heard->parent, heard->child);
    return 0;
}

class MutationAnnouncer : public testing_support::HostTest {
protected:
    void listen(const char16_t* type, Heard& heard) {
        ASSERT_EQ(cb().SetTypeEventListener(&hear, 0, host.keyOf(type), NO_KEY, &heard, false), 0);
    }

    void TearDown() override {
        host.clearListeners();
        testing_support::HostTest::TearDown();
    }
};

// Nothing is announced for a move or a removal the host refuses, whatever refuses it; a move refused for
// the depth it would build once announced a removal that never happened. A removal made is announced
// (and, out of the document, announced so) while the node is still where it was.
TEST_F(MutationAnnouncer, ARefusedMoveOrRemovalIsNeverAnnounced) {
    struct Case {
        const char* name;
        bool move;
        const char *parent, *child; // paths from the application element
        size_t depthBound;
        int injected; // the status InsertBeforeChild or RemoveChild is made to answer, 0 for none
        int32_t status;
    } cases[] = {
        {"deeper than the bound", true, "project/layout/spread/page/box", "colors", 7, 0, kwhost::INDEX_SIZE},
        {"under a read-only element", true, "preferences", "colors", kwhost::MAX_DEPTH, 0,
         kwhost::NO_MODIFICATION},
        {"under itself", true, "project/layout", "project", kwhost::MAX_DEPTH, 0, kwhost::HIERARCHY_REQUEST},
        {"refused by the host", true, "project", "colors", kwhost::MAX_DEPTH, 0x77, 0x77},
        {"made at the bound", true, "project", "colors", 4, 0, 0},
        {"from a read-only element", false, "preferences", "preferences/measurement", kwhost::MAX_DEPTH, 0,
         kwhost::NO_MODIFICATION},
        {"from another parent", false, "project", "project/layout/spread", kwhost::MAX_DEPTH, 0,
         kwhost::NOT_FOUND},
        {"removal refused by the host", false, "project", "project/layout", kwhost::MAX_DEPTH, 0x77, 0x77},
        {"removal made", false, "project", "project/layout", kwhost::MAX_DEPTH, 0, 0},
    };
    for (const Case& c : cases) {
        host.loadFile(testing_support::testDataPath("small.xml"));
        const HostRef parent = host.find(c.parent), child = host.find(c.child);
        ASSERT_TRUE(host.exists(parent) && host.exists(child)) << c.name;
        Heard removed, fromDocument, inserted, modified;
        HostRef oldParent = -1;
        cb().NavigateElement(&oldParent, child, host::Parent, NO_KEY, 0);
        for (Heard* watching : {&removed, &fromDocument}) {
            watching->parent = oldParent;
            watching->child = child;
        }
        listen(u"MutationEvent,DOMNodeRemoved", removed);
        listen(u"MutationEvent,DOMNodeRemovedFromDocument", fromDocument);
        listen(u"MutationEvent,DOMNodeInserted", inserted);
        listen(u"MutationEvent,DOMSubtreeModified", modified);
        host.setDepthBound(c.depthBound);
        if (c.injected) host.failAt(c.move ? host::InsertBeforeChild : host::RemoveChild, c.injected, 1);
        const std::string before = host.toXml();
        const int32_t status =
            c.move ? cb().InsertBeforeChild(parent, child, -1) : cb().RemoveChild(parent, child);
        EXPECT_EQ(status, c.status) << c.name;
        if (status != 0) {
            EXPECT_EQ(host.toXml(), before) << c.name;
            EXPECT_TRUE(removed.empty()) << c.name;
            EXPECT_TRUE(modified.empty()) << c.name;
            EXPECT_TRUE(fromDocument.empty()) << c.name;
        } else {
            EXPECT_EQ(removed.size(), 1u) << c.name;
            EXPECT_EQ(fromDocument.empty(), c.move) << c.name;
            EXPECT_TRUE(removed.alwaysInPlace && fromDocument.alwaysInPlace)
                << c.name << ": announced too late";
            EXPECT_FALSE(inPlace(oldParent, child)) << c.name << ": the change itself did not happen";
        }
        EXPECT_EQ(inserted.size(), status == 0 && c.move ? 1u : 0u) << c.name;
        host.clearListeners();
        host.reset();
    }
}

} // namespace
