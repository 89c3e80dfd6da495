// 100,000 deliveries of one event to one listener, through the host's DispatchEvent: once with the listener
// registered through the library (each delivery goes through Kw::HandleEvent: event document, event
// object, factory lookup), once registered bare, with a callback that calls the listener directly. The host's
// side (registry lookups, the flow along the tree, attribute writes) is the same in both, so the ratio is
// the library's cost per delivery.
#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/dom/ElementImpl.hpp>
#include <DOMKw/events/Events.hpp>
#include <DOMKw/events/HandleEvent.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <memory>

#include "BenchSupport.hpp"
#include "bridge/CallbackTable.hpp"
#include "dom/DocumentImpl.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace {

constexpr int kDeliveries = 100000;
const XMLCh* const kType = u"MouseEvent,click";

struct Counter : dom::events::EventListener {
    void handleEvent(dom::events::Event* evt) override {
        ++count;
        benchmark::DoNotOptimize(evt);
    }
    uint64_t count = 0;
};

// Reads what a listener typically reads: the type and the target.
struct Reader : dom::events::EventListener {
    void handleEvent(dom::events::Event* evt) override {
        const DOMBTString type = evt->getType();
        chars += static_cast<uint64_t>(type.GetLength());
        benchmark::DoNotOptimize(evt->getTarget());
    }
    uint64_t chars = 0;
};

long bareDelivery(void* listener, int, void*) {
    static_cast<Counter*>(listener)->handleEvent(nullptr);
    return 0;
}

struct World {
    World() {
        kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
        host.loadFile(std::string(DOMKW_SAMPLES_DIR) + "/project.xml");
        Kw::Connect(host.activateRec());
        doc = static_cast<domImpl::DocumentImpl*>(
            domImpl::DocumentImpl::create(Kw::ElementRef::get_Application()));
        // A target a few levels down, so that the flow visits some ancestors.
        DOMNode* node = doc->getDocumentElement();
        for (int depth = 0; depth < 4; ++depth) {
            DOMNode* child = node->getFirstChild();
            while (child && child->getNodeType() != DOMNode::ELEMENT_NODE) child = child->getNextSibling();
            if (!child) break;
            node = child;
        }
        target = static_cast<domImpl::ElementImpl*>(node);
    }
    domImpl::DocumentImpl* doc;
    domImpl::ElementImpl* target;
};

World& world() {
    static World w;
    return w;
}

uint64_t hostCalls() {
    return kwhost::ReferenceHost::instance().totalCalls();
}

void BM_Delivery_BareCallback(benchmark::State& state) {
    World& w = world();
    const Kw::host::CallbackTable& cb = Kw::host::callbacks();
    const Kw::ObjectRef::DoubleRef where = w.target->getTargetRef();
    const Kw::HostKey type = Kw::StringKey(kType).value();
    Counter listener;
    void* registered = &listener;
    cb.SetTargetEventListener(&bareDelivery, 0, type, where.first, static_cast<Kw::HostKey>(where.second),
                              registered, false);
    Kw::HostRef handle = -1;
    cb.CreateEvent(&handle, type);
    const Kw::EventRef event(reinterpret_cast<void*>(handle));
    uint64_t calls = 0;
    for (auto _ : state) {
        const uint64_t before = hostCalls();
        for (int i = 0; i < kDeliveries; ++i) {
            bool notPrevented = false;
            cb.DispatchEvent(where.first, static_cast<Kw::HostKey>(where.second), event.get(), &notPrevented);
        }
        calls = hostCalls() - before;
    }
    cb.SetTargetEventListener(&bareDelivery, 1, type, where.first, static_cast<Kw::HostKey>(where.second),
                              registered, false);
    state.counters["deliveries"] = static_cast<double>(listener.count);
    state.counters["hostCallsPerDelivery"] = static_cast<double>(calls) / kDeliveries;
    state.SetItemsProcessed(state.iterations() * kDeliveries);
}

template <class Listener> void deliverThroughTheLibrary(benchmark::State& state) {
    World& w = world();
    Listener listener;
    w.target->addEventListener(kType, &listener, false);
    std::unique_ptr<dom::events::Event> event(w.doc->createEvent(kType));
    uint64_t calls = 0;
    for (auto _ : state) {
        const uint64_t before = hostCalls();
        for (int i = 0; i < kDeliveries; ++i) w.target->dispatchEvent(event.get());
        calls = hostCalls() - before;
    }
    w.target->removeEventListener(kType, &listener, false);
    state.counters["hostCallsPerDelivery"] = static_cast<double>(calls) / kDeliveries;
    state.SetItemsProcessed(state.iterations() * kDeliveries);
}

void BM_Delivery_DOMKw(benchmark::State& state) {
    deliverThroughTheLibrary<Counter>(state);
}
void BM_Delivery_DOMKwReadingTypeAndTarget(benchmark::State& state) {
    deliverThroughTheLibrary<Reader>(state);
}

BENCHMARK(BM_Delivery_BareCallback)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Delivery_DOMKw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Delivery_DOMKwReadingTypeAndTarget)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return bench_support::runWithRatios(
        argc, argv,
        {{"BM_Delivery_DOMKw", "BM_Delivery_BareCallback"},
         {"BM_Delivery_DOMKwReadingTypeAndTarget", "BM_Delivery_BareCallback"}});
}
