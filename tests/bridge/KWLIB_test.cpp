// Schema registration and the services around it (instances, value maps, import, element rules).
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/bridge/StringKey.hpp>
#include <DOMKw/bridge/Transaction.hpp>

// Xalan-C's own declaration of its document: the bridge's forward declaration must name the same type.
#include <xalanc/Include/PlatformDefinitions.hpp>
#include <xercesc/dom/DOM.hpp>

#include "common/HostFixture.hpp"

using namespace Kw;
namespace K = Kw::KWLIB;
using testing_support::domExceptionCode;

namespace {

class Registration : public testing_support::RegistrationTest {
protected:
    ElementRef at(const std::string& path) { return ElementRef::fromHandle(host.find(path)); }
};

// Names split at the first colon and pairs at a separator; a null out pointer's part is not interned.
TEST_F(Registration, NamesAndPairsAreSplitAtTheirSeparator) {
    const char16_t* const names[][3] = {{u"p:Box", u"p", u"Box"},
                                        {u":Box", u"", u":Box"},
                                        {u"Box", u"", u"Box"},
                                        {u"a:b:c", u"a", u"b:c"},
                                        {u"p:", u"p", u""}};
    for (const auto& c : names) {
        const K::PrefixNamePair pair = K::seperatePrefixName(DOMBTString(c[0]));
        EXPECT_EQ(pair.prefix.value(), *c[1] ? host.keyOf(c[1]) : NO_KEY);
        EXPECT_EQ(pair.localName.value(), host.keyOf(c[2]));
    }
    const char16_t* const pairs[][3] = {{u"UIEvent,DOMFocusIn", u"UIEvent", u"DOMFocusIn"},
                                        {u"UIEvent", u"", u""},
                                        {u",DOMFocusIn", u",DOMFocusIn", u""},
                                        {u"a,b,c", u"a", u"b,c"},
                                        {u"a,", u"a", u""},
                                        {u"", u"", u""}};
    for (const auto& c : pairs) {
        StringKey first, second;
        SeparatePair(DOMBTString(c[0]), u',', &first, &second);
        EXPECT_EQ(first.value(), host.keyOf(c[1])) << std::u16string(c[0]).size();
        EXPECT_EQ(second.value(), host.keyOf(c[2]));
    }
    const uint64_t before = host.callCount(host::StringToKey);
    const K::PrefixNamePair empty = K::seperatePrefixName(DOMBTString());
    EXPECT_TRUE(empty.prefix.isNone() && empty.localName.isNone());
    StringKey first;
    SeparatePair(DOMBTString(u"MouseEvent,click"), u',', &first, nullptr);
    EXPECT_EQ(host.callCount(host::StringToKey), before + 1);
    EXPECT_EQ(first.value(), host.keyOf(u"MouseEvent"));
}

// What the host cannot keep is refused and leaves no declaration.
TEST_F(Registration, RefusedRegistrationsLeaveNoDeclaration) {
    K::RegArgs args[1];
    const DOMBTString name(u"kw:FrameType"), slot(u"kw:Base");
    EXPECT_FALSE(K::RegisterComplexType(5, DOMBTString(u"a:b"), slot, slot, slot, 0, nullptr, false, 0, 0, false));
    EXPECT_FALSE(K::RegisterComplexType(-1, name, slot, slot, slot, 0, nullptr, false, 0, 0, false));
    EXPECT_FALSE(K::RegisterAttribute(DOMBTString(u"kw:a"), DOMBTString(), DOMBTString(), 3, nullptr));
    EXPECT_FALSE(K::RegisterAttribute(DOMBTString(u"kw:a"), DOMBTString(), DOMBTString(), -1, args));
    EXPECT_FALSE(K::RegisterElement(DOMBTString(), DOMBTString(), DOMBTString()));
    EXPECT_TRUE(host.declarations().empty());
    EXPECT_FALSE(K::RegisterSchemaEnumValue(DOMBTString(u"x"), DOMBTString(), 1));
    EXPECT_FALSE(K::InitTypeDeclaration(DOMBTString(u"kw:Unknown")));
    EXPECT_FALSE(K::ReleaseDocXPathCache(nullptr));
}

TEST_F(Registration, ValueMaps) {
    kwhost::ValueMap values;
    values.set(u"width", u"12pt");
    values.set(u"colour", u"Cyan");
    values.set(u"width", u"14pt");
    const K::ValueMap& map = values;
    EXPECT_EQ(map.getNumberOfKeys(), 2);
    EXPECT_EQ(std::u16string(map.getKey(1).GetUChar16()), u"colour");
    EXPECT_TRUE(map.getKey(2).isNone() && map.getKey(-1).isNone());
    EXPECT_EQ(map.getValue(DOMBTString(u"width")).str(), u"14pt");
    EXPECT_EQ(map.getValue(DOMBTString(u"height")).str(), u"");

    // An address that is no live value map of the host's is refused, never read.
    const K::ValueMap* gone = nullptr;
    {
        kwhost::ValueMap temporary;
        gone = &temporary;
    }
    EXPECT_EQ(gone->getNumberOfKeys(), 0);
    EXPECT_EQ(gone->getValue(DOMBTString(u"width")).str(), u"");
}

TEST_F(Registration, ElementRules) {
    xercesc::DOMDocument* doc = xercesc::DOMImplementation::getImplementation()->createDocument();
    xercesc::DOMElement* slug = doc->createElement(u"kw:Slug");
    xercesc::DOMElement* box = doc->createElement(u"box");
    xercesc::DOMText* text = doc->createTextNode(u"t");
    xercesc::DOMAttr* attr = doc->createAttribute(u"a");
    ElementRef page = at("project/layout/spread/page");
    ElementRef story = at("project/story");

    page.ValidateElement(slug); // no rule yet
    ASSERT_TRUE(K::RegisterElement(DOMBTString(u"kw:Slug"), DOMBTString(u"page"), DOMBTString()));
    page.ValidateElement(slug);
    page.ValidateElement(box);
    story.ValidateElement(box);
    EXPECT_EQ(domExceptionCode([&] { story.ValidateElement(slug); }), 16);
    EXPECT_EQ(domExceptionCode([&] { at("preferences").ValidateElement(box); }), 7);
    EXPECT_EQ(domExceptionCode([&] { at("preferences").ValidateElement(text); }), 7);
    EXPECT_EQ(domExceptionCode([&] { page.ValidateElement(attr); }), 3);
    EXPECT_EQ(domExceptionCode([&] { page.ValidateElement(doc); }), 3);
    EXPECT_EQ(domExceptionCode(
                  [&] { at("project/story/paragraph/textRun").get_FirstChild().ValidateElement(box); }),
              3);
    EXPECT_EQ(domExceptionCode([&] { page.ValidateElement(nullptr); }), 15);
    doc->release();
}

} // namespace
