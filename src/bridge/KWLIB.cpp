#include <DOMKw/bridge/KWLIB.hpp>

namespace Kw::KWLIB {

PrefixNamePair seperatePrefixName(const DOMBTString& qname) {
    PrefixNamePair pair;
    const long colon = qname.Find(static_cast<XMLCh>(u':'));
    if (colon > 0) {
        // The local name is interned first, then the prefix.
        pair.localName = StringKey(DOMBTString(qname, colon + 1, -1));
        pair.prefix = StringKey(DOMBTString(qname, 0, colon));
    } else if (!qname.IsEmpty()) {
        pair.localName = StringKey(qname);
    }
    return pair;
}

} // namespace Kw::KWLIB
