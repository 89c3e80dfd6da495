// What several fuzz targets check: XML the library or the host wrote parses back with Xerces-C, and work
// runs on a thread with a plug-in's small stack.
#pragma once

#include <DOMKw/bridge/Connect.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <pthread.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace fuzzing {

// The reference host, connected to the library once per process (a first Connect can happen only once).
inline kwhost::ReferenceHost& connectedHost() {
    static kwhost::ReferenceHost& host = []() -> kwhost::ReferenceHost& {
        kwhost::ReferenceHost& h = kwhost::ReferenceHost::instance();
        h.loadString("<application/>");
        Kw::Connect(h.activateRec());
        return h;
    }();
    return host;
}

// Well-formedness only: a saved subtree may use prefixes its ancestors declared.
inline bool parsesBack(const void* bytes, size_t length, const XMLCh* encoding) {
    using namespace XERCES_CPP_NAMESPACE;
    struct Errors : DefaultHandler {
        bool failed = false;
        void error(const SAXParseException&) override { failed = true; }
        void fatalError(const SAXParseException&) override { failed = true; }
    } errors;
    std::unique_ptr<SAX2XMLReader> parser(XMLReaderFactory::createXMLReader());
    parser->setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
    parser->setFeature(XMLUni::fgSAX2CoreValidation, false);
    parser->setFeature(XMLUni::fgXercesLoadExternalDTD, false);
    parser->setErrorHandler(&errors);
    MemBufInputSource source(static_cast<const XMLByte*>(bytes), length, "saved");
    if (encoding) source.setEncoding(encoding);
    try {
        parser->parse(source);
    } catch (...) {
        return false;
    }
    return !errors.failed;
}

// Output that is not well-formed XML is a find: stop with what was written.
inline void requireWellFormed(const std::u16string& text, const char* what) {
    if (text.empty() || parsesBack(text.data(), text.size() * sizeof(char16_t), u"UTF-16LE")) return;
    std::fprintf(stderr, "%s is not well-formed XML (%zu units)\n", what, text.size());
    __builtin_trap();
}

inline void requireWellFormed(const std::string& utf8, const char* what) {
    if (utf8.empty() || parsesBack(utf8.data(), utf8.size(), u"UTF-8")) return;
    std::fprintf(stderr, "%s is not well-formed XML: %.400s\n", what, utf8.c_str());
    __builtin_trap();
}

// Runs `f` on a thread with a stack of `bytes`, as a plug-in's worker thread may have.
inline void onStackOf(size_t bytes, const std::function<void()>& f) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, bytes);
    pthread_t thread;
    auto run = [](void* call) -> void* {
        (*static_cast<const std::function<void()>*>(call))();
        return nullptr;
    };
    if (pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&f)) != 0)
        __builtin_trap();
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

} // namespace fuzzing
