// The reference host where the tool and every fixture rely on it.
#include <DOMKw/bridge/ObjectRef.hpp>

#include <xercesc/dom/DOM.hpp>

#include <set>
#include <tuple>

#include "bridge/CallbackTable.hpp"
#include "common/HostFixture.hpp"
#include "common/NativeDom.hpp"

using namespace Kw;
using kwhost::LoadError;

namespace {

std::string repeat(const std::string& s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

std::string attributes(size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    return out;
}

// Whether `child` is still under `parent`, read both ways: its parent, and its parent's children.
bool inPlace(HostRef parent, HostRef child) {
    HostRef up = -1, at = -1;
    host::callbacks().NavigateElement(&up, child, host::Parent, NO_KEY, 0);
    host::callbacks().NavigateElement(&at, parent, host::FirstChild, NO_KEY, 0);
    while (at >= 0 && at != child) {
        HostRef next = -1;
        host::callbacks().NavigateElement(&next, at, host::NextSibling, NO_KEY, 0);
        at = next;
    }
    return up == parent && at == child;
}

// The distinct events heard, and whether the watched child was in place at every delivery.
struct Heard {
    std::set<void*> events;
    HostRef parent = -1, child = -1;
    bool alwaysInPlace = true;
};
long hear(void* listener, int, void* event) {
    auto* heard = static_cast<Heard*>(listener);
    heard->events.insert(event);
    if (heard->child >= 0)
        heard->alwaysInPlace = heard->alwaysInPlace && inPlace(heard->parent, heard->child);
    return 0;
}

class ReferenceHost : public testing_support::HostTest {
protected:
    const host::CallbackTable& cb() { return host::callbacks(); }

    // Loading `xml` must fail at `line` with `words` in the message, keeping the project.
    void expectRefused(const std::string& xml, uint64_t line, const std::string& words) {
        const std::string before = host.toXml();
        try {
            host.loadString(xml, "hostile.xml");
            ADD_FAILURE() << "loaded: " << xml.substr(0, 120);
        } catch (const LoadError& e) {
            EXPECT_EQ(e.line, line) << e.what();
            EXPECT_GT(e.column, 0u) << e.what();
            EXPECT_NE(std::string(e.what()).find("hostile.xml:"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
        }
        EXPECT_EQ(host.toXml(), before);
    }

    std::u16string keyText(HostKey key) {
        const XMLCh* text = nullptr;
        if (key == NO_KEY || cb().KeyToString(&text, key) != 0 || !text) return u"";
        return text;
    }

    void listen(const char16_t* type, Heard& heard) {
        ASSERT_EQ(cb().SetTypeEventListener(&hear, 0, host.keyOf(type), NO_KEY, &heard, false), 0);
    }

    void TearDown() override {
        host.clearListeners();
        testing_support::HostTest::TearDown();
    }
};
using MutationAnnouncer = ReferenceHost;

TEST_F(ReferenceHost, FilesThatHurtAreRefusedAtTheirLineAndKeepTheProject) {
    const std::string entity(1000, 'x');
    const auto withHeaders = [](const std::string& headers) {
        return "<application xmlns:host=\"urn:domkw:reference-host\">\n" + headers + "\n<box/></application>";
    };
    const size_t levels = kwhost::MAX_DEPTH; // one more than the bound below the application element
    const struct {
        std::string xml;
        uint64_t line;
        std::string words;
    } cases[] = {
        // One internal entity referenced many times: each reference expands it again.
        {"<?xml version=\"1.0\"?>\n<!DOCTYPE application [\n<!ENTITY big \"" + entity +
             "\">\n]>\n<application>" + repeat("<p>&big;</p>", 200) + "</application>",
         3, "entity declarations are not accepted"},
        // External entities.
        {"<!DOCTYPE application [\n\n<!ENTITY e SYSTEM \"/etc/passwd\">]>\n<application>&e;</application>", 3,
         "entity declarations are not accepted"},
        // Attribute defaults that every element receives.
        {"<!DOCTYPE application [\n<!ATTLIST p d CDATA \"" + entity + "\">\n]>\n<application>" +
             repeat("<p/>", 20) + "</application>",
         2, "attribute-list"},
        {"<application>\n<box" + attributes(256) + "/></application>", 2, "255 attributes"},
        {"<application>\n" + repeat("<e>", levels) + repeat("</e>", levels) + "</application>", 2,
         "nested deeper"},
        // Header names that would inject markup, or repeat.
        {withHeaders("<host:header name='x' value='1'/><host:header name='x' value='2'/>"), 2, "repeats"},
        // Not well-formed.
        {"<application>\n  <project>\n</application>", 3, ""},
        {"", 1, ""},
    };
    for (const auto& c : cases) expectRefused(c.xml, c.line, c.words);
    for (const char* name : {" name='x=\"1\"&gt;&lt;injected evil=\"yes\"/&gt;&lt;dummy'", " name=''", "",
                             " name='1abc'", " name='a b'"})
        expectRefused(withHeaders(std::string("<host:header") + name + " value='1'/>"), 2, "not an XML name");

    const HostRef app = host.application();
    EXPECT_THROW(host.loadFile("/nonexistent/project.xml"), LoadError);
    EXPECT_EQ(host.application(), app);

    // A document type that declares neither still loads.
    host.loadString("<?xml version=\"1.0\"?>\n<!DOCTYPE application [<!ELEMENT application ANY>]>\n"
                    "<application><p>&amp;&#x41;</p></application>",
                    "plain.xml");
    EXPECT_EQ(host.toXml(), "<application><p>&amp;A</p></application>");
}

// Releases forget the top of the tree they found when the tree changes shape.
TEST_F(ReferenceHost, ReleasesFreeADetachedSubtreeExactlyWhenItsLastReferenceGoes) {
    const size_t chain = 200;
    host.loadString("<application><a>" + repeat("<e>", chain) + repeat("</e>", chain) + "</a><b/></application>",
                    "chain.xml");
    HostRef a = -1, b = -1;
    ASSERT_EQ(cb().NavigateElement(&a, host.application(), 1, NO_KEY, 0), 0);
    ASSERT_EQ(cb().NavigateElement(&b, a, 3, NO_KEY, 0), 0);
    std::vector<HostRef> levels{a};
    for (size_t i = 0; i < chain; ++i) {
        levels.push_back(-1);
        ASSERT_EQ(cb().NavigateElement(&levels.back(), levels[i], 1, NO_KEY, 0), 0);
    }
    const size_t all = host.liveObjects();
    // References taken and given back on an attached tree free nothing.
    for (HostRef h : levels) ASSERT_EQ(cb().AdjustReference(h, true), 0);
    for (HostRef h : levels) ASSERT_EQ(cb().AdjustReference(h, false), 0);
    // Each step: a reference taken (+), given back (-), the middle removed from its parent (r) or moved
    // under <b> (m); the live objects afterwards, counted from the end of the chain.
    const HostRef middle = levels[chain / 2], deepest = levels.back();
    const std::tuple<char, HostRef, size_t> steps[] = {
        {'+', deepest, 0}, {'+', middle, 0}, {'r', levels[chain / 2 - 1], 0},
        {'-', middle, 0},  {'m', b, 0},      {'-', deepest, 0},
        {'+', deepest, 0}, {'r', b, 0},      {'-', deepest, chain - chain / 2 + 1},
    };
    for (const auto& [what, h, freed] : steps) {
        if (what == '+' || what == '-') {
            ASSERT_EQ(cb().AdjustReference(h, what == '+'), 0);
        } else {
            ASSERT_EQ(what == 'r' ? cb().RemoveChild(h, middle) : cb().InsertBeforeChild(h, middle, -1), 0);
        }
        EXPECT_EQ(host.liveObjects(), all - freed) << what;
    }
}

TEST_F(ReferenceHost, NamespacesOfTheDeepestFileMatchANativeDom) {
    // Declarations at every few levels: prefixes rebound, the default namespace set and undeclared.
    const size_t depth = kwhost::MAX_DEPTH - 1;
    std::string xml = "<application xmlns:p0=\"urn:root0\" xmlns:p1=\"urn:root1\" xmlns:p2=\"urn:root2\">";
    std::vector<std::string> tags;
    for (size_t i = 0; i < depth; ++i) {
        std::string declarations;
        if (i % 7 == 0)
            declarations += " xmlns:p" + std::to_string(i % 3) + "=\"urn:level" + std::to_string(i) + "\"";
        if (i % 11 == 0) declarations += " xmlns=\"urn:default" + std::to_string(i) + "\"";
        if (i % 13 == 0) declarations += " xmlns=\"\"";
        if (i % 11 == 0 && i % 13 == 0) declarations = " xmlns=\"\"";
        const std::string tag = i % 2 ? "p" + std::to_string(i % 3) + ":e" : "e";
        tags.push_back(tag);
        xml += "<" + tag + declarations + " p" + std::to_string((i + 1) % 3) + ":a=\"1\" b=\"2\">";
    }
    for (size_t i = depth; i-- > 0;) xml += "</" + tags[i] + ">";
    xml += "</application>";
    host.loadString(xml, "deep.xml");
    testing_support::NativeDom native(xml);

    HostRef at = host.application();
    xercesc::DOMElement* expected = native.root();
    size_t level = 0;
    while (at >= 0 && expected) {
        HostKey ns = NO_KEY;
        ASSERT_EQ(cb().GetElementNameKey(&ns, 1, at), 0);
        const XMLCh* uri = expected->getNamespaceURI();
        ASSERT_EQ(keyText(ns), uri ? uri : u"") << "level " << level;
        xercesc::DOMNamedNodeMap* attrs = expected->getAttributes();
        for (XMLSize_t i = 0; i < attrs->getLength(); ++i) {
            const auto* attr = static_cast<xercesc::DOMAttr*>(attrs->item(i));
            HostKey resolved[4] = {NO_KEY, NO_KEY, NO_KEY, NO_KEY};
            ASSERT_EQ(cb().ResolveAttributeName(resolved, at, NO_KEY, host.keyOf(attr->getName())), 0);
            const XMLCh* attrUri = attr->getNamespaceURI();
            ASSERT_EQ(keyText(resolved[0]), attrUri ? attrUri : u"") << "level " << level;
        }
        HostRef child = -1;
        cb().NavigateElement(&child, at, 1, NO_KEY, 0);
        at = child;
        expected = expected->getFirstElementChild();
        ++level;
    }
    EXPECT_EQ(level, depth + 1);
    EXPECT_TRUE(at < 0 && !expected);
}

// A move refused for its depth once announced a removal that never happened.
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
            EXPECT_TRUE(removed.events.empty()) << c.name;
            EXPECT_TRUE(modified.events.empty()) << c.name;
            EXPECT_TRUE(fromDocument.events.empty()) << c.name;
        } else {
            EXPECT_EQ(removed.events.size(), 1u) << c.name;
            EXPECT_EQ(fromDocument.events.empty(), c.move) << c.name;
            EXPECT_TRUE(removed.alwaysInPlace && fromDocument.alwaysInPlace)
                << c.name << ": announced too late";
            EXPECT_FALSE(inPlace(oldParent, child)) << c.name << ": the change itself did not happen";
        }
        EXPECT_EQ(inserted.events.size(), status == 0 && c.move ? 1u : 0u) << c.name;
        host.clearListeners();
        host.reset();
    }
}

} // namespace
