#include "dom/XPathSupport.hpp"

#include <xercesc/dom/DOMException.hpp>

#include "bridge/HostStatus.hpp"

namespace domImpl {

namespace {

XPathSupport*& slot() {
    static XPathSupport* support = nullptr;
    return support;
}

} // namespace

XPathDocumentState::~XPathDocumentState() = default;

XPathSupport::~XPathSupport() = default;

XPathSupport& XPathSupport::installed() {
    XPathSupport* support = slot();
    if (!support) Kw::throwDOMException(XERCES_CPP_NAMESPACE::DOMException::NOT_SUPPORTED_ERR);
    return *support;
}

void XPathSupport::install(XPathSupport& support) {
    slot() = &support;
}

} // namespace domImpl
