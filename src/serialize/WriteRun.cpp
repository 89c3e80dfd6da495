#include "serialize/WriteRun.hpp"

#include <DOMKw/bridge/ObjectRef.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/dom/impl/DOMLSOutputImpl.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "bridge/HostStatus.hpp"
#include "dom/Identity.hpp"
#include "dom/NodeGuard.hpp"
#include "serialize/HostWalk.hpp"
#include "serialize/OutputEncoding.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::serializeImpl {

namespace {

using Attribute = std::pair<DOMBTString, DOMBTString>;

bool parameterOn(DOMLSSerializer* d, const XMLCh* name) {
    // Xerces-C answers a boolean parameter as the pointer value itself.
    return d->getDomConfig()->getParameter(name) != nullptr;
}

const XMLCh* const xsiNamespace = u"http://www.w3.org/2001/XMLSchema-instance";

} // namespace

bool WriteRun::element(const DOMNode* node, short decision) {
    const bool accept = decision == DOMNodeFilter::FILTER_ACCEPT;
    const DOMBTString name(node->getNodeName());
    std::vector<Attribute> header, own;
    if (accept) {
        // Everything the start tag holds is read and checked before the first byte goes out: a refused
        // read, a name that is not an XML name, a repeated name or a character XML cannot hold fails
        // the write instead of giving malformed or short output.
        DOMNamedNodeMap* attrs = node->getAttributes();
        const XMLSize_t n = attrs ? attrs->getLength() : 0;
        for (XMLSize_t i = 0; i < n; ++i) {
            NodeGuard<DOMAttr> a(static_cast<DOMAttr*>(attrs->item(i)));
            if (a && a->getSpecified())
                own.emplace_back(DOMBTString(a->getNodeName()), DOMBTString(a->getNodeValue()));
        }
        // The header attributes; one of the same name as an element's own gives way to it.
        int count = 0;
        DOMBTString headerName, headerValue;
        Kw::checkStatus(
            static_cast<Kw::HostStatus>(Kw::ElementRef::GetXMLHeaderAttr(0, count, headerName, headerValue)));
        for (int i = 1; i <= count; ++i) {
            int index = i;
            Kw::checkStatus(static_cast<Kw::HostStatus>(
                Kw::ElementRef::GetXMLHeaderAttr(1, index, headerName, headerValue)));
            const bool shadowed = std::any_of(own.begin(), own.end(),
                                              [&](const Attribute& a) { return a.first == headerName; });
            if (!shadowed) header.emplace_back(headerName, headerValue);
        }
        watch.check();
        if (!isXmlName(name.GetUChar16())) return false;
        std::vector<const DOMBTString*> names;
        for (const std::vector<Attribute>* list : {&header, &own})
            for (const Attribute& a : *list) {
                if (!isXmlAttribute(a.first.GetUChar16(), a.second.GetUChar16())) return false;
                names.push_back(&a.first);
            }
        for (size_t i = 0; i < names.size(); ++i)
            for (size_t j = i + 1; j < names.size(); ++j)
                if (*names[i] == *names[j]) return false;
    }

    // The children go to a buffer first, in the destination's encoding: the outermost start tag must
    // declare every prefix they use that nothing written binds, and they are known only once written.
    OutputBuffer children;
    bool any = false;
    if (const HostWalkMode mode = hostWalkMode(node, d, output.getEncoding(), guarded.filter());
        mode != HostWalkMode::NodeByNode) {
        // Host children are written from their handles, without a node object each.
        if (!writeHostChildren(node, mode, output.getEncoding(), children, guarded.filter(), watch, any))
            return false;
    } else {
        DOMLSOutputImpl buffered(XMLPlatformUtils::fgMemoryManager);
        buffered.setByteStream(&children);
        buffered.setEncoding(output.getEncoding());
        NodeGuard<DOMNode> child(node->getFirstChild());
        watch.check();
        any = static_cast<bool>(child);
        while (child) {
            // The delegate answers false for what it could not write (a refusal it met, a character XML
            // cannot hold); the output is then incomplete and so is the write.
            const bool written = d->write(child.get(), &buffered);
            watch.check();
            if (!written || guarded.failed()) return false;
            child.reset(child->getNextSibling());
            watch.check();
        }
    }

    std::vector<Attribute> declarations;
    if (accept && asNodeImpl(node)) {
        // Prefixes used on this element or below it that no declaration in the output binds are
        // declared here, with the binding the document gives them (xsi, which the host keeps as a typed
        // attribute, always has its own); a prefix the document does not bind fails the write.
        std::vector<std::u16string> wanted = guarded.filter().undeclared();
        auto use = [&](const DOMBTString& qname) {
            const std::u16string text(qname.GetUChar16());
            const size_t colon = text.find(u':');
            if (colon == std::u16string::npos) return;
            const std::u16string prefix = text.substr(0, colon);
            if (prefix == u"xml" || prefix == u"xmlns") return;
            if (std::find(wanted.begin(), wanted.end(), prefix) == wanted.end()) wanted.push_back(prefix);
        };
        use(name);
        for (const std::vector<Attribute>* list : {&header, &own})
            for (const Attribute& a : *list) use(a.first);
        for (const std::u16string& prefix : wanted) {
            const DOMBTString declaration((u"xmlns:" + prefix).c_str());
            const bool declared = std::any_of(header.begin(), header.end(),
                                              [&](const Attribute& a) { return a.first == declaration; }) ||
                                  std::any_of(own.begin(), own.end(),
                                              [&](const Attribute& a) { return a.first == declaration; });
            if (declared) continue;
            DOMBTString uri(node->lookupNamespaceURI(prefix.c_str()));
            watch.check();
            if (uri.str().empty() && prefix == u"xsi") uri = DOMBTString(xsiNamespace);
            if (uri.str().empty() || !isXmlText(uri.GetUChar16())) return false;
            declarations.emplace_back(declaration, uri);
        }
        // The prefix of an xsi:type value is declared when the document binds it and nothing written
        // does; one the document does not bind is left as it stands (a value does not make XML
        // malformed).
        std::vector<std::u16string> inValues = guarded.filter().undeclaredInValues();
        for (const Attribute& a : own)
            if (isTypeAttribute(a.first.GetUChar16())) {
                const std::u16string prefix = valuePrefix(a.second.GetUChar16());
                if (!prefix.empty()) inValues.push_back(prefix);
            }
        for (const std::u16string& prefix : inValues) {
            const DOMBTString declaration((u"xmlns:" + prefix).c_str());
            auto same = [&](const Attribute& a) { return a.first == declaration; };
            if (std::any_of(header.begin(), header.end(), same) ||
                std::any_of(own.begin(), own.end(), same) ||
                std::any_of(declarations.begin(), declarations.end(), same))
                continue;
            const DOMBTString uri(node->lookupNamespaceURI(prefix.c_str()));
            watch.check();
            if (!uri.str().empty() && isXmlText(uri.GetUChar16()))
                declarations.emplace_back(declaration, uri);
        }
    }
    if (accept) {
        out << XMLFormatter::NoEscapes << u"<" << name.GetUChar16();
        for (const std::vector<Attribute>* list : {&header, &own, &declarations})
            for (const Attribute& a : *list) {
                out << XMLFormatter::NoEscapes << u" ";
                attribute(a.first.GetUChar16(), a.second.GetUChar16());
            }
        out << XMLFormatter::NoEscapes << (any ? u">" : u"/>");
    }
    if (XMLFormatTarget* target = output.getByteStream(); children.size() > 0)
        target->writeChars(children.data(), children.size(), &out);
    if (accept && any) out << XMLFormatter::NoEscapes << u"</" << name.GetUChar16() << u">";
    return true;
}

bool WriteRun::document(const DOMNode* node) {
    const auto* doc = static_cast<const DOMDocument*>(node);
    const XMLCh* encoding = output.getEncoding();
    const bool pretty = parameterOn(d, XMLUni::fgDOMWRTFormatPrettyPrint);
    const DOMBTString newLine(d->getNewLine());
    if (parameterOn(d, XMLUni::fgDOMWRTBOM)) {
        const std::string mark = byteOrderMark(encoding);
        if (!mark.empty()) out.writeBOM(reinterpret_cast<const XMLByte*>(mark.data()), mark.size());
    }
    if (parameterOn(d, XMLUni::fgDOMXMLDeclaration)) {
        // The document answers no standalone flag: it is written as Xerces-C writes a document that is
        // not standalone.
        const XMLCh* version = nonEmpty(doc->getXmlVersion());
        out << XMLFormatter::NoEscapes << u"<?xml version=\"" << (version ? version : u"1.0")
            << u"\" encoding=\"" << encoding << u"\" standalone=\"no\" ?>";
    }
    // The document element, through the library's own element path (the host's header attributes on
    // its start tag, as on every output); the host's document has no other children.
    NodeGuard<DOMElement> root(doc->getDocumentElement());
    watch.check();
    if (root) {
        const short decision = this->decision(root.get());
        watch.check();
        if (decision != DOMNodeFilter::FILTER_REJECT) {
            if (!guarded.filter().enter(root.get())) return false;
            if (pretty) out << XMLFormatter::NoEscapes << newLine.GetUChar16();
            if (!element(root.get(), decision)) return false;
        }
    }
    if (pretty) out << XMLFormatter::NoEscapes << newLine.GetUChar16();
    return true;
}

} // namespace domImpl::serializeImpl
