#include "bridge/HandleReads.hpp"

namespace Kw::handleReads {

bool isText(HostRef handle) {
    bool out = false;
    checkStatus(host::callbacks().IsTextNode(&out, handle));
    return out;
}

bool isAttributeImplied(HostRef element, HostKey name) {
    bool implied = false;
    checkStatus(host::callbacks().IsAttributeImplied(element, name, &implied));
    return implied;
}

HostKey attributeNamespace(HostRef element, HostKey name) {
    HostKey out[4] = {NO_KEY, NO_KEY, NO_KEY, NO_KEY};
    checkStatus(host::callbacks().ResolveAttributeName(out, element, NO_KEY, name));
    return out[0];
}

const XMLCh* keyText(HostKey key) {
    const XMLCh* text = nullptr;
    checkStatus(host::callbacks().KeyToString(&text, key));
    return text ? text : u"";
}

} // namespace Kw::handleReads
