// The serializer and the save-to-string filter, against Xerces-C's own serializer.
#include "serialize/WriterImpl.hpp"
#include "dom/DOMImplementationImpl.hpp"

#include <xercesc/dom/impl/DOMLSOutputImpl.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/TransService.hpp>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <tuple>

#include "common/NativeDom.hpp"
#include "serialize/WriterFixture.hpp"

using namespace testing_support;

namespace {

using Writer = WriterTest;

TEST_F(Writer, SampleProjectAsXercesWritesIt) {
    load(samplePath("project.xml"));
    openDocument();
    std::ifstream file(samplePath("project.xml"), std::ios::binary);
    NativeDom native(std::string(std::istreambuf_iterator<char>(file), {}));
    DOMLSSerializer* xerces = DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createLSSerializer();
    const std::string theirs = canonicalXml(xerces, native.root());
    xerces->release();

    DOMLSSerializer* ours = serializer();
    Owned root(doc->getDocumentElement());
    std::u16string mine = write(ours, root.node);
    ours->release();
    // Our outermost element carries the host's header attributes first.
    const std::u16string header =
        u" generator=\"DOMKw reference host &amp; &quot;friends&quot; &lt;1>\" schemaVersion=\"6.0\"";
    ASSERT_EQ(mine.substr(0, 12), u"<application");
    ASSERT_EQ(mine.substr(12, header.size()), header);
    mine.erase(12, header.size());
    TranscodeToStr bytes(mine.c_str(), "UTF-8");
    EXPECT_EQ(sortAttributes(reinterpret_cast<const char*>(bytes.str())), theirs);
    EXPECT_GT(mine.size(), 20000u);
    EXPECT_EQ(doc->liveNodeCount(), 1u); // only `root`: what the write navigated is ended
}

TEST_F(Writer, OutermostElementForms) {
    DOMLSSerializer* w = serializer();
    Owned b2(at("project/layout/spread/page/box[2]"));
    EXPECT_EQ(write(w, b2.node),
              u"<box generator=\"DOMKw reference host &amp; &quot;friends&quot; &lt;1>\" schemaVersion=\"6.0\" id=\"b2\"/>");
    Owned spread(at("project/layout[2]/spread"));
    EXPECT_EQ(write(w, spread.node),
              u"<spread generator=\"DOMKw reference host &amp; &quot;friends&quot; &lt;1>\" schemaVersion=\"6.0\">"
              u"<page number=\"1\"><box id=\"b3\"/></page></spread>");
    // Implied attributes are not written; a text node is written as the delegate escapes it.
    Owned app(doc->getDocumentElement());
    EXPECT_EQ(write(w, app.node).find(u"version="), std::u16string::npos);
    Owned run(at("project/story/paragraph/textRun"));
    static_cast<DOMText*>(Owned(run->getFirstChild()).node)->setData(u"a < b & c");
    Owned text(run->getFirstChild());
    EXPECT_EQ(write(w, text.node), u"a &lt; b &amp; c");
    w->release();
}

class Decide : public DOMLSSerializerFilter {
public:
    Decide(FilterAction action, ShowType show) : action(action), show(show) {}
    FilterAction acceptNode(const DOMNode*) const override { return action; }
    ShowType getWhatToShow() const override { return show; }
    FilterAction action;
    ShowType show;
};

TEST_F(Writer, FilterDecisionsOnTheOutermostElement) {
    Owned page(at("project/layout[2]/spread/page"));
    const std::u16string whole = write(page.node);
    ASSERT_EQ(whole.substr(0, 5), u"<page");
    // Shown only elements, the filter decides for the outermost element and (through the delegate) its
    // children alike: skipped or rejected, nothing is written. Not shown elements, it is never asked.
    const std::tuple<DOMNodeFilter::FilterAction, DOMNodeFilter::ShowType, std::u16string> cases[] = {
        {DOMNodeFilter::FILTER_SKIP, 0x1, u""},
        {DOMNodeFilter::FILTER_REJECT, 0x1, u""},
        {DOMNodeFilter::FILTER_REJECT, 0x4, whole},
    };
    for (const auto& [action, show, expected] : cases) {
        DOMLSSerializer* w = serializer();
        Decide filter(action, show);
        w->setFilter(&filter);
        EXPECT_EQ(write(w, page.node), expected) << action << " showing " << show;
        w->release();
    }
}

TEST_F(Writer, SaveToStringLeavesOutEmptyStructure) {
    // Implied-only and empty elements are rejected with their subtree; an element with text at any
    // depth is kept, with every element on the way.
    Owned app(doc->getDocumentElement());
    const std::u16string saved = save(nullptr);
    EXPECT_EQ(saved.find(u"version="), std::u16string::npos); // implied
    EXPECT_NE(saved.find(u"<textRun size=\"10pt\">Hello, world</textRun>"), std::u16string::npos);
    EXPECT_NE(saved.find(u"<paragraph>"), std::u16string::npos); // no attributes, but text below
    EXPECT_NE(saved.find(u"<preferences>"), std::u16string::npos);
    // The same buffer each time, overwritten by the next call.
    const XMLCh* first = doc->saveToString(nullptr);
    Owned story(at("project/story"));
    const XMLCh* second = doc->saveToString(story.node);
    EXPECT_EQ(first, second);
    // A subtree with nothing in it saves as the empty string, not null.
    Owned spread(at("project/layout/spread"));
    DOMElement* empty = doc->createElement(u"empty");
    Owned added(spread->appendChild(empty));
    const XMLCh* nothing = doc->saveToString(added.node);
    ASSERT_NE(nothing, nullptr);
    EXPECT_EQ(std::u16string(nothing), u"");
    EXPECT_EQ(std::u16string(doc->saveToString(nullptr)).find(u"<empty"), std::u16string::npos);
    EXPECT_EQ(doc->liveNodeCount(), 4u);
}

TEST_F(Writer, FilterRules) {
    domImpl::WriterFilterImpl filter;
    EXPECT_EQ(filter.getWhatToShow(), 0xFFFFu);
    Owned run(at("project/story/paragraph/textRun"));
    Owned text(run->getFirstChild());
    static_cast<DOMText*>(text.node)->setData(u"");
    EXPECT_EQ(filter.acceptNode(text.node), DOMNodeFilter::FILTER_ACCEPT); // text, even empty
    Owned app(doc->getDocumentElement());
    Owned version(app.element()->getAttributeNode(u"version"));
    Owned spread(at("project/layout/spread")); // no attributes, children with attributes
    EXPECT_EQ(filter.acceptNode(spread.node), DOMNodeFilter::FILTER_ACCEPT);
    const dom::Owned<DOMElement> empty(doc->createElement(u"wrapper"));
    empty->appendChild(doc->createElement(u"inner"));
    EXPECT_EQ(filter.acceptNode(empty.get()), DOMNodeFilter::FILTER_REJECT);
    empty->appendChild(doc->createTextNode(u"deep"));
    EXPECT_EQ(filter.acceptNode(empty.get()), DOMNodeFilter::FILTER_ACCEPT);
}

TEST_F(Writer, OneSerializerAtATime) {
    DOMLSSerializer* first = serializer();
    first->setNewLine(u"\r\n");
    Decide filter(DOMNodeFilter::FILTER_REJECT, 0xFFFF);
    first->setFilter(&filter);
    DOMLSSerializer* second = serializer(); // starts from a fresh delegate (the old one is released)
    EXPECT_EQ(second->getFilter(), nullptr);
    EXPECT_EQ(std::u16string(first->getNewLine() ? first->getNewLine() : u""), std::u16string(second->getNewLine() ? second->getNewLine() : u""));
    second->setNewLine(u"");
    Owned b2(at("project/layout/spread/page/box[2]"));
    write(second, b2.node);
    EXPECT_EQ(std::u16string(second->getNewLine()), u"\n");
    second->release();
    first->release();
}

// A file named by URI, or by the system id of a destination without a byte stream: the whole output, in
// UTF-8, byte for byte what the string holds; a file that cannot be made fails the write.
TEST_F(Writer, aFileGetsTheWholeOutputByURIOrBySystemId) {
    Owned spread(at("project/layout[2]/spread"));
    DOMLSSerializer* w = serializer();
    const std::u16string whole = write(w, spread.node);
    ASSERT_NE(whole.find(u"<page number=\"1\"><box id=\"b3\"/></page></spread>"), std::u16string::npos);
    ASSERT_TRUE(parsesBack(whole));
    const std::string expected = reinterpret_cast<const char*>(TranscodeToStr(whole.c_str(), "UTF-8").str());
    char path[] = "/tmp/domkw-writer-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    const std::u16string uri(path, path + std::strlen(path));
    auto onDisk = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_TRUE(w->writeToURI(spread.node, uri.c_str()));
    EXPECT_EQ(onDisk(), expected);
    std::ofstream(path) << "before";
    DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
    output.setSystemId(uri.c_str());
    output.setEncoding(u"UTF-8");
    EXPECT_TRUE(w->write(spread.node, &output));
    EXPECT_EQ(onDisk(), expected);
    std::remove(path);
    EXPECT_FALSE(w->writeToURI(spread.node, u"/nonexistent-dir/out.xml"));
    w->release();
}

TEST_F(Writer, implementationListsComeBackWithoutRecursing) {
    // The registry asks every source for its list, ours included; ours answers without asking back.
    struct Case {
        const char16_t* features;
        bool ours, xerces;
    } cases[] = {
        {u"Tellam 6.0", true, false},  {u"Core LS", false, true}, {u"Core", true, true},
        {u"Tellam 5.0", false, false}, {u"", true, true},
    };
    DOMImplementation* xerces = DOMImplementationRegistry::getDOMImplementation(u"LS");
    for (const Case& c : cases) {
        DOMImplementationList* list = DOMImplementationRegistry::getDOMImplementationList(c.features);
        ASSERT_NE(list, nullptr);
        bool ours = false, theirs = false;
        for (XMLSize_t i = 0; i < list->getLength(); ++i) {
            ours = ours || list->item(i) == domImpl::DOMImplementationImpl::instance();
            theirs = theirs || list->item(i) == xerces;
        }
        EXPECT_EQ(ours, c.ours) << narrow(c.features);
        EXPECT_EQ(theirs, c.xerces) << narrow(c.features);
        list->release();
    }
}

TEST_F(Writer, createDocumentWithNoProjectAnswersNullAndAnotherRefusalThrows) {
    DOMImplementation* impl = domImpl::DOMImplementationImpl::instance();
    // The host answers NOT_FOUND for the application element when no project is loaded.
    host.failAt(Kw::host::NavigateElement, 8);
    EXPECT_EQ(impl->createDocument(), nullptr);
    host.failAt(Kw::host::NavigateElement, 8);
    EXPECT_EQ(impl->createDocument(nullptr, u"x", nullptr), nullptr);
    host.failAt(Kw::host::NavigateElement, 7);
    EXPECT_EQ(domExceptionCode([&] { impl->createDocument(); }), 7);
}


} // namespace
