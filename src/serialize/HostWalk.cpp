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

HostWalkMode hostWalkMode(const DOMNode* node, DOMLSSerializer* d, const XMLCh* encoding,
                          const GuardFilter& guard) {
    const bool plain = asNodeImpl(node) && holdsEverything(encoding) &&
                       XMLString::equals(versionOf(node), XMLUni::fgVersion1_0) &&
                       !parameterOn(d, XMLUni::fgDOMWRTFormatPrettyPrint) &&
                       !parameterOn(d, XMLUni::fgDOMWRTBOM) &&
                       !parameterOn(d, XMLUni::fgDOMWRTCanonicalForm) &&
                       parameterOn(d, XMLUni::fgDOMWRTDiscardDefaultContent);
    if (!plain) return HostWalkMode::NodeByNode;
    if (guard.withoutCallerFilter()) return HostWalkMode::Whole;
    if (guard.filterIsTheSaveFilterItself()) return HostWalkMode::Pruned;
    return HostWalkMode::NodeByNode;
}

namespace {

namespace reads = Kw::handleReads;

// An attribute the delegate writes: neither implied nor answered by default. `name` and `value` are
// the host's texts (the value valid until the next host call).
struct Specified {
    const XMLCh* name;
    const XMLCh* value;
};

// Reads the attribute of the element's key `key`; false when it is default content, left out.
bool specified(Kw::HostRef element, Kw::HostKey key, Specified& out) {
    const Kw::HostKey qname = reads::attributeQualifiedName(element, key);
    if (reads::isAttributeImplied(element, qname)) return false;
    out.name = qname == Kw::NO_KEY ? u"" : reads::keyText(qname);
    bool isDefault = false;
    out.value = reads::attributeValue(element, qname, &isDefault);
    return !isDefault;
}

// What the save filter keeps: a node with a text node or a specified attribute at or below it. A loop
// over the subtree, in document order, down to the first such node.
bool keptAtOrBelow(Kw::HostRef top) {
    Kw::HostKey keys[255];
    Specified attribute{};
    std::vector<Kw::HostRef> up;
    for (Kw::HostRef at = top; at >= 0;) {
        if (reads::isText(at)) return true;
        const int32_t count = reads::attributeKeys(at, keys, 255);
        for (int32_t i = 0; i < count; ++i)
            if (specified(at, keys[i], attribute)) return true;
        Kw::HostRef next = reads::navigate(at, Kw::host::FirstChild);
        if (next >= 0) {
            up.push_back(at);
            at = next;
            continue;
        }
        next = at == top ? -1 : reads::navigate(at, Kw::host::NextSibling);
        while (next < 0 && !up.empty()) {
            const Kw::HostRef done = up.back();
            up.pop_back();
            next = done == top ? -1 : reads::navigate(done, Kw::host::NextSibling);
        }
        at = next;
    }
    return false;
}

} // namespace

bool writeHostChildren(const DOMNode* node, HostWalkMode mode, const XMLCh* encoding, OutputBuffer& target,
                       const GuardFilter& guard, const RefusalWatch& watch, bool& any) {
    using Kw::host::FirstChild;
    using Kw::host::NextSibling;
    const bool pruned = mode == HostWalkMode::Pruned;
    // The formatter the delegate makes for a write of this document: the same escapes, the same
    // transcoding, character references for what the encoding cannot hold.
    XMLFormatter out(encoding, versionOf(node), &target, XMLFormatter::NoEscapes, XMLFormatter::UnRep_CharRef,
                     XMLPlatformUtils::fgMemoryManager);
    // Something the guard would leave out: the write fails, by the host's status when a refusal passed
    // over on the way is the cause.
    auto unwritable = [&] {
        watch.check();
        return false;
    };

    // The elements open on the way down: their handles (borrowed: nothing the write runs can change the
    // tree, as no caller code runs until the children are complete), the host's text of their names
    // (it lives as long as the name's key), where their output starts and, when pruning, whether they
    // are kept.
    struct Open {
        Kw::HostRef handle;
        const XMLCh* name;
        size_t start;
        bool kept;
    };
    std::vector<Open> open;
    const Kw::HostRef root = refOf(node).get();
    Kw::HostKey keys[255];
    Specified attribute{};

    Kw::HostRef at = reads::navigate(root, FirstChild);
    any = at >= 0;
    while (at >= 0) {
        const Kw::HostRef parent = open.empty() ? root : open.back().handle;
        const bool deep = !guard.descend(hostKey(parent), hostKey(at));
        Kw::HostRef next = -1;
        if (reads::isText(at)) {
            // Text is always kept.
            if (deep) return unwritable(); // nothing below the bound is read
            const XMLCh* text = reads::textValue(at);
            if (!isXmlText(text)) return unwritable();
            out << XMLFormatter::CharEscapes << text;
            if (!open.empty()) open.back().kept = true;
            next = reads::navigate(at, NextSibling);
        } else {
            const Kw::HostKey nameKey = deep ? Kw::NO_KEY : reads::elementNameKey(at, 0);
            const XMLCh* name = nameKey == Kw::NO_KEY ? u"" : reads::keyText(nameKey);
            if (deep || !isXmlName(name)) {
                // What the save filter leaves out is neither checked nor written.
                if (!pruned || keptAtOrBelow(at)) return unwritable();
                next = reads::navigate(at, NextSibling);
            } else {
                const size_t start = target.size();
                bool kept = false;
                guard.noteWritten(name, false);
                out << XMLFormatter::NoEscapes << u'<' << name;
                // The element's attributes in the host's order, default content left out.
                const int32_t count = reads::attributeKeys(at, keys, 255);
                for (int32_t i = 0; i < count; ++i) {
                    if (!specified(at, keys[i], attribute)) continue;
                    kept = true;
                    if (!isXmlAttribute(attribute.name, attribute.value)) return unwritable();
                    guard.noteWritten(attribute.name, true);
                    if (isTypeAttribute(attribute.name)) guard.noteTypeValue(attribute.value);
                    out << XMLFormatter::NoEscapes << u' ' << attribute.name << u"=\""
                        << XMLFormatter::AttrEscapes << attribute.value << XMLFormatter::NoEscapes << u'"';
                }
                const Kw::HostRef first = reads::navigate(at, FirstChild);
                if (first >= 0) {
                    out << XMLFormatter::NoEscapes << u'>';
                    open.push_back({at, name, start, kept});
                    at = first;
                    continue;
                }
                out << XMLFormatter::NoEscapes << u"/>";
                if (pruned && !kept) {
                    target.cutTo(start);
                    guard.forget(hostKey(at));
                } else if (!open.empty()) {
                    open.back().kept = true;
                }
                next = reads::navigate(at, NextSibling);
            }
        }
        while (next < 0 && !open.empty()) {
            const Open done = open.back();
            open.pop_back();
            out << XMLFormatter::NoEscapes << u"</" << done.name << u'>';
            if (pruned && !done.kept) {
                target.cutTo(done.start);
                guard.forget(hostKey(done.handle));
            } else if (!open.empty()) {
                open.back().kept = true;
            }
            next = reads::navigate(done.handle, NextSibling);
        }
        at = next;
    }
    watch.check();
    return true;
}

} // namespace domImpl::serializeImpl
