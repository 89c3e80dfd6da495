// Serialization of a 100,000-element project: the library's writer (writeToString of the document
// element) and the document's saveToString, against Xerces-C's own DOMLSSerializer writing a Xerces-C DOM
// parsed from the same XML. Every serializer runs with its defaults (no pretty printing, no declaration
// for an element), so the settings are the same on both sides.
#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/dom/ElementImpl.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <memory>

#include "BenchSupport.hpp"
#include "ProjectWorld.hpp"
#include "dom/DocumentImpl.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace {

constexpr size_t kElements = 100000;

// The project, with its document element kept at hand.
struct World : bench_support::ProjectWorld {
    World() : ProjectWorld(kElements), root(doc->getDocumentElement()) {}
    DOMElement* root;
};

World& world() {
    static World w;
    return w;
}

size_t lengthOf(const XMLCh* text) { return text ? XMLString::stringLen(text) : 0; }

// One writeToString of `node` by `serializer`; the output's length in UTF-16 units.
size_t writeOnce(DOMLSSerializer* serializer, const DOMNode* node) {
    XMLCh* text = serializer->writeToString(node, XMLPlatformUtils::fgMemoryManager);
    const size_t n = lengthOf(text);
    XMLPlatformUtils::fgMemoryManager->deallocate(text);
    return n;
}

void BM_Write_DOMKw(benchmark::State& state) {
    World& w = world();
    DOMLSSerializer* ours =
        DOMImplementationRegistry::getDOMImplementation(u"Tellam 6.0")->createLSSerializer(XMLPlatformUtils::fgMemoryManager);
    size_t units = 0;
    for (auto _ : state) units = writeOnce(ours, w.root);
    ours->release();
    state.counters["outputUnits"] = static_cast<double>(units);
    state.counters["liveNodeObjectsAfter"] = static_cast<double>(w.doc->liveNodeCount());
}

void BM_SaveToString_DOMKw(benchmark::State& state) {
    World& w = world();
    size_t units = 0;
    for (auto _ : state) units = lengthOf(w.doc->saveToString(w.root));
    state.counters["outputUnits"] = static_cast<double>(units);
}

void BM_Write_XercesDOM(benchmark::State& state) {
    World& w = world();
    DOMLSSerializer* theirs =
        DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createLSSerializer(XMLPlatformUtils::fgMemoryManager);
    size_t units = 0;
    for (auto _ : state) units = writeOnce(theirs, w.native->getDocumentElement());
    theirs->release();
    state.counters["outputUnits"] = static_cast<double>(units);
}

BENCHMARK(BM_Write_DOMKw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveToString_DOMKw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_XercesDOM)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return bench_support::runWithRatios(argc, argv,
                                        {{"BM_Write_DOMKw", "BM_Write_XercesDOM"},
                                         {"BM_SaveToString_DOMKw", "BM_Write_XercesDOM"},
                                         {"BM_SaveToString_DOMKw", "BM_Write_DOMKw"}});
}
