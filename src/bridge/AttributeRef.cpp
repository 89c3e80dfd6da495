#include "bridge/AttributeRef.hpp"

#include "bridge/CallbackTable.hpp"
#include "bridge/HostStatus.hpp"

namespace Kw {

using host::callbacks;

const XMLCh* AttributeRef::readText(bool* isDefault) const {
    const XMLCh* text = nullptr;
    const HostStatus status =
        useNS ? callbacks().GetAttributeValueNS(&text, owner.get(), nsKey.value(), name.value(), isDefault)
              : callbacks().GetAttributeValue(&text, owner.get(), name.value(), isDefault);
    checkRead(status);
    return status != 0 || !text ? u"" : text;
}

void AttributeRef::write(const DOMBTString& text) const {
    checkStatus(
        useNS ? callbacks().SetAttributeValueNS(owner.get(), nsKey.value(), name.value(), text.GetUChar16())
              : callbacks().SetAttributeValue(owner.get(), name.value(), text.GetUChar16()));
}

bool AttributeRef::isImplied() const {
    bool out = false;
    checkStatus(callbacks().IsAttributeImplied(owner.get(), name.value(), &out));
    return out;
}

bool AttributeRef::isUncopyable() const {
    int32_t out = 0;
    checkStatus(callbacks().IsAttributeUncopyable(owner.get(), name.value(), &out));
    return out != 0;
}

void AttributeRef::resolveName() {
    HostKey out[4] = {NO_KEY, NO_KEY, NO_KEY, NO_KEY};
    checkStatus(callbacks().ResolveAttributeName(out, owner.get(), nsKey.value(), name.value()));
    nsKey = StringKey::fromValue(out[0]);
    name = StringKey::fromValue(out[1]);
    resolvedKey3 = StringKey::fromValue(out[2]);
    resolvedKey4 = StringKey::fromValue(out[3]);
    useNS = false;
}

} // namespace Kw
