#include <DOMKw/bridge/ObjectRef.hpp>
#include "dom/DOMImplementationImpl.hpp"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <string>

#include "bridge/HostStatus.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/SerializerFactory.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl {

namespace {

DOMImplementation* xercesImplementation() { return DOMImplementationRegistry::getDOMImplementation(u"Core LS"); }

bool equalsIgnoringCase(const XMLCh* a, const char16_t* b) {
    for (; *a && *b; ++a, ++b) {
        XMLCh x = *a, y = *b;
        if (x >= u'a' && x <= u'z') x = static_cast<XMLCh>(x - 32);
        if (y >= u'a' && y <= u'z') y = static_cast<XMLCh>(y - 32);
        if (x != y) return false;
    }
    return *a == 0 && *b == 0;
}

} // namespace

DOMImplementationImpl* DOMImplementationImpl::instance() {
    // Never destroyed: Xerces-C's registry hands this object out to whoever asks until the process ends,
    // static destructors included, and the library cannot take it back from the registry.
    static DOMImplementationImpl& impl = *new DOMImplementationImpl;
    return &impl;
}

bool DOMImplementationImpl::hasFeature(const XMLCh* feature, const XMLCh* version) const {
    if (!feature) return false;
    const std::u16string v = version ? version : u"";
    static const struct {
        const char16_t* name;
        const char16_t* versions[2];
    } table[] = {
        {u"XML", {u"1.0", nullptr}},  {u"Core", {u"3.0", u"2.0"}},  {u"Events", {u"3.0", u"2.0"}},
        {u"Tellam", {u"7.0", u"6.0"}}, {u"XPath", {u"3.0", u"2.0"}},
    };
    for (const auto& row : table) {
        if (!equalsIgnoringCase(feature, row.name)) continue;
        if (v.empty()) return true;
        for (const char16_t* accepted : row.versions)
            if (accepted && v == accepted) return true;
        return false;
    }
    return false;
}

DOMDocument* DOMImplementationImpl::createDocument(MemoryManager*) {
    // A host with no project loaded has no application element: no document, and no exception.
    Kw::ElementRef application;
    try {
        application = Kw::ElementRef::get_Application();
    } catch (const DOMException& e) {
        if (e.code != DOMException::NOT_FOUND_ERR) throw;
        return nullptr;
    }
    return DocumentImpl::create(application);
}

DOMDocument* DOMImplementationImpl::createDocument(const XMLCh*, const XMLCh*, DOMDocumentType*, MemoryManager* m) {
    return createDocument(m);
}

DOMDocumentType* DOMImplementationImpl::createDocumentType(const XMLCh*, const XMLCh*, const XMLCh*) {
    Kw::throwDOMException(9);
}

DOMLSSerializer* DOMImplementationImpl::createLSSerializer(MemoryManager*) {
    auto create = serializerFactory().create;
    if (!create) Kw::throwDOMException(DOMException::NOT_SUPPORTED_ERR);
    return create();
}

DOMLSParser* DOMImplementationImpl::createLSParser(DOMImplementationLSMode mode, const XMLCh* schemaType,
                                                   MemoryManager* manager, XMLGrammarPool* pool) {
    DOMLSParser* parser = xercesImplementation()->createLSParser(mode, schemaType, manager, pool);
    parser->getDomConfig()->setParameter(XMLUni::fgDOMNamespaces, false);
    return parser;
}

DOMLSInput* DOMImplementationImpl::createLSInput(MemoryManager* manager) {
    return xercesImplementation()->createLSInput(manager);
}

DOMLSOutput* DOMImplementationImpl::createLSOutput(MemoryManager* manager) {
    return xercesImplementation()->createLSOutput(manager);
}

void* DOMImplementationImpl::getFeature(const XMLCh* feature, const XMLCh*) const {
    if (hasFeature(feature, nullptr)) return const_cast<DOMImplementationImpl*>(this);
    return DOMImplementationRegistry::getDOMImplementation(feature);
}

} // namespace domImpl

DOMImplementation* DOMImplementationRegistryGet(const XMLCh* features) {
    const DOMBTString copy(features);
    return DOMImplementationRegistry::getDOMImplementation(copy.GetUChar16());
}
