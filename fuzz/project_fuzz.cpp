// Project XML loaded into the reference host and saved back through the library; everything written
// must parse back as XML.
#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/dom/Object.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <xercesc/dom/DOM.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.hpp"
#include "dom/DocumentImpl.hpp"
#include "serialize/WriterImpl.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kwhost::ReferenceHost& host = fuzzing::connectedHost();
    try {
        host.loadString(std::string(reinterpret_cast<const char*>(data), size), "fuzz");
    } catch (const kwhost::LoadError&) {
        return 0; // refused, and the previous project stays
    }
    fuzzing::requireWellFormed(host.toXml(-1, true), "the host's own XML");
    XERCES_CPP_NAMESPACE::DOMDocument* doc = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    if (doc) {
        // Saved with the filter, and written whole by the serializer, each on a plug-in's small stack.
        fuzzing::onStackOf(512 * 1024, [&] {
            const XMLCh* saved = dynamic_cast<dom::ls::DocumentLS*>(doc)->saveToString(nullptr);
            fuzzing::requireWellFormed(saved ? std::u16string(saved) : std::u16string(), "saveToString");
            XERCES_CPP_NAMESPACE::DOMNode* root = doc->getDocumentElement();
            domImpl::WriterImpl writer;
            try {
                XMLCh* written = writer.writeToString(root, nullptr);
                if (written) {
                    fuzzing::requireWellFormed(std::u16string(written), "writeToString");
                    XERCES_CPP_NAMESPACE::XMLPlatformUtils::fgMemoryManager->deallocate(written);
                }
            } catch (const XERCES_CPP_NAMESPACE::DOMException&) {
                // a refusal is an answer; shorter output passed off as success would not be
            }
            dom::dispose(root);
        });
        doc->release();
    }
    if (host.outstandingReferences() != 0) __builtin_trap(); // the library must hold nothing afterwards
    return 0;
}
