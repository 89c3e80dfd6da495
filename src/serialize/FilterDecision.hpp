// The caller's filter asked about a node during a write.
#pragma once

#include <xercesc/dom/DOMLSSerializerFilter.hpp>

#include "bridge/HostStatus.hpp"
#include "dom/NamespaceView.hpp"
#include "serialize/WriterFilterImpl.hpp"

namespace domImpl::serializeImpl {

// The filter's decision on a node: accept when it does not look at nodes of the kind. Our own save
// filter reads the tree for the write: a refusal it meets fails the write like any other. A filter of
// the caller's is the caller's code: it sees the nodes as it sees them outside a write (with their
// namespace information), and what it reads is its own business: a refusal it meets (an attribute it
// looks for and the element lacks, say) does not fail the write.
inline short decide(const XERCES_CPP_NAMESPACE::DOMLSSerializerFilter* filter,
                    const XERCES_CPP_NAMESPACE::DOMNode* node) {
    using XERCES_CPP_NAMESPACE::DOMNodeFilter;
    if (dynamic_cast<const WriterFilterImpl*>(filter)) {
        const unsigned long bit = 1ul << (node->getNodeType() - 1);
        return (filter->getWhatToShow() & bit) ? filter->acceptNode(node)
                                                : static_cast<short>(DOMNodeFilter::FILTER_ACCEPT);
    }
    const ShowNamespaceInfo shown;
    const unsigned long bit = 1ul << (node->getNodeType() - 1);
    if (!(filter->getWhatToShow() & bit)) return DOMNodeFilter::FILTER_ACCEPT;
    struct Restore {
        Kw::UnexaminedFailures saved = Kw::unexaminedFailures();
        ~Restore() { Kw::unexaminedFailures() = saved; }
    } restore;
    return filter->acceptNode(node);
}

} // namespace domImpl::serializeImpl
