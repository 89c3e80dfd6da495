// Project XML loaded into the reference host and saved back through the library.
#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/dom/DocumentImpl.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <xercesc/dom/DOM.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool connected = [] {
        kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
        host.loadString("<application/>");
        Kw::Connect(host.activateRec());
        return true;
    }();
    (void)connected;
    kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
    try {
        host.loadString(std::string(reinterpret_cast<const char*>(data), size), "fuzz");
    } catch (const kwhost::LoadError&) {
        return 0; // refused, and the previous project stays
    }
    XERCES_CPP_NAMESPACE::DOMDocument* doc = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    if (doc) {
        dynamic_cast<dom::ls::DocumentLS*>(doc)->saveToString(nullptr);
        doc->release();
    }
    if (host.outstandingReferences() != 0) __builtin_trap(); // the library must hold nothing afterwards
    return 0;
}
