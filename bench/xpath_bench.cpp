// Typical XPath queries over a 100,000-element project: through the library (the host's tree as a DOM)
// and through Xalan-C over a Xerces-C DOM parsed from the same XML, in one run. "first" is an evaluation
// on a document nobody has evaluated over yet (the library: a new document object; Xalan-C: a new
// wrapper of the native DOM, built up front as Xalan-C builds it by default for fast repeated use);
// "repeat" evaluates again over the same one.
#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/dom/ElementImpl.hpp>
#include <DOMKw/xpath/XPathResult.hpp>
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

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.hpp"
#include "dom/DocumentImpl.hpp"

using namespace XERCES_CPP_NAMESPACE;
namespace xalan = XALAN_CPP_NAMESPACE;

namespace {

constexpr size_t kElements = 100000;

struct Query {
    const char* name;
    const XMLCh* text; // evaluated at the application element
    bool counts;       // a number rather than a node-set
};

const Query queries[] = {
    {"descendant", u"//textRun", false},
    {"attribute", u"//box[@type='picture'][@story or @bounds]", false},
    {"positional", u"project/layout[3]/spread[10]/page[2]/box[3]", false},
    {"counting", u"count(//paragraph)", true},
    {"text", u"//textRun[contains(., 'coast')]", false},
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

struct World {
    World() {
        const std::string xml = kwhost::generateProject(kElements);
        kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
        host.loadString(xml, "generated");
        Kw::Connect(host.activateRec());
        doc = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
        app = doc->getDocumentElement();
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "generated");
        xalan::XPathEvaluator::initialize();
        evaluator = std::make_unique<xalan::XPathEvaluator>();
        parser = std::make_unique<XercesDOMParser>();
        parser->setDoNamespaces(true);
        parser->parse(source);
        wrapper.reset(wrap());
    }
    xalan::XercesDocumentWrapper* wrap() {
        return new xalan::XercesDocumentWrapper(xalan::XalanMemMgrs::getDefaultXercesMemMgr(),
                                                parser->getDocument(), true, true, true);
    }

    DOMDocument* doc;
    DOMElement* app;
    std::unique_ptr<XercesDOMParser> parser;
    std::unique_ptr<xalan::XercesDocumentWrapper> wrapper;
    xalan::DOMSupportDefault support;
    std::unique_ptr<xalan::XPathEvaluator> evaluator; // made once Xalan-C is started
    NoPrefixes prefixes;
};

World& world() {
    static World w;
    return w;
}

// The library: the number of nodes (or the count) of one evaluation.
double evaluateDOMKw(DOMDocument* doc, DOMNode* context, const Query& q, DOMXPathResult* reuse) {
    const auto type = q.counts ? DOMXPathResult::NUMBER_TYPE : DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE;
    DOMXPathResult* r = doc->evaluate(q.text, context, nullptr, type, reuse);
    const double answer = q.counts ? r->getNumberValue() : static_cast<double>(r->getSnapshotLength());
    if (r != reuse) r->release();
    return answer;
}

double evaluateXalan(World& w, xalan::XercesDocumentWrapper& wrapper, const Query& q) {
    const xalan::XObjectPtr value =
        w.evaluator->evaluate(w.support, wrapper.getDocumentElement(), q.text, w.prefixes);
    return q.counts ? value->num() : static_cast<double>(value->nodeset().getLength());
}

void firstDOMKw(benchmark::State& state, const Query& q) {
    World& w = world();
    double answer = 0;
    for (auto _ : state) {
        DOMDocument* doc = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
        DOMElement* app = doc->getDocumentElement();
        answer = evaluateDOMKw(doc, app, q, nullptr);
        doc->release();
    }
    state.counters["answer"] = answer;
    (void)w;
}

void firstXalan(benchmark::State& state, const Query& q) {
    World& w = world();
    double answer = 0;
    for (auto _ : state) {
        std::unique_ptr<xalan::XercesDocumentWrapper> wrapper(w.wrap());
        answer = evaluateXalan(w, *wrapper, q);
    }
    state.counters["answer"] = answer;
}

void repeatDOMKw(benchmark::State& state, const Query& q) {
    World& w = world();
    std::unique_ptr<DOMXPathResult, void (*)(DOMXPathResult*)> reused(
        dom::xpath::XPathResult::create(), [](DOMXPathResult* r) { r->release(); });
    double answer = evaluateDOMKw(w.doc, w.app, q, reused.get());
    for (auto _ : state) answer = evaluateDOMKw(w.doc, w.app, q, reused.get());
    state.counters["answer"] = answer;
    state.counters["liveNodeObjects"] =
        static_cast<double>(static_cast<domImpl::DocumentImpl*>(w.doc)->liveNodeCount());
}

void repeatXalan(benchmark::State& state, const Query& q) {
    World& w = world();
    double answer = evaluateXalan(w, *w.wrapper, q);
    for (auto _ : state) answer = evaluateXalan(w, *w.wrapper, q);
    state.counters["answer"] = answer;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const Query& q : queries) {
        const std::string n = q.name;
        benchmark::RegisterBenchmark(("first/DOMKw/" + n).c_str(), firstDOMKw, q)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("first/Xalan/" + n).c_str(), firstXalan, q)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("repeat/DOMKw/" + n).c_str(), repeatDOMKw, q)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("repeat/Xalan/" + n).c_str(), repeatXalan, q)
            ->Unit(benchmark::kMillisecond);
        pairs.push_back({"first/DOMKw/" + n, "first/Xalan/" + n});
        pairs.push_back({"repeat/DOMKw/" + n, "repeat/Xalan/" + n});
    }
    return bench_support::runWithRatios(argc, argv, pairs);
}
