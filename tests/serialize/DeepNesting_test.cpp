// Deep nesting: a write goes down to WriterImpl::maxDepth levels below the node it is given, and fails
// cleanly past that, on a small thread stack too.
#include <DOMKw/bridge/ObjectRef.hpp>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <utility>

#include "common/NativeDom.hpp"
#include "common/SmallStack.hpp"
#include "serialize/WriterFixture.hpp"

using namespace testing_support;

namespace {

constexpr int bound = 1000;
// A plug-in's small thread: a write that went down one delegate call per level without a bound would
// overflow it a little past 1,800 levels.
constexpr size_t smallStack = 256 * 1024;

// A chain of `depth` <e> elements below `parent` (text "x" in the innermost one when `withText`), built
// from the inside out so that every insertion happens one level below `parent`.
void buildChain(const Kw::ElementRef& parent, int depth, bool withText) {
    Kw::ElementRef inner =
        parent.InsertBeforeChild(DOMBTString(withText ? u"<e>x</e>" : u"<e/>"), Kw::ElementRef(), 0);
    for (int i = 1; i < depth; ++i) {
        Kw::ElementRef outer = parent.InsertBeforeChild(DOMBTString(u"<e/>"), inner, 0);
        outer.InsertBeforeChild(inner, Kw::ElementRef());
        inner = std::move(outer);
    }
}

std::u16string chainXml(int depth, bool withText) {
    std::u16string xml;
    for (int i = 1; i < depth; ++i) xml += u"<e>";
    xml += withText ? u"<e>x</e>" : u"<e/>";
    for (int i = 1; i < depth; ++i) xml += u"</e>";
    return xml;
}

class DeepNesting : public WriterTest {
protected:
    // A project of one empty <project>, without header attributes.
    void loadBare() {
        host.loadString("<application><project/></application>", "bare");
        openDocument();
    }
};

// The same chains from the host and as a native Xerces-C tree written through us. A native document node
// goes to the delegate whole, so the bound counts from the document: its root is one level below it.
TEST_F(DeepNesting, aWriteGoesDownToTheBoundAndFailsCleanlyPastItOnASmallStack) {
    struct Case {
        int depth; // <e> levels below <holder>; the text, when there is one, is one level further down
        bool withText;
        bool complete, nativeDocumentComplete;
    } cases[] = {
        {bound - 2, true, true, true},    {bound - 1, true, true, false}, // the text at the bound
        {bound, false, true, false},                                      // an empty element at the bound
        {bound, true, false, false},                                      // the text one level past it
        {bound + 1, false, false, false}, // an empty element one level past it
        {5000, true, false, false},       // far past the point where the stack would have run out
    };
    // Trees past the writer's bound: a host without the reference host's own depth bound.
    host.setDepthBound(10000);
    const std::string file = "/tmp/domkw_deep_" + std::to_string(getpid()) + ".xml";
    const std::u16string uri(file.begin(), file.end());
    const Serializer xerces = xercesSerializer();
    for (const Case& c : cases) {
        loadBare();
        const Kw::ElementRef project = Kw::ElementRef::fromHandle(host.find("project"));
        const Kw::ElementRef holder =
            project.InsertBeforeChild(DOMBTString(u"<holder/>"), Kw::ElementRef(), 0);
        buildChain(holder, c.depth, c.withText);
        Owned node(domImpl::ElementImpl::create_(holder, doc));
        std::ofstream(file) << "before";

        // Every way out of the serializer, on the small stack; then the same chain as a native tree.
        const std::u16string whole = u"<holder>" + chainXml(c.depth, c.withText) + u"</holder>";
        NativeDom native(narrow(whole));
        std::u16string toStr, saved, document, element;
        bool written = false, toUri = false;
        onSmallStack(smallStack, [&] {
            const Serializer w = serializer();
            toStr = toString(w.get(), node.node);
            toBytes(w.get(), node.node, u"UTF-8", written);
            // A file named by URI, or by the system id of a destination without a byte stream.
            DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
            output.setSystemId(uri.c_str());
            output.setEncoding(u"UTF-8");
            toUri = c.depth % 2 ? w->writeToURI(node.node, uri.c_str()) : w->write(node.node, &output);
            if (c.complete) {
                EXPECT_FALSE(w->writeToURI(node.node, u"/nonexistent-dir/out.xml"));
            }
            const XMLCh* s = doc->saveToString(node.node);
            saved = s ? std::u16string(s) : u"(null)";
            document = toString(w.get(), native.document());
            element = toString(w.get(), native.root());
        });
        std::ifstream back(file);
        const std::string onDisk((std::istreambuf_iterator<char>(back)), {});
        if (c.complete) {
            EXPECT_TRUE(toStr == whole) << c.depth;
            EXPECT_TRUE(parsesBack(toStr)) << c.depth;
            EXPECT_TRUE(written && toUri) << c.depth;
            EXPECT_EQ(onDisk, narrow(whole)) << c.depth;
            // The save filter leaves out a chain with nothing in it.
            EXPECT_TRUE(saved == (c.withText ? whole : u"")) << c.depth;
        } else {
            EXPECT_EQ(toStr, u"(null)") << c.depth;
            EXPECT_FALSE(written || toUri) << c.depth;
            EXPECT_EQ(onDisk, "before") << c.depth;
            EXPECT_EQ(saved, c.withText ? u"(null)" : u"") << c.depth;
        }
        EXPECT_EQ(doc->liveNodeCount(), 1u) << c.depth; // only `node`: what the writes navigated is ended
        EXPECT_TRUE(element == (c.complete ? whole : u"(null)")) << c.depth;
        const std::u16string theirs = toString(xerces.get(), native.document());
        EXPECT_TRUE(document == (c.nativeDocumentComplete ? theirs : u"(null)")) << c.depth;
    }
    unlink(file.c_str());
}

TEST_F(DeepNesting, whatTheSaveFilterLeavesOutPastTheBoundDoesNotFailTheWrite) {
    // Levels 1 to the bound carry an attribute (kept); below them empty elements (left out whole, past
    // the bound): the write is complete and equals Xerces-C's own with the same filter.
    loadBare(); // no header attributes
    std::u16string open, close;
    for (int i = 0; i < bound; ++i) {
        open += u"<e a=\"1\">";
        close += u"</e>";
    }
    NativeDom native(narrow(u"<r>" + open + chainXml(5, false) + close + u"</r>"));
    domImpl::WriterFilterImpl filter;
    const Serializer xerces = xercesSerializer();
    xerces->setFilter(&filter);
    const std::u16string expected = toString(xerces.get(), native.root());
    std::u16string ours;
    onSmallStack(smallStack, [&] {
        const Serializer w = serializer();
        w->setFilter(&filter);
        ours = toString(w.get(), native.root());
    });
    EXPECT_TRUE(ours == expected);
    EXPECT_TRUE(ours == u"<r>" + open + close + u"</r>");
}

} // namespace
