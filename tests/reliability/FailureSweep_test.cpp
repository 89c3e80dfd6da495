// Every host operation the library calls, made to fail: each call comes out as its convention; swept over
// every call of every selector, an operation succeeds completely or reports the failure and keeps the tree.
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/bridge/Transaction.hpp>
#include <DOMKw/events/Events.hpp>
#include <DOMKw/strings/SimpleType.hpp>

#include <unistd.h>

// Xalan-C's own declaration of its document: the bridge's forward declaration must name the same type.
#include <xalanc/Include/PlatformDefinitions.hpp>
#include <xercesc/util/TransService.hpp>

#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "bridge/AttributeRef.hpp"
#include "bridge/CallbackTable.hpp"
#include "common/DomFixture.hpp"
#include "common/FnListener.hpp"
#include "common/NativeDom.hpp"
#include "serialize/WriterFixture.hpp"

using namespace testing_support;
using namespace Kw::host;
namespace K = Kw::KWLIB;

namespace {

constexpr int32_t kStatus = 0x002A0007; // its DOMException code is 7
constexpr int kCode = kStatus & 0xFFFF;

// What a failing call comes out as; Fallback: the documented fall-back ("", nil, 0, the status back).
enum class Outcome { Code, Long, False, Fallback, Value };
const char* const kOutcomes[] = {"DOMException", "long", "false", "fall-back", "a value"};
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
    bool swept = true; // the DOM column also goes through the sweep
};

// A swept run's result: nullopt for a reported failure (null, false), else a text equal to the clean run's.
using Result = std::optional<std::string>;
const Result done = std::string();

// An operation's node objects, made before the failure is armed: elements by path, "path#text" for a text.
using Subjects = std::vector<DOMNode*>;

struct Operation {
    std::string name;
    std::vector<std::string> subjects;
    std::function<Result(DOMDocument*, const Subjects&)> act;
    // Runs unarmed before the subjects are made (a transaction begun and a change made); may be empty.
    std::function<void(DOMDocument*)> prepare = nullptr;
};

// A transaction an operation's preparation begins; ended after each run.
std::unique_ptr<Kw::Transaction>& transaction() {
    static std::unique_ptr<Kw::Transaction> t;
    return t;
}

DOMElement* element(DOMDocument* doc, const std::string& path) {
    return domImpl::ElementImpl::create_(
        Kw::ElementRef::fromHandle(kwhost::ReferenceHost::instance().find(path)), doc);
}

// The text of a detached copy, as the stock serializer writes it.
std::string copyText(DOMNode* copy) {
    if (!copy) return "(null)";
    const dom::Owned<DOMNode> owned(copy);
    return nativeXml(copy);
}

DOMElement* E(const Subjects& s, size_t i) { return static_cast<DOMElement*>(s[i]); }
DOMText* T(const Subjects& s, size_t i) { return static_cast<DOMText*>(s[i]); }
domImpl::ElementImpl* own(const Subjects& s, size_t i) { return static_cast<domImpl::ElementImpl*>(s[i]); }

const char* const kBox = "project/layout/spread/page/box";
const char* const kText = "project/story/paragraph/textRun#text";

class FailureSweep : public DomTest {
protected:
    void SetUp() override {
        DomTest::SetUp();
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
        DomTest::TearDown();
    }
    Kw::ElementRef ref(const std::string& path) { return Kw::ElementRef::fromHandle(host.find(path)); }
    // A navigation that fails hands back no child: the columns take that for the fall-back it is.
    DOMText* firstText(Owned& run) { return static_cast<DOMText*>(run->getFirstChild()); }

    // The facade's objects, made before any failure is armed.
    Kw::ElementRef page, box, color, text;
    Kw::StringKey id, bounds, type, xsiNs;
    FnListener listener;
    kwhost::ValueMap values;
    const K::RegArgs args{};
    const DOMBTString frame{u"kw:Frame"};
    std::unique_ptr<Kw::Transaction> tx;
    Kw::IValidator validator;
    void* instance = nullptr;
    std::u16string importPath;
    Subjects subjects;

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

    // One run from a fresh project with the n-th call of `selector` failing (none for -1); `error` names
    // what it threw, `before` is the host tree it started from.
    Result runOnce(const Operation& op, int selector, int n, std::string& error, std::string& before) {
        load(testDataPath("small.xml"));
        openDocument();
        if (op.prepare) op.prepare(doc);
        for (const std::string& path : op.subjects) {
            const size_t hash = path.find('#');
            DOMNode* e = element(doc, path.substr(0, hash));
            if (hash == std::string::npos) {
                subjects.push_back(e);
            } else {
                subjects.push_back(e->getFirstChild());
                dom::dispose(e);
            }
            EXPECT_NE(subjects.back(), nullptr) << path;
        }
        before = host.toXml(-1, true);
        host.resetCallCounts();
        if (selector >= 0) host.failAt(selector, kStatus, n);
        error.clear();
        try {
            return op.act(doc, subjects);
        } catch (const DOMException& e) {
            error = "DOMException " + std::to_string(static_cast<short>(e.code));
        } catch (dom::Exceptions::KwErrorCodes e) {
            error = "library code " + std::to_string(e);
        } catch (long status) {
            error = "status " + std::to_string(status);
        }
        return std::nullopt;
    }

    // Ends the subjects, the transaction and the document of a run: nothing may be left.
    void finish() {
        for (DOMNode* n : subjects) dom::dispose(n);
        subjects.clear();
        transaction().reset();
        EXPECT_EQ(doc->liveNodeCount(), 0u) << "node object(s) left";
        doc->release();
        doc = nullptr;
        host.settleRefusedReleases();
        EXPECT_EQ(host.outstandingReferences(), 0) << "host reference(s) left";
    }

    void sweep(const std::vector<Operation>& ops) {
        size_t cases = 0;
        for (const Operation& op : ops) {
            SCOPED_TRACE(op.name);
            // The clean run: calls per selector, the tree and the result it leaves.
            std::string error, before;
            const Result expected = runOnce(op, -1, 0, error, before);
            ASSERT_TRUE(error.empty() && expected.has_value()) << "the clean run failed: " << error;
            std::map<int, uint64_t> calls;
            for (int s = 0; s < SelectorCount; ++s)
                if (uint64_t c = host.callCount(s)) calls[s] = c;
            const std::string expectedTree = host.toXml(-1, true);
            finish();
            for (const auto& [selector, count] : calls)
                for (uint64_t n = 1; n <= count; ++n, ++cases) {
                    SCOPED_TRACE("selector " + std::to_string(selector) + ", call " + std::to_string(n) +
                                 " of " + std::to_string(count));
                    const Result got = runOnce(op, selector, static_cast<int>(n), error, before);
                    EXPECT_FALSE(host.failureArmed()) << "the call was never reached";
                    host.disarm();
                    if (error.empty() && got) {
                        EXPECT_EQ(host.toXml(-1, true), expectedTree)
                            << "success reported, but the tree differs";
                        EXPECT_EQ(*got, *expected) << "success reported, but the result differs";
                    } else {
                        EXPECT_EQ(host.toXml(-1, true), before)
                            << "failure reported (" << (error.empty() ? "null/false" : error) << ")";
                    }
                    finish();
                }
        }
        std::printf("%zu (operation, call) cases swept\n", cases);
        openDocument(); // for the fixture's tear-down
    }
};

// Mutations: the host tree after the clean run is what they produce.
std::vector<Operation> mutations() {
    auto inTransaction = [](std::function<void(DOMDocument*)> change) {
        return [change](DOMDocument* doc) {
            transaction() = std::make_unique<Kw::Transaction>();
            transaction()->Begin();
            change(doc);
        };
    };
    // A call of the transaction the preparation made.
    auto ends = [](bool (Kw::Transaction::*call)()) {
        return [call](DOMDocument*, const Subjects&) -> Result {
            return (*transaction().*call)() ? done : std::nullopt;
        };
    };
    // A new attribute node set on the box, with or without its namespace.
    auto setNode = [](bool ns) {
        return [ns](DOMDocument* doc, const Subjects& s) -> Result {
            DOMAttr* a = doc->createAttribute(u"added");
            a->setValue(u"1");
            Owned guard(a);
            Owned result(ns ? E(s, 0)->setAttributeNodeNS(a) : E(s, 0)->setAttributeNode(a));
            return done;
        };
    };
    return {
        {"insertBefore of new content (element with attribute and text)",
         {"project/layout/spread/page", "project/layout/spread/page/box[2]"},
         [](DOMDocument* doc, const Subjects& s) -> Result {
             DOMElement* fresh = doc->createElement(u"box");
             fresh->setAttribute(u"id", u"b9");
             fresh->appendChild(doc->createTextNode(u"a < b & c"));
             Owned freshGuard(fresh);
             Owned inserted(s[0]->insertBefore(fresh, s[1]));
             return done;
         }},
        {"appendChild of new text", {"project/layout/spread/page"},
         [](DOMDocument* doc, const Subjects& s) -> Result { Owned fresh(doc->createTextNode(u"tail & end")); Owned inserted(s[0]->appendChild(fresh.node)); return done; }},
        {"appendChild moving a text", {"project/layout[2]/spread/page", kText},
         [](DOMDocument*, const Subjects& s) -> Result { Owned moved(s[0]->appendChild(s[1])); return done; }},
        {"insertBefore moving a box before its sibling", {"project/layout/spread/page", kBox, "project/layout/spread/page/box[2]"},
         [](DOMDocument*, const Subjects& s) -> Result { Owned moved(s[0]->insertBefore(s[2], s[1])); return done; }},
        {"insertBefore of an ancestor (refused)",
         {"project/story/paragraph/textRun", "project/story"},
         [](DOMDocument*, const Subjects& s) -> Result {
             try {
                 Owned moved(s[0]->appendChild(s[1]));
             } catch (const DOMException& e) {
                 if (static_cast<short>(e.code) == 3) return done;
                 throw;
             }
             return std::string("accepted");
         }},
        {"replaceChild by new content",
         {"project", "project/story"},
         [](DOMDocument* doc, const Subjects& s) -> Result {
             DOMElement* fresh = doc->createElement(u"story");
             fresh->setAttribute(u"id", u"s2");
             Owned freshGuard(fresh);
             Owned old(s[0]->replaceChild(fresh, s[1]));
             return copyText(old.node ? old->cloneNode(true) : nullptr);
         }},
        {"replaceChild by a moved host element", {"project/layout/spread/page", kBox, "project/layout[2]/spread/page/box"},
         [](DOMDocument*, const Subjects& s) -> Result { Owned old(s[0]->replaceChild(s[2], s[1])); return copyText(old.node ? old->cloneNode(true) : nullptr); }},
        {"setAttributeNode", {kBox}, setNode(false)},
        {"setAttributeNodeNS", {kBox}, setNode(true)},
        {"setData", {kText},
         [](DOMDocument*, const Subjects& s) -> Result { T(s, 0)->setData(u"new text"); return done; }},
        {"insertData at 0", {kText},
         [](DOMDocument*, const Subjects& s) -> Result { T(s, 0)->insertData(0, u">"); return done; }},
        {"replaceData", {kText},
         [](DOMDocument*, const Subjects& s) -> Result { T(s, 0)->replaceData(0, 5, u"Howdy"); return done; }},
        {"replaceWholeText", {kText},
         [](DOMDocument*, const Subjects& s) -> Result { Owned whole(T(s, 0)->replaceWholeText(u"whole")); return done; }},
        {"copyInto, deep", {"colors/color[2]", "project/layout/spread/page"},
         [](DOMDocument*, const Subjects& s) -> Result { own(s, 0)->copyInto(s[1], true); return done; }},
        {"copyInto of a typed element: its children take from their namesakes",
         {"colors/color", "project/layout/spread/page"},
         [](DOMDocument*, const Subjects& s) -> Result {
             own(s, 0)->copyInto(s[1], true);
             return done;
         },
         [](DOMDocument* doc) {
             // The typed colour gets two children; the first finds its namesake box in the source.
             Owned c1(element(doc, "colors/color"));
             DOMElement* box = doc->createElement(u"box");
             box->setAttribute(u"id", u"x");
             box->setAttribute(u"bounds", u"0/0");
             Owned b(box), added(c1->appendChild(box));
             Owned paragraph(doc->createElement(u"paragraph")), added2(c1->appendChild(paragraph.node));
         }},
        {"copyInto, attributes only", {"project/layout[2]/spread/page/box", kBox},
         [](DOMDocument*, const Subjects& s) -> Result { own(s, 0)->copyInto(s[1], false); return done; }},
        {"Transaction Begin", {}, ends(&Kw::Transaction::Begin),
         [](DOMDocument*) { transaction() = std::make_unique<Kw::Transaction>(); }},
        {"Transaction Commit", {}, ends(&Kw::Transaction::Commit),
         inTransaction([](DOMDocument* doc) {
             Owned e(element(doc, kBox));
             e.element()->setAttribute(u"added", u"yes");
         })},
        {"Transaction Abort", {}, ends(&Kw::Transaction::Abort),
         inTransaction([](DOMDocument* doc) {
             Owned project(element(doc, "project")), layout(element(doc, "project/layout"));
             dom::dispose(project->removeChild(layout.node));
         })},
        {"Transaction Rollback", {}, ends(&Kw::Transaction::Rollback),
         inTransaction([](DOMDocument* doc) {
             Owned run(element(doc, "project/story/paragraph/textRun"));
             Owned t(run->getFirstChild());
             static_cast<DOMText*>(t.node)->setData(u"changed");
         })},
    };
}

std::vector<Operation> copies() {
    auto copy = [](bool deep) {
        return [deep](DOMDocument*, const Subjects& s) -> Result { return copyText(s[0]->cloneNode(deep)); };
    };
    return {
        {"cloneNode(true) of the project", {"project"}, copy(true)},
        {"cloneNode(false) of a box", {kBox}, copy(false)},
        {"cloneNode of a text", {kText}, copy(true)},
        {"exportCopy(true) of the application", {""},
         [](DOMDocument*, const Subjects& s) -> Result { return copyText(own(s, 0)->exportCopy(true)); }},
    };
}

// A write of `node` through `filter` (or none), to a string or a UTF-8 byte stream; nullopt for a failed
// write.
Result writtenThrough(DOMLSSerializerFilter* filter, const DOMNode* node, bool toStream) {
    const dom::Owned<DOMLSSerializer> writer(new domImpl::WriterImpl());
    writer->setFilter(filter);
    bool ok = true;
    const std::string bytes = toStream ? toBytes(writer.get(), node, u"UTF-8", ok) : "";
    const std::u16string text = toStream ? u"" : toString(writer.get(), node);
    if (!ok || text == u"(null)") return std::nullopt;
    return toStream ? bytes : utf8(text.c_str());
}

std::vector<Operation> outputs() {
    auto save = [](DOMDocument* doc, const Subjects& s) -> Result {
        const XMLCh* t = static_cast<domImpl::DocumentImpl*>(doc)->saveToString(s.empty() ? nullptr : s[0]);
        return t ? Result(utf8(t)) : std::nullopt;
    };
    auto write = [](bool nodeByNode, bool saveFilter, bool toStream) {
        return [=](DOMDocument*, const Subjects& s) -> Result {
            ShowsNothing shows;
            SaveFilterNodeByNode save;
            return writtenThrough(saveFilter ? static_cast<DOMLSSerializerFilter*>(&save) : nodeByNode ? &shows : nullptr,
                                  s[0], toStream);
        };
    };
    // A file that a failed write leaves as it was.
    auto toFile = [](DOMDocument*, const Subjects& s) -> Result {
        const std::string file = "/tmp/domkw_sweep_" + std::to_string(getpid()) + ".xml";
        std::ofstream(file) << "before";
        bool ok = false;
        try {
            const std::u16string uri(file.begin(), file.end());
            ok = dom::Owned<DOMLSSerializer>(new domImpl::WriterImpl())->writeToURI(s[0], uri.c_str());
        } catch (const DOMException&) {
        }
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        unlink(file.c_str());
        if (ok) return bytes;
        EXPECT_EQ(bytes, "before") << "a failed write changed the file";
        return std::nullopt;
    };
    return {
        {"writeToString of the project", {"project"}, write(false, false, false)},
        {"writeToString of the project, node by node", {"project"}, write(true, false, false)},
        {"writeToString of the project through the save filter, node by node", {"project"}, write(true, true, false)},
        {"write of the application", {""}, write(false, false, true)},
        {"saveToString of the document", {}, save},
        {"saveToString of a box", {kBox}, save},
        {"writeToURI of a story", {"project/story"}, toFile},
    };
}

std::vector<Row> FailureSweep::rows() {
    const auto assign = [&] {
        Kw::ElementRef r(page);
        try {
            r = box;
        } catch (...) {
            host.settleRefusedReleases();
            if (r.isNil()) throw;
            return Fallback;
        }
        return Value;
    };
    return {
        {StringToKey, {"StringKey of a new text", Code, [] { Kw::StringKey k(u"new key"); return Value; }}, {}},
        {StringToKey, {"KWLIB::RegisterElement of a new name", Code, [&] { return answered(K::RegisterElement(DOMBTString(u"kw:Fresh"), frame, frame)); }}, {}},
        {KeyToString, {"ElementRef::get_TagName", Code, [&] { box.get_TagName(); return Value; }},
         {"getTagName of a new element object", Code, [&] { Owned e(at("colors")); e.element()->getTagName(); return Value; }}},
        {GetAttributeValue, {"GetAttribute", Fallback, [&] { return fellBack(box.GetAttribute(id).str().empty()); }},
         {"getAttribute", Fallback, [&] { Owned e(at("colors/color")); return fellBack(!*e.element()->getAttribute(u"name")); }}},
        {GetAttributeValue, {"GetAttributeDoubleRef (through \"\" to 0)", Fallback, [&] { return fellBack(box.GetAttributeDoubleRef(bounds).first == 0); }}, {}},
        {SetAttributeValue, {"SetAttribute of a text", Code, [&] { box.SetAttribute(id, DOMBTString(u"x")); return Value; }},
         {"setAttribute", Code, [&] { Owned e(at("colors/color")); e.element()->setAttribute(u"name", u"x"); return Value; }}},
        {SetAttributeValue, {"SetAttribute of a number", Code, [&] { box.SetAttribute(id, int32_t{3}); return Value; }}, {}},
        // The DOM's live attribute map does not take a refused read for "no attributes".
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
        // An assignment releases, then acquires: either refused, the target holds nothing (a refused
        // release is not retried later, and the host keeps the reference it refused to drop).
        {AdjustReference, {"an assignment releases", Code, assign, kCode, 2}, {}},
        {AdjustReference, {"an assignment acquires", Code, assign, kCode, 3}, {}},
        {AdjustReference, {"GetAttributeDoubleRef's temporary record acquires", Code,
                           [&] { box.GetAttributeDoubleRef(bounds); return Value; }}, {}},
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
        {TransactionControl, {"Validate", False, [&] { return answered(Kw::Transaction::Validate(&validator)); }}, {}},
        {RegisterNamespace, {"RegisterNamespace (the prefix handed back)", Fallback,
                             [&] { return fellBack(K::RegisterNamespace(DOMBTString(u"kw"), DOMBTString(u"urn:kw"), 1, args).str() == u"kw"); }}, {}},
        {RegisterDeclaration, {"RegisterComplexType", False, [&] { return answered(K::RegisterComplexType(1, DOMBTString(u"kw:T"), frame, frame, frame, 0, nullptr, 0, 0, 0, 0)); }}, {}},
        {RegisterDeclaration, {"RegisterElement", False, [&] { return answered(K::RegisterElement(DOMBTString(u"kw:E"), frame, frame)); }}, {}},
        {ValueMapAccess, {"ValueMap::getValue", Fallback, [&] { return fellBack(values.getValue(DOMBTString(u"k")).str().empty()); }}, {}},
        {ValueMapAccess, {"ValueMap::getKey", Fallback, [&] { return fellBack(values.getKey(0).isNone()); }}, {}},
        {ValueMapAccess, {"ValueMap::getNumberOfKeys", Fallback, [&] { return fellBack(values.getNumberOfKeys() == 0); }}, {}},
        {IsAttributeImplied, {"AttributeRef::isImplied", Code, [&] { Kw::AttributeRef(color, id).isImplied(); return Value; }},
         {"getSpecified", Code, [&] { Owned e(at("colors/color")); Owned a(e.element()->getAttributeNode(u"id")); if (!a.node) return Fallback; static_cast<DOMAttr*>(a.node)->getSpecified(); return Value; }}},
        {GetXMLHeaderAttr, {"GetXMLHeaderAttr (the status handed back)", Fallback,
                            [] { int n = 0; DOMBTString a, b; return fellBack(Kw::ElementRef::GetXMLHeaderAttr(0, n, a, b) == kStatus); }}, {}},
        {GetAttributeValueNS, {"GetAttributeValueNS", Fallback, [&] { return fellBack(color.GetAttributeValueNS(xsiNs, type).str().empty()); }},
         {"getAttributeNS", Fallback, [&] { Owned e(at("colors/color")); return fellBack(!*e.element()->getAttributeNS(u"http://www.w3.org/2001/XMLSchema-instance", u"type")); }}},
        {GetAttributeValueNS, {"AttributeRef::readText by namespace", Fallback,
                               [&] { Kw::AttributeRef a(color, type); a.nsKey = xsiNs; a.useNS = true; return fellBack(!*a.readText()); }}, {}},
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
            EXPECT_EQ(kOutcomes[int(got)], kOutcomes[int(c->expected)]);
            if (got == Code || got == Long) {
                EXPECT_EQ(seen, got == Code ? c->code : kStatus);
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
    EXPECT_TRUE(tx->Begin());
    EXPECT_EQ(values.getValue(DOMBTString(u"k")).str(), u"v");
    EXPECT_EQ(Kw::StringToEnum(DOMBTString(u"kw:Align"), DOMBTString(u"Left")), 0);
    tx.reset();
    page = box = color = text = Kw::ElementRef();
}

// Every call of the DOM columns of the table, and of the change, copy and output operations.
TEST_F(FailureSweep, EveryCallSucceedsCompletelyOrKeepsTheTree) {
    page = box = color = text = Kw::ElementRef(); // the sweep reloads the project
    std::vector<Operation> ops;
    for (const Row& row : rows()) {
        if (!row.dom.run || !row.swept) continue;
        const std::function<Outcome()> run = row.dom.run;
        ops.push_back({row.dom.what, {}, [run](DOMDocument*, const Subjects&) -> Result {
                           return run() == Value ? done : std::nullopt;
                       }});
    }
    for (auto more : {mutations, copies, outputs})
        for (Operation& op : more()) ops.push_back(std::move(op));
    sweep(ops);
}

} // namespace
