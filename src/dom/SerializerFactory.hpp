// How dom reaches the serializer without knowing its classes: the serializer fills these two entries
// once at start-up, and DOMImplementation::createLSSerializer and DocumentLS::saveToString call through
// them. Plain function pointers: a write pays one indirect call, no virtual dispatch or allocation.
#pragma once

#include <xercesc/dom/DOMLSSerializer.hpp>
#include <xercesc/dom/DOMNode.hpp>

namespace domImpl {

struct SerializerFactory {
    // A new serializer of host nodes; the caller releases it.
    XERCES_CPP_NAMESPACE::DOMLSSerializer* (*create)() = nullptr;
    // The node written as the document saves it (empty structure pruned): UTF-16 text the caller frees
    // with XMLPlatformUtils::fgMemoryManager, or null when the write failed.
    XMLCh* (*save)(const XERCES_CPP_NAMESPACE::DOMNode* node) = nullptr;
};

// The process-wide entries; empty until the serializer has started. dom answers NOT_SUPPORTED_ERR
// through an empty entry instead of calling it.
SerializerFactory& serializerFactory();

} // namespace domImpl
