// What one write of the library's serializer changes around itself, and puts back when it ends.
#pragma once

#include <xercesc/dom/DOMConfiguration.hpp>
#include <xercesc/dom/DOMErrorHandler.hpp>
#include <xercesc/dom/DOMLSSerializer.hpp>

#include "dom/DocumentImpl.hpp"

#include <memory>
#include <optional>

#include "dom/NamespaceView.hpp"

namespace domImpl::serializeImpl {

// The caller's error handler, as the delegate reports to it during a write: the handler is the
// caller's code, so it runs with the nodes' normal answers (see NamespaceView.hpp).
class CallerErrorHandler : public XERCES_CPP_NAMESPACE::DOMErrorHandler {
public:
    explicit CallerErrorHandler(XERCES_CPP_NAMESPACE::DOMErrorHandler* handler) : handler(handler) {}
    bool handleError(const XERCES_CPP_NAMESPACE::DOMError& error) override {
        const ShowNamespaceInfo shown;
        return handler->handleError(error);
    }

private:
    XERCES_CPP_NAMESPACE::DOMErrorHandler* handler;
};

// While a write runs on one of our nodes:
//  - node objects the delegate navigates are not released by it: what it hands out is tracked and ended
//    when the write is over;
//  - the nodes answer the writer without namespace information (see NamespaceView.hpp); the caller's
//    error handler, if any, is reached through CallerErrorHandler;
//  - the delegate reads attribute values from an attribute's children when its "entities" parameter is
//    set; our attribute nodes hold their value without children (host trees have no entity
//    references), so the parameter is off for the write and put back afterwards.
class WriteScope {
public:
    WriteScope(const XERCES_CPP_NAMESPACE::DOMNode* node, XERCES_CPP_NAMESPACE::DOMLSSerializer* d);
    ~WriteScope();
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;

private:
    XERCES_CPP_NAMESPACE::DOMConfiguration* config;
    bool entities = true;
    XERCES_CPP_NAMESPACE::DOMErrorHandler* handler = nullptr;
    std::optional<CallerErrorHandler> callerHandler;
    std::optional<HideNamespaceInfo> hidden;
    DocumentImpl* owner = nullptr;
    std::unique_ptr<DocumentImpl::TrackingScope> scope;
};

} // namespace domImpl::serializeImpl
