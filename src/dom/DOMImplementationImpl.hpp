// The library's DOMImplementation, found through Xerces-C's registry by the feature "Tellam".
#pragma once

#include <DOMKw/dom/DOMImplementationImpl.hpp>
#include <DOMKw/strings/DOMBTString.hpp>

#include <xercesc/dom/DOMImplementation.hpp>

namespace domImpl {

class DOMImplementationImpl : public XERCES_CPP_NAMESPACE::DOMImplementation {
public:
    // The one instance of the process, never destroyed (Xerces-C's registry hands it out until the
    // process ends).
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

} // namespace domImpl
