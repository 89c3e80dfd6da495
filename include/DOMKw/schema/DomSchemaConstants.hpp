// DomSchemaConstants: the host schema's vocabulary (element, attribute, type and enumeration
// names, schema prefixes, DOM configuration parameter names, placeholder tokens) for plug-ins
// that would otherwise write these strings out themselves.
//
// Every name in DomSchemaNames.def exists twice:
//   DomSchemaConstants::kName     const XMLCh* const, NUL-terminated UTF-16 text for Xerces-C calls
//   DomSchemaConstants::kNameStr  const DOMBTString holding the same text, for the Kw facade
// kName points into kNameStr's own buffer, so both stay valid for as long as the library is
// loaded. Both are ready before any module linked against the library runs its own start-up
// code, and must not be used once the library has been unloaded.
//
// The kNameStr constants never change, so their 8-bit and UTF-32 views are built once and shared: any
// thread may call GetUChar or GetUChar32 on them.
#pragma once

#include <DOMKw/strings/DOMBTString.hpp>

namespace DomSchemaConstants {

#define DOMKW_SCHEMA_NAME(name)                                                                              \
    extern const XMLCh* const name;                                                                          \
    extern const DOMBTString name##Str;
#define DOMKW_SCHEMA_NAME_TEXT(name, text) DOMKW_SCHEMA_NAME(name)
#include <DOMKw/schema/DomSchemaNames.def>

} // namespace DomSchemaConstants
