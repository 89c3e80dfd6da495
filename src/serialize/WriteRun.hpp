// One write of the library's serializer on one of its nodes, with the destination resolved (a byte
// stream and an encoding): the outermost element (or the document) it writes itself, the rest through
// the delegate.
#pragma once

#include <xercesc/dom/DOMLSOutput.hpp>
#include <xercesc/dom/DOMLSSerializer.hpp>
#include <xercesc/dom/DOMNodeFilter.hpp>
#include <xercesc/framework/XMLFormatter.hpp>

#include "serialize/FilterDecision.hpp"
#include "serialize/GuardFilter.hpp"
#include "serialize/RefusalWatch.hpp"
#include "serialize/XmlChecks.hpp"

namespace domImpl::serializeImpl {

class WriteRun {
public:
    WriteRun(XERCES_CPP_NAMESPACE::DOMLSSerializer* d, XERCES_CPP_NAMESPACE::XMLFormatter& out,
             XERCES_CPP_NAMESPACE::DOMLSOutput& output, const RefusalWatch& watch, Guarded& guarded)
        : d(d), out(out), output(output), watch(watch), guarded(guarded) {}

    // The caller's decision on a node (accept when there is no filter or it does not look at the kind).
    short decision(const XERCES_CPP_NAMESPACE::DOMNode* node) const {
        return guarded.filter().decide(node);
    }

    void attribute(const XMLCh* attrName, const XMLCh* value) {
        using XERCES_CPP_NAMESPACE::XMLFormatter;
        out << XMLFormatter::NoEscapes << attrName << u"=\"" << escapedValue(value).c_str() << u"\"";
    }

    // An element with the decision taken on it (accept or skip): its start tag, its children as the
    // delegate writes them, its end tag.
    bool element(const XERCES_CPP_NAMESPACE::DOMNode* node, short decision);
    // Our document node: the XML declaration as the delegate's configuration asks, then its children.
    bool document(const XERCES_CPP_NAMESPACE::DOMNode* node);

private:
    XERCES_CPP_NAMESPACE::DOMLSSerializer* d;
    XERCES_CPP_NAMESPACE::XMLFormatter& out;
    XERCES_CPP_NAMESPACE::DOMLSOutput& output;
    const RefusalWatch& watch;
    Guarded& guarded;
};

} // namespace domImpl::serializeImpl
