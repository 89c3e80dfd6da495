// The library's DOMImplementation, found through Xerces-C's registry by the feature "Tellam", and the
// source that publishes it.
#pragma once

#include <DOMKw/strings/DOMBTString.hpp>

#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMImplementationSource.hpp>

namespace domImpl {

class DOMImplementationImpl : public XERCES_CPP_NAMESPACE::DOMImplementation {
public:
    // The one instance of the process.
    static DOMImplementationImpl* instance();

    XERCES_CPP_NAMESPACE::DOMLSParser* createLSParser(DOMImplementationLSMode mode, const XMLCh* schemaType,
                                                      XERCES_CPP_NAMESPACE::MemoryManager* manager,
                                                      XERCES_CPP_NAMESPACE::XMLGrammarPool* pool) override;
    // A serializer that writes host nodes; the caller releases it.
    XERCES_CPP_NAMESPACE::DOMLSSerializer* createLSSerializer(XERCES_CPP_NAMESPACE::MemoryManager* manager) override;
    XERCES_CPP_NAMESPACE::DOMLSInput* createLSInput(XERCES_CPP_NAMESPACE::MemoryManager* manager) override;
    XERCES_CPP_NAMESPACE::DOMLSOutput* createLSOutput(XERCES_CPP_NAMESPACE::MemoryManager* manager) override;
    // XML 1.0; Core, Events and XPath 3.0 and 2.0; Tellam 7.0 and 6.0 (names in any case, versions exact,
    // an empty or null version always accepted).
    bool hasFeature(const XMLCh* feature, const XMLCh* version) const override;
    XERCES_CPP_NAMESPACE::DOMDocumentType* createDocumentType(const XMLCh*, const XMLCh*, const XMLCh*) override;
    // A new document over the host's application element; null when the host has none.
    XERCES_CPP_NAMESPACE::DOMDocument* createDocument(XERCES_CPP_NAMESPACE::MemoryManager* manager) override;
    XERCES_CPP_NAMESPACE::DOMDocument* createDocument(const XMLCh* namespaceURI, const XMLCh* qualifiedName,
                                                      XERCES_CPP_NAMESPACE::DOMDocumentType* doctype,
                                                      XERCES_CPP_NAMESPACE::MemoryManager* manager) override;
    void* getFeature(const XMLCh* feature, const XMLCh* version) const override;
};

class DOMImplementationSourceImpl : public virtual XERCES_CPP_NAMESPACE::DOMImplementationSource {
public:
    explicit DOMImplementationSourceImpl(const DOMBTString& features) : features(features) {}
    // The implementation when it has every feature of the list ("Core 3.0 Events" ...), else null.
    XERCES_CPP_NAMESPACE::DOMImplementation* getDOMImplementation(const XMLCh* features) const override;
    // A list holding the implementation when it has every feature of the list, else an empty list; the
    // registry asks every source for its share, so this never goes back through the registry.
    XERCES_CPP_NAMESPACE::DOMImplementationList* getDOMImplementationList(const XMLCh* features) const override;

private:
    DOMBTString features;
};

// Starts Xerces-C and adds the library's source to its registry (once).
void registerImplementationSource();

} // namespace domImpl

// The registry's answer for a feature list, whichever implementation it is (or null).
XERCES_CPP_NAMESPACE::DOMImplementation* DOMImplementationRegistryGet(const XMLCh* features);
