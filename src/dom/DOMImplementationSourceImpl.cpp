#include "dom/DOMImplementationSourceImpl.hpp"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/XMLStringTokenizer.hpp>

#include "dom/DOMImplementationImpl.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl {

namespace {

// The list this source answers: its implementation, or nothing.
class ImplementationList : public DOMImplementationList {
public:
    explicit ImplementationList(DOMImplementation* impl) : impl(impl) {}
    DOMImplementation* item(XMLSize_t index) const override { return index == 0 ? impl : nullptr; }
    XMLSize_t getLength() const override { return impl ? 1 : 0; }
    void release() override { delete this; }

private:
    DOMImplementation* impl;
};

} // namespace

DOMImplementation* DOMImplementationSourceImpl::getDOMImplementation(const XMLCh* list) const {
    DOMImplementationImpl* impl = DOMImplementationImpl::instance();
    XMLStringTokenizer tokens(list ? list : u"");
    // A token that starts with a digit is the version of the feature before it.
    const XMLCh* feature = nullptr;
    while (tokens.hasMoreTokens()) {
        const XMLCh* token = tokens.nextToken();
        const bool isVersion = feature && token[0] >= u'0' && token[0] <= u'9';
        if (isVersion) {
            if (!impl->hasFeature(feature, token)) return nullptr;
            feature = nullptr;
            continue;
        }
        if (feature && !impl->hasFeature(feature, nullptr)) return nullptr;
        feature = token;
    }
    if (feature && !impl->hasFeature(feature, nullptr)) return nullptr;
    return impl;
}

DOMImplementationList* DOMImplementationSourceImpl::getDOMImplementationList(const XMLCh* features) const {
    // The registry builds its list by asking every source, this one included, and releases what each
    // answers: going back through the registry from here would ask this source again, without end.
    // This source's share is its own implementation, when it has the features.
    return new ImplementationList(getDOMImplementation(features));
}

} // namespace domImpl
