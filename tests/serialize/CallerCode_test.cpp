// A write hands control to the caller's code: its filter, its destination's byte stream, its error
// handler. That code sees the nodes as it sees them outside a write, and what it meets there does not
// fail the write; the writer's own view (nodes without
// namespace information, so that the stock serializer does not declare the host's declarations again)
// stays the writer's.
#include <map>
#include <string>

#include "serialize/WriterFixture.hpp"

using namespace testing_support;

namespace {

using CallerCode = WriterTest;

// What a node answers about its namespace, in one line.
std::u16string namespaceView(const DOMNode* node) {
    return text(node->getNamespaceURI()) + u" | " + text(node->getPrefix()) + u" | " +
           text(node->getLocalName());
}

// Accepts everything and remembers what each node it was asked about answered; looks for an attribute
// the elements lack as well.
class RecordingFilter : public DOMLSSerializerFilter {
public:
    FilterAction acceptNode(const DOMNode* node) const override {
        seen[node->getNodeName()] = namespaceView(node);
        if (node->getNodeType() == DOMNode::ELEMENT_NODE)
            absent += *static_cast<const DOMElement*>(node)->getAttribute(u"hidden") == 0;
        return FILTER_ACCEPT;
    }
    ShowType getWhatToShow() const override { return DOMNodeFilter::SHOW_ALL; }
    mutable std::map<std::u16string, std::u16string> seen;
    mutable int absent = 0;
};

// A byte stream that looks at a node of the document each time it is written to.
class LookingTarget : public MemBufFormatTarget {
public:
    explicit LookingTarget(const DOMNode* node) : node(node) {}
    void writeChars(const XMLByte* const bytes, const XMLSize_t count,
                    XMLFormatter* const formatter) override {
        views.push_back(namespaceView(node));
        MemBufFormatTarget::writeChars(bytes, count, formatter);
    }
    const DOMNode* node;
    std::vector<std::u16string> views;
};

TEST_F(CallerCode, aCallersFilterAndByteStreamSeeNamespaceInformationDuringAWriteAndTheOutputIsUnchanged) {
    host.loadString("<application xmlns:kw=\"urn:kw\"><project>"
                    "<kw:frame kw:x=\"1\"><kw:item kw:y=\"2\"/><plain z=\"3\"/></kw:frame>"
                    "</project></application>",
                    "namespaces");
    openDocument();
    Owned frame(at("project/kw:frame"));
    Owned item(frame->getFirstChild());
    Owned plain(item->getNextSibling());
    Owned x(frame.element()->getAttributeNode(u"kw:x")), y(item.element()->getAttributeNode(u"kw:y"));
    ASSERT_TRUE(frame.node && item.node && plain.node && x.node && y.node);
    // Outside a write.
    const std::map<std::u16string, std::u16string> outside = {{u"kw:frame", namespaceView(frame.node)},
                                                              {u"kw:item", namespaceView(item.node)},
                                                              {u"kw:y", namespaceView(y.node)},
                                                              {u"plain", namespaceView(plain.node)}};
    ASSERT_NE(outside.at(u"kw:y").find(u"urn:kw"), std::u16string::npos) << "the host answers no namespace";
    const std::u16string written =
        u"<kw:frame kw:x=\"1\" xmlns:kw=\"urn:kw\"><kw:item kw:y=\"2\"/><plain z=\"3\"/></kw:frame>";
    EXPECT_EQ(write(frame.node), written);

    for (const bool whole : {false, true}) {
        SCOPED_TRACE(whole ? "the document" : "the element");
        RecordingFilter filter;
        LookingTarget target(x.node);
        DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
        output.setByteStream(&target);
        output.setEncoding(u"UTF-8");
        const Serializer w = serializer();
        // The document answers no namespace questions at all: the recording filter meets elements only.
        if (!whole) w->setFilter(&filter);
        EXPECT_TRUE(w->write(whole ? static_cast<DOMNode*>(doc) : frame.node, &output));
        ASSERT_FALSE(target.views.empty());
        for (const std::u16string& view : target.views) EXPECT_EQ(view, namespaceView(x.node));
        if (whole) continue;
        // What the filter meets (an attribute none has) does not fail the write.
        EXPECT_EQ(filter.absent, 3);
        // The outermost element too, which the writer asks about itself.
        for (const auto& [name, view] : outside) {
            ASSERT_EQ(filter.seen.count(name), 1u) << narrow(name);
            EXPECT_EQ(filter.seen.at(name), view) << narrow(name);
        }
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen()),
                  narrow(written));
    }
    // After the write the nodes answer as before.
    EXPECT_EQ(namespaceView(item.node), outside.at(u"kw:item"));
}

} // namespace
