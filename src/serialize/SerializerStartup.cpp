#include "serialize/SerializerStartup.hpp"

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <memory>

#include "dom/SerializerFactory.hpp"
#include "serialize/WriterFilterImpl.hpp"
#include "serialize/WriterImpl.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::serializeImpl {

namespace {

DOMLSSerializer* create() {
    return new WriterImpl();
}

// The document's save: a serializer of its own with the save filter, so that empty structure is left out.
XMLCh* save(const DOMNode* node) {
    WriterFilterImpl filter; // outlives the serializer that holds it
    const std::unique_ptr<WriterImpl> writer(new WriterImpl());
    writer->setFilter(&filter);
    return writer->writeToString(node, XMLPlatformUtils::fgMemoryManager);
}

} // namespace

void startSerializer() {
    SerializerFactory& factory = serializerFactory();
    factory.create = &create;
    factory.save = &save;
}

} // namespace domImpl::serializeImpl
