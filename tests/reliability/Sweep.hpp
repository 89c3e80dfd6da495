// The sweep driver shared by the failure table and the every-call sweep: an operation runs once to count
// the host calls it makes per selector; then, for every selector and every n up to that count, it runs
// again from the same project with the n-th call of that selector failing. Afterwards either the
// operation succeeded completely (the host tree and its result are those of the clean run), or it
// reported the failure (an exception, or the null / false its contract names) and the host tree, read
// through the reference host itself, is exactly as before. No node object may be left, the library's
// host references must balance, and no injection may stay armed.
#pragma once

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

namespace sweep {

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

inline std::string utf8(const XMLCh* text) {
    if (!text) return "(null)";
    XERCES_CPP_NAMESPACE::TranscodeToStr out(text, "UTF-8");
    return reinterpret_cast<const char*>(out.str());
}

inline DOMElement* element(DOMDocument* doc, const std::string& path) {
    return domImpl::ElementImpl::create_(
        Kw::ElementRef::fromHandle(kwhost::ReferenceHost::instance().find(path)), doc);
}

// The text of a detached copy, as the stock serializer writes it.
inline std::string copyText(DOMNode* copy) {
    if (!copy) return "(null)";
    const dom::Owned<DOMNode> owned(copy);
    const dom::Owned<DOMLSSerializer> writer(
        DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createLSSerializer());
    XMLCh* text = writer->writeToString(copy);
    std::string result = sortAttributes(utf8(text));
    XMLString::release(&text);
    return result;
}

class SweepTest : public DomTest {
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

    void report(const char* family, const Tally& tally) {
        std::printf(
            "%s: %d (operation, call) cases: %d succeeded completely, %d reported the failure and kept the "
            "tree; %d refused release(s) settled\n",
            family, tally.cases, tally.succeeded, tally.reported, tally.settledReleases);
        for (const std::string& f : tally.faults) ADD_FAILURE() << f;
        std::printf("%s: %zu fault(s)\n", family, tally.faults.size());
    }
};

inline DOMElement* E(const Subjects& s, size_t i) {
    return static_cast<DOMElement*>(s[i]);
}
inline DOMText* T(const Subjects& s, size_t i) {
    return static_cast<DOMText*>(s[i]);
}
inline domImpl::ElementImpl* own(const Subjects& s, size_t i) {
    return static_cast<domImpl::ElementImpl*>(s[i]);
}
const Result done = std::string();

const char* const kBox = "project/layout/spread/page/box";
const char* const kText = "project/story/paragraph/textRun#text";

} // namespace sweep
