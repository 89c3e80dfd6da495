// The reference host on its own, through its callback table as the library sees it.
#include <DOMKw/strings/DOMBTString.hpp>

#include "bridge/CallbackTable.hpp"
#include "common/HostFixture.hpp"

using namespace Kw;

namespace {

class ReferenceHost : public testing_support::HostTest {
protected:
    const host::CallbackTable& cb() { return host::callbacks(); }
};

TEST_F(ReferenceHost, ObjectsLiveWhileInTheTreeOrReferenced) {
    const HostRef box = host.find("project/layout/spread/page/box");
    const HostRef page = host.find("project/layout/spread/page");
    const size_t live = host.liveObjects();
    ASSERT_EQ(cb().AdjustReference(box, true), 0);
    ASSERT_EQ(cb().RemoveChild(page, box), 0);
    EXPECT_TRUE(host.exists(box)); // out of the tree but referenced
    ASSERT_EQ(cb().AdjustReference(box, false), 0);
    EXPECT_FALSE(host.exists(box));
    EXPECT_EQ(host.liveObjects(), live - 1);
    // A freed handle is refused everywhere, never a crash.
    bool flag = false;
    const XMLCh* text = nullptr;
    HostRef out = -1;
    EXPECT_EQ(cb().AdjustReference(box, true), kwhost::NOT_FOUND);
    EXPECT_EQ(cb().IsTextNode(&flag, box), kwhost::NOT_FOUND);
    EXPECT_EQ(cb().GetAttributeValue(&text, box, host.keyOf(u"id"), nullptr), kwhost::NOT_FOUND);
    EXPECT_EQ(cb().NavigateElement(&out, box, host::FirstChild, NO_KEY, 0), kwhost::NOT_FOUND);
    EXPECT_EQ(cb().InsertBeforeChild(page, box, -1), kwhost::NOT_FOUND);
    // Releasing more than acquired is refused.
    EXPECT_EQ(cb().AdjustReference(page, false), kwhost::INVALID_STATE);

    // A referenced node deep in a removed subtree keeps the whole subtree navigable.
    const HostRef layout = host.find("project/layout[2]");
    const HostRef deepBox = host.find("project/layout[2]/spread/page/box");
    ASSERT_EQ(cb().AdjustReference(deepBox, true), 0);
    ASSERT_EQ(cb().RemoveChild(host.find("project"), layout), 0);
    EXPECT_TRUE(host.exists(layout));
    ASSERT_EQ(cb().NavigateElement(&out, deepBox, host::Parent, NO_KEY, 0), 0);
    EXPECT_TRUE(host.exists(out));
    ASSERT_EQ(cb().AdjustReference(deepBox, false), 0);
    EXPECT_FALSE(host.exists(layout));
}

TEST_F(ReferenceHost, InsertionFromXmlTextResolvesNamespacesFromTheTree) {
    const HostRef colors = host.find("colors");
    HostRef added = -1;
    ASSERT_EQ(cb().InsertNewChild(&added, colors, u"<color xsi:type=\"SpotColor\" name=\"Gold\">\n</color>", -1, 0), 0);
    EXPECT_EQ(host.referencesOn(added), 1);
    const XMLCh* value = nullptr;
    ASSERT_EQ(cb().GetAttributeValueNS(&value, added, host.keyOf(u"http://www.w3.org/2001/XMLSchema-instance"),
                                       host.keyOf(u"type"), nullptr),
              0);
    EXPECT_EQ(std::u16string(value), u"SpotColor");
    int32_t children = -1;
    cb().GetNumChildren(&children, added);
    EXPECT_EQ(children, 1); // inserted text is content, even when it is only whitespace
    EXPECT_EQ(cb().AdjustReference(added, false), 0);
    EXPECT_TRUE(host.exists(added)); // still in the tree

    // Malformed text, a bad reference child, or a read-only parent change nothing.
    const std::string before = host.toXml();
    HostRef out = -1;
    EXPECT_EQ(cb().InsertNewChild(&out, colors, u"<color>", -1, 0), kwhost::SYNTAX);
    EXPECT_EQ(cb().InsertNewChild(&out, colors, u"<a/>", host.find("project"), 0), kwhost::NOT_FOUND);
    EXPECT_EQ(cb().InsertNewChild(&out, host.find("preferences"), u"<a/>", -1, 0), kwhost::NO_MODIFICATION);
    EXPECT_EQ(out, -1);
    EXPECT_EQ(host.toXml(), before);
}

// Calls are counted whether or not a failure is armed; each armed selector fails at its own call, once;
// arming a selector again replaces its failure; disarming ends all of them.
TEST_F(ReferenceHost, failuresArmedOnSeveralSelectorsEachFireAtTheirOwnCall) {
    // Failures armed (S: StringToKey, K: KeyToString; n-th call), the calls made, their statuses.
    const std::tuple<std::vector<std::pair<char, int>>, std::string, std::vector<int32_t>> rows[] = {
        {{{'S', 2}}, "SSS", {0, 0x55, 0}},
        {{{'S', 2}, {'K', 1}}, "SKSK", {0, 0x55, 0x55, 0}},
        {{{'S', 1}, {'S', 3}}, "SSSS", {0, 0, 0x55, 0}}, // armed again
        {{}, "KS", {0, 0}},
    };
    HostKey key = NO_KEY;
    cb().StringToKey(&key, u"known");
    for (const auto& [armed, calls, expected] : rows) {
        SCOPED_TRACE(calls);
        host.resetCallCounts();
        for (const auto& [c, nth] : armed) host.failAt(c == 'S' ? host::StringToKey : host::KeyToString, 0x55, nth);
        EXPECT_EQ(host.failureArmed(), !armed.empty());
        std::vector<int32_t> statuses;
        for (char c : calls) {
            const XMLCh* text = nullptr;
            HostKey k = NO_KEY;
            statuses.push_back(c == 'S' ? cb().StringToKey(&k, u"known") : cb().KeyToString(&text, key));
        }
        EXPECT_EQ(statuses, expected);
        EXPECT_FALSE(host.failureArmed());
        EXPECT_EQ(host.totalCalls(), calls.size());
    }
    host.failAt(host::StringToKey, 0x55, 1);
    host.failAt(host::KeyToString, 0x55, 1);
    host.disarm();
    EXPECT_FALSE(host.failureArmed());
    EXPECT_EQ(cb().StringToKey(&key, u"known"), 0);
}

} // namespace
