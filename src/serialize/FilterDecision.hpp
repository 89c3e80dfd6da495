// The caller's filter asked about a node during a write.
#pragma once

#include <xercesc/dom/DOMLSSerializerFilter.hpp>

#include "bridge/HostStatus.hpp"
#include "dom/NamespaceView.hpp"
#include "serialize/WriterFilterImpl.hpp"

namespace domImpl::serializeImpl {

// Asks the filter when it looks at nodes of the kind; accepts otherwise.
inline short askIfShown(const XERCES_CPP_NAMESPACE::DOMLSSerializerFilter* filter,
                        const XERCES_CPP_NAMESPACE::DOMNode* node) {
    const unsigned long bit = 1ul << (node->getNodeType() - 1);
    if (!(filter->getWhatToShow() & bit)) return XERCES_CPP_NAMESPACE::DOMNodeFilter::FILTER_ACCEPT;
    return filter->acceptNode(node);
}

// The filter's decision on a node. Our own save filter reads the tree for the write: a refusal it meets
// fails the write like any other. A filter of the caller's is the caller's code: it sees the nodes as it
// sees them outside a write (with their namespace information), and what it reads is its own business:
// a refusal it meets (an attribute it looks for and the element lacks, say) does not fail the write.
// Which of the two the filter is the write finds out once (`isSaveFilter`), not once per node.
inline bool isSaveFilter(const XERCES_CPP_NAMESPACE::DOMLSSerializerFilter* filter) {
    return dynamic_cast<const WriterFilterImpl*>(filter) != nullptr;
}

inline short decide(const XERCES_CPP_NAMESPACE::DOMLSSerializerFilter* filter, bool saveFilter,
                    const XERCES_CPP_NAMESPACE::DOMNode* node) {
    if (saveFilter) return askIfShown(filter, node);
    const ShowNamespaceInfo shown;
    struct Restore {
        Kw::UnexaminedFailures saved = Kw::unexaminedFailures();
        ~Restore() { Kw::unexaminedFailures() = saved; }
    } restore;
    return askIfShown(filter, node);
}

} // namespace domImpl::serializeImpl
