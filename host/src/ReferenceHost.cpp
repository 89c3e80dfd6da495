#include "HostState.hpp"
#include "XmlLoader.hpp"
#include "XmlWriter.hpp"

#include <xercesc/util/PlatformUtils.hpp>

#include <fstream>
#include <sstream>

namespace kwhost {

HostState* theState = nullptr;

HostState& makeState() {
    static HostState s;
    theState = &s;
    return s;
}

ReferenceHost::ReferenceHost() {
    xercesc::XMLPlatformUtils::Initialize();
    state().rec.GetCallbacks = &getCallbacks;
}

ReferenceHost::~ReferenceHost() = default;

ReferenceHost& ReferenceHost::instance() {
    static ReferenceHost host;
    return host;
}

void ReferenceHost::loadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LoadError(path + ": cannot open the file", 0, 0);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    loadString(bytes.str(), path);
}

void ReferenceHost::loadString(const std::string& xml, const std::string& systemId) {
    Store& store = state().store;
    std::vector<std::pair<std::u16string, std::u16string>> header;
    // Parsed completely before anything is replaced: a malformed file leaves the loaded project alone.
    Object* app = parseXml(store, xml, systemId, nullptr, &header);
    store.setApplication(app, std::move(header));
}

const Kw::ActivateRec& ReferenceHost::activateRec() const { return state().rec; }

Kw::HostRef ReferenceHost::application() const {
    const Object* app = state().store.application;
    return app ? app->handle : -1;
}

std::string ReferenceHost::toXml(Kw::HostRef root, bool withImplied) const {
    const Store& store = state().store;
    const Object* obj = root < 0 ? store.application : store.get(root);
    if (!obj) return {};
    std::u16string out;
    writeXml(store, obj, withImplied, out);
    return toUtf8(out);
}

int64_t ReferenceHost::outstandingReferences() const { return state().store.outstanding; }

size_t ReferenceHost::liveObjects() const { return state().store.live(); }

uint64_t ReferenceHost::callCount(int selector) const {
    return selector >= 0 && selector < Kw::host::SelectorCount ? state().calls[selector] : 0;
}

uint64_t ReferenceHost::totalCalls() const {
    uint64_t n = 0;
    for (uint64_t c : state().calls) n += c;
    return n;
}

void ReferenceHost::resetCallCounts() { state().calls.fill(0); }

void ReferenceHost::failAt(int selector, int32_t status, int nth) {
    if (selector < 0 || selector >= Kw::host::SelectorCount || nth < 1 || status == 0)
        throw std::invalid_argument("failAt: selector 0-42, a non-zero status and nth >= 1");
    state().injections[selector] = {nth, status};
    state().recountArmed();
}

bool ReferenceHost::failureArmed() const {
    for (const Injection& i : state().injections)
        if (i.countdown > 0) return true;
    return false;
}

void ReferenceHost::disarm() {
    state().injections.fill({});
    state().armed = 0;
}

size_t ReferenceHost::settleRefusedReleases() {
    std::vector<Kw::HostRef> pending;
    pending.swap(state().refusedReleases);
    size_t settled = 0;
    Store& store = state().store;
    for (Kw::HostRef ref : pending) {
        Object* obj = store.get(ref);
        if (!obj || obj->refs <= 0) continue;
        --obj->refs;
        --store.outstanding;
        if (obj->refs == 0) store.collect(obj);
        ++settled;
    }
    return settled;
}

void ReferenceHost::reset() {
    resetCallCounts();
    disarm();
    state().store.depthBound = MAX_DEPTH;
}

void ReferenceHost::setDepthBound(size_t levels) {
    if (levels < 1) throw std::invalid_argument("setDepthBound: at least one level");
    state().store.depthBound = levels;
}

Kw::HostKey ReferenceHost::keyOf(const std::u16string& text) { return state().store.keys.intern(text); }

std::u16string ReferenceHost::textOf(Kw::HostKey key) const {
    const std::u16string* t = state().store.keys.text(key);
    return t ? *t : std::u16string();
}

Kw::HostRef ReferenceHost::find(const std::string& path) const {
    Store& store = state().store;
    Object* at = store.application;
    std::istringstream steps(path);
    std::string step;
    while (at && std::getline(steps, step, '/')) {
        if (step.empty()) continue;
        int index = 1;
        const size_t bracket = step.find('[');
        if (bracket != std::string::npos) {
            index = std::atoi(step.c_str() + bracket + 1);
            step.resize(bracket);
        }
        const Kw::HostKey tag = store.keys.intern(std::u16string(step.begin(), step.end()));
        Object* found = nullptr;
        for (Object* c = at->firstChild; c && !found; c = c->next)
            if (c->kind == Object::Element && c->tag == tag && --index == 0) found = c;
        at = found;
    }
    return at ? at->handle : -1;
}

int64_t ReferenceHost::referencesOn(Kw::HostRef ref) const {
    const Object* obj = state().store.get(ref);
    return obj ? obj->refs : 0;
}

bool ReferenceHost::exists(Kw::HostRef ref) const { return state().store.get(ref) != nullptr; }

// Registrations.

const std::vector<NamespaceRegistration>& ReferenceHost::namespaces() const {
    return state().schema.namespaces;
}

const std::vector<DeclarationRegistration>& ReferenceHost::declarations() const {
    return state().schema.declarations;
}

const std::vector<Kw::KWLIB::PrefixNamePair>& ReferenceHost::initializedTypes() const {
    return state().schema.initialized;
}

const std::vector<EnumValue>& ReferenceHost::enumValues() const {
    return state().schema.enums;
}

const BaseInstance* ReferenceHost::baseInstance(const void* instance) const {
    auto it = state().schema.instances.find(instance);
    return it == state().schema.instances.end() ? nullptr : it->second.get();
}

size_t ReferenceHost::baseInstanceCount() const {
    return state().schema.instances.size();
}

uint64_t ReferenceHost::xpathCacheReleases(const void* document) const {
    auto it = state().schema.xpathReleases.find(document);
    return it == state().schema.xpathReleases.end() ? 0 : it->second;
}

void ReferenceHost::clearRegistrations() {
    Schema& schema = state().schema;
    schema.namespaces.clear();
    schema.declarations.clear();
    schema.initialized.clear();
    schema.enums.clear();
    schema.instances.clear();
    schema.xpathReleases.clear();
}

// Events.

std::vector<ListenerRegistration> ReferenceHost::listeners() const { return state().listeners.all(); }

void ReferenceHost::clearListeners() { state().listeners.clear(); }

uint64_t ReferenceHost::deliveryCount() const { return state().deliveries.count; }

long ReferenceHost::lastDeliveryResult() const { return state().deliveries.lastResult; }

size_t ReferenceHost::liveEvents() const { return state().events.live(); }

// Transactions.

size_t ReferenceHost::transactionCount() const {
    return state().transactions.live.size();
}

bool ReferenceHost::transactionActive(const void* handle) const {
    auto it = state().transactions.live.find(reinterpret_cast<uintptr_t>(handle));
    return it != state().transactions.live.end() && it->second.active;
}

std::vector<const void*> ReferenceHost::transactionHandlers(const void* handle) const {
    auto it = state().transactions.live.find(reinterpret_cast<uintptr_t>(handle));
    return it == state().transactions.live.end() ? std::vector<const void*>() : it->second.handlers;
}

const std::vector<const void*>& ReferenceHost::validators() const {
    return state().transactions.validators;
}

void ReferenceHost::clearValidators() {
    state().transactions.validators.clear();
}

size_t ReferenceHost::undoLogLength() const {
    return state().store.journalLength();
}

} // namespace kwhost
