// The reference host on its own, through its callback table as the library sees it.
#include <DOMKw/strings/DOMBTString.hpp>

#include "bridge/CallbackTable.hpp"
#include "common/HostFixture.hpp"

using namespace Kw;
using kwhost::LoadError;

namespace {

class ReferenceHost : public testing_support::HostTest {
protected:
    const host::CallbackTable& cb() { return host::callbacks(); }
};

TEST_F(ReferenceHost, LoadsContentAndDropsHostProperties) {
    EXPECT_EQ(host.toXml(host.find("colors")),
              "<colors><color id=\"c1\" name=\"Black\" xsi:type=\"ProcessColor\"/><color id=\"c2\" name=\"Cyan\"/>"
              "</colors>");
    EXPECT_EQ(host.toXml(host.find("preferences")), "<preferences><measurement units=\"points\"/>locked text</preferences>");
    // Implied attributes are content the host knows but the document does not state.
    EXPECT_EQ(host.toXml(host.application()).find("version="), std::string::npos);
    EXPECT_NE(host.toXml(host.application(), true).find("version=\"1\""), std::string::npos);
    EXPECT_EQ(host.toXml(host.application()).find("urn:domkw:reference-host"), std::string::npos);
}

// Malformed files are refused at their line (hostile ones: HostileInput) and keep the loaded project.
TEST_F(ReferenceHost, MalformedXmlKeepsThePreviousProject) {
    const HostRef app = host.application();
    const std::string before = host.toXml();
    const std::pair<const char*, uint64_t> cases[] = {
        {"<application>\n  <project>\n</application>", 3}, {"<application attr=\"x></application>", 1},
        {"", 1}, {"<a/><b/>", 1},
    };
    for (const auto& [xml, line] : cases) {
        try {
            host.loadString(xml, "bad.xml");
            ADD_FAILURE() << "loaded: " << xml;
        } catch (const LoadError& e) {
            EXPECT_EQ(e.line, line) << e.what();
            EXPECT_NE(std::string(e.what()).find("bad.xml"), std::string::npos);
        }
        EXPECT_EQ(host.application(), app);
        EXPECT_EQ(host.toXml(), before);
    }
    host.loadFile(testing_support::testDataPath("small.xml"));
    EXPECT_NE(host.application(), app);
    EXPECT_THROW(host.loadFile("/nonexistent/project.xml"), LoadError);
}

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

TEST_F(ReferenceHost, TextEditsInUtf16Units) {
    HostRef run = host.find("project/story/paragraph/textRun");
    HostRef text = -1;
    cb().NavigateElement(&text, run, host::FirstChild, NO_KEY, 0);
    ASSERT_EQ(cb().SetTextValue(text, 5, u" \U0001F600"), 0); // a surrogate pair is two units
    ASSERT_EQ(cb().DeleteTextValue(text, 0, 5), 0);
    const XMLCh* value = nullptr;
    cb().GetTextValue(&value, text);
    EXPECT_EQ(std::u16string(value), u" \U0001F600, world");
    EXPECT_EQ(cb().DeleteTextValue(text, 1, 2), 0);
    cb().GetTextValue(&value, text);
    EXPECT_EQ(std::u16string(value), u" , world");
    EXPECT_EQ(cb().DeleteTextValue(text, 0, 1000), 0); // a count past the end stops there
    EXPECT_EQ(cb().SetTextValue(text, 1, u"x"), kwhost::INDEX_SIZE);
    EXPECT_EQ(cb().DeleteTextValue(text, -1, 1), kwhost::INDEX_SIZE);
    EXPECT_EQ(cb().SetTextValue(run, 0, u"x"), kwhost::NOT_SUPPORTED); // an element is not text
    HostRef locked = -1;
    cb().NavigateElement(&locked, host.find("preferences/measurement"), host::NextSibling, NO_KEY, 0);
    EXPECT_EQ(cb().SetTextValue(locked, 0, u"x"), kwhost::NO_MODIFICATION);
}

TEST_F(ReferenceHost, KeysAreSharedAndBadKeysAreRefused) {
    HostKey a = NO_KEY, b = NO_KEY;
    cb().StringToKey(&a, u"same");
    cb().StringToKey(&b, u"same");
    EXPECT_EQ(a, b);
    EXPECT_NE(a, NO_KEY);
    const XMLCh* text = nullptr;
    EXPECT_EQ(cb().KeyToString(&text, NO_KEY), kwhost::NOT_FOUND);
    EXPECT_EQ(cb().StringToKey(&a, nullptr), kwhost::INVALID_ACCESS);
    EXPECT_THROW(host.failAt(43, 1), std::invalid_argument);
    // A file that is not there is refused.
    EXPECT_EQ(cb().Import(u"/nonexistent/x.xml"), kwhost::NOT_FOUND);
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
