#include <DOMKw/schema/DomSchemaConstants.hpp>

#include <gtest/gtest.h>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/validators/schema/SchemaSymbols.hpp>

#include <set>
#include <string>
#include <vector>

namespace {

namespace dsc = DomSchemaConstants;

struct Exported {
    const char* name;
    const XMLCh* pointer;
    const DOMBTString* twin;
    bool writtenOut; // the table spells the text out rather than deriving it from the name
};

// Every exported pair, expanded from the list the library itself is built from.
const std::vector<Exported>& exported() {
    static const std::vector<Exported> all = {
#define DOMKW_SCHEMA_NAME(n) {#n, dsc::n, &dsc::n##Str, false},
#define DOMKW_SCHEMA_NAME_TEXT(n, t) {#n, dsc::n, &dsc::n##Str, true},
#include <DOMKw/schema/DomSchemaNames.def>
    };
    return all;
}

std::u16string textOf(const XMLCh* p) {
    return p ? std::u16string(p) : u"<null>";
}

// Read before main: a module's statics may read the vocabulary.
const std::u16string pointerAtStartUp = textOf(dsc::kApplication);
const std::u16string twinAtStartUp = dsc::kApplicationStr.str();
const bool sameBufferAtStartUp = dsc::kXmlNS == dsc::kXmlNSStr.GetUChar16();

struct XercesSession {
    XercesSession() { xercesc::XMLPlatformUtils::Initialize(); }
    ~XercesSession() { xercesc::XMLPlatformUtils::Terminate(); }
};

void collectNames(const xercesc::DOMElement* e, std::set<std::u16string>& names) {
    static const std::u16string kHostNs = u"urn:domkw:reference-host";
    const auto inOurVocabulary = [](const xercesc::DOMNode* n) {
        const XMLCh* ns = n->getNamespaceURI();
        return (!ns || kHostNs != ns) && !xercesc::XMLString::equals(n->getPrefix(), u"xmlns") &&
               !xercesc::XMLString::equals(n->getLocalName(), u"xmlns") &&
               !xercesc::XMLString::equals(ns, xercesc::SchemaSymbols::fgURI_XSI);
    };
    if (inOurVocabulary(e)) names.insert(e->getLocalName());
    const xercesc::DOMNamedNodeMap* attributes = e->getAttributes();
    for (XMLSize_t i = 0; i < attributes->getLength(); ++i) {
        if (inOurVocabulary(attributes->item(i))) names.insert(attributes->item(i)->getLocalName());
    }
    for (auto* c = e->getFirstElementChild(); c; c = c->getNextElementSibling()) collectNames(c, names);
}

// Spaces and the case of the first letter set aside.
std::u16string folded(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c != u' ')
            out += out.empty() && c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    }
    return out;
}

// Checks written-out spellings and the naming rule against a source the library does not share.
TEST(SchemaNames, TheSampleProjectSpellsTheVocabularyAsTheLibraryDoes) {
    std::set<std::string> names;
    std::set<std::u16string> vocabulary;
    std::set<std::u16string> foldedVocabulary;
    for (const Exported& e : exported()) {
        EXPECT_TRUE(names.insert(e.name).second) << e.name << " listed twice";
        EXPECT_EQ(e.pointer, e.twin->GetUChar16()) << e.name << ": not its twin's own buffer";
        vocabulary.insert(textOf(e.pointer));
        foldedVocabulary.insert(folded(textOf(e.pointer)));
    }
    XercesSession session;
    std::set<std::u16string> used;
    {
        xercesc::XercesDOMParser parser;
        parser.setDoNamespaces(true);
        parser.parse(DOMKW_SAMPLES_DIR "/project.xml");
        ASSERT_NE(parser.getDocument(), nullptr);
        collectNames(parser.getDocument()->getDocumentElement(), used);
    }
    size_t checked = 0;
    for (const std::u16string& name : used) {
        if (!foldedVocabulary.count(folded(name))) continue;
        ++checked;
        EXPECT_EQ(vocabulary.count(name), 1u) << ::testing::PrintToString(name) << " is spelt otherwise";
    }
    EXPECT_GE(checked, 20u) << "the sample checks too few names";
}

TEST(SchemaNamesLoadOrder, ModuleStaticsSeeTheNamesBuilt) {
    EXPECT_EQ(pointerAtStartUp, u"application");
    EXPECT_EQ(twinAtStartUp, u"application");
    EXPECT_TRUE(sameBufferAtStartUp);
}

} // namespace
