#include "dom/Lifetime.hpp"

#include <DOMKw/dom/Object.hpp>

#include <deque>
#include <new>
#include <unordered_set>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define DOMKW_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DOMKW_ASAN 1
#endif
#endif
#ifdef DOMKW_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace domImpl::lifetime {

namespace {

struct Parked {
    void* storage;
    size_t size;
    std::vector<const void*> nodes; // the ended node addresses inside the storage
};

struct Registry {
    std::unordered_set<const void*> endedNodes;
    std::vector<const void*> unparked; // ended, their storage not deleted yet
    std::deque<Parked> quarantine;
};

// Never destroyed: node objects may end during the process's exit.
Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

void release(Parked& p) {
    Registry& r = registry();
    for (const void* node : p.nodes) r.endedNodes.erase(node);
#ifdef DOMKW_ASAN
    ASAN_UNPOISON_MEMORY_REGION(p.storage, p.size);
#endif
    ::operator delete(p.storage);
}

} // namespace

void ended(const XERCES_CPP_NAMESPACE::DOMNode* node) {
    if (!node) return;
    Registry& r = registry();
    r.endedNodes.insert(node);
    r.unparked.push_back(node);
    // Each ended node's storage follows at once; should one never come, its address is forgotten
    // rather than kept (it would be freed, and could be taken by another object).
    if (r.unparked.size() > 64) {
        r.endedNodes.erase(r.unparked.front());
        r.unparked.erase(r.unparked.begin());
    }
}

bool hasEnded(const XERCES_CPP_NAMESPACE::DOMNode* node) {
    return node && registry().endedNodes.count(node) != 0;
}

void park(void* storage, size_t size) {
    if (!storage) return;
    Registry& r = registry();
    Parked p{storage, size, {}};
    // The ended addresses inside this storage belong to it; any other stays for its own storage.
    const char* begin = static_cast<const char*>(storage);
    for (auto it = r.unparked.begin(); it != r.unparked.end();) {
        const char* node = static_cast<const char*>(*it);
        if (node >= begin && node < begin + size) {
            p.nodes.push_back(*it);
            it = r.unparked.erase(it);
        } else {
            ++it;
        }
    }
#ifdef DOMKW_ASAN
    // Whatever touches an ended node object is still reported at once.
    ASAN_POISON_MEMORY_REGION(storage, size);
#endif
    r.quarantine.push_back(std::move(p));
    while (r.quarantine.size() > QUARANTINE) {
        release(r.quarantine.front());
        r.quarantine.pop_front();
    }
}

} // namespace domImpl::lifetime

void domImpl::Disposable::operator delete(void* storage, std::size_t size) {
    lifetime::park(storage, size);
}
