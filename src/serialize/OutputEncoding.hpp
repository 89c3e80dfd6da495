// The encoding a write uses and the byte order mark it starts with.
#pragma once

#include <xercesc/dom/DOMLSOutput.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include <DOMKw/strings/DOMBTString.hpp>

#include <string>

namespace domImpl::serializeImpl {

using XERCES_CPP_NAMESPACE::DOMLSOutput;
using XERCES_CPP_NAMESPACE::DOMNode;

// The encoding a destination that names none is written in, as Xerces-C's serializer chooses it: the
// document's input encoding, else its declared encoding, else UTF-8.
DOMBTString encodingFor(const DOMNode* node, DOMLSOutput* destination);

// The byte order mark Xerces-C's serializer writes for a document in the encoding (only Unicode
// encodings have one; UTF-16 and UCS-4 without an order are written in the machine's).
std::string byteOrderMark(const XMLCh* encoding);

} // namespace domImpl::serializeImpl
