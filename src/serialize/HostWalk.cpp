#include "serialize/HostWalk.hpp"

#include <DOMKw/bridge/ObjectRef.hpp>

#include <xercesc/dom/DOMConfiguration.hpp>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/framework/XMLFormatter.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <vector>

#include "bridge/AttributeNameRead.hpp"
#include "bridge/HandleReads.hpp"
#include "dom/Identity.hpp"
#include "serialize/WriterImpl.hpp"
#include "serialize/XmlChecks.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::serializeImpl {

namespace {

bool parameterOn(DOMLSSerializer* d, const XMLCh* name) {
    // Xerces-C answers a boolean parameter as the pointer value itself.
    return d->getDomConfig()->getParameter(name) != nullptr;
}

// The encodings that hold every character: nothing is ever written as a character reference in a name.
bool holdsEverything(const XMLCh* encoding) {
    for (const XMLCh* name : {u"UTF-8", u"UTF-16", u"UTF-16LE", u"UTF-16BE"})
        if (encoding && XMLString::compareIString(encoding, name) == 0) return true;
    return false;
}

const XMLCh* versionOf(const DOMNode* node) {
    const DOMDocument* doc = node->getOwnerDocument();
    const XMLCh* version = doc ? doc->getXmlVersion() : nullptr;
    return version && *version ? version : XMLUni::fgVersion1_0;
}

NodeKey hostKey(Kw::HostRef handle) {
    return {nullptr, handle};
}

} // namespace

bool hostWalkApplies(const DOMNode* node, DOMLSSerializer* d, const XMLCh* encoding, const GuardFilter& guard) {
    return asNodeImpl(node) && guard.withoutCallerFilter() && holdsEverything(encoding) &&
           XMLString::equals(versionOf(node), XMLUni::fgVersion1_0) &&
           !parameterOn(d, XMLUni::fgDOMWRTFormatPrettyPrint) && !parameterOn(d, XMLUni::fgDOMWRTBOM) &&
           !parameterOn(d, XMLUni::fgDOMWRTCanonicalForm) && parameterOn(d, XMLUni::fgDOMWRTDiscardDefaultContent);
}

bool writeHostChildren(const DOMNode* node, const XMLCh* encoding, XMLFormatTarget& target,
                       const GuardFilter& guard, const RefusalWatch& watch, bool& any) {
    namespace reads = Kw::handleReads;
    using Kw::host::FirstChild;
    using Kw::host::NextSibling;
    // The formatter the delegate makes for a write of this document: the same escapes, the same
    // transcoding, character references for what the encoding cannot hold.
    XMLFormatter out(encoding, versionOf(node), &target, XMLFormatter::NoEscapes, XMLFormatter::UnRep_CharRef,
                     XMLPlatformUtils::fgMemoryManager);
    // Something the delegate's guard would leave out: the write fails, by the host's status when a
    // refusal passed over on the way is the cause.
    auto unwritable = [&] {
        watch.check();
        return false;
    };

    // The elements open on the way down: their handles (borrowed: nothing the write runs can change the
    // tree, as no caller code runs until the children are complete) and the host's text of their names,
    // which lives as long as the name's key.
    struct Open {
        Kw::HostRef handle;
        const XMLCh* name;
    };
    std::vector<Open> open;
    const Kw::HostRef root = refOf(node).get();
    Kw::HostKey keys[255];

    Kw::HostRef at = reads::navigate(root, FirstChild);
    any = at >= 0;
    while (at >= 0) {
        const Kw::HostRef parent = open.empty() ? root : open.back().handle;
        if (!guard.descend(hostKey(parent), hostKey(at))) return unwritable(); // nothing below it is read
        Kw::HostRef next = -1;
        if (reads::isText(at)) {
            const XMLCh* text = reads::textValue(at);
            if (!isXmlText(text)) return unwritable();
            out << XMLFormatter::CharEscapes << text;
            next = reads::navigate(at, NextSibling);
        } else {
            const Kw::HostKey nameKey = reads::elementNameKey(at, 0);
            const XMLCh* name = nameKey == Kw::NO_KEY ? u"" : reads::keyText(nameKey);
            if (!isXmlName(name)) return unwritable();
            guard.noteWritten(name, false);
            out << XMLFormatter::NoEscapes << u'<' << name;
            // The element's attributes in the host's order; those implied or answered by default are
            // left out, as the delegate discards default content.
            const int32_t count = reads::attributeKeys(at, keys, 255);
            for (int32_t i = 0; i < count; ++i) {
                const Kw::HostKey qname = reads::attributeQualifiedName(at, keys[i]);
                if (reads::isAttributeImplied(at, qname)) continue;
                const XMLCh* attrName = qname == Kw::NO_KEY ? u"" : reads::keyText(qname);
                bool isDefault = false;
                const XMLCh* value = reads::attributeValue(at, qname, &isDefault);
                if (isDefault) continue;
                if (!isXmlName(attrName) || !isXmlText(value)) return unwritable();
                guard.noteWritten(attrName, true);
                if (isTypeAttribute(attrName)) guard.noteTypeValue(value);
                out << XMLFormatter::NoEscapes << u' ' << attrName << u"=\"" << XMLFormatter::AttrEscapes << value
                    << XMLFormatter::NoEscapes << u'"';
            }
            const Kw::HostRef first = reads::navigate(at, FirstChild);
            if (first >= 0) {
                out << XMLFormatter::NoEscapes << u'>';
                open.push_back({at, name});
                at = first;
                continue;
            }
            out << XMLFormatter::NoEscapes << u"/>";
            next = reads::navigate(at, NextSibling);
        }
        while (next < 0 && !open.empty()) {
            const Open done = open.back();
            open.pop_back();
            out << XMLFormatter::NoEscapes << u"</" << done.name << u'>';
            next = reads::navigate(done.handle, NextSibling);
        }
        at = next;
    }
    watch.check();
    return true;
}

} // namespace domImpl::serializeImpl
