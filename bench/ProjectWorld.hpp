// Shared by the benchmarks that compare the library with Xerces-C: one generated project, loaded into the
// reference host and opened as a library document, and the same XML parsed into a native Xerces-C DOM.
#pragma once

#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/dom/ElementImpl.hpp>
#include <DOMKwHost/ProjectGenerator.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include <memory>
#include <string>

#include "dom/DocumentImpl.hpp"

namespace bench_support {

struct ProjectWorld {
    explicit ProjectWorld(size_t elements) : xml(kwhost::generateProject(elements)) {
        using namespace XERCES_CPP_NAMESPACE;
        kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
        host.loadString(xml, "generated");
        Kw::Connect(host.activateRec());
        doc = static_cast<domImpl::DocumentImpl*>(domImpl::DocumentImpl::create(Kw::ElementRef::get_Application()));
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "generated");
        parser = std::make_unique<XercesDOMParser>(); // Xerces-C is started by now
        parser->setDoNamespaces(true);
        parser->parse(source);
        native = parser->getDocument();
    }
    std::string xml;
    domImpl::DocumentImpl* doc;
    std::unique_ptr<XERCES_CPP_NAMESPACE::XercesDOMParser> parser;
    XERCES_CPP_NAMESPACE::DOMDocument* native;
};

} // namespace bench_support
