// The process-wide Xerces-C serializer the library's serializer writes through: configuration, newline
// and filter live in it. One at a time: a new serializer of ours starts from a fresh one.
#pragma once

#include <xercesc/dom/DOMLSSerializer.hpp>

namespace domImpl::serializeImpl {

// The delegate, made on first use.
XERCES_CPP_NAMESPACE::DOMLSSerializer* delegate();
// Releases the delegate, if there is one; the next use makes a fresh one.
void dropDelegate();

} // namespace domImpl::serializeImpl
