#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/dom/DocumentImpl.hpp>
#include <DOMKw/serialize/WriterImpl.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/dom/impl/DOMLSOutputImpl.hpp>
#include <xercesc/framework/LocalFileFormatTarget.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/XMLFormatter.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "dom/Identity.hpp"
#include "dom/NamespaceView.hpp"
#include "dom/NodeGuard.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl {

namespace {

// The process-wide delegate slot.
DOMLSSerializer*& delegateSlot() {
    static DOMLSSerializer* slot = nullptr;
    return slot;
}

DOMLSSerializer* delegate() {
    DOMLSSerializer*& slot = delegateSlot();
    if (!slot)
        slot = DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createLSSerializer(XMLPlatformUtils::fgMemoryManager);
    return slot;
}

void dropDelegate() {
    DOMLSSerializer*& slot = delegateSlot();
    if (slot) slot->release();
    slot = nullptr;
}

// While a write runs on one of our nodes:
//  - node objects the delegate navigates are not released by it: what it hands out is tracked and ended
//    when the write is over;
//  - the nodes answer without namespace information (see NamespaceView.hpp);
//  - the delegate reads attribute values from an attribute's children when its "entities" parameter is
//    set; our attribute nodes hold their value without children (host trees have no entity
//    references), so the parameter is off for the write and put back afterwards.
class WriteScope {
public:
    WriteScope(const DOMNode* node, DOMLSSerializer* d) : config(asNodeImpl(node) ? d->getDomConfig() : nullptr) {
        if (config) {
            // Xerces-C answers a boolean parameter as the pointer value itself.
            entities = config->getParameter(XMLUni::fgDOMEntities) != nullptr;
            config->setParameter(XMLUni::fgDOMEntities, false);
            hidden = std::make_unique<HideNamespaceInfo>();
        }
        const DOMNode* doc = node && node->getNodeType() != DOMNode::DOCUMENT_NODE ? node->getOwnerDocument() : node;
        owner = asDocumentImpl(doc);
        if (owner && owner->isTracking()) owner = nullptr; // an outer scope ends them
        if (owner) scope = std::make_unique<DocumentImpl::TrackingScope>(*owner);
    }
    ~WriteScope() {
        if (config) config->setParameter(XMLUni::fgDOMEntities, entities);
        if (!owner) return;
        scope.reset();
        owner->disposeTracked();
    }
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;

private:
    DOMConfiguration* config;
    bool entities = true;
    std::unique_ptr<HideNamespaceInfo> hidden;
    DocumentImpl* owner = nullptr;
    std::unique_ptr<DocumentImpl::TrackingScope> scope;
};

} // namespace

WriterImpl::WriterImpl() {
    // A new serializer starts from a fresh delegate; the one there is released, not leaked.
    dropDelegate();
}

WriterImpl::~WriterImpl() {
    delete formatter;
    delegate(); // as the slot is emptied through the accessor, an empty slot is filled first
    dropDelegate();
}

void WriterImpl::setParameter(const XMLCh* name, bool value) { delegate()->getDomConfig()->setParameter(name, value); }
void WriterImpl::setParameter(const XMLCh* name, const void* value) {
    delegate()->getDomConfig()->setParameter(name, value);
}
const void* WriterImpl::getParameter(const XMLCh* name) const { return delegate()->getDomConfig()->getParameter(name); }
bool WriterImpl::canSetParameter(const XMLCh* name, bool value) const {
    return delegate()->getDomConfig()->canSetParameter(name, value);
}
bool WriterImpl::canSetParameter(const XMLCh* name, const void* value) const {
    return delegate()->getDomConfig()->canSetParameter(name, value);
}
const DOMStringList* WriterImpl::getParameterNames() const { return delegate()->getDomConfig()->getParameterNames(); }

void WriterImpl::setNewLine(const XMLCh* newLine) { delegate()->setNewLine(newLine); }
const XMLCh* WriterImpl::getNewLine() const { return delegate()->getNewLine(); }
void WriterImpl::setFilter(DOMLSSerializerFilter* filter) { delegate()->setFilter(filter); }
DOMLSSerializerFilter* WriterImpl::getFilter() const { return delegate()->getFilter(); }

bool WriterImpl::write(const DOMNode* node, DOMLSOutput* destination) {
    DOMLSSerializer* d = delegate();
    // A copy: the delegate frees its old newline before it copies the new one.
    const XMLCh* current = d->getNewLine();
    const DOMBTString newLine(current && *current ? current : u"\n");
    d->setNewLine(newLine.GetUChar16());

    std::unique_ptr<XMLFormatter> owned(new XMLFormatter(destination->getEncoding(), destination->getByteStream(),
                                                         XMLFormatter::NoEscapes, XMLFormatter::UnRep_CharRef,
                                                         XMLPlatformUtils::fgMemoryManager));
    formatter = owned.get();
    struct ClearFormatter {
        XMLFormatter*& slot;
        ~ClearFormatter() { slot = nullptr; }
    } clear{formatter};
    WriteScope scope(node, d);

    short decision = DOMNodeFilter::FILTER_ACCEPT;
    if (DOMLSSerializerFilter* filter = d->getFilter()) {
        const unsigned long bit = 1ul << (node->getNodeType() - 1);
        if (filter->getWhatToShow() & bit) decision = filter->acceptNode(node);
    }
    if (node->getNodeType() != DOMNode::ELEMENT_NODE) {
        d->write(node, destination);
        return true;
    }
    if (decision == DOMNodeFilter::FILTER_REJECT) return true;

    XMLFormatter& out = *formatter;
    const bool accept = decision == DOMNodeFilter::FILTER_ACCEPT;
    const XMLCh* name = node->getNodeName();
    auto attribute = [&](const XMLCh* attrName, const XMLCh* value) {
        out << XMLFormatter::NoEscapes << u" " << attrName << u"=\"" << XMLFormatter::AttrEscapes << value
            << XMLFormatter::NoEscapes << u"\"";
    };
    if (accept) {
        out << XMLFormatter::NoEscapes << u"<" << name;
        // The element's specified attributes; a header attribute of the same name gives way to the
        // element's own, so that no attribute is written twice.
        std::vector<std::pair<DOMBTString, DOMBTString>> own;
        DOMNamedNodeMap* attrs = node->getAttributes();
        const XMLSize_t n = attrs ? attrs->getLength() : 0;
        for (XMLSize_t i = 0; i < n; ++i) {
            NodeGuard<DOMAttr> a(static_cast<DOMAttr*>(attrs->item(i)));
            if (a && a->getSpecified()) own.emplace_back(DOMBTString(a->getNodeName()), DOMBTString(a->getNodeValue()));
        }
        int count = 0;
        DOMBTString headerName, headerValue;
        Kw::ElementRef::GetXMLHeaderAttr(0, count, headerName, headerValue);
        for (int i = 1; i <= count; ++i) {
            int index = i;
            Kw::ElementRef::GetXMLHeaderAttr(1, index, headerName, headerValue);
            const bool shadowed = std::any_of(own.begin(), own.end(), [&](const auto& a) { return a.first == headerName; });
            if (!shadowed) attribute(headerName.GetUChar16(), headerValue.GetUChar16());
        }
        for (const auto& [attrName, value] : own) attribute(attrName.GetUChar16(), value.GetUChar16());
    }
    NodeGuard<DOMNode> child(node->getFirstChild());
    if (child) {
        if (accept) out << XMLFormatter::NoEscapes << u">";
        while (child) {
            d->write(child.get(), destination);
            child.reset(child->getNextSibling());
        }
        if (accept) out << XMLFormatter::NoEscapes << u"</" << name << u">";
    } else if (accept) {
        out << XMLFormatter::NoEscapes << u"/>";
    }
    return true;
}

XMLCh* WriterImpl::writeToString(const DOMNode* node, MemoryManager*) {
    MemBufFormatTarget target(1023, XMLPlatformUtils::fgMemoryManager);
    DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
    output.setByteStream(&target);
    output.setEncoding(XMLUni::fgUTF16EncodingString);
    try {
        if (!static_cast<DOMLSSerializer*>(this)->write(node, &output)) return nullptr;
    } catch (const DOMException&) {
        return nullptr;
    }
    return XMLString::replicate(reinterpret_cast<const XMLCh*>(target.getRawBuffer()), XMLPlatformUtils::fgMemoryManager);
}

bool WriterImpl::writeToURI(const DOMNode* node, const XMLCh* uri) {
    // The element this serializer writes itself needs a byte stream: a file target for the system ID.
    std::unique_ptr<LocalFileFormatTarget> target;
    try {
        target = std::make_unique<LocalFileFormatTarget>(uri, XMLPlatformUtils::fgMemoryManager);
    } catch (const XMLException&) {
        return false;
    }
    DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
    output.setSystemId(uri);
    output.setByteStream(target.get());
    output.setEncoding(XMLUni::fgUTF8EncodingString);
    const bool written = static_cast<DOMLSSerializer*>(this)->write(node, &output);
    target->flush();
    return written;
}

// The filter.

DOMNodeFilter::FilterAction WriterFilterImpl::acceptNode(const DOMNode* node) const {
    if (node->getNodeType() == DOMNode::TEXT_NODE) return FILTER_ACCEPT;
    // The delegate also asks about each attribute it writes; an attribute has no attribute map of its
    // own: it is kept when specified.
    if (node->getNodeType() == DOMNode::ATTRIBUTE_NODE)
        return static_cast<const DOMAttr*>(node)->getSpecified() ? FILTER_ACCEPT : FILTER_REJECT;
    if (DOMNamedNodeMap* attrs = node->getAttributes()) {
        const XMLSize_t n = attrs->getLength();
        for (XMLSize_t i = 0; i < n; ++i) {
            NodeGuard<DOMAttr> a(static_cast<DOMAttr*>(attrs->item(i)));
            if (a && a->getSpecified()) return FILTER_ACCEPT;
        }
    }
    FilterAction last = FILTER_REJECT;
    for (NodeGuard<DOMNode> child(node->getFirstChild()); child; child.reset(child->getNextSibling())) {
        last = acceptNode(child.get());
        if (last == FILTER_ACCEPT) return FILTER_ACCEPT;
    }
    return last;
}

} // namespace domImpl
