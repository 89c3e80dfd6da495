// Every host call of every public change, copy and output operation, made to fail in turn.
//
// Each operation runs once to count the host calls it makes per selector; then, for every selector and
// every n up to that count, it runs again from the same project with the n-th call of that selector
// failing. Afterwards either the operation succeeded completely (the host tree and its result are those
// of the clean run), or it reported the failure (an exception, or the null / false its contract names)
// and the host tree, read through the reference host itself, is exactly as before. No node object may be
// left, the library's host references must balance, and no injection may stay armed.
#include <DOMKw/bridge/Transaction.hpp>

#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/util/TransService.hpp>

#include <functional>
#include <map>
#include <optional>

#include "common/NativeDom.hpp"
#include "common/DomFixture.hpp"
#include "serialize/WriterFilterImpl.hpp"
#include "serialize/WriterImpl.hpp"

using namespace testing_support;

namespace {

constexpr int32_t kStatus = 0x002A0007; // its DOMException code is 7

// What one run of an operation produced: nullopt when it reported a failure the way its contract says
// (null, false); otherwise a text that must equal the clean run's (a copy or an output, "" for none).
using Result = std::optional<std::string>;

// The node objects an operation works on, made before the failure is armed (so that only the
// operation's own host calls are counted and failed) and ended after the run: elements by a path of tag
// names, "path#text" for the first child of the element at the path.
using Subjects = std::vector<DOMNode*>;

struct Operation {
    const char* name;
    std::vector<std::string> subjects;
    std::function<Result(DOMDocument*, const Subjects&)> act;
    // Runs unarmed before the subjects are made (a transaction begun and a change made); may be empty.
    std::function<void(DOMDocument*)> prepare = nullptr;
};

std::string utf8(const XMLCh* text) {
    if (!text) return "(null)";
    XERCES_CPP_NAMESPACE::TranscodeToStr out(text, "UTF-8");
    return reinterpret_cast<const char*>(out.str());
}

DOMElement* element(DOMDocument* doc, const std::string& path) {
    return domImpl::ElementImpl::create_(
        Kw::ElementRef::fromHandle(kwhost::ReferenceHost::instance().find(path)), doc);
}

// The text of a detached copy, as the stock serializer writes it.
std::string copyText(DOMNode* copy) {
    if (!copy) return "(null)";
    const dom::Owned<DOMNode> owned(copy);
    const dom::Owned<DOMLSSerializer> writer(
        DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createLSSerializer());
    XMLCh* text = writer->writeToString(copy);
    std::string result = sortAttributes(utf8(text));
    XMLString::release(&text);
    return result;
}

class EveryCallSweep : public DomTest {
protected:
    struct Tally {
        int cases = 0, succeeded = 0, reported = 0, settledReleases = 0;
        std::vector<std::string> faults;
    };

    std::string tree() { return host.toXml(-1, true); }

    // Ends the subjects and whatever the operation left for its end (a transaction).
    void finish() {
        for (DOMNode* n : subjects) dom::dispose(n);
        subjects.clear();
        transaction().reset();
    }

public:
    static std::unique_ptr<Kw::Transaction>& transaction() {
        static std::unique_ptr<Kw::Transaction> t;
        return t;
    }

protected:
    Subjects subjects;

    // One run from a freshly loaded project. Returns what the operation produced and whether it threw.
    Result runOnce(const Operation& op, int selector, int n, bool& threw, std::string& what,
                   std::string& before) {
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
        before = tree();
        host.resetCallCounts();
        if (selector >= 0) host.failAt(selector, kStatus, n);
        threw = false;
        Result result;
        try {
            result = op.act(doc, subjects);
        } catch (const DOMException& e) {
            threw = true;
            what = "DOMException " + std::to_string(static_cast<short>(e.code));
        } catch (dom::Exceptions::KwErrorCodes e) {
            threw = true;
            what = "library code " + std::to_string(e);
        } catch (long status) {
            threw = true;
            what = "status " + std::to_string(status);
        }
        return result;
    }

    void sweep(const std::vector<Operation>& ops, Tally& tally) {
        for (const Operation& op : ops) {
            SCOPED_TRACE(op.name);
            // The clean run: calls per selector, the tree and the result it leaves.
            bool threw = false;
            std::string what, before;
            const Result expected = runOnce(op, -1, 0, threw, what, before);
            ASSERT_FALSE(threw) << what;
            ASSERT_TRUE(expected.has_value()) << "the clean run reported a failure";
            std::map<int, uint64_t> calls;
            for (int s = 0; s < Kw::host::SelectorCount; ++s)
                if (uint64_t c = host.callCount(s)) calls[s] = c;
            const std::string expectedTree = tree();
            finish();
            ASSERT_EQ(doc->liveNodeCount(), 0u);
            doc->release();
            doc = nullptr;
            ASSERT_EQ(host.outstandingReferences(), 0);

            for (const auto& [selector, count] : calls) {
                for (uint64_t n = 1; n <= count; ++n) {
                    const std::string at = std::string(op.name) + ": selector " + std::to_string(selector) +
                                           ", call " + std::to_string(n) + " of " + std::to_string(count);
                    const Result got = runOnce(op, selector, static_cast<int>(n), threw, what, before);
                    const bool reached = !host.failureArmed();
                    host.disarm();
                    const std::string after = tree();
                    ++tally.cases;
                    if (!reached) tally.faults.push_back(at + ": the call was never reached");
                    if (!threw && got.has_value()) {
                        ++tally.succeeded;
                        if (after != expectedTree)
                            tally.faults.push_back(
                                at + ": success reported, but the tree differs from the clean run");
                        else if (*got != *expected)
                            tally.faults.push_back(
                                at + ": success reported, but the result differs:\n    got      " + *got +
                                "\n    expected " + *expected);
                    } else {
                        ++tally.reported;
                        if (after != before)
                            tally.faults.push_back(
                                at + ": failure reported (" + (threw ? what : "null/false") +
                                "), but the tree changed:\n    before " + before + "\n    after  " + after);
                    }
                    finish();
                    if (doc->liveNodeCount() != 0)
                        tally.faults.push_back(at + ": " + std::to_string(doc->liveNodeCount()) +
                                               " node object(s) left");
                    doc->release();
                    doc = nullptr;
                    tally.settledReleases += static_cast<int>(host.settleRefusedReleases());
                    if (host.outstandingReferences() != 0)
                        tally.faults.push_back(at + ": " + std::to_string(host.outstandingReferences()) +
                                               " host reference(s) left");
                }
            }
        }
        openDocument(); // for the fixture's tear-down
    }

    // `known`: faults that a pending change elsewhere mends, as "operation: selector N" prefixes; they are
    // counted and reported as a skip instead of a failure, so the test turns fully green once they are gone.
    void report(const char* family, const Tally& tally) {
        std::printf(
            "%s: %d (operation, call) cases: %d succeeded completely, %d reported the failure and kept the "
            "tree; %d refused release(s) settled\n",
            family, tally.cases, tally.succeeded, tally.reported, tally.settledReleases);
        for (const std::string& f : tally.faults) ADD_FAILURE() << f;
        std::printf("%s: %zu fault(s)\n", family, tally.faults.size());
    }
};

DOMElement* E(const Subjects& s, size_t i) {
    return static_cast<DOMElement*>(s[i]);
}
DOMText* T(const Subjects& s, size_t i) {
    return static_cast<DOMText*>(s[i]);
}
domImpl::ElementImpl* own(const Subjects& s, size_t i) {
    return static_cast<domImpl::ElementImpl*>(s[i]);
}
const Result done = std::string();

const char* const kBox = "project/layout/spread/page/box";
const char* const kText = "project/story/paragraph/textRun#text";

// Mutations: the host tree after the clean run is what they produce.
std::vector<Operation> mutations() {
    auto& transaction = EveryCallSweep::transaction;
    auto inTransaction = [&transaction](std::function<void(DOMDocument*)> change) {
        return [&transaction, change](DOMDocument* doc) {
            transaction() = std::make_unique<Kw::Transaction>();
            transaction()->Begin();
            change(doc);
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
        {"appendChild of new text",
         {"project/layout/spread/page"},
         [](DOMDocument* doc, const Subjects& s) -> Result {
             Owned fresh(doc->createTextNode(u"tail & end"));
             Owned inserted(s[0]->appendChild(fresh.node));
             return done;
         }},
        {"appendChild moving a story",
         {"project/layout[2]/spread", "project/story"},
         [](DOMDocument*, const Subjects& s) -> Result {
             Owned moved(s[0]->appendChild(s[1]));
             return done;
         }},
        {"appendChild moving a text",
         {"project/layout[2]/spread/page", kText},
         [](DOMDocument*, const Subjects& s) -> Result {
             Owned moved(s[0]->appendChild(s[1]));
             return done;
         }},
        {"insertBefore moving a box before its sibling",
         {"project/layout/spread/page", kBox, "project/layout/spread/page/box[2]"},
         [](DOMDocument*, const Subjects& s) -> Result {
             Owned moved(s[0]->insertBefore(s[2], s[1]));
             return done;
         }},
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
        {"replaceChild by a moved host element",
         {"project/layout/spread/page", kBox, "project/layout[2]/spread/page/box"},
         [](DOMDocument*, const Subjects& s) -> Result {
             Owned old(s[0]->replaceChild(s[2], s[1]));
             return copyText(old.node ? old->cloneNode(true) : nullptr);
         }},
        {"removeChild",
         {"project", "project/layout"},
         [](DOMDocument*, const Subjects& s) -> Result {
             Owned removed(s[0]->removeChild(s[1]));
             return copyText(removed.node ? removed->cloneNode(true) : nullptr);
         }},
        {"setAttribute (new)",
         {kBox},
         [](DOMDocument*, const Subjects& s) -> Result {
             E(s, 0)->setAttribute(u"added", u"yes");
             return done;
         }},
        {"setAttribute (existing)",
         {kBox},
         [](DOMDocument*, const Subjects& s) -> Result {
             E(s, 0)->setAttribute(u"id", u"bx");
             return done;
         }},
        {"setAttributeNS",
         {"colors/color"},
         [](DOMDocument*, const Subjects& s) -> Result {
             E(s, 0)->setAttributeNS(u"http://www.w3.org/2001/XMLSchema-instance", u"xsi:type", u"SpotColor");
             return done;
         }},
        {"setAttributeNode",
         {kBox},
         [](DOMDocument* doc, const Subjects& s) -> Result {
             DOMAttr* a = doc->createAttribute(u"added");
             a->setValue(u"1");
             Owned guard(a);
             Owned result(E(s, 0)->setAttributeNode(a));
             return done;
         }},
        {"setAttributeNodeNS",
         {kBox},
         [](DOMDocument* doc, const Subjects& s) -> Result {
             DOMAttr* a = doc->createAttribute(u"added");
             a->setValue(u"1");
             Owned guard(a);
             Owned result(E(s, 0)->setAttributeNodeNS(a));
             return done;
         }},
        {"Attr setValue",
         {kBox},
         [](DOMDocument*, const Subjects& s) -> Result {
             Owned a(E(s, 0)->getAttributeNode(u"bounds"));
             static_cast<DOMAttr*>(a.node)->setValue(u"1/2");
             return done;
         }},
        {"removeAttribute (not provided)",
         {kBox},
         [](DOMDocument*, const Subjects& s) -> Result {
             try {
                 E(s, 0)->removeAttribute(u"id");
             } catch (const DOMException& e) {
                 if (static_cast<short>(e.code) == -1) return done;
                 throw;
             }
             return std::string("removed");
         }},
        {"removeAttributeNS and removeNamedItem (not provided)",
         {kBox},
         [](DOMDocument*, const Subjects& s) -> Result {
             int refused = 0;
             for (int i = 0; i < 2; ++i) {
                 try {
                     if (i == 0)
                         E(s, 0)->removeAttributeNS(nullptr, u"id");
                     else
                         dom::dispose(E(s, 0)->getAttributes()->removeNamedItem(u"id"));
                 } catch (const DOMException& e) {
                     if (static_cast<short>(e.code) != -1) throw;
                     ++refused;
                 }
             }
             return refused == 2 ? done : std::string("removed");
         }},
        {"Attr setNodeValue",
         {kBox},
         [](DOMDocument*, const Subjects& s) -> Result {
             Owned a(E(s, 0)->getAttributeNode(u"id"));
             a->setNodeValue(u"b7");
             return done;
         }},
        {"setData",
         {kText},
         [](DOMDocument*, const Subjects& s) -> Result {
             T(s, 0)->setData(u"new text");
             return done;
         }},
        {"setNodeValue to empty",
         {kText},
         [](DOMDocument*, const Subjects& s) -> Result {
             T(s, 0)->setNodeValue(u"");
             return done;
         }},
        {"appendData",
         {kText},
         [](DOMDocument*, const Subjects& s) -> Result {
             T(s, 0)->appendData(u"!");
             return done;
         }},
        {"insertData at 0",
         {kText},
         [](DOMDocument*, const Subjects& s) -> Result {
             T(s, 0)->insertData(0, u">");
             return done;
         }},
        {"insertData at the end",
         {kText},
         [](DOMDocument*, const Subjects& s) -> Result {
             T(s, 0)->insertData(12, u"<");
             return done;
         }},
        {"deleteData",
         {kText},
         [](DOMDocument*, const Subjects& s) -> Result {
             T(s, 0)->deleteData(5, 100);
             return done;
         }},
        {"replaceData",
         {kText},
         [](DOMDocument*, const Subjects& s) -> Result {
             T(s, 0)->replaceData(0, 5, u"Howdy");
             return done;
         }},
        {"replaceWholeText",
         {kText},
         [](DOMDocument*, const Subjects& s) -> Result {
             Owned whole(T(s, 0)->replaceWholeText(u"whole"));
             return done;
         }},
        {"copyInto, deep",
         {"colors/color[2]", "project/layout/spread/page"},
         [](DOMDocument*, const Subjects& s) -> Result {
             own(s, 0)->copyInto(s[1], true);
             return done;
         }},
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
        {"copyInto, attributes only",
         {"project/layout[2]/spread/page/box", kBox},
         [](DOMDocument*, const Subjects& s) -> Result {
             own(s, 0)->copyInto(s[1], false);
             return done;
         }},
        {"new Transaction",
         {},
         [](DOMDocument*, const Subjects&) -> Result {
             Kw::Transaction t;
             return done;
         }},
        {"Transaction Begin",
         {},
         [&transaction](DOMDocument*, const Subjects&) -> Result {
             return transaction()->Begin() ? done : std::nullopt;
         },
         [&transaction](DOMDocument*) { transaction() = std::make_unique<Kw::Transaction>(); }},
        {"Transaction Commit",
         {},
         [&transaction](DOMDocument*, const Subjects&) -> Result {
             return transaction()->Commit() ? done : std::nullopt;
         },
         inTransaction([](DOMDocument* doc) {
             Owned e(element(doc, kBox));
             e.element()->setAttribute(u"added", u"yes");
         })},
        {"Transaction Abort",
         {},
         [&transaction](DOMDocument*, const Subjects&) -> Result {
             return transaction()->Abort() ? done : std::nullopt;
         },
         inTransaction([](DOMDocument* doc) {
             Owned project(element(doc, "project")), layout(element(doc, "project/layout"));
             dom::dispose(project->removeChild(layout.node));
         })},
        {"Transaction Rollback",
         {},
         [&transaction](DOMDocument*, const Subjects&) -> Result {
             return transaction()->Rollback() ? done : std::nullopt;
         },
         inTransaction([](DOMDocument* doc) {
             Owned run(element(doc, "project/story/paragraph/textRun"));
             Owned t(run->getFirstChild());
             static_cast<DOMText*>(t.node)->setData(u"changed");
         })},
    };
}

std::vector<Operation> copies() {
    return {
        {"cloneNode(true) of the project",
         {"project"},
         [](DOMDocument*, const Subjects& s) -> Result { return copyText(s[0]->cloneNode(true)); }},
        {"cloneNode(false) of a box",
         {kBox},
         [](DOMDocument*, const Subjects& s) -> Result { return copyText(s[0]->cloneNode(false)); }},
        {"exportCopy(true) of the application",
         {""},
         [](DOMDocument*, const Subjects& s) -> Result { return copyText(own(s, 0)->exportCopy(true)); }},
        {"cloneNode of a text",
         {kText},
         [](DOMDocument*, const Subjects& s) -> Result { return copyText(s[0]->cloneNode(true)); }},
    };
}

// A caller's filter shown no kind of node: a write through it goes node by node through the Xerces-C
// delegate instead of the writer's own walk over host handles, with the same output.
class ShowsNothing : public DOMLSSerializerFilter {
public:
    FilterAction acceptNode(const DOMNode*) const override { return FILTER_ACCEPT; }
    ShowType getWhatToShow() const override { return 0; }
};

// The library's save filter taken for a caller's: the write asks it node by node.
class SaveFilterNodeByNode : public domImpl::WriterFilterImpl {};

// writeToString of `node` through `filter` (none: nullptr); nullopt for a failed write.
Result writtenThrough(DOMLSSerializerFilter* filter, const DOMNode* node) {
    std::unique_ptr<DOMLSSerializer, void (*)(DOMLSSerializer*)> writer(new domImpl::WriterImpl(),
                                                                         [](DOMLSSerializer* w) { w->release(); });
    writer->setFilter(filter);
    XMLCh* out = writer->writeToString(node, nullptr);
    if (!out) return std::nullopt;
    std::string result = utf8(out);
    XMLPlatformUtils::fgMemoryManager->deallocate(out);
    return result;
}

std::vector<Operation> outputs() {
    auto text = [](const XMLCh* t) -> Result { return t ? Result(utf8(t)) : std::nullopt; };
    return {
        {"writeToString of the project, node by node",
         {"project"},
         [](DOMDocument*, const Subjects& s) -> Result {
             ShowsNothing filter;
             return writtenThrough(&filter, s[0]);
         }},
        {"writeToString of the project through the save filter, node by node",
         {"project"},
         [](DOMDocument*, const Subjects& s) -> Result {
             SaveFilterNodeByNode filter;
             return writtenThrough(&filter, s[0]);
         }},
        {"saveToString of the document",
         {},
         [text](DOMDocument* doc, const Subjects&) -> Result {
             return text(static_cast<domImpl::DocumentImpl*>(doc)->saveToString(nullptr));
         }},
        {"saveToString of a box",
         {kBox},
         [text](DOMDocument* doc, const Subjects& s) -> Result {
             return text(static_cast<domImpl::DocumentImpl*>(doc)->saveToString(s[0]));
         }},
        {"writeToString of the project",
         {"project"},
         [](DOMDocument*, const Subjects& s) -> Result {
             std::unique_ptr<DOMLSSerializer, void (*)(DOMLSSerializer*)> writer(
                 new domImpl::WriterImpl(), [](DOMLSSerializer* w) { w->release(); });
             XMLCh* out = writer->writeToString(s[0], nullptr);
             if (!out) return std::nullopt;
             std::string result = utf8(out);
             XMLPlatformUtils::fgMemoryManager->deallocate(out);
             return result;
         }},
        {"write of the application, node by node",
         {""},
         [](DOMDocument*, const Subjects& s) -> Result {
             ShowsNothing filter;
             DOMImplementation* impl = DOMImplementationRegistry::getDOMImplementation(u"Core LS");
             std::unique_ptr<DOMLSOutput, void (*)(DOMLSOutput*)> output(
                 impl->createLSOutput(), [](DOMLSOutput* o) { o->release(); });
             MemBufFormatTarget target;
             output->setByteStream(&target);
             output->setEncoding(u"UTF-8");
             std::unique_ptr<DOMLSSerializer, void (*)(DOMLSSerializer*)> writer(
                 new domImpl::WriterImpl(), [](DOMLSSerializer* w) { w->release(); });
             writer->setFilter(&filter);
             const bool ok = writer->write(s[0], output.get());
             if (!ok) return std::nullopt;
             return std::string(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen());
         }},
        {"write of the application",
         {""},
         [](DOMDocument*, const Subjects& s) -> Result {
             DOMImplementation* impl = DOMImplementationRegistry::getDOMImplementation(u"Core LS");
             std::unique_ptr<DOMLSOutput, void (*)(DOMLSOutput*)> output(
                 impl->createLSOutput(), [](DOMLSOutput* o) { o->release(); });
             MemBufFormatTarget target;
             output->setByteStream(&target);
             output->setEncoding(u"UTF-8");
             std::unique_ptr<DOMLSSerializer, void (*)(DOMLSSerializer*)> writer(
                 new domImpl::WriterImpl(), [](DOMLSSerializer* w) { w->release(); });
             const bool ok = writer->write(s[0], output.get());
             if (!ok) return std::nullopt;
             return std::string(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen());
         }},
    };
}

TEST_F(EveryCallSweep, MutationsSucceedCompletelyOrKeepTheTree) {
    Tally tally;
    sweep(mutations(), tally);
    report("mutations", tally);
}

TEST_F(EveryCallSweep, CopiesAreCompleteOrRefused) {
    Tally tally;
    sweep(copies(), tally);
    report("copies", tally);
}

TEST_F(EveryCallSweep, OutputsAreCompleteOrFail) {
    Tally tally;
    sweep(outputs(), tally);
    report("outputs", tally);
}

} // namespace
