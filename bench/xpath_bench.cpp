// Typical XPath queries over a generated project (100,000 elements unless a count is given): through the
// library (the host's tree as a DOM) and through Xalan-C over a Xerces-C DOM parsed from the same XML, in
// one run, every figure a ratio against the other side measured alongside.
//
// The sides, as their users call them:
//  - DOMKw: `DOMDocument::evaluate` on a new document object of the library (nothing evaluated over it
//    yet), a new result per evaluation, released before the next one.
//  - Xalan "default": `XercesDocumentWrapper(manager, document)` with its default settings (thread-safe,
//    wrapper built up front, no maps), made new for each sequence; its build counts in the first evaluation.
//  - Xalan "lazy" (the positional query only): `XercesDocumentWrapper(manager, document, false, false,
//    false)`, which wraps nodes as the evaluation reaches them.
//  Both are handed the expression's text at every evaluation (`XPathEvaluator::evaluate` with a text).
//  Xalan compiles it each time; the library compiles a text once per document and keeps it (the last 16
//  texts), so its first evaluation of a sequence compiles and its repeats do not.
//  Two more library sequences: a whole-tree search on a document that answered a small query first, and
//  one result object reused by every evaluation (the Xalan side is the same as for the query alone).
//  The library reads a tree of its own from the host at each evaluation and keeps nothing the size of the
//  tree once the result is released: the repeats include that read.
//
// Usage: xpath_bench [elements [case]]
//        xpath_bench scaling    the first evaluation per element at 10,000, 100,000 and 400,000 elements
//                               (medians of 3 fresh sequences; one at 400,000), both sides
//
// Each sequence is timed evaluation by evaluation with the clock (no calibration runs that would average
// a spike away): the first evaluation, each of evaluations 2 to 10, and the steady repeat (the median of
// evaluations 11 to 30). Every figure is the median of three sequences, each over a fresh document or
// wrapper. After a sequence, with every result released, the heap bytes the side still keeps and (for
// the library) the host references it still holds are printed.
#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/dom/ElementImpl.hpp>
#include <DOMKwHost/ProjectGenerator.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <xalanc/DOMSupport/DOMSupportDefault.hpp>
#include <xalanc/PlatformSupport/PrefixResolver.hpp>
#include <xalanc/XPath/NodeRefListBase.hpp>
#include <xalanc/XPath/XObject.hpp>
#include <xalanc/XPath/XPathEvaluator.hpp>
#include <xalanc/XalanDOM/XalanElement.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dom/DocumentImpl.hpp"

using namespace XERCES_CPP_NAMESPACE;
namespace xalan = XALAN_CPP_NAMESPACE;

namespace {

constexpr int kSequences = 3;
constexpr int kTracked = 10;     // evaluations reported one by one
constexpr int kSteadyFrom = 11;  // the steady repeat: the median of evaluations kSteadyFrom..kSteadyTo
constexpr int kSteadyTo = 30;

struct Query {
    const char* name;
    const XMLCh* text; // evaluated at the application element
    bool counts;       // a number rather than a node-set
    bool lazyPeer;     // also measured against Xalan's lazy wrapper
};

const Query queries[] = {
    {"descendant", u"//textRun", false, false},
    {"attribute", u"//box[@type='picture'][@story or @bounds]", false, false},
    {"positional", u"project/layout[3]/spread[10]/page[2]/box[3]", false, true},
    {"counting", u"count(//paragraph)", true, false},
    {"text", u"//textRun[contains(., 'coast')]", false, false},
};

// No prefixes in the generated project.
class NoPrefixes : public xalan::PrefixResolver {
public:
    const xalan::XalanDOMString* getNamespaceForPrefix(const xalan::XalanDOMString&) const override {
        return nullptr;
    }
    const xalan::XalanDOMString& getURI() const override { return none; }

private:
    xalan::XalanDOMString none;
};

size_t heapBytes() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

double now() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One sequence of one side: the time of each evaluation (ms), the answer, what is kept afterwards.
struct Sequence {
    std::vector<double> ms; // evaluations 1..kSteadyTo
    double answer = 0;
    double keptBytes = 0;
    double keptReferences = 0;
};

// The medians over kSequences sequences.
struct Figures {
    std::vector<double> ms; // 1..kTracked, then the steady repeat
    double answer = 0, keptBytes = 0, keptReferences = 0;
};

Figures summarise(const std::vector<Sequence>& runs) {
    Figures f;
    for (int i = 0; i < kTracked; ++i) {
        std::vector<double> at;
        for (const Sequence& s : runs) at.push_back(s.ms[i]);
        f.ms.push_back(median(at));
    }
    std::vector<double> steady, bytes, refs;
    for (const Sequence& s : runs) {
        steady.push_back(median(std::vector<double>(s.ms.begin() + kSteadyFrom - 1, s.ms.end())));
        bytes.push_back(s.keptBytes);
        refs.push_back(s.keptReferences);
    }
    f.ms.push_back(median(steady));
    f.answer = runs.front().answer;
    f.keptBytes = median(bytes);
    f.keptReferences = median(refs);
    return f;
}

struct World {
    explicit World(size_t elements) {
        kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
        load(elements);
        Kw::Connect(host.activateRec());
        xalan::XPathEvaluator::initialize();
        evaluator = std::make_unique<xalan::XPathEvaluator>();
    }

    // A project of `count` elements, in the host and as a Xerces-C DOM, in place of the one before.
    void load(size_t count) {
        elements = count;
        xml = kwhost::generateProject(count);
        kwhost::ReferenceHost::instance().loadString(xml, "generated");
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "generated");
        parser = std::make_unique<XercesDOMParser>();
        parser->setDoNamespaces(true);
        parser->parse(source);
    }

    size_t elements = 0;
    std::string xml;
    std::unique_ptr<XercesDOMParser> parser;
    xalan::DOMSupportDefault support;
    std::unique_ptr<xalan::XPathEvaluator> evaluator; // made once Xalan-C is started
    NoPrefixes prefixes;
};

// The library: the number of nodes (or the count) of one evaluation, its result released.
double evaluateDOMKw(DOMDocument* doc, const Query& q, DOMXPathResult* reuse) {
    const auto type = q.counts ? DOMXPathResult::NUMBER_TYPE : DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE;
    DOMXPathResult* r = doc->evaluate(q.text, doc->getDocumentElement(), nullptr, type, reuse);
    const double answer = q.counts ? r->getNumberValue() : static_cast<double>(r->getSnapshotLength());
    if (r != reuse) r->release();
    return answer;
}

// `before`: a query evaluated (untimed) on the new document first, as an application does that asks
// something small before it searches the whole tree. `reuse`: one result object reused by every evaluation.
Sequence sequenceDOMKw(const Query& q, const Query* before, bool reuse, int evaluations = kSteadyTo) {
    kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
    const size_t heapBefore = heapBytes();
    Sequence s;
    DOMDocument* doc = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    // The document's own references (its element and its document element, which every evaluation
    // starts from) are not the XPath layer's.
    doc->getDocumentElement();
    const int64_t refsBefore = host.outstandingReferences();
    if (before) evaluateDOMKw(doc, *before, nullptr);
    DOMXPathResult* reused = reuse ? doc->evaluate(u"1", doc, nullptr, DOMXPathResult::ANY_TYPE, nullptr) : nullptr;
    for (int i = 1; i <= evaluations; ++i) {
        const double start = now();
        s.answer = evaluateDOMKw(doc, q, reused);
        s.ms.push_back(now() - start);
    }
    if (reused) reused->release();
    s.keptBytes = static_cast<double>(heapBytes()) - static_cast<double>(heapBefore);
    s.keptReferences = static_cast<double>(host.outstandingReferences() - refsBefore);
    doc->release();
    return s;
}

// Xalan-C: a wrapper made by `wrap` at the first evaluation (its build timed with it).
Sequence sequenceXalan(World& w, const Query& q,
                       const std::function<xalan::XercesDocumentWrapper*(const DOMDocument*)>& wrap,
                       int evaluations = kSteadyTo) {
    const size_t heapBefore = heapBytes();
    Sequence s;
    std::unique_ptr<xalan::XercesDocumentWrapper> wrapper;
    for (int i = 1; i <= evaluations; ++i) {
        const double start = now();
        if (!wrapper) wrapper.reset(wrap(w.parser->getDocument()));
        {
            const xalan::XObjectPtr value =
                w.evaluator->evaluate(w.support, wrapper->getDocumentElement(), q.text, w.prefixes);
            s.answer = q.counts ? value->num() : static_cast<double>(value->nodeset().getLength());
        }
        s.ms.push_back(now() - start);
    }
    s.keptBytes = static_cast<double>(heapBytes()) - static_cast<double>(heapBefore);
    return s;
}

xalan::XercesDocumentWrapper* defaultWrapper(const DOMDocument* doc) {
    return new xalan::XercesDocumentWrapper(xalan::XalanMemMgrs::getDefaultXercesMemMgr(), doc);
}

xalan::XercesDocumentWrapper* lazyWrapper(const DOMDocument* doc) {
    return new xalan::XercesDocumentWrapper(xalan::XalanMemMgrs::getDefaultXercesMemMgr(), doc, false, false,
                                            false);
}

const char* label(int i) {
    static const char* labels[] = {"1st", "2nd", "3rd", "4th", "5th", "6th", "7th", "8th", "9th", "10th",
                                   "steady"};
    return labels[i];
}

std::string narrow(const XMLCh* text) {
    std::string out;
    for (; *text; ++text) out += static_cast<char>(*text);
    return out;
}

void printQuery(const std::string& title, const Query& q, const Figures& ours,
                const std::vector<std::pair<std::string, Figures>>& peers, size_t elements) {
    std::printf("\n%s  \"%s\"  answer %.0f", title.c_str(), narrow(q.text).c_str(), ours.answer);
    for (const auto& [name, f] : peers)
        if (f.answer != ours.answer) std::printf("  (MISMATCH: Xalan %s answers %.0f)", name.c_str(), f.answer);
    std::printf("\n  %-7s %10s", "eval", "DOMKw ms");
    for (const auto& [name, f] : peers) std::printf(" %13s %9s", ("Xalan " + name).c_str(), "ratio");
    std::printf(" %14s\n", "DOMKw/steady");
    for (int i = 0; i <= kTracked; ++i) {
        std::printf("  %-7s %10.3f", label(i), ours.ms[i]);
        for (const auto& [name, f] : peers) std::printf(" %13.3f %8.2fx", f.ms[i], ours.ms[i] / f.ms[i]);
        std::printf(" %13.2fx\n", ours.ms[i] / ours.ms[kTracked]);
    }
    double worst = 0;
    for (int i = 1; i < kTracked; ++i) worst = std::max(worst, ours.ms[i] / ours.ms[kTracked]);
    std::printf("  worst of evaluations 2-10 against the steady repeat: %.2fx\n", worst);
    std::printf("  kept after release: DOMKw %.0f bytes (%.1f per element), %.0f host references",
                ours.keptBytes, ours.keptBytes / static_cast<double>(elements), ours.keptReferences);
    for (const auto& [name, f] : peers)
        std::printf("; Xalan %s %.0f bytes (%.1f per element)", name.c_str(), f.keptBytes,
                    f.keptBytes / static_cast<double>(elements));
    std::printf("\n");
}

// The first evaluation of each whole-tree query at 10,000, 100,000 and 400,000 elements, in microseconds
// per element on both sides: whether the library's cost grows faster than Xalan's own.
void scaling() {
    const size_t sizes[] = {10000, 100000, 400000};
    World w(sizes[0]);
    std::printf("first evaluation per element (us), DOMKw against Xalan default; medians of %d fresh "
                "sequences (one at 400,000)\n",
                kSequences);
    std::printf("  %-11s %9s %12s %12s %8s\n", "query", "elements", "DOMKw", "Xalan", "ratio");
    for (size_t n : sizes) {
        if (n != w.elements) w.load(n);
        const int runs = n >= 400000 ? 1 : kSequences;
        for (const Query& q : queries) {
            if (!std::strcmp(q.name, "positional")) continue; // reads a few nodes whatever the size
            std::vector<double> ours, peer;
            double answer = 0, peerAnswer = 0;
            for (int r = 0; r < runs; ++r) {
                const Sequence a = sequenceDOMKw(q, nullptr, false, 1);
                const Sequence b = sequenceXalan(w, q, defaultWrapper, 1);
                ours.push_back(a.ms[0]);
                peer.push_back(b.ms[0]);
                answer = a.answer;
                peerAnswer = b.answer;
            }
            const double perOurs = median(ours) * 1000 / static_cast<double>(n);
            const double perPeer = median(peer) * 1000 / static_cast<double>(n);
            std::printf("  %-11s %9zu %12.3f %12.3f %7.2fx%s\n", q.name, n, perOurs, perPeer, perOurs / perPeer,
                        answer == peerAnswer ? "" : "  (MISMATCH)");
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    XMLPlatformUtils::Initialize();
    if (argc > 1 && !std::strcmp(argv[1], "scaling")) {
        scaling();
        return 0;
    }
    size_t elements = 100000;
    if (argc > 1) elements = std::strtoul(argv[1], nullptr, 10);
    const char* only = argc > 2 ? argv[2] : nullptr;
    World w(elements);
    std::printf("%zu elements; medians of %d sequences; steady = median of evaluations %d-%d\n", elements,
                kSequences, kSteadyFrom, kSteadyTo);
    std::printf("DOMKw: a new document object per sequence, a new result per evaluation\n");
    std::printf("Xalan default: XercesDocumentWrapper(manager, doc) = threadSafe, built up front, no maps\n");
    std::printf("Xalan lazy:    XercesDocumentWrapper(manager, doc, false, false, false)\n");
    struct Case {
        std::string title;
        const Query& query;
        const Query* before;
        bool reuse;
    };
    const Query& positional = queries[2];
    std::vector<Case> cases;
    for (const Query& q : queries) cases.push_back({q.name, q, nullptr, false});
    // Sequences a single query on a fresh document would not show: a whole-tree search after a query that
    // reads a few nodes, and one result object reused throughout.
    cases.push_back({"descendant-after-positional", queries[0], &positional, false});
    cases.push_back({"descendant-reusing-a-result", queries[0], nullptr, true});
    for (const Case& c : cases) {
        if (only && c.title != only) continue;
        std::vector<Sequence> ours, def, lazy;
        // The sides take turns, so that neither always runs on a heap the other has just churned.
        for (int r = 0; r < kSequences; ++r) {
            ours.push_back(sequenceDOMKw(c.query, c.before, c.reuse));
            def.push_back(sequenceXalan(w, c.query, defaultWrapper));
            if (c.query.lazyPeer) lazy.push_back(sequenceXalan(w, c.query, lazyWrapper));
        }
        std::vector<std::pair<std::string, Figures>> peers{{"default", summarise(def)}};
        if (c.query.lazyPeer) peers.push_back({"lazy", summarise(lazy)});
        printQuery(c.title, c.query, summarise(ours), peers, elements);
    }
    return 0;
}
