// The mutation events the reference host announces for the changes made through its table: every
// change the table wires announced is heard, and a change the host refuses is never announced.
#include <functional>
#include <set>

#include "bridge/CallbackTable.hpp"
#include "common/HostFixture.hpp"

using namespace Kw;

namespace {

// The distinct events a listener by names heard (it hears one event at every node on the event's way).
using Heard = std::set<void*>;
long hear(void* listener, int, void* event) { return static_cast<Heard*>(listener)->insert(event), 0; }

class MutationAnnouncer : public testing_support::HostTest {
protected:
    const host::CallbackTable& cb() { return host::callbacks(); }

    void listen(const char16_t* type, Heard& heard) {
        ASSERT_EQ(cb().SetTypeEventListener(&hear, 0, host.keyOf(type), NO_KEY, &heard, false), 0);
    }

    void TearDown() override {
        host.clearListeners();
        testing_support::HostTest::TearDown();
    }
};

// The changes the DOM does not reach (the random change sequences hear the others): each tells its
// listeners once.
TEST_F(MutationAnnouncer, InsertionFromTextAndImportAreHeard) {
    const std::string path = testing_support::testDataPath("small.xml");
    const std::u16string import(path.begin(), path.end());
    HostRef added = -1;
    const std::pair<const char*, std::function<int32_t()>> cases[] = {
        {"InsertNewChild",
         [&] { return cb().InsertNewChild(&added, host.find("colors"), u"<color/>", -1, 0); }},
        {"Import", [&] { return cb().Import(import.c_str()); }},
    };
    for (const auto& [name, change] : cases) {
        Heard heard;
        listen(u"MutationEvent,DOMNodeInserted", heard);
        EXPECT_EQ(change(), 0) << name;
        EXPECT_EQ(heard.size(), 1u) << name;
        host.clearListeners();
    }
    EXPECT_EQ(cb().AdjustReference(added, false), 0);
}

// Nothing is announced for a move or a removal the host refuses, whatever refuses it; a move refused for
// the depth it would build once announced a removal that never happened.
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
        Heard removed, inserted, modified;
        listen(u"MutationEvent,DOMNodeRemoved", removed);
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
        } else {
            EXPECT_EQ(removed.size(), 1u) << c.name;
        }
        EXPECT_EQ(inserted.size(), status == 0 && c.move ? 1u : 0u) << c.name;
        host.clearListeners();
        host.reset();
    }
}

} // namespace
