// Schema registration: what the host received from each function, field by field, what it refuses, and
// the services around it (instances, value maps, import, element rules).
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/bridge/StringKey.hpp>
#include <DOMKw/bridge/Transaction.hpp>

// Xalan-C's own declaration of its document: the bridge's forward declaration must name the same type.
#include <xalanc/Include/PlatformDefinitions.hpp>
#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMText.hpp>

#include <functional>

#include "common/HostFixture.hpp"

using namespace Kw;
namespace K = Kw::KWLIB;
using testing_support::domExceptionCode;

namespace {

class Registration : public testing_support::RegistrationTest {
protected:
    // The host's key pair of a qualified name, split as the library does.
    std::pair<HostKey, HostKey> keys(const std::u16string& prefix, const std::u16string& local) {
        return {prefix.empty() ? NO_KEY : host.keyOf(prefix), local.empty() ? NO_KEY : host.keyOf(local)};
    }
    static std::pair<HostKey, HostKey> of(const K::PrefixNamePair& p) { return {p.prefix.value(), p.localName.value()}; }
    ElementRef at(const std::string& path) { return ElementRef::fromHandle(host.find(path)); }
};

// Qualified names split at the first colon (no prefix: NO_KEY; "p:" interns an empty local name), and
// pairs at a separator ("UIEvent,DOMFocusIn": no separator gives two empty keys; a null out pointer is
// skipped and its part is not interned). Nothing is interned for an empty name.
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

// Each registration function against the record the host received: (call, kind, name, the three slots
// as qualified names, the two numbers, the second flag, the argument values).
TEST_F(Registration, EachFunctionSendsItsRecord) {
    K::RegArgs args[2];
    args[0].name = u"minOccurs";
    args[0].value = u"0";
    args[1].name = u"fixed"; // value left null
    const DOMBTString name(u"kw:FrameType"), s2(u"kw:Base"), s3(u"Third"), s4(u"x:Fourth");
    auto complex = [&](int kind) {
        return [&, kind] { return K::RegisterComplexType(kind, name, s2, s3, s4, 2, args, true, 17, -5, true); };
    };
    const std::vector<std::u16string> two{u"0", u""}, none;
    struct Row {
        std::function<bool()> call;
        int kind;
        const char16_t *name, *slots[3];
        int number1, number2, flag2;
        std::vector<std::u16string> values;
    } rows[] = {
        {complex(0), 0, u"kw:FrameType", {u"x:Fourth", u"kw:Base", u"Third"}, 17, -5, 1, two},
        {complex(1), 1, u"kw:FrameType", {u"", u"kw:Base", u""}, -1, 0, 0, two},
        {complex(2), 2, u"kw:FrameType", {u"x:Fourth", u"kw:Base", u"Third"}, 17, -5, 1, two},
        {complex(3), 3, u"kw:FrameType", {u"", u"kw:Base", u""}, -1, 0, 0, two},
        {complex(4), 4, u"kw:FrameType", {u"", u"kw:Base", u""}, -1, 0, 0, two},
        {[] { return K::RegisterElement(DOMBTString(u"kw:Slug"), DOMBTString(u"box"), DOMBTString(u"kw:SlugType")); },
         5, u"kw:Slug", {u"box", u"kw:SlugType", u""}, -1, 0, 0, none},
        {[&] {
             return K::RegisterAttribute(DOMBTString(u"kw:tag"), DOMBTString(u"kw:Slug"), DOMBTString(u"xsd:string"), 1, args);
         },
         6, u"kw:tag", {u"kw:Slug", u"xsd:string", u""}, -1, 0, 0, {u"0"}},
        {[] { return K::RegisterDefaultElement(DOMBTString(u"kw:Default"), DOMBTString(), DOMBTString(u"t"), 0, nullptr); },
         7, u"kw:Default", {u"", u"t", u""}, -1, 0, 0, none},
    };
    auto split = [&](std::u16string q) {
        const size_t colon = q.find(u':');
        return colon == q.npos ? keys(u"", q) : keys(q.substr(0, colon), q.substr(colon + 1));
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.kind);
        ASSERT_TRUE(row.call());
        const kwhost::DeclarationRegistration& d = host.declarations().back();
        EXPECT_EQ(d.kind, row.kind);
        EXPECT_EQ(of(d.name), split(row.name));
        ASSERT_TRUE(d.hasRecord);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(of(d.record.slots[i]), split(row.slots[i])) << i;
        EXPECT_EQ(d.record.number1, row.number1);
        EXPECT_EQ(d.record.number2, row.number2);
        EXPECT_EQ(d.record.flag1, 0);
        EXPECT_EQ(d.record.flag2, row.flag2);
        EXPECT_EQ(d.count, int(row.values.size()));
        ASSERT_EQ(d.args.size(), row.values.size());
        for (size_t i = 0; i < row.values.size(); ++i) EXPECT_EQ(d.args[i].value, row.values[i]);
    }
    EXPECT_EQ(host.declarations()[0].args[0].name, u"minOccurs");
    EXPECT_FALSE(K::RegisterSchemaEnumValue(DOMBTString(u"x"), DOMBTString(), 1));
    EXPECT_FALSE(K::InitTypeDeclaration(DOMBTString(u"kw:Unknown")));
    EXPECT_FALSE(K::ReleaseDocXPathCache(nullptr));
    // Refused: kinds beyond 0..4, and what the host cannot keep.
    EXPECT_FALSE(K::RegisterComplexType(5, DOMBTString(u"a:b"), s2, s3, s4, 0, nullptr, false, 0, 0, false));
    EXPECT_FALSE(K::RegisterComplexType(-1, name, s2, s3, s4, 0, nullptr, false, 0, 0, false));
    EXPECT_FALSE(K::RegisterAttribute(DOMBTString(u"kw:a"), DOMBTString(), DOMBTString(), 3, nullptr));
    EXPECT_FALSE(K::RegisterAttribute(DOMBTString(u"kw:a"), DOMBTString(), DOMBTString(), -1, args));
    EXPECT_FALSE(K::RegisterElement(DOMBTString(), DOMBTString(), DOMBTString()));
    EXPECT_EQ(host.declarations().size(), std::size(rows));
}

TEST_F(Registration, BaseInstancesAndValueMaps) {
    ASSERT_TRUE(K::RegisterComplexType(0, DOMBTString(u"kw:Slug"), DOMBTString(), DOMBTString(),
                                       DOMBTString(), 0, nullptr, false, 0, 0, false));
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

    int context = 0;
    void* instance = nullptr;
    ASSERT_TRUE(K::CreateBaseInstance(instance, DOMBTString(u"kw:Slug"), u"payload", &context, &values));
    const kwhost::BaseInstance* made = host.baseInstance(instance);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(of(made->type), keys(u"kw", u"Slug"));
    EXPECT_EQ(made->text, u"payload");
    EXPECT_EQ(made->context, &context);
    EXPECT_EQ(made->values.size(), 2u);
    void* other = nullptr;
    EXPECT_FALSE(K::CreateBaseInstance(other, DOMBTString(u"kw:Unregistered"), nullptr, nullptr, nullptr));
    EXPECT_EQ(other, nullptr);
    EXPECT_FALSE(K::DeleteBaseInstance(instance, DOMBTString(u"kw:Other")));
    EXPECT_TRUE(K::DeleteBaseInstance(instance, DOMBTString(u"kw:Slug")));
    EXPECT_FALSE(K::DeleteBaseInstance(instance, DOMBTString(u"kw:Slug"))); // deleted already
    EXPECT_EQ(host.baseInstanceCount(), 0u);

    // An address that is no live value map of the host's is refused, never read.
    const K::ValueMap* gone = nullptr;
    {
        kwhost::ValueMap temporary;
        gone = &temporary;
    }
    EXPECT_EQ(gone->getNumberOfKeys(), 0);
    EXPECT_EQ(gone->getValue(DOMBTString(u"width")).str(), u"");
}

TEST_F(Registration, ImportAddsTheProjectOrChangesNothingAndATransactionUndoesIt) {
    const std::string before = host.toXml();
    auto path = [](const std::string& name) {
        const std::string p = testing_support::testDataPath(name);
        return std::u16string(p.begin(), p.end());
    };
    EXPECT_FALSE(K::Import(path("malformed.xml").c_str()));
    EXPECT_FALSE(K::Import(path("absent.xml").c_str()));
    EXPECT_FALSE(K::Import(path("").c_str())); // a folder
    EXPECT_FALSE(K::Import(nullptr));
    EXPECT_EQ(host.toXml(), before);
    // Undone by abort, and by rollback, which leaves the transaction open: an import then is committed.
    for (const bool abort : {true, false}) {
        Transaction tx;
        ASSERT_TRUE(tx.Begin());
        ASSERT_TRUE(K::Import(path("import.xml").c_str()));
        EXPECT_NE(host.toXml(), before);
        EXPECT_TRUE(abort ? tx.Abort() : tx.Rollback());
        EXPECT_EQ(host.toXml(), before);
        EXPECT_EQ(host.transactionActive(tx.GetImpl()), !abort);
        if (abort) continue;
        ASSERT_TRUE(K::Import(path("import.xml").c_str()));
        EXPECT_TRUE(tx.Commit());
        EXPECT_EQ(host.undoLogLength(), 0u);
    }
    EXPECT_EQ(host.transactionCount(), 0u);
    ElementRef imported = ElementRef::get_Application().get_FirstChild();
    while (!imported.get_NextSibling().isNil()) imported = imported.get_NextSibling();
    EXPECT_EQ(imported.GetAttribute(StringKey(u"id")).str(), u"p2");
    EXPECT_TRUE(at("project[2]/story").IsReadOnly());
    EXPECT_EQ(host.toXml(imported.get()).find("urn:domkw:reference-host"), std::string::npos);
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
