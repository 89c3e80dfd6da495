// The serializer of host nodes. It writes the outermost element itself (its name, the host's header
// attributes and its specified attributes) and lets a Xerces-C serializer (the process-wide delegate)
// write everything else; configuration, newline and filter live in that delegate. Below one of our
// elements, with no filter of the caller's and plain output settings, the writer walks the host's
// handles itself and writes the bytes the delegate would (HostWalk.hpp). One serializer at a
// time: creating or destroying one starts the next from a fresh delegate. Plug-ins get one from
// DOMImplementation::createLSSerializer (and the save filter's output from DocumentLS::saveToString);
// the class itself is the library's.
#pragma once

#include <xercesc/dom/DOMConfiguration.hpp>
#include <xercesc/dom/DOMLSSerializer.hpp>
#include <xercesc/dom/DOMLSSerializerFilter.hpp>

namespace domImpl {

class WriterImpl : public XERCES_CPP_NAMESPACE::DOMConfiguration,
                   public virtual XERCES_CPP_NAMESPACE::DOMLSSerializer {
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
    // whatever the delegate could not write, give false. An element's output goes to the destination
    // only once it is complete: a failed write of an element leaves the destination as it was. An
    // attribute node of ours is written as name="value".
    // Encoding: the destination's; when it names none, the one Xerces-C's serializer would choose (the
    // document's input encoding, then its declared one, then UTF-8). A destination without a byte
    // stream is written to the file its system ID names, whole or not at all.
    // Our document node: the XML declaration as the delegate's parameters ask ("xml-declaration",
    // "BOM", "format-pretty-print"; standalone="no"), then the document element as any element.
    // Namespaces: every prefix the output uses (in element and attribute names) is declared in it; one
    // that no declaration written around it binds is declared on the outermost start tag, with the
    // document element's binding (xsi with its own when the document has none); a prefix nothing binds
    // fails the write. When the caller's filter skips the outermost element, its children are written
    // as they stand.
    // The caller's code the write calls (its filter, the destination's byte stream, its error handler)
    // sees the nodes as outside a write, namespace information included.
    // Nesting: the Xerces-C serializer writes one level of nesting per call of itself, so a node more
    // than maxDepth levels below the node given (its children are one level below it; for a document
    // node, the document element is) fails the write before the serializer descends to it: write and
    // writeToURI give false, writeToString null. Nothing past that level is read or written.
    bool write(const XERCES_CPP_NAMESPACE::DOMNode* node,
               XERCES_CPP_NAMESPACE::DOMLSOutput* destination) override;
    // A file target opened for the system ID; false when it cannot be opened.
    bool writeToURI(const XERCES_CPP_NAMESPACE::DOMNode* node, const XMLCh* uri) override;
    // UTF-16 text the caller frees with XMLPlatformUtils::fgMemoryManager; null when the write failed
    // (false or a DOMException).
    XMLCh* writeToString(const XERCES_CPP_NAMESPACE::DOMNode* node,
                         XERCES_CPP_NAMESPACE::MemoryManager* manager) override;
    void release() override { delete this; }

    // The deepest level a write goes to below the node it is given. Each level costs the Xerces-C
    // serializer about 125 bytes of stack (a release build of Xerces-C 3.2 on x86-64; a debug build of
    // it takes more); a write 1,000 levels deep used about 140 KB in all, so it fits a plug-in's
    // 256 KiB thread with room to spare. Without a bound, 1 MiB of stack ran out near 8,000 levels.
    static constexpr unsigned maxDepth = 1000;
};

} // namespace domImpl
