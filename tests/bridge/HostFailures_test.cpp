// Every host failure path of the facade: a failure injected into each host operation that references,
// typed values, registration and transactions call comes out as the convention of that call.
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/bridge/Transaction.hpp>
#include <DOMKw/strings/SimpleType.hpp>

// Xalan-C's own declaration of its document: the bridge's forward declaration must name the same type.
#include <xalanc/Include/PlatformDefinitions.hpp>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMImplementation.hpp>

#include <algorithm>
#include <functional>

#include "bridge/AttributeRef.hpp"
#include "bridge/CallbackTable.hpp"
#include "common/HostFixture.hpp"

using namespace Kw;
namespace K = Kw::KWLIB;

namespace {

constexpr int32_t kStatus = 0x70005; // low 16 bits: DOMException code 5

enum class Outcome {
    Throws,     // DOMException(kStatus & 0xFFFF)
    Validation, // DOMException 16 whatever the status
    Long,       // the status itself, thrown as a long
    False,      // the call answers false
    Fallback,   // the call completes with its documented fall-back (checked by the call itself)
};

struct Row {
    const char* name;
    int selector;
    Outcome outcome;
    std::function<bool()> call; // False rows return the call's bool; Fallback rows whether it fell back
};

class HostFailures : public testing_support::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        host.clearRegistrations();
        host.clearValidators();
    }
    void TearDown() override {
        host.clearRegistrations();
        host.clearValidators();
        HostTest::TearDown();
    }

    void run(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            host.failAt(row.selector, kStatus);
            Outcome got = Outcome::Fallback;
            int code = 0;
            long status = 0;
            bool result = false;
            try {
                result = row.call();
                got = row.outcome == Outcome::False ? (result ? Outcome::Fallback : Outcome::False)
                                                    : Outcome::Fallback;
            } catch (const xercesc::DOMException& e) {
                code = e.code;
                got = code == 16 ? Outcome::Validation : Outcome::Throws;
            } catch (long s) {
                status = s;
                got = Outcome::Long;
            }
            EXPECT_FALSE(host.failureArmed()) << "the operation never reached the host";
            host.disarm();
            EXPECT_EQ(static_cast<int>(got), static_cast<int>(row.outcome));
            switch (row.outcome) {
            case Outcome::Throws:
                EXPECT_EQ(code, kStatus & 0xFFFF);
                break;
            case Outcome::Long:
                EXPECT_EQ(status, kStatus);
                break;
            case Outcome::Fallback:
                EXPECT_TRUE(result) << "not the documented fall-back";
                break;
            default:
                break;
            }
        }
    }

    ElementRef at(const std::string& path) { return ElementRef::fromHandle(host.find(path)); }
};

TEST_F(HostFailures, References) {
    ElementRef page = at("project/layout/spread/page");
    ElementRef box = at("project/layout/spread/page/box");
    ElementRef color = at("colors/color");
    ElementRef text = at("project/story/paragraph/textRun").get_FirstChild();
    const StringKey id(u"id"), bounds(u"bounds");
    const StringKey xsiNs(u"http://www.w3.org/2001/XMLSchema-instance"), type(u"type");
    xercesc::DOMDocument* doc = xercesc::DOMImplementation::getImplementation()->createDocument();
    xercesc::DOMElement* node = doc->createElement(u"box");

    std::vector<Row> rows = {
        {"acquire", host::AdjustReference, Outcome::Throws,
         [&] {
             ElementRef copy(page);
             return true;
         }},
        {"get attribute", host::GetAttributeValue, Outcome::Fallback,
         [&] { return box.GetAttribute(id).str().empty(); }},
        {"set attribute", host::SetAttributeValue, Outcome::Throws,
         [&] {
             box.SetAttribute(id, DOMBTString(u"x"));
             return true;
         }},
        {"set typed attribute", host::SetAttributeValue, Outcome::Throws,
         [&] {
             box.SetAttribute(id, int32_t{3});
             return true;
         }},
        {"attribute keys", host::GetAttributeKeys, Outcome::Fallback,
         [&] { return box.get_AttributeKeys().empty(); }},
        {"first child", host::NavigateElement, Outcome::Fallback,
         [&] { return page.get_FirstChild().isNil(); }},
        {"application", host::NavigateElement, Outcome::Throws,
         [&] {
             ElementRef::get_Application();
             return true;
         }},
        {"tag name key", host::GetElementNameKey, Outcome::Fallback,
         [&] { return box.get_TagName().str().empty(); }},
        {"uri key", host::GetElementNameKey, Outcome::Fallback,
         [&] { return color.get_URI().str().empty(); }},
        {"tag name text", host::KeyToString, Outcome::Throws,
         [&] {
             box.get_TagName();
             return true;
         }},
        {"child count", host::GetNumChildren, Outcome::Fallback, [&] { return page.get_NumChildren() == 0; }},
        {"insert child", host::InsertBeforeChild, Outcome::Throws,
         [&] {
             page.InsertBeforeChild(box, ElementRef());
             return true;
         }},
        {"insert new child", host::InsertNewChild, Outcome::Throws,
         [&] {
             page.InsertBeforeChild(DOMBTString(u"<box/>"), ElementRef(), 0);
             return true;
         }},
        {"remove child", host::RemoveChild, Outcome::Throws,
         [&] {
             page.RemoveChild(box);
             return true;
         }},
        {"is text", host::IsTextNode, Outcome::Throws,
         [&] {
             text.IsTextNode();
             return true;
         }},
        {"is read-only", host::IsReadOnly, Outcome::Throws,
         [&] {
             text.IsReadOnly();
             return true;
         }},
        {"text value", host::GetTextValue, Outcome::Fallback,
         [&] { return text.GetTextValue().str().empty(); }},
        {"set text", host::SetTextValue, Outcome::Throws,
         [&] {
             text.SetTextValue(0, DOMBTString(u"x"));
             return true;
         }},
        {"delete text", host::DeleteTextValue, Outcome::Throws,
         [&] {
             text.DeleteTextValue(0, 1);
             return true;
         }},
        {"validate", host::ValidateElement, Outcome::Throws,
         [&] {
             page.ValidateElement(node);
             return true;
         }},
        {"attribute NS", host::GetAttributeValueNS, Outcome::Fallback,
         [&] { return color.GetAttributeValueNS(xsiNs, type).str().empty(); }},
        {"has attribute NS", host::HasAttributeNS, Outcome::Throws,
         [&] {
             color.hasAttributeNS(xsiNs, type);
             return true;
         }},
        {"header", host::GetXMLHeaderAttr, Outcome::Fallback,
         [&] {
             int n = 0;
             DOMBTString a, b;
             return ElementRef::GetXMLHeaderAttr(0, n, a, b) == kStatus; // the status, unchanged
         }},
        {"implied", host::IsAttributeImplied, Outcome::Throws,
         [&] {
             AttributeRef(color, id).isImplied();
             return true;
         }},
        {"uncopyable", host::IsAttributeUncopyable, Outcome::Throws,
         [&] {
             AttributeRef(color, id).isUncopyable();
             return true;
         }},
        {"resolve name", host::ResolveAttributeName, Outcome::Throws,
         [&] {
             AttributeRef(color, id).resolveName();
             return true;
         }},
        {"write NS", host::SetAttributeValueNS, Outcome::Throws,
         [&] {
             AttributeRef a(color, type);
             a.nsKey = xsiNs;
             a.useNS = true;
             a.write(DOMBTString(u"SpotColor"));
             return true;
         }},
        {"read NS", host::GetAttributeValueNS, Outcome::Fallback,
         [&] {
             AttributeRef a(color, type);
             a.nsKey = xsiNs;
             a.useNS = true;
             return a.read().str().empty();
         }},
        {"stop propagation", host::ControlEvent, Outcome::Fallback,
         [&] {
             EventRef(ObjectRef(page)).StopPropagation();
             return true;
         }},
        {"create event", host::CreateEvent, Outcome::Throws,
         [&] {
             EventRef::CreateFrom(DOMBTString(u"MutationEvent"));
             return true;
         }},
        {"intern", host::StringToKey, Outcome::Throws,
         [&] {
             StringKey k(u"fresh");
             return true;
         }},
    };
    run(rows);
    // Typed reads fall back through "" to 0.
    host.failAt(host::GetAttributeValue, kStatus);
    EXPECT_EQ(box.GetAttributeDoubleRef(bounds).first, 0);
    host.failAt(host::GetAttributeValue, kStatus);
    EXPECT_EQ(box.GetAttributeLong(bounds), 0);
    // A release fails after an acquire: armed by hand.
    {
        SCOPED_TRACE("release in assignment");
        ElementRef r(page);
        host.failAt(host::AdjustReference, kStatus);
        EXPECT_EQ(testing_support::domExceptionCode([&] { r = ElementRef(); }), 5);
        host.disarm();
        host::callbacks().AdjustReference(page.get(), false); // the reference the host kept
    }
    {
        SCOPED_TRACE("release in destructor");
        auto* r = new ElementRef(page);
        host.failAt(host::AdjustReference, kStatus);
        delete r; // not examined: no exception
        EXPECT_FALSE(host.failureArmed());
        host.disarm();
        host::callbacks().AdjustReference(page.get(), false);
    }
    doc->release();
}

TEST_F(HostFailures, RegistrationTransactionsAndConversions) {
    // What each call needs to succeed, so that only the injected failure makes it fail.
    ASSERT_TRUE(K::RegisterComplexType(0, DOMBTString(u"kw:Frame"), DOMBTString(), DOMBTString(),
                                       DOMBTString(), 0, nullptr, false, 0, 0, false));
    ASSERT_TRUE(K::RegisterSchemaEnumValue(DOMBTString(u"Left"), DOMBTString(u"kw:Align"), 0));
    void* instance = nullptr;
    ASSERT_TRUE(K::CreateBaseInstance(instance, DOMBTString(u"kw:Frame"), u"t", nullptr, nullptr));
    kwhost::ValueMap values;
    values.set(u"k", u"v");
    const K::RegArgs args;
    const xalanc::XalanDocument* xalanDoc = reinterpret_cast<const xalanc::XalanDocument*>(&values);
    const std::string importPath = testing_support::testDataPath("import.xml");
    const std::u16string path(importPath.begin(), importPath.end());
    Transaction tx;
    ITransactionHandler handler;
    IValidator validator;
    const DOMBTString frame(u"kw:Frame");

    const std::vector<Row> rows = {
        {"complex type", host::RegisterDeclaration, Outcome::False,
         [&] {
             return K::RegisterComplexType(1, DOMBTString(u"kw:T"), frame, frame, frame, 0, nullptr, 0, 0, 0,
                                           0);
         }},
        {"element", host::RegisterDeclaration, Outcome::False,
         [&] { return K::RegisterElement(DOMBTString(u"kw:E"), frame, frame); }},
        {"attribute", host::RegisterDeclaration, Outcome::False,
         [&] { return K::RegisterAttribute(DOMBTString(u"kw:A"), frame, frame, 1, &args); }},
        {"default element", host::RegisterDeclaration, Outcome::False,
         [&] { return K::RegisterDefaultElement(DOMBTString(u"kw:D"), frame, frame, 0, nullptr); }},
        {"name", host::StringToKey, Outcome::Throws,
         [&] { return K::RegisterElement(DOMBTString(u"kw:Fresh"), frame, frame); }},
        {"init type", host::InitTypeDeclaration, Outcome::False,
         [&] { return K::InitTypeDeclaration(frame); }},
        {"enum value", host::RegisterSchemaEnumValue, Outcome::False,
         [&] { return K::RegisterSchemaEnumValue(DOMBTString(u"Right"), DOMBTString(u"kw:Align"), 1); }},
        {"create instance", host::CreateBaseInstance, Outcome::False,
         [&] {
             void* other = nullptr;
             return K::CreateBaseInstance(other, frame, nullptr, nullptr, &values);
         }},
        {"delete instance", host::DeleteBaseInstance, Outcome::False,
         [&] { return K::DeleteBaseInstance(instance, frame); }},
        {"import", host::Import, Outcome::False, [&] { return K::Import(path.c_str()); }},
        {"configuration", host::GetDOMConfiguration, Outcome::False,
         [&] {
             xercesc::DOMConfiguration* config = nullptr;
             return K::GetDOMConfiguration(config);
         }},
        {"xpath cache", host::ReleaseDocXPathCache, Outcome::False,
         [&] { return K::ReleaseDocXPathCache(xalanDoc); }},
        {"namespace", host::RegisterNamespace, Outcome::Fallback,
         [&] {
             return K::RegisterNamespace(DOMBTString(u"kw"), DOMBTString(u"urn:kw"), 1, args).str() == u"kw";
         }},
        {"value", host::ValueMapAccess, Outcome::Fallback,
         [&] { return values.getValue(DOMBTString(u"k")).str().empty(); }},
        {"key", host::ValueMapAccess, Outcome::Fallback, [&] { return values.getKey(0).isNone(); }},
        {"key count", host::ValueMapAccess, Outcome::Fallback, [&] { return values.getNumberOfKeys() == 0; }},
        {"create transaction", host::TransactionControl, Outcome::Long,
         [&] {
             Transaction t;
             return true;
         }},
        {"begin", host::TransactionControl, Outcome::False, [&] { return tx.Begin(); }},
        {"register handler", host::TransactionControl, Outcome::False,
         [&] { return tx.RegisterHandler(handler); }},
        {"validate", host::TransactionControl, Outcome::False,
         [&] { return Transaction::Validate(&validator); }},
        {"string to enum", host::ConvertValue, Outcome::Validation,
         [&] { return Kw::StringToEnum(DOMBTString(u"kw:Align"), DOMBTString(u"Left")) == 0; }},
        {"enum to string", host::ConvertValue, Outcome::Validation,
         [&] { return !Kw::EnumToString(DOMBTString(u"kw:Align"), 0).IsEmpty(); }},
        {"string to fixed", host::ConvertValue, Outcome::Validation,
         [&] { return Kw::StringToFixed(0, DOMBTString(u"1pt"), 0) != 0; }},
        {"fixed to string", host::ConvertValue, Outcome::Validation,
         [&] { return !Kw::FixedToString(0, 0, 0).IsEmpty(); }},
    };
    run(rows);
    // Each of them succeeds without the injected failure (the rows above failed for no other reason).
    EXPECT_TRUE(K::InitTypeDeclaration(frame));
    EXPECT_TRUE(K::DeleteBaseInstance(instance, frame));
    EXPECT_TRUE(K::Import(path.c_str()));
    EXPECT_TRUE(tx.Begin());
    EXPECT_TRUE(tx.RegisterHandler(handler));
    EXPECT_EQ(values.getValue(DOMBTString(u"k")).str(), u"v");
    EXPECT_EQ(Kw::StringToEnum(DOMBTString(u"kw:Align"), DOMBTString(u"Left")), 0);

    // Commit and the rest of the transaction operations answer false too; destruction ignores the status.
    for (auto op : {&Transaction::Commit, &Transaction::Abort, &Transaction::Rollback}) {
        host.failAt(host::TransactionControl, kStatus);
        EXPECT_FALSE((tx.*op)());
    }
    host.failAt(host::TransactionControl, kStatus);
    EXPECT_FALSE(tx.UnRegisterHandler(handler));
    void* handle = tx.GetImpl();
    {
        Transaction moved(std::move(tx));
        host.failAt(host::TransactionControl, kStatus);
    } // the destructor's refused destroy is not thrown
    EXPECT_FALSE(host.failureArmed());
    EXPECT_EQ(host.transactionCount(), 1u);
    ASSERT_EQ(host::callbacks().TransactionControl(&handle, host::Destroy, 0), 0);
    EXPECT_EQ(host.transactionCount(), 0u);
}

} // namespace
