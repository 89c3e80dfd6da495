// The document's list of live node objects: objects join and leave it in any order, the document's
// release() ends whatever is still in it, and an object ended by either way is refused afterwards.
#include "common/DomFixture.hpp"

#include <algorithm>
#include <random>
#include <vector>

using namespace testing_support;
using domImpl::DocumentImpl;
using domImpl::ElementImpl;

namespace {

class LiveList : public DomTest {
protected:
    // Elements (one handed out twice), text nodes and attribute nodes, in the order they were made.
    std::vector<DOMNode*> holdMixedNodes() {
        std::vector<DOMNode*> held;
        for (const char* path :
             {"colors", "project/layout/spread/page/box", "project/story/paragraph/textRun"}) {
            DOMElement* element = at(path);
            held.push_back(element);
            if (DOMNode* first = element->getFirstChild()) held.push_back(first);
            DOMNamedNodeMap* attrs = element->getAttributes();
            for (XMLSize_t i = 0; i < attrs->getLength(); ++i) held.push_back(attrs->item(i));
        }
        held.push_back(at("colors")); // a second hand-out of a shared element
        return held;
    }
};

TEST_F(LiveList, nodesEndedInAnyOrderThenTheRestByReleaseAreAllRefusedAfterwards) {
    enum Order { OLDEST_FIRST, NEWEST_FIRST, SHUFFLED };
    constexpr size_t ALL = ~size_t(0);
    struct Case {
        const char* what;
        Order order;
        size_t leftToRelease; // how many hand-outs, the last in that order, the release ends
    } cases[] = {
        {"none ended before the release", OLDEST_FIRST, ALL},
        {"oldest first, some left", OLDEST_FIRST, 5},
        {"newest first, some left", NEWEST_FIRST, 5},
        {"shuffled, one left", SHUFFLED, 1},
        {"shuffled, none left", SHUFFLED, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        openDocument();
        std::vector<DOMNode*> held = holdMixedNodes();
        ASSERT_GT(held.size(), 8u);
        std::vector<DOMNode*> distinct(held);
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        ASSERT_EQ(doc->liveNodeCount(), distinct.size());

        if (c.order == NEWEST_FIRST) std::reverse(held.begin(), held.end());
        if (c.order == SHUFFLED) std::shuffle(held.begin(), held.end(), std::mt19937(11));
        const size_t ending = held.size() - std::min(held.size(), c.leftToRelease);
        for (size_t i = 0; i < ending; ++i) dom::dispose(held[i]);
        // Whatever is left, the shared element's remaining hand-out included, goes with the document.
        doc->release();
        doc = nullptr;
        EXPECT_EQ(host.outstandingReferences(), 0);
        for (DOMNode* node : distinct)
            EXPECT_EQ(domExceptionCode([&] { dom::dispose(node); }), DOMException::INVALID_STATE_ERR);
    }
}

// Tracked hand-outs ended while tracking is still on: each hand-out is ended once, and an element handed
// out before tracking keeps its own hand-out.
TEST_F(LiveList, trackedHandOutsEndedInsideTheScopeAreEndedOnce) {
    DOMElement* kept = at("colors");
    const size_t before = doc->liveNodeCount();
    {
        DocumentImpl::TrackingScope scope(*doc);
        at("colors");
        at("colors");
        at("project/layout/spread/page/box")->getAttributeNode(u"id");
        at("project/story/paragraph/textRun")->getFirstChild();
        EXPECT_GT(doc->liveNodeCount(), before);
        doc->disposeTracked();
        EXPECT_TRUE(doc->isTracking());
    }
    EXPECT_EQ(doc->liveNodeCount(), before);
    EXPECT_EQ(static_cast<ElementImpl*>(kept)->shares(), 1);
    dom::dispose(kept);
    EXPECT_EQ(doc->liveNodeCount(), 0u);
    EXPECT_EQ(domExceptionCode([&] { dom::dispose(kept); }), DOMException::INVALID_STATE_ERR);
}

} // namespace
