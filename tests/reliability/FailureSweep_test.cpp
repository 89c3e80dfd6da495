// THE failure table: every host operation the library calls, made to fail, through the facade
// (references, registration, transactions, conversions) and through the DOM. Each row is one selector
// with the outcome of its facade column and of its DOM column; the failure comes out as that call's
// convention, the host tree is kept, nothing leaks and no host reference is left. The DOM columns then go
// through the shared sweep driver, failing every call index of every selector they make.
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/events/Events.hpp>
#include <DOMKw/strings/SimpleType.hpp>

// Xalan-C's own declaration of its document: the bridge's forward declaration must name the same type.
#include <xalanc/Include/PlatformDefinitions.hpp>

#include <set>

#include "bridge/AttributeRef.hpp"
#include "bridge/CallbackTable.hpp"
#include "reliability/Sweep.hpp"

using namespace sweep;
using namespace Kw::host;
namespace K = Kw::KWLIB;

namespace {

// What a failing call comes out as. A column reports Fallback when it saw the documented fall-back
// value ("", nil, 0, the status handed back), False for a false answer, Value for the call's own value.
enum class Outcome { Code, Long, False, Fallback, Value };
const char* name(Outcome o) {
    const char* names[] = {"DOMException", "long", "false", "fall-back", "a value"};
    return names[static_cast<int>(o)];
}
constexpr int kCode = kStatus & 0xFFFF;
constexpr Outcome Code = Outcome::Code, Long = Outcome::Long, False = Outcome::False, Fallback = Outcome::Fallback,
                  Value = Outcome::Value;
Outcome fellBack(bool b) { return b ? Fallback : Value; }
Outcome answered(bool b) { return b ? Value : False; }

struct Column {
    const char* what = nullptr;
    Outcome expected = Value;
    std::function<Outcome()> run;
    int code = kCode; // the DOMException code expected
    int nth = 1;      // the call of the selector that fails
};
struct Row {
    int selector;
    Column facade, dom;
    bool swept = true; // the DOM column also goes through the every-call sweep
};

struct Listener : dom::events::EventListener {
    void handleEvent(dom::events::Event*) override {}
};

class FailureSweep : public SweepTest {
protected:
    void SetUp() override {
        SweepTest::SetUp();
        host.clearRegistrations();
        host.clearValidators();
        page = ref("project/layout/spread/page");
        box = ref("project/layout/spread/page/box");
        color = ref("colors/color");
        text = ref("project/story/paragraph/textRun").get_FirstChild();
        id = Kw::StringKey(u"id");
        bounds = Kw::StringKey(u"bounds");
        type = Kw::StringKey(u"type");
        xsiNs = Kw::StringKey(u"http://www.w3.org/2001/XMLSchema-instance");
    }
    void TearDown() override {
        host.clearRegistrations();
        host.clearValidators();
        SweepTest::TearDown();
    }
    Kw::ElementRef ref(const std::string& path) { return Kw::ElementRef::fromHandle(host.find(path)); }
    // A navigation that fails hands back no child: the columns take that for the fall-back it is.
    DOMText* firstText(Owned& run) { return static_cast<DOMText*>(run->getFirstChild()); }

    // The facade's objects, made before any failure is armed.
    Kw::ElementRef page, box, color, text;
    Kw::StringKey id, bounds, type, xsiNs;
    Listener listener;
    kwhost::ValueMap values;
    const K::RegArgs args{};
    const DOMBTString frame{u"kw:Frame"};
    std::unique_ptr<Kw::Transaction> tx;
    Kw::ITransactionHandler handler;
    Kw::IValidator validator;
    void* instance = nullptr;
    std::u16string importPath;

    std::vector<Row> rows();

    // Runs a column with its call failing; returns what came out and the code or status seen.
    Outcome observe(int selector, const Column& c, int32_t& seen) {
        host.failAt(selector, kStatus, c.nth);
        try {
            return c.run();
        } catch (const DOMException& e) {
            seen = static_cast<short>(e.code);
            return Code;
        } catch (long status) {
            seen = static_cast<int32_t>(status);
            return Long;
        }
    }
};

std::vector<Row> FailureSweep::rows() {
    return {
        {StringToKey, {"StringKey of a new text", Code, [] { Kw::StringKey k(u"new key"); return Value; }}, {}},
        {StringToKey, {"KWLIB::RegisterElement of a new name", Code, [&] { return answered(K::RegisterElement(DOMBTString(u"kw:Fresh"), frame, frame)); }}, {}},
        {KeyToString, {"ElementRef::get_TagName", Code, [&] { box.get_TagName(); return Value; }},
         {"getTagName of a new element object", Code, [&] { Owned e(at("colors")); e.element()->getTagName(); return Value; }}},
        {GetAttributeValue, {"GetAttribute", Fallback, [&] { return fellBack(box.GetAttribute(id).str().empty()); }},
         {"getAttribute", Fallback, [&] { Owned e(at("colors/color")); return fellBack(!*e.element()->getAttribute(u"name")); }}},
        {GetAttributeValue, {"GetAttributeDoubleRef (through \"\" to 0)", Fallback, [&] { return fellBack(box.GetAttributeDoubleRef(bounds).first == 0); }}, {}},
        {GetAttributeValue, {"GetAttributeLong (through \"\" to 0)", Fallback, [&] { return fellBack(box.GetAttributeLong(bounds) == 0); }}, {}},
        {SetAttributeValue, {"SetAttribute of a text", Code, [&] { box.SetAttribute(id, DOMBTString(u"x")); return Value; }},
         {"setAttribute", Code, [&] { Owned e(at("colors/color")); e.element()->setAttribute(u"name", u"x"); return Value; }}},
        {SetAttributeValue, {"SetAttribute of a number", Code, [&] { box.SetAttribute(id, int32_t{3}); return Value; }}, {}},
        // The facade's key list falls back to none; the DOM's live attribute map does not take a refused
        // read for "no attributes".
        {GetAttributeKeys, {"get_AttributeKeys", Fallback, [&] { return fellBack(box.get_AttributeKeys().empty()); }},
         {"getAttributes()->getLength()", Code, [&] { Owned e(at("colors/color")); e->getAttributes()->getLength(); return Value; }}},
        {NavigateElement, {"get_FirstChild", Fallback, [&] { return fellBack(page.get_FirstChild().isNil()); }},
         {"getFirstChild", Fallback, [&] { Owned e(at("colors")); Owned c(e->getFirstChild()); return fellBack(!c.node); }}},
        {NavigateElement, {"get_Application", Code, [] { Kw::ElementRef::get_Application(); return Value; }}, {}},
        {GetElementNameKey, {"get_TagName", Fallback, [&] { return fellBack(box.get_TagName().str().empty()); }},
         {"getTagName", Fallback, [&] { Owned e(at("colors")); return fellBack(!*e.element()->getTagName()); }}},
        {GetElementNameKey, {"get_URI", Fallback, [&] { return fellBack(color.get_URI().str().empty()); }}, {}},
        {AdjustReference, {"a copy acquires", Code, [&] { Kw::ElementRef copy(page); return Value; }},
         {"getDocumentElement (a new element object acquires)", Code, [&] { Owned e(doc->getDocumentElement()); return Value; }}},
        {AdjustReference, {"an assignment releases (the host keeps its reference)", Code,
                           [&] {
                               Kw::ElementRef r(page);
                               try {
                                   r = Kw::ElementRef();
                               } catch (...) {
                                   host.settleRefusedReleases();
                                   throw;
                               }
                               return Value;
                           }, kCode, 2}, {}},
        {AdjustReference, {"a destructor releases (the status is not examined)", Fallback,
                           [&] {
                               delete new Kw::ElementRef(page);
                               return fellBack(host.settleRefusedReleases() == 1);
                           }, kCode, 2}, {}},
        {GetNumChildren, {"get_NumChildren", Fallback, [&] { return fellBack(page.get_NumChildren() == 0); }},
         {"getChildNodes()->getLength()", Fallback, [&] { Owned e(at("colors")); return fellBack(e->getChildNodes()->getLength() == 0); }}},
        {InsertBeforeChild, {"InsertBeforeChild (a move)", Code, [&] { page.InsertBeforeChild(box, Kw::ElementRef()); return Value; }},
         {"appendChild moving the story", Code, [&] { Owned p(at("project/layout[2]")), s(at("project/story")); Owned r(p->appendChild(s.node)); return Value; }}},
        {InsertNewChild, {"InsertBeforeChild of new XML", Code, [&] { page.InsertBeforeChild(DOMBTString(u"<box/>"), Kw::ElementRef(), 0); return Value; }},
         {"appendChild of new content", Code, [&] { Owned p(at("project/layout[2]")), fresh(doc->createElement(u"story")); Owned r(p->appendChild(fresh.node)); return Value; }}},
        {RemoveChild, {"RemoveChild", Code, [&] { page.RemoveChild(box); return Value; }},
         {"removeChild", Code, [&] { Owned p(at("project")), s(at("project/story")); Owned r(p->removeChild(s.node)); return Value; }}},
        {SetTargetEventListener, {},
         {"addEventListener", Long, [&] { Owned e(at("colors")); dynamic_cast<dom::events::EventTarget*>(e.node)->addEventListener(u"MutationEvent,DOMNodeInserted", &listener, false); return Value; }}, false},
        {SetTypeEventListener, {},
         {"EventTarget::addEventListener by names", Long, [&] { dom::events::EventTarget::addEventListener(u"MutationEvent,DOMNodeInserted", u"", &listener, false); return Value; }}, false},
        {DispatchEvent, {},
         {"dispatchEvent", Long, [&] {
              std::unique_ptr<dom::events::Event> evt(dynamic_cast<dom::events::DocumentEvent*>(doc)->createEvent(u"CustomEvent"));
              Owned e(at("colors"));
              dynamic_cast<dom::events::EventTarget*>(e.node)->dispatchEvent(evt.get());
              return Value;
          }}, false},
        {ControlEvent, {"EventRef::StopPropagation (not examined)", Fallback, [&] { Kw::EventRef(Kw::ObjectRef(page)).StopPropagation(); return Fallback; }},
         {"stopPropagation (not examined)", Fallback, [&] {
              std::unique_ptr<dom::events::Event> evt(dynamic_cast<dom::events::DocumentEvent*>(doc)->createEvent(u"CustomEvent"));
              evt->stopPropagation();
              return Fallback;
          }}, false},
        {CreateEvent, {"EventRef::CreateFrom", Code, [] { Kw::EventRef::CreateFrom(DOMBTString(u"MutationEvent")); return Value; }},
         {"createEvent", Code, [&] { std::unique_ptr<dom::events::Event> e(dynamic_cast<dom::events::DocumentEvent*>(doc)->createEvent(u"CustomEvent")); return Value; }}, false},
        // A refused conversion is a validation error whatever the host's status.
        {ConvertValue, {"StringToEnum", Code, [] { return fellBack(Kw::StringToEnum(DOMBTString(u"kw:Align"), DOMBTString(u"Left")) == 0); }, 16}, {}},
        {ConvertValue, {"EnumToString", Code, [] { return fellBack(Kw::EnumToString(DOMBTString(u"kw:Align"), 0).IsEmpty()); }, 16}, {}},
        {ConvertValue, {"StringToFixed", Code, [] { return fellBack(Kw::StringToFixed(0, DOMBTString(u"1pt"), 0) == 0); }, 16}, {}},
        {ConvertValue, {"FixedToString", Code, [] { return fellBack(Kw::FixedToString(0, 65536, 2).IsEmpty()); }, 16}, {}},
        {TransactionControl, {"a new Transaction", Long, [] { Kw::Transaction t; return Value; }}, {}},
        {TransactionControl, {"a Transaction's destructor (the status is not examined)", Fallback,
                              [&] {
                                  void* handle = nullptr;
                                  const size_t held = host.transactionCount();
                                  { Kw::Transaction t; handle = t.GetImpl(); }
                                  const bool left = host.transactionCount() == held + 1;
                                  callbacks().TransactionControl(&handle, Destroy, 0);
                                  return fellBack(left);
                              }, kCode, 2}, {}},
        {TransactionControl, {"Begin", False, [&] { return answered(tx->Begin()); }}, {}},
        {TransactionControl, {"Commit", False, [&] { return answered(tx->Commit()); }}, {}},
        {TransactionControl, {"Abort", False, [&] { return answered(tx->Abort()); }}, {}},
        {TransactionControl, {"Rollback", False, [&] { return answered(tx->Rollback()); }}, {}},
        {TransactionControl, {"RegisterHandler", False, [&] { return answered(tx->RegisterHandler(handler)); }}, {}},
        {TransactionControl, {"UnRegisterHandler", False, [&] { return answered(tx->UnRegisterHandler(handler)); }}, {}},
        {TransactionControl, {"Validate", False, [&] { return answered(Kw::Transaction::Validate(&validator)); }}, {}},
        {RegisterNamespace, {"RegisterNamespace (the prefix handed back)", Fallback,
                             [&] { return fellBack(K::RegisterNamespace(DOMBTString(u"kw"), DOMBTString(u"urn:kw"), 1, args).str() == u"kw"); }}, {}},
        {RegisterDeclaration, {"RegisterComplexType", False, [&] { return answered(K::RegisterComplexType(1, DOMBTString(u"kw:T"), frame, frame, frame, 0, nullptr, 0, 0, 0, 0)); }}, {}},
        {RegisterDeclaration, {"RegisterElement", False, [&] { return answered(K::RegisterElement(DOMBTString(u"kw:E"), frame, frame)); }}, {}},
        {RegisterDeclaration, {"RegisterAttribute", False, [&] { return answered(K::RegisterAttribute(DOMBTString(u"kw:A"), frame, frame, 1, &args)); }}, {}},
        {RegisterDeclaration, {"RegisterDefaultElement", False, [&] { return answered(K::RegisterDefaultElement(DOMBTString(u"kw:D"), frame, frame, 0, nullptr)); }}, {}},
        {ValueMapAccess, {"ValueMap::getValue", Fallback, [&] { return fellBack(values.getValue(DOMBTString(u"k")).str().empty()); }}, {}},
        {ValueMapAccess, {"ValueMap::getKey", Fallback, [&] { return fellBack(values.getKey(0).isNone()); }}, {}},
        {ValueMapAccess, {"ValueMap::getNumberOfKeys", Fallback, [&] { return fellBack(values.getNumberOfKeys() == 0); }}, {}},
        {IsAttributeImplied, {"AttributeRef::isImplied", Code, [&] { Kw::AttributeRef(color, id).isImplied(); return Value; }},
         {"getSpecified", Code, [&] { Owned e(at("colors/color")); Owned a(e.element()->getAttributeNode(u"id")); if (!a.node) return Fallback; static_cast<DOMAttr*>(a.node)->getSpecified(); return Value; }}},
        {GetXMLHeaderAttr, {"GetXMLHeaderAttr (the status handed back)", Fallback,
                            [] { int n = 0; DOMBTString a, b; return fellBack(Kw::ElementRef::GetXMLHeaderAttr(0, n, a, b) == kStatus); }}, {}},
        {GetAttributeValueNS, {"GetAttributeValueNS", Fallback, [&] { return fellBack(color.GetAttributeValueNS(xsiNs, type).str().empty()); }},
         {"getAttributeNS", Fallback, [&] { Owned e(at("colors/color")); return fellBack(!*e.element()->getAttributeNS(u"http://www.w3.org/2001/XMLSchema-instance", u"type")); }}},
        {GetAttributeValueNS, {"AttributeRef::read by namespace", Fallback,
                               [&] { Kw::AttributeRef a(color, type); a.nsKey = xsiNs; a.useNS = true; return fellBack(a.read().str().empty()); }}, {}},
        {SetAttributeValueNS, {"AttributeRef::write by namespace", Code,
                               [&] { Kw::AttributeRef a(color, type); a.nsKey = xsiNs; a.useNS = true; a.write(DOMBTString(u"SpotColor")); return Value; }},
         {"setAttributeNS", Code, [&] { Owned e(at("colors/color")); e.element()->setAttributeNS(u"urn:x", u"x:a", u"1"); return Value; }}},
        {ResolveAttributeName, {"AttributeRef::resolveName", Code, [&] { Kw::AttributeRef(color, id).resolveName(); return Value; }},
         {"getAttributeNode", Code, [&] { Owned e(at("colors/color")); Owned a(e.element()->getAttributeNode(u"id")); return Value; }}},
        {InitTypeDeclaration, {"InitTypeDeclaration", False, [&] { return answered(K::InitTypeDeclaration(frame)); }}, {}},
        {GetTextValue, {"GetTextValue", Fallback, [&] { return fellBack(text.GetTextValue().str().empty()); }},
         {"getNodeValue of a text", Fallback, [&] { Owned r(at("project/story/paragraph/textRun")); Owned t(firstText(r)); if (!t.node) return Fallback; return fellBack(!*t->getNodeValue()); }}},
        {IsTextNode, {"IsTextNode", Code, [&] { text.IsTextNode(); return Value; }},
         {"getFirstChild (the child's kind)", Code, [&] { Owned r(at("project/story/paragraph/textRun")); Owned t(r->getFirstChild()); return Value; }}},
        {SetTextValue, {"SetTextValue", Code, [&] { text.SetTextValue(0, DOMBTString(u"x")); return Value; }},
         {"appendData", Code, [&] { Owned r(at("project/story/paragraph/textRun")); Owned t(firstText(r)); if (!t.node) return Fallback; static_cast<DOMText*>(t.node)->appendData(u"!"); return Value; }}},
        {HasAttributeNS, {"hasAttributeNS", Code, [&] { color.hasAttributeNS(xsiNs, type); return Value; }},
         {"hasAttribute", Code, [&] { Owned e(at("colors/color")); e.element()->hasAttribute(u"id"); return Value; }}},
        {Import, {"KWLIB::Import", False, [&] { return answered(K::Import(importPath.c_str())); }},
         {"load", False, [&] { return answered(doc->load(importPath.c_str())); }}, false},
        {GetDOMConfiguration, {"KWLIB::GetDOMConfiguration", False, [] { DOMConfiguration* c = nullptr; return answered(K::GetDOMConfiguration(c)); }},
         {"getDOMConfig", Fallback, [&] { return fellBack(!doc->getDOMConfig()); }}},
        {CreateBaseInstance, {"CreateBaseInstance", False, [&] { void* other = nullptr; return answered(K::CreateBaseInstance(other, frame, nullptr, nullptr, &values)); }}, {}},
        {DeleteBaseInstance, {"DeleteBaseInstance", False, [&] { return answered(K::DeleteBaseInstance(instance, frame)); }}, {}},
        {DeleteTextValue, {"DeleteTextValue", Code, [&] { text.DeleteTextValue(0, 1); return Value; }},
         {"deleteData", Code, [&] { Owned r(at("project/story/paragraph/textRun")); Owned t(firstText(r)); if (!t.node) return Fallback; static_cast<DOMText*>(t.node)->deleteData(0, 1); return Value; }}},
        {IsAttributeUncopyable, {"AttributeRef::isUncopyable", Code, [&] { Kw::AttributeRef(color, id).isUncopyable(); return Value; }},
         {"exportCopy (asks which attributes are uncopyable)", Code, [&] { Owned e(at("colors/color")); dom::dispose(static_cast<domImpl::ElementImpl*>(e.node)->exportCopy(false)); return Value; }}},
        {IsReadOnly, {"IsReadOnly", Code, [&] { text.IsReadOnly(); return Value; }}, {}},
        {RegisterSchemaEnumValue, {"RegisterSchemaEnumValue", False, [] { return answered(K::RegisterSchemaEnumValue(DOMBTString(u"Right"), DOMBTString(u"kw:Align"), 1)); }}, {}},
        {ValidateElement, {"ValidateElement", Code, [&] { dom::Owned<DOMElement> n(doc->createElement(u"box")); page.ValidateElement(n.get()); return Value; }},
         {"appendChild of a new element", Code, [&] { Owned p(at("colors")); Owned r(p->appendChild(doc->createElement(u"color"))); return Value; }}},
        {ReleaseDocXPathCache, {"ReleaseDocXPathCache", False,
                                [&] { return answered(K::ReleaseDocXPathCache(reinterpret_cast<const xalanc::XalanDocument*>(&values))); }}, {}},
    };
}

TEST_F(FailureSweep, EveryHostOperationFailsAsDocumentedThroughTheFacadeAndTheDom) {
    // What the facade calls need to succeed, so that only the injected failure makes them fail.
    ASSERT_TRUE(K::RegisterComplexType(0, frame, DOMBTString(), DOMBTString(), DOMBTString(), 0, nullptr, false, 0, 0, false));
    ASSERT_TRUE(K::RegisterSchemaEnumValue(DOMBTString(u"Left"), DOMBTString(u"kw:Align"), 0));
    ASSERT_TRUE(K::CreateBaseInstance(instance, frame, u"t", nullptr, nullptr));
    values.set(u"k", u"v");
    const std::string path = testDataPath("import.xml");
    importPath.assign(path.begin(), path.end());
    tx = std::make_unique<Kw::Transaction>();

    const std::string before = host.toXml();
    const int64_t baseline = host.outstandingReferences();
    std::set<int> selectors;
    for (const Row& row : rows()) {
        for (const Column* c : {&row.facade, &row.dom}) {
            if (!c->run) continue;
            SCOPED_TRACE(std::string("selector ") + std::to_string(row.selector) + ": " + c->what);
            int32_t seen = 0;
            const Outcome got = observe(row.selector, *c, seen);
            EXPECT_FALSE(host.failureArmed()) << "the call never reached the operation";
            host.disarm();
            EXPECT_EQ(name(got), name(c->expected));
            if (got == Code) {
                EXPECT_EQ(seen, c->code);
            }
            if (got == Long) {
                EXPECT_EQ(seen, kStatus);
            }
            EXPECT_EQ(host.toXml(), before);
            EXPECT_EQ(host.outstandingReferences(), baseline);
            EXPECT_EQ(doc->liveNodeCount(), 0u);
            selectors.insert(row.selector);
        }
    }
    EXPECT_EQ(selectors.size(), size_t(SelectorCount - 1)); // every operation but 24, which nothing calls
    // Without the injected failure they succeed (the rows failed for no other reason).
    EXPECT_TRUE(K::InitTypeDeclaration(frame) && K::DeleteBaseInstance(instance, frame) && K::Import(importPath.c_str()));
    EXPECT_TRUE(tx->Begin() && tx->RegisterHandler(handler));
    EXPECT_EQ(values.getValue(DOMBTString(u"k")).str(), u"v");
    EXPECT_EQ(Kw::StringToEnum(DOMBTString(u"kw:Align"), DOMBTString(u"Left")), 0);
    tx.reset();
    page = box = color = text = Kw::ElementRef();
}

// The DOM column of each row, failing at every call index of every selector it makes.
TEST_F(FailureSweep, EveryCallOfTheDomColumnsSucceedsCompletelyOrKeepsTheTree) {
    page = box = color = text = Kw::ElementRef(); // the sweep reloads the project
    std::vector<Operation> ops;
    const std::vector<Row> table = rows();
    for (const Row& row : table) {
        if (!row.dom.run || !row.swept) continue;
        const std::function<Outcome()> run = row.dom.run;
        ops.push_back({row.dom.what, {}, [run](DOMDocument*, const Subjects&) -> Result {
                           return run() == Value ? done : std::nullopt;
                       }});
    }
    Tally tally;
    sweep(ops, tally);
    report("failure table, DOM columns", tally);
}

} // namespace
