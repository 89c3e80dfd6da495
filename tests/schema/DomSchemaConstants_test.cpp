// The exported schema vocabulary: the list of names, their texts, and the pairing of each pointer
// with its DOMBTString twin.
#include <DOMKw/schema/DomSchemaConstants.hpp>

#include <gtest/gtest.h>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <cstring>
#include <map>
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

// The names whose text the host spells its own way, with that text; kept apart from the library's
// table so that a slip in either shows up here.
const std::map<std::string, std::u16string> kHostSpelled = {
    {"kAllCaps", u"All Caps"},
    {"kAllSmallCaps", u"All Small Caps"},
    {"kAssetCharacterStyle", u"assetCharStyle"},
    {"kAssetCharacterStyleType", u"assetCharStyleType"},
    {"kAssetHAndJStyle", u"assetHAndJ"},
    {"kAssetParagraphStyle", u"assetParaStyle"},
    {"kAssetParagraphStyleType", u"assetParaStyleType"},
    {"kAutoHypn", u"autoHyphen"},
    {"kAutoPagheInsertionEnum", u"autoPageInsertionEnum"},
    {"kBaseAttrGroupType", u"baseAtrGroupType"},
    {"kBaseNamespaceUriRC", u"http://domkw.example.org/Tellam/DOM/RC/"},
    {"kBaseNamespaceUriKw", u"http://domkw.example.org/Tellam/DOM/Kw/"},
    {"kBasicLatin", u"Basic Latin"},
    {"kBinary", u"@{BINARY}"},
    {"kBindingSetOwner", u"\towner"},
    {"kBoxBindingSetDB", u"boxBindingDB"},
    {"kBoxDeletelock", u"deleteLock"},
    {"kBoxLocationlock", u"locationlock"},
    {"kBoxModifyParamlock", u"modifyParamLock"},
    {"kBoxSizelock", u"sizeLock"},
    {"kCDataSection", u"cdata-sections"},
    {"kCanadianAboriginal", u"Canadian Aboriginal"},
    {"kCanonicalForm", u"canonical-form"},
    {"kCharacterText", u"Character Text"},
    {"kCloseParenthesis", u"Close Parenthesis"},
    {"kCompoScr", u"compositeScreenInfo"},
    {"kDatatypeNormalization", u"datatype-normalization"},
    {"kDiscardDefContent", u"discard-default-content"},
    {"kDiscretionaryReturn", u"BtmDiscretionaryReturn"},
    {"kDisplayPreferenceType", u"dispalyPreferenceType"},
    {"kDoubleArrow", u"Double Arrow"},
    {"kEntityResolver", u"entity-resolver"},
    {"kErrorHandler", u"error-handler"},
    {"kFlexSpace", u"BtmFlexSpace"},
    {"kFormFeed", u"BtmFormFeed"},
    {"kGenPreference", u"generalPreference"},
    {"kHyphenAndJustificaStyle", u"hyphenAndJustificationStyle"},
    {"kHyphenJustificaStyles", u"hyphenJustificationStyles"},
    {"kIgnoreText", u"Ignore Text"},
    {"kInchesDecimal", u"Inches Decimal"},
    {"kJustificationMax", u"justificationMaximum"},
    {"kJustificationMin", u"justificationMinimum"},
    {"kJustificationOpt", u"justificationOption"},
    {"kKatakanaOrHiragana", u"Katakana Or Hiragana"},
    {"kLastUnicodeScript", u"Last Unicode Script"},
    {"kLayoutPolyPoint", u"polyPoint"},
    {"kLeftArrow", u"Left Arrow"},
    {"kLeftFeatheredArrow", u"Left Feathered Arrow"},
    {"kLinearB", u"Linear B"},
    {"kLiningFigures", u"Lining Figures"},
    {"kNamespaceDecls", u"namespace-declarations"},
    {"kNilDOMString", u""},
    {"kNoStyle", u"No Style"},
    {"kNonParenthesis", u"Non Parenthesis"},
    {"kNormalizeChars", u"normalize-characters"},
    {"kOldItalic", u"Old Italic"},
    {"kOldstyleFigures", u"Oldstyle Figures"},
    {"kOpenParenthesis", u"Open Parenthesis"},
    {"kOverPrint", u"Overprint"},
    {"kPageFilipEnum", u"pageFlipEnum"},
    {"kPageNumInfo", u"pageNumberingInfo"},
    {"kPicasInDecimal", u"Picas In decimal"},
    {"kPlainLine", u"Plain Line"},
    {"kPlateColorID", u"platecid"},
    {"kPropotionalFigures", u"Propotional Figures"},
    {"kPunctuationSpace", u"BtmPunctuationSpace"},
    {"kBTMApplicationType", u"btmType:applicationType"},
    {"kBTMItemShapeType", u"btmType:itemShapeType"},
    {"kBTMLayoutObjectType", u"btmType:layoutObjectType"},
    {"kBTMLayoutSpaceType", u"btmType:layoutSpaceType"},
    {"kBTMPercent", u"btmType:percent"},
    {"kBTMPictureItemShapeType", u"btmType:pictureItemShapeType"},
    {"kBTMProjectType", u"btmType:projectType"},
    {"kBTMTextAttributeType", u"btmType:textAttributeType"},
    {"kBTMTextItemBoxShapeType", u"btmType:textItemBoxShapeType"},
    {"kBTMTextRunTextAttributeType", u"btmType:textRunTextAttributeType"},
    {"kRightArrow", u"Right Arrow"},
    {"kRightFeatheredArrow", u"Right Feathered Arrow"},
    {"kRunaroundAlphaChannel", u"alphaChannelType"},
    {"kRunaroundAutoImage", u"autoImageType"},
    {"kRunaroundEmbeddedPath", u"embeddedPathType"},
    {"kRunaroundItem", u"itemType"},
    {"kRunaroundManual", u"manualType"},
    {"kRunaroundNonWhiteAreas", u"nonWhiteAreasType"},
    {"kRunaroundNone", u"noneType"},
    {"kRunaroundPictureBounds", u"pictureBoundsType"},
    {"kRunaroundSameAsClipping", u"sameAsClippingType"},
    {"kSchemaLocation", u"schema-location"},
    {"kSchemaType", u"schema-type"},
    {"kSeparationsScr", u"separationsScreenInfo"},
    {"kSequentialPageNumber", u"seqPageNumber"},
    {"kShapeObjectEnum", u"shapeObjectAttribEnum"},
    {"kSharedStoryItem", u"sharedStory"},
    {"kShowKwManagerWhenType", u"KwManagerWhenType"},
    {"kSmallCaps", u"Small Caps"},
    {"kSoftEnter", u"BtmSoftEnter"},
    {"kSoftHyphen", u"BtmSoftHyphen"},
    {"kSplitCDataSections", u"split-cdata-sections"},
    {"kTabularFigures", u"Tabular Figures"},
    {"kTaiLe", u"Tai Le"},
    {"kTempMargin", u"BtmTempMargin"},
    {"kTextBoxBindingSetDB", u"textBoxBindingDB"},
    {"kTextCapHeight", u"capHeight"},
    {"kTextVariedInset", u"variedInset"},
    {"kTrapAmount", u"trapamt"},
    {"kValidateIfSchema", u"validate-if-schema"},
    {"kVerticalTab", u"BtmVerticalTab"},
    {"kWhitespaceInElement", u"whitespace-in-element-content"},
    {"kWildCard", u"BtmUEGWildCard"},
    {"kWordUnderline", u"Word Underline"},
    {"kXAttrNewValue", u"@{VALUE}"},
    {"kXAttribName", u"@{ATTRIBUTENAME}"},
    {"kXIndex", u"@{INDEX}"},
    {"kXItemType", u"@{TYPE}"},
    {"kXLayoutID", u"@{LAYOUTID}"},
    {"kXProjectID", u"@{PROJECTID}"},
    {"kXRefChild", u"@{REFCHILD}"},
    {"kXSDBoolean", u"xsd:boolean"},
    {"kXSDComplexType", u"xsd:complexType"},
    {"kXSDElement", u"xsd:elementType"},
    {"kXSDInteger", u"xsd:integer"},
    {"kXSDSequence", u"xsd:sequence"},
    {"kXSDSimpleType", u"xsd:simpleType"},
    {"kXSDString", u"xsd:string"},
    {"kXSIType", u"xsi:type"},
    {"kKwmoduleManagerPreference", u"kwmoduleManagerPreference"},
    {"kXUID", u"@{UID}"},
    {"kXXml", u"@{XML}"},
    {"kXYZColorSpace", u"XYZColorSpaceType"},
    {"kXmlNS", u"xmlns:"},
    {"kipeStyleType", u"ipeStyleType"},
};

std::u16string textOf(const XMLCh* p) {
    return p ? std::u16string(p) : u"<null>";
}

TEST(SchemaNames, ListHoldsEach954NamesOnce) {
    EXPECT_EQ(exported().size(), 954u);
    std::set<std::string> names;
    std::set<const void*> twins, pointers;
    for (const Exported& e : exported()) {
        EXPECT_TRUE(names.insert(e.name).second) << e.name << " listed twice";
        EXPECT_TRUE(twins.insert(e.twin).second) << e.name << " shares its twin";
        EXPECT_TRUE(pointers.insert(e.pointer).second) << e.name << " shares its buffer";
    }
}

TEST(SchemaNames, WrittenOutTextsAreTheHostSpellings) {
    EXPECT_EQ(kHostSpelled.size(), 131u);
    std::set<std::string> writtenOut;
    for (const Exported& e : exported()) {
        if (!e.writtenOut) continue;
        writtenOut.insert(e.name);
        const auto expected = kHostSpelled.find(e.name);
        ASSERT_NE(expected, kHostSpelled.end()) << e.name << " is written out but has no host spelling";
        EXPECT_EQ(textOf(e.pointer), expected->second) << e.name;
    }
    for (const auto& [name, text] : kHostSpelled) EXPECT_EQ(writtenOut.count(name), 1u) << name << " missing";
}

TEST(SchemaNames, OtherNamesFollowTheNamingRule) {
    // Fixed examples first: only the first letter after the 'k' changes case.
    const std::vector<std::pair<const XMLCh*, std::u16string>> samples = {
        {dsc::kVertexSelected, u"vertexSelected"},         {dsc::kApplication, u"application"},
        {dsc::kPaperHeightType, u"paperHeightType"},       {dsc::kQ, u"q"},
        {dsc::kCMYKColorSpaceType, u"cMYKColorSpaceType"}, {dsc::kID, u"iD"},
        {dsc::kBtmObjectType, u"btmObjectType"},           {dsc::kKWID, u"kWID"},
    };
    for (const auto& [pointer, text] : samples) EXPECT_EQ(textOf(pointer), text);

    size_t ruleNames = 0;
    for (const Exported& e : exported()) {
        if (e.writtenOut) continue;
        ++ruleNames;
        ASSERT_EQ(e.name[0], 'k') << e.name;
        std::u16string expected(e.name + 1, e.name + std::strlen(e.name));
        if (expected[0] >= u'A' && expected[0] <= u'Z') expected[0] += u'a' - u'A';
        EXPECT_EQ(textOf(e.pointer), expected) << e.name;
    }
    EXPECT_EQ(ruleNames, 954u - 131u);
}

TEST(SchemaNames, PointerIsTheTwinsOwnBuffer) {
    for (const Exported& e : exported()) {
        ASSERT_NE(e.pointer, nullptr) << e.name;
        EXPECT_EQ(e.pointer, e.twin->GetUChar16()) << e.name;
        EXPECT_EQ(static_cast<long>(std::char_traits<XMLCh>::length(e.pointer)), e.twin->GetLength())
            << e.name;
    }
}

TEST(SchemaNames, NilDOMStringIsEmptyButNotNull) {
    ASSERT_NE(dsc::kNilDOMString, nullptr);
    EXPECT_EQ(dsc::kNilDOMString[0], u'\0');
    EXPECT_TRUE(dsc::kNilDOMStringStr.IsEmpty());
}

TEST(SchemaNames, BindingSetOwnerStartsWithATab) {
    EXPECT_EQ(dsc::kBindingSetOwner[0], u'\t');
    EXPECT_EQ(textOf(dsc::kBindingSetOwner), u"\towner");
}

TEST(SchemaNames, XmlNSIsThePrefixOfNamespaceDeclarations) {
    EXPECT_EQ(textOf(dsc::kXmlNS), u"xmlns:");
    EXPECT_EQ(textOf(dsc::kXmlNS), textOf(xercesc::XMLUni::fgXMLNSColonString));

    // A prefix lookup done as the DOM does it (the attribute kXmlNS + prefix on the element) agrees
    // with Xerces-C's own lookup over the same XML, declared and undeclared prefixes alike.
    static const char xml[] = R"(<r xmlns:p="urn:example:p" xmlns:q="urn:example:q"><c/></r>)";
    struct XercesSession {
        XercesSession() { xercesc::XMLPlatformUtils::Initialize(); }
        ~XercesSession() { xercesc::XMLPlatformUtils::Terminate(); }
    } session;
    {
        xercesc::XercesDOMParser parser;
        parser.setDoNamespaces(true);
        xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml), sizeof xml - 1, "lookup");
        parser.parse(source);
        ASSERT_NE(parser.getDocument(), nullptr);
        const xercesc::DOMElement* root = parser.getDocument()->getDocumentElement();
        for (const XMLCh* prefix : {u"p", u"q", u"r"}) {
            const DOMBTString attr = dsc::kXmlNSStr + DOMBTString(prefix);
            const XMLCh* viaAttr =
                root->hasAttribute(attr.GetUChar16()) ? root->getAttribute(attr.GetUChar16()) : nullptr;
            EXPECT_EQ(textOf(viaAttr), textOf(root->lookupNamespaceURI(prefix)))
                << testing::PrintToString(textOf(prefix));
        }
    }
}

} // namespace
