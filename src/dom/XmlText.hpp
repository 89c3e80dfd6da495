// What XML 1.0 can hold: names and characters the library refuses at the DOM entry, before any host
// call, so that nothing it writes into the host can make a saved project malformed.
#pragma once

#include <xercesc/util/XMLChar.hpp>
#include <xercesc/util/XMLString.hpp>

#include "bridge/HostStatus.hpp"

namespace domImpl {

// True when every code unit of `text` is a character XML 1.0 can hold (surrogates only in pairs).
inline bool holdsOnlyXmlChars(const XMLCh* text) {
    if (!text) return true;
    for (const XMLCh* p = text; *p; ++p) {
        const XMLCh c = *p;
        if (c >= 0x20 && c < 0xD800) continue;
        if (c == 0x9 || c == 0xA || c == 0xD) continue;
        if (c >= 0xE000 && c <= 0xFFFD) continue;
        if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
            ++p;
            continue;
        }
        return false;
    }
    return true;
}

// Refuses text XML cannot hold with DOMException 5 (INVALID_CHARACTER_ERR).
inline void requireXmlChars(const XMLCh* text) {
    if (!holdsOnlyXmlChars(text)) Kw::throwDOMException(5);
}

// Refuses what is not an XML name (the empty text and null included) with DOMException 5.
inline void requireXmlName(const XMLCh* name) {
    if (!name || !*name ||
        !XERCES_CPP_NAMESPACE::XMLChar1_0::isValidName(name,
                                                       XERCES_CPP_NAMESPACE::XMLString::stringLen(name)))
        Kw::throwDOMException(5);
}

} // namespace domImpl
