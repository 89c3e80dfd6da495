// The serializer of host nodes. It writes the outermost element itself (its name, the host's header
// attributes and its specified attributes) and lets a Xerces-C serializer (the process-wide delegate)
// write everything else; configuration, newline and filter live in that delegate. One serializer at a
// time: creating or destroying one starts the next from a fresh delegate.
#pragma once

#include <xercesc/dom/DOMConfiguration.hpp>
#include <xercesc/dom/DOMLSSerializer.hpp>
#include <xercesc/dom/DOMLSSerializerFilter.hpp>

XERCES_CPP_NAMESPACE_BEGIN
class XMLFormatter;
XERCES_CPP_NAMESPACE_END

namespace domImpl {

class WriterImpl : public XERCES_CPP_NAMESPACE::DOMConfiguration, public virtual XERCES_CPP_NAMESPACE::DOMLSSerializer {
public:
    WriterImpl();
    ~WriterImpl() override;

    // DOMConfiguration: the delegate's.
    void setParameter(const XMLCh* name, bool value) override;
    void setParameter(const XMLCh* name, const void* value) override;
    const void* getParameter(const XMLCh* name) const override;
    bool canSetParameter(const XMLCh* name, bool value) const override;
    bool canSetParameter(const XMLCh* name, const void* value) const override;
    const XERCES_CPP_NAMESPACE::DOMStringList* getParameterNames() const override;

    // DOMLSSerializer
    XERCES_CPP_NAMESPACE::DOMConfiguration* getDomConfig() override { return this; }
    void setNewLine(const XMLCh* newLine) override;
    void setFilter(XERCES_CPP_NAMESPACE::DOMLSSerializerFilter* filter) override;
    const XMLCh* getNewLine() const override;
    XERCES_CPP_NAMESPACE::DOMLSSerializerFilter* getFilter() const override;
    // Complete, well-formed XML, or a failure: a host refusal met on the way (also one the facade
    // answers as "no node" or "") leaves by the host's DOMException; a name that is not an XML name, a
    // repeated attribute name or a character XML 1.0 cannot hold (nothing is dropped or replaced), and
    // whatever the delegate could not write, give false. The outermost start tag is checked whole before
    // its first byte goes out; below it, bytes written before the failure stay in the destination. An
    // attribute node of ours is written as name="value".
    bool write(const XERCES_CPP_NAMESPACE::DOMNode* node, XERCES_CPP_NAMESPACE::DOMLSOutput* destination) override;
    // A file target opened for the system ID; false when it cannot be opened.
    bool writeToURI(const XERCES_CPP_NAMESPACE::DOMNode* node, const XMLCh* uri) override;
    // UTF-16 text the caller frees with XMLPlatformUtils::fgMemoryManager; null when the write failed
    // (false or a DOMException).
    XMLCh* writeToString(const XERCES_CPP_NAMESPACE::DOMNode* node, XERCES_CPP_NAMESPACE::MemoryManager* manager) override;
    void release() override { delete this; }

private:
    XERCES_CPP_NAMESPACE::XMLFormatter* formatter = nullptr;
};

// Prunes empty structure: a node is written only if it is text, carries a specified attribute, or has
// such a node below it.
class WriterFilterImpl : public XERCES_CPP_NAMESPACE::DOMLSSerializerFilter {
public:
    FilterAction acceptNode(const XERCES_CPP_NAMESPACE::DOMNode* node) const override;
    ShowType getWhatToShow() const override { return 0xFFFF; }
    virtual void reserved() {}
};

} // namespace domImpl
