#include <DOMKw/bridge/ObjectRef.hpp>
#include "serialize/WriterImpl.hpp"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/dom/impl/DOMLSOutputImpl.hpp>
#include <xercesc/framework/LocalFileFormatTarget.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/XMLFormatter.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "bridge/HostStatus.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "serialize/CallerTarget.hpp"
#include "serialize/Delegate.hpp"
#include "serialize/GuardFilter.hpp"
#include "serialize/OutputEncoding.hpp"
#include "serialize/RefusalWatch.hpp"
#include "serialize/WriteRun.hpp"
#include "serialize/WriteScope.hpp"
#include "serialize/WriterFilterImpl.hpp"
#include "serialize/XmlChecks.hpp"

using namespace XERCES_CPP_NAMESPACE;
using namespace domImpl::serializeImpl;

namespace domImpl {

WriterImpl::WriterImpl() {
    // A new serializer starts from a fresh delegate; the one there is released, not leaked.
    dropDelegate();
}

WriterImpl::~WriterImpl() {
    delegate(); // as the slot is emptied through the accessor, an empty slot is filled first
    dropDelegate();
}

void WriterImpl::setParameter(const XMLCh* name, bool value) {
    delegate()->getDomConfig()->setParameter(name, value);
}
void WriterImpl::setParameter(const XMLCh* name, const void* value) {
    delegate()->getDomConfig()->setParameter(name, value);
}
const void* WriterImpl::getParameter(const XMLCh* name) const {
    return delegate()->getDomConfig()->getParameter(name);
}
bool WriterImpl::canSetParameter(const XMLCh* name, bool value) const {
    return delegate()->getDomConfig()->canSetParameter(name, value);
}
bool WriterImpl::canSetParameter(const XMLCh* name, const void* value) const {
    return delegate()->getDomConfig()->canSetParameter(name, value);
}
const DOMStringList* WriterImpl::getParameterNames() const {
    return delegate()->getDomConfig()->getParameterNames();
}

void WriterImpl::setNewLine(const XMLCh* newLine) {
    delegate()->setNewLine(newLine);
}
const XMLCh* WriterImpl::getNewLine() const {
    return delegate()->getNewLine();
}
void WriterImpl::setFilter(DOMLSSerializerFilter* filter) {
    delegate()->setFilter(filter);
}
DOMLSSerializerFilter* WriterImpl::getFilter() const {
    return delegate()->getFilter();
}

namespace {

// The whole output is made in memory first, and the file opened for the system ID only when the write
// succeeded: a failed write leaves whatever file was there as it was.
bool writeWholeFile(DOMLSSerializer& writer, const DOMNode* node, const XMLCh* uri, const XMLCh* encoding) {
    MemBufFormatTarget buffer(1023, XMLPlatformUtils::fgMemoryManager);
    DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
    output.setSystemId(uri);
    output.setByteStream(&buffer);
    output.setEncoding(encoding);
    if (!writer.write(node, &output)) return false;
    try {
        LocalFileFormatTarget file(uri, XMLPlatformUtils::fgMemoryManager);
        file.writeChars(buffer.getRawBuffer(), buffer.getLen(), nullptr);
        file.flush();
    } catch (const XMLException&) {
        return false;
    }
    return true;
}

// writeToString's output, made in the very buffer the caller gets: no copy of the whole text at the end.
// A large output arrives in one piece (the outermost element's children, held back until its start tag
// is known), so a growth leaves room for a quarter more rather than doubling.
class StringTarget : public XMLFormatTarget {
public:
    StringTarget() = default;
    StringTarget(const StringTarget&) = delete;
    StringTarget& operator=(const StringTarget&) = delete;
    ~StringTarget() override { XMLPlatformUtils::fgMemoryManager->deallocate(buffer); }

    void writeChars(const XMLByte* const bytes, const XMLSize_t count, XMLFormatter* const) override {
        reserve(count);
        std::memcpy(buffer + length, bytes, count);
        length += count;
    }

    // The text written, terminated, handed to the caller (who frees it through the memory manager).
    XMLCh* take() {
        reserve(TERMINATOR);
        std::memset(buffer + length, 0, TERMINATOR);
        XMLByte* text = buffer;
        buffer = nullptr;
        length = capacity = 0;
        return reinterpret_cast<XMLCh*>(text);
    }

private:
    // Room for a UTF-16 terminator even when a write ended on an odd byte.
    static constexpr size_t TERMINATOR = 2 * sizeof(XMLCh);

    void reserve(size_t more) {
        if (capacity - length >= TERMINATOR && more <= capacity - length - TERMINATOR) return;
        if (more > SIZE_MAX / 2 - length) throw std::bad_alloc();
        const size_t needed = length + more + TERMINATOR;
        const size_t grown = std::max(needed + needed / 4, size_t(1024));
        auto* larger = static_cast<XMLByte*>(XMLPlatformUtils::fgMemoryManager->allocate(grown));
        if (length) std::memcpy(larger, buffer, length);
        XMLPlatformUtils::fgMemoryManager->deallocate(buffer);
        buffer = larger;
        capacity = grown;
    }

    XMLByte* buffer = nullptr;
    size_t length = 0;
    size_t capacity = 0;
};

} // namespace

bool WriterImpl::write(const DOMNode* node, DOMLSOutput* destination) {
    if (!node || !destination) return false;
    XMLFormatTarget* const target = destination->getByteStream();
    if (!target) {
        // A destination named by its system ID alone: the file gets the whole output or nothing.
        const XMLCh* uri = nonEmpty(destination->getSystemId());
        if (!uri) return false;
        return writeWholeFile(*this, node, uri, destination->getEncoding());
    }

    DOMLSSerializer* d = delegate();
    // A copy: the delegate frees its old newline before it copies the new one.
    const XMLCh* current = d->getNewLine();
    const DOMBTString newLine(current && *current ? current : u"\n");
    d->setNewLine(newLine.GetUChar16());

    // The delegate and the formatter get the same, named, encoding. Both write to the destination's
    // stream through CallerTarget: the stream is the caller's code.
    const DOMBTString encoding = encodingFor(node, destination);
    CallerTarget callerTarget(*target);
    DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
    output.setByteStream(&callerTarget);
    output.setSystemId(destination->getSystemId());
    output.setEncoding(encoding.GetUChar16());

    XMLFormatter formatter(encoding.GetUChar16(), &callerTarget, XMLFormatter::NoEscapes,
                           XMLFormatter::UnRep_CharRef, XMLPlatformUtils::fgMemoryManager);
    WriteScope scope(node, d);
    const RefusalWatch watch;

    DOMLSSerializerFilter* const filter = d->getFilter();
    // Our save filter remembers what its searches found for this write only.
    std::unique_ptr<WriterFilterImpl::WriteSession> session;
    if (const auto* save = dynamic_cast<const WriterFilterImpl*>(filter))
        session = std::make_unique<WriterFilterImpl::WriteSession>(*save);
    Guarded guarded(d, filter, node);
    WriteRun run(d, formatter, output, watch, guarded);
    const short decision = run.decision(node);
    watch.check();
    // An attribute node of ours is written as name="value", as Xerces-C writes its own.
    if (node->getNodeType() == DOMNode::ATTRIBUTE_NODE && asDisposable(node)) {
        if (decision == DOMNodeFilter::FILTER_REJECT) return true;
        const DOMBTString attrName(node->getNodeName()), value(node->getNodeValue());
        watch.check();
        if (!isXmlAttribute(attrName.GetUChar16(), value.GetUChar16())) return false;
        run.attribute(attrName.GetUChar16(), value.GetUChar16());
        return true;
    }
    // Our document node: the delegate would ask it for a standalone flag it does not have.
    if (node->getNodeType() == DOMNode::DOCUMENT_NODE && asDocumentImpl(node)) return run.document(node);
    if (node->getNodeType() != DOMNode::ELEMENT_NODE) {
        const bool written = d->write(node, &output);
        watch.check();
        return written && !guarded.failed();
    }
    if (decision == DOMNodeFilter::FILTER_REJECT) return true;
    return run.element(node, decision);
}

XMLCh* WriterImpl::writeToString(const DOMNode* node, MemoryManager*) {
    // A string gets no byte order mark, as Xerces-C's own serializer gives none.
    DOMConfiguration* config = delegate()->getDomConfig();
    struct NoMark {
        DOMConfiguration* config;
        bool was = config->getParameter(XMLUni::fgDOMWRTBOM) != nullptr;
        ~NoMark() { config->setParameter(XMLUni::fgDOMWRTBOM, was); }
    } noMark{config};
    config->setParameter(XMLUni::fgDOMWRTBOM, false);
    StringTarget target;
    DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
    output.setByteStream(&target);
    output.setEncoding(XMLUni::fgUTF16EncodingString);
    try {
        if (!static_cast<DOMLSSerializer*>(this)->write(node, &output)) return nullptr;
    } catch (const DOMException&) {
        return nullptr;
    }
    return target.take();
}

bool WriterImpl::writeToURI(const DOMNode* node, const XMLCh* uri) {
    return writeWholeFile(*this, node, uri, XMLUni::fgUTF8EncodingString);
}

} // namespace domImpl
