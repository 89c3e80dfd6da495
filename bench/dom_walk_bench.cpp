// A full walk of a 100,000-element project three ways: through the library's DOM, through the bare host
// calls such a walk must make, and through a Xerces-C DOM parsed from the same XML.
#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/dom/ElementImpl.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <xercesc/dom/DOM.hpp>

#include <memory>
#include <cstdlib>
#include <malloc.h>
#include <new>

#include "BenchSupport.hpp"
#include "ProjectWorld.hpp"
#include "bridge/CallbackTable.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/Lifetime.hpp"

using namespace XERCES_CPP_NAMESPACE;

// Heap accounting: every allocation is counted; while `weighing` is on (only around the element objects
// of BM_ElementObjectBytes, so that the walks do not pay for it) the bytes the allocator actually set
// aside for each block are added up (malloc usable size, not the size asked for).
static long long liveBytes = 0;
static size_t allocations = 0;
static bool weighing = false;
void* operator new(size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    ++allocations;
    if (weighing) liveBytes += static_cast<long long>(malloc_usable_size(p));
    return p;
}
static void giveBack(void* q) noexcept {
    if (!q) return;
    if (weighing) liveBytes -= static_cast<long long>(malloc_usable_size(q));
    std::free(q);
}
void operator delete(void* q) noexcept { giveBack(q); }
void operator delete(void* q, size_t) noexcept { giveBack(q); }

namespace {

constexpr size_t kElements = 100000;

using World = bench_support::ProjectWorld;

World& world() {
    static World w(kElements);
    return w;
}

// What the walk reads of every node, kept so that nothing is optimised away.
struct Tally {
    size_t nodes = 0, elements = 0, attrs = 0, chars = 0;
};

void walkDom(DOMNode* node, Tally& t, bool dispose) {
    for (DOMNode* child = node->getFirstChild(); child;) {
        ++t.nodes;
        const XMLCh* name = child->getNodeName();
        t.chars += name ? XMLString::stringLen(name) : 0;
        if (child->getNodeType() == DOMNode::TEXT_NODE) {
            t.chars += XMLString::stringLen(child->getNodeValue());
        } else {
            ++t.elements;
            DOMNamedNodeMap* attrs = child->getAttributes();
            const XMLSize_t n = attrs->getLength();
            for (XMLSize_t i = 0; i < n; ++i) {
                DOMNode* a = attrs->item(i);
                t.chars += XMLString::stringLen(a->getNodeValue());
                ++t.attrs;
                if (dispose) dom::dispose(a);
            }
            walkDom(child, t, dispose);
        }
        DOMNode* next = child->getNextSibling();
        if (dispose) dom::dispose(child);
        child = next;
    }
}

// The same walk as bare host calls: navigation with its reference counting, the tag name, the attribute
// keys and values, and the text. With `asTheDom`, also the calls the library's walk adds for each
// attribute node (its owner reference taken and given back, its name resolved): every host call the
// library makes, none of its own work, to show what the library itself costs.
void walkHost(Kw::HostRef ref, Tally& t, bool asTheDom = false) {
    const Kw::host::CallbackTable& cb = Kw::host::callbacks();
    Kw::HostRef child = -1;
    cb.NavigateElement(&child, ref, Kw::host::FirstChild, Kw::NO_KEY, 0);
    while (child >= 0) {
        cb.AdjustReference(child, true);
        ++t.nodes;
        Kw::HostKey tag = Kw::NO_KEY;
        const XMLCh* text = nullptr;
        cb.GetElementNameKey(&tag, 0, child);
        cb.KeyToString(&text, tag);
        t.chars += XMLString::stringLen(text);
        bool isText = false;
        cb.IsTextNode(&isText, child);
        if (isText) {
            cb.GetTextValue(&text, child);
            t.chars += XMLString::stringLen(text);
        } else {
            Kw::HostKey keys[255];
            int32_t n = 0;
            cb.GetAttributeKeys(&n, child, keys, 255);
            for (int32_t i = 0; i < n; ++i) {
                if (asTheDom) {
                    cb.AdjustReference(child, true);
                    Kw::HostKey names[4];
                    cb.ResolveAttributeName(names, child, Kw::NO_KEY, keys[i]);
                }
                cb.GetAttributeValue(&text, child, keys[i], nullptr);
                t.chars += XMLString::stringLen(text);
                ++t.attrs;
                if (asTheDom) cb.AdjustReference(child, false);
            }
            walkHost(child, t, asTheDom);
        }
        Kw::HostRef next = -1;
        cb.NavigateElement(&next, child, Kw::host::NextSibling, Kw::NO_KEY, 0);
        cb.AdjustReference(child, false);
        child = next;
    }
}

template <class F> uint64_t hostCallsOfOneWalk(F&& walk) {
    kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
    const uint64_t before = host.totalCalls();
    walk();
    return host.totalCalls() - before;
}

void BM_Walk_DOMKw(benchmark::State& state) {
    World& w = world();
    Tally t;
    for (auto _ : state) {
        t = Tally();
        DOMElement* root = w.doc->getDocumentElement();
        walkDom(root, t, true);
        dom::dispose(root);
    }
    state.counters["nodes"] = static_cast<double>(t.nodes);
    state.counters["liveNodeObjectsAfter"] = static_cast<double>(w.doc->liveNodeCount());
    const size_t allocationsBefore = allocations;
    state.counters["hostCallsPerWalk"] = static_cast<double>(hostCallsOfOneWalk([&] {
        Tally once;
        DOMElement* root = w.doc->getDocumentElement();
        walkDom(root, once, true);
        dom::dispose(root);
    }));
    // Node objects: elements, text nodes and attribute nodes.
    const double made = static_cast<double>(allocations - allocationsBefore);
    state.counters["allocationsPerElement"] = made / static_cast<double>(t.elements);
    state.counters["allocationsPerNodeObject"] = made / static_cast<double>(t.nodes + t.attrs);
}

void walkHostAsBenchmark(benchmark::State& state, bool asTheDom) {
    // The same project as the library's walk, whichever of the walks runs first (or alone).
    world();
    Tally t;
    for (auto _ : state) {
        t = Tally();
        walkHost(kwhost::ReferenceHost::instance().application(), t, asTheDom);
    }
    state.counters["nodes"] = static_cast<double>(t.nodes);
    state.counters["hostCallsPerWalk"] = static_cast<double>(hostCallsOfOneWalk([asTheDom] {
        Tally once;
        walkHost(kwhost::ReferenceHost::instance().application(), once, asTheDom);
    }));
}

void BM_Walk_BareHostCalls(benchmark::State& state) { walkHostAsBenchmark(state, false); }
void BM_Walk_SameHostCalls(benchmark::State& state) { walkHostAsBenchmark(state, true); }

void BM_Walk_XercesDOM(benchmark::State& state) {
    World& w = world();
    Tally t;
    for (auto _ : state) {
        t = Tally();
        walkDom(w.native->getDocumentElement(), t, false);
    }
    state.counters["nodes"] = static_cast<double>(t.nodes);
}

// Bytes per live element object, 10,000 distinct elements held at once: the object's slot in its pool
// (node objects come from pooled blocks, which the allocator counting here does not see) plus whatever
// else it took from the heap, as malloc usable size.
void collectElements(const Kw::ElementRef& at, std::vector<Kw::ElementRef>& out, size_t limit) {
    for (Kw::ElementRef c = at.get_FirstChild(); !c.isNil() && out.size() < limit; c = c.get_NextSibling()) {
        if (c.IsTextNode()) continue;
        out.push_back(c);
        collectElements(c, out, limit);
    }
}

void BM_ElementObjectBytes(benchmark::State& state) {
    World& w = world();
    std::vector<Kw::ElementRef> refs;
    collectElements(Kw::ElementRef::get_Application(), refs, 10000);
    std::vector<DOMElement*> held;
    held.reserve(refs.size());
    double perElement = 0;
    for (auto _ : state) {
        liveBytes = 0;
        weighing = true;
        for (const Kw::ElementRef& r : refs) held.push_back(domImpl::ElementImpl::create_(r, w.doc));
        weighing = false;
        perElement = static_cast<double>(liveBytes) / static_cast<double>(held.size());
        for (DOMElement* e : held) dom::dispose(e);
        held.clear();
    }
    const double slot = static_cast<double>(domImpl::lifetime::slotBytes(sizeof(domImpl::ElementImpl)));
    state.counters["bytesPerElement"] = perElement + slot;
    state.counters["poolSlotBytes"] = slot;
}

BENCHMARK(BM_Walk_DOMKw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_BareHostCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_SameHostCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_XercesDOM)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ElementObjectBytes)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    return bench_support::runWithRatios(argc, argv,
                                        {{"BM_Walk_DOMKw", "BM_Walk_BareHostCalls"},
                                         {"BM_Walk_DOMKw", "BM_Walk_SameHostCalls"},
                                         {"BM_Walk_DOMKw", "BM_Walk_XercesDOM"}});
}
