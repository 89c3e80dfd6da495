// Whatever the host holds and however it answers, a write gives complete, well-formed XML or fails:
// writeToString answers null, saveToString null, write false or the host's DOMException.
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/bridge/StringKey.hpp>

#include <cstdio>

#include "common/NativeDom.hpp"
#include "serialize/WriterFixture.hpp"

using namespace testing_support;

namespace {

using WellFormed = WriterTest;

// Attributes of a box (the outermost element written, and one level down, written by the delegate): a
// name or declaration XML or a namespace-aware parser cannot hold fails the write instead of being
// written. (Characters XML cannot hold, in values and in text, meet every write in RandomWrites.)
TEST_F(WellFormed, charactersAndNamesXmlCannotHoldFailTheWriteInsteadOfBeingWritten) {
    struct Case {
        const char16_t* name;
        const char16_t* value;
    } cases[] = {{u"bad name", u"v"},
                 {u"a>b", u"v"},
                 {u"1a", u"v"},
                 {u"a\"b", u"v"},
                 {u"x=\"1\"><injected evil=\"yes\"/><dummy", u"v"},
                 // names XML 1.0 takes but namespaces do not
                 {u"p:", u"v"},
                 {u":p", u"v"},
                 {u"a:b:c", u"v"},
                 // declarations: a prefix cannot be unbound, xmlns never declared, xml bound elsewhere
                 {u"xmlns:q", u""},
                 {u"xmlns:xmlns", u"urn:x"},
                 {u"xmlns:xml", u"urn:x"},
                 {u"xmlns:q", u"http://www.w3.org/XML/1998/namespace"},
                 {u"xmlns", u"http://www.w3.org/2000/xmlns/"}};
    for (const Case& c : cases) {
        const std::string what = narrow(c.name) + "=" + narrow(c.value);
        for (const char* path : {"project/layout/spread/page/box", "project/layout/spread/page/box[2]"}) {
            host.loadFile(testDataPath("small.xml"));
            openDocument();
            Kw::ElementRef::fromHandle(host.find(path))
                .SetAttribute(Kw::StringKey(c.name), DOMBTString(c.value));
            Owned page(at("project/layout/spread/page")), box(at("project/layout/spread/page/box"));
            const bool onBox = std::string(path) == "project/layout/spread/page/box";
            EXPECT_EQ(write(box.node) == u"(null)", onBox) << what << " on " << path;
            EXPECT_EQ(write(page.node), u"(null)") << what << " below " << path;
            EXPECT_EQ(save(page.node), u"(null)") << what << " below " << path;
        }
    }
}

// A project whose header attributes are given in the file (the loader may refuse such a file: then
// there is nothing to write).
bool loadWithHeaders(kwhost::ReferenceHost& host, const std::string& headers) {
    const std::string xml = "<application xmlns:host=\"urn:domkw:reference-host\">" + headers +
                            "<project id=\"p1\"><box id=\"b1\"/></project></application>";
    try {
        host.loadString(xml);
    } catch (const kwhost::LoadError&) {
        return false;
    }
    return true;
}

TEST_F(WellFormed, headerNamesThatAreNotXmlNamesOrRepeatFailTheWriteAndValuesAreEscaped) {
    struct Case {
        const char* headers;
        const char16_t* expected;
    } cases[] = {
        {"<host:header name='x=\"1\"&gt;&lt;injected evil=\"yes\"/&gt;&lt;dummy' value='1'/>", u"(null)"},
        {"<host:header name='bad name' value='1'/>", u"(null)"},
        {"<host:header name='' value='1'/>", u"(null)"},
        {"<host:header name='x' value='1'/><host:header name='x' value='2'/>", u"(null)"},
        {"<host:header name='x' value='&lt;a&gt; &amp; &quot;b&quot;&#9;&#10;&#13;'/>",
         u"<box x=\"&lt;a> &amp; &quot;b&quot;&#x9;&#xA;&#xD;\" id=\"b1\"/>"},
        // The element's own attribute wins over a header of the same name.
        {"<host:header name='id' value='header'/>", u"<box id=\"b1\"/>"},
    };
    for (const Case& c : cases) {
        if (!loadWithHeaders(host, c.headers)) continue;
        openDocument();
        Owned box(at("project/box"));
        EXPECT_EQ(write(box.node), c.expected) << c.headers;
    }
    // A value with a line break comes back unchanged from a parser.
    ASSERT_TRUE(loadWithHeaders(host, "<host:header name='x' value='a&#10;b&#9;c'/>"));
    openDocument();
    Owned box(at("project/box"));
    const std::u16string out = write(box.node);
    NativeDom native(narrow(out));
    EXPECT_EQ(std::u16string(native.root()->getAttribute(u"x")), u"a\nb\tc");
}

// An attribute node is written as Xerces-C writes its own, except that a tab, line feed or carriage return
// is a character reference (raw, a parser would hand back spaces).
TEST_F(WellFormed, anAttributeNodeIsWrittenAsXercesWritesItsOwn) {
    const dom::Owned<DOMDocument> scratch(
        DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createDocument());
    DOMAttr* theirs = scratch->createAttribute(u"label");
    theirs->setValue(u"a&b<c\"d'e>f");
    Kw::ElementRef::fromHandle(host.find("project/layout/spread/page/box"))
        .SetAttribute(Kw::StringKey(u"label"), DOMBTString(u"a&b<c\"d'e>f"));
    Kw::ElementRef::fromHandle(host.find("project/layout/spread/page/box"))
        .SetAttribute(Kw::StringKey(u"id"), DOMBTString(u"a\tb\nc\rd"));
    Owned box(at("project/layout/spread/page/box"));
    Owned label(box.element()->getAttributeNode(u"label")), id(box.element()->getAttributeNode(u"id"));
    EXPECT_EQ(write(label.node), toString(xercesSerializer().get(), theirs));
    EXPECT_EQ(save(label.node), toString(xercesSerializer().get(), theirs));
    EXPECT_EQ(write(id.node), u"id=\"a&#x9;b&#xA;c&#xD;d\"");
    EXPECT_EQ(save(id.node), u"id=\"a&#x9;b&#xA;c&#xD;d\"");
}

} // namespace
