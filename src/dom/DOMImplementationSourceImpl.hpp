// The source that publishes the library's DOMImplementation in Xerces-C's registry.
#pragma once

#include <DOMKw/strings/DOMBTString.hpp>

#include <xercesc/dom/DOMImplementationSource.hpp>

namespace domImpl {

class DOMImplementationSourceImpl : public virtual XERCES_CPP_NAMESPACE::DOMImplementationSource {
public:
    explicit DOMImplementationSourceImpl(const DOMBTString& features) : features(features) {}
    // The implementation when it has every feature of the list ("Core 3.0 Events" ...), else null.
    XERCES_CPP_NAMESPACE::DOMImplementation* getDOMImplementation(const XMLCh* features) const override;
    // A list holding the implementation when it has every feature of the list, else an empty list; the
    // registry asks every source for its share, so this never goes back through the registry.
    XERCES_CPP_NAMESPACE::DOMImplementationList*
    getDOMImplementationList(const XMLCh* features) const override;

private:
    DOMBTString features;
};

} // namespace domImpl
