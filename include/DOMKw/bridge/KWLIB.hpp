// Schema registration: the functions through which a plug-in extends the host's document schema.
#pragma once

#include <DOMKw/bridge/StringKey.hpp>

namespace Kw::KWLIB {

// Prefix key and local-name key of a qualified name; no key for a missing part.
struct PrefixNamePair {
    StringKey prefix;
    StringKey localName;
};

// Splits a qualified name at its first ':' into prefix and local-name keys. A name without a prefix
// (no ':' or ':' first) has no prefix key and the whole text as its local name; "" gives two empty keys
// without calling the host.
PrefixNamePair seperatePrefixName(const DOMBTString& qname);

} // namespace Kw::KWLIB
