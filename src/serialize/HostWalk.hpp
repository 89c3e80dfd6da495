// The children of one of our elements written straight from host handles, without node objects: the
// bytes the delegate writes for them, with the same checks the guard makes on what it writes.
#pragma once

#include <xercesc/dom/DOMLSSerializer.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/framework/XMLFormatter.hpp>

#include "serialize/GuardFilter.hpp"
#include "serialize/RefusalWatch.hpp"

namespace domImpl::serializeImpl {

// Whether the children of `node` may be written by writeHostChildren for this write: `node` is one of
// our elements, no filter of the caller's is there to ask, and the delegate's settings are those under
// which the delegate's output is plain (no pretty printing, no byte order mark, default content
// discarded) in an encoding that holds every character and an XML 1.0 document.
bool hostWalkApplies(const XERCES_CPP_NAMESPACE::DOMNode* node, XERCES_CPP_NAMESPACE::DOMLSSerializer* d,
                     const XMLCh* encoding, const GuardFilter& guard);

// Writes the children of `node` (with their subtrees) to `target` in `encoding`, as the delegate writes
// them one by one. `any` tells whether there was a child. False when something could not be written
// well-formed or lies too deep (a refusal the facade passed over comes first, as the host's
// DOMException); nothing is read below the nesting bound.
bool writeHostChildren(const XERCES_CPP_NAMESPACE::DOMNode* node, const XMLCh* encoding,
                       XERCES_CPP_NAMESPACE::XMLFormatTarget& target, const GuardFilter& guard,
                       const RefusalWatch& watch, bool& any);

} // namespace domImpl::serializeImpl
