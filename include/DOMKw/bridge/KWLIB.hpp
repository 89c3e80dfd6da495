// Schema registration: the functions through which a plug-in extends the host's document schema.
// Each function splits its qualified names into key pairs and makes one host call; the host keeps the
// schema. The bool functions answer true when the host accepts and never throw for its refusal; only
// interning a name (seperatePrefixName) throws xercesc::DOMException.
#pragma once

#include <DOMKw/bridge/StringKey.hpp>

#include <cstddef>

XERCES_CPP_NAMESPACE_BEGIN
class DOMConfiguration;
XERCES_CPP_NAMESPACE_END

// Xalan-C's document type, named without Xalan-C's headers so that a plug-in of the bridge needs none of
// them. The namespace is that of the Xalan-C the library is built with; the library checks at build time
// that it is Xalan-C's own.
namespace xalanc_1_12 {
class XalanDocument;
}

namespace Kw::KWLIB {

// Prefix key and local-name key of a qualified name; no key for a missing part.
struct PrefixNamePair {
    StringKey prefix;
    StringKey localName;
};
static_assert(sizeof(PrefixNamePair) == 8, "two 32-bit keys");

// The record RegisterDeclaration receives. What the three name slots, the two numbers and the two flags
// mean is the host's schema; a slot not given holds two empty keys.
struct DeclarationRecord {
    PrefixNamePair slots[3];
    int32_t number1 = -1;
    int32_t number2 = 0;
    uint8_t flag1 = 0;
    uint8_t flag2 = 0;
};
static_assert(sizeof(DeclarationRecord) == 36, "three name pairs, two numbers, two flag bytes, padded to 36");
static_assert(offsetof(DeclarationRecord, number1) == 24 && offsetof(DeclarationRecord, number2) == 28 &&
                  offsetof(DeclarationRecord, flag1) == 32 && offsetof(DeclarationRecord, flag2) == 33,
              "the host reads the record by offset");

// Defined by the host's interface; the library passes its address on without reading it.
struct RegArgs;

// A map of values that the host owns (handed to CreateBaseInstance, for instance). The library only
// passes the map's address to the host, which answers from its own storage.
class ValueMap {
public:
    // The value under the key, "" when the host has none.
    DOMBTString getValue(const DOMBTString& key) const;
    // The key at `index` (no key when the host has none there).
    StringKey getKey(int index) const;
    int getNumberOfKeys() const;

protected:
    // Only a host makes value maps.
    ValueMap() = default;
    ~ValueMap() = default;
    ValueMap(const ValueMap&) = delete;
    ValueMap& operator=(const ValueMap&) = delete;
};

// Splits a qualified name at its first ':' into prefix and local-name keys. A name without a prefix
// (no ':' or ':' first) has no prefix key and the whole text as its local name; "" gives two empty keys
// without calling the host.
PrefixNamePair seperatePrefixName(const DOMBTString& qname);

// Registers a namespace; the host's answer is not examined. Returns a copy of `a` taken after the call.
const DOMBTString RegisterNamespace(const DOMBTString& a, const DOMBTString& b, int n, const RegArgs& args);

// A complex type of one of the kinds 0 to 4 (false without a host call for any other kind, although the
// names have been interned by then). Kinds 0 and 2 send the record (s4, s2, s3, i9, i10, 0, f8); kinds 1,
// 3 and 4 send (none, s2, none, -1, 0, 0, 0). `f11` is not used.
bool RegisterComplexType(int kind, const DOMBTString& name, const DOMBTString& s2, const DOMBTString& s3,
                         const DOMBTString& s4, int count, const RegArgs* args, bool f8, int i9, int i10,
                         bool f11);
// Declaration kind 5, record (b, c, none, -1, 0, 0, 0), no arguments.
bool RegisterElement(const DOMBTString& name, const DOMBTString& b, const DOMBTString& c);
// Declaration kind 6, record (b, c, none, -1, 0, 0, 0), with `count` arguments at `args`.
bool RegisterAttribute(const DOMBTString& name, const DOMBTString& b, const DOMBTString& c, int count,
                       const RegArgs* args);
// As RegisterAttribute, declaration kind 7.
bool RegisterDefaultElement(const DOMBTString& name, const DOMBTString& b, const DOMBTString& c, int count,
                            const RegArgs* args);
// One value of an enumeration type: its text and its number.
bool RegisterSchemaEnumValue(const DOMBTString& value, const DOMBTString& typeName, int number);
bool InitTypeDeclaration(const DOMBTString& typeName);

// The host stores a new instance of the type in `instance`.
bool CreateBaseInstance(void*& instance, const DOMBTString& typeName, const XMLCh* text, void* context,
                        const ValueMap* values);
bool DeleteBaseInstance(const void* instance, const DOMBTString& typeName);

// Asks the host to load the file at `path` into its document.
bool Import(const XMLCh* path);
// The host's DOM configuration, stored in `config`.
bool GetDOMConfiguration(XERCES_CPP_NAMESPACE::DOMConfiguration*& config);
// Tells the host that an XPath evaluation over `doc` has ended, so it can drop what it caches for it.
bool ReleaseDocXPathCache(const xalanc_1_12::XalanDocument* doc);

} // namespace Kw::KWLIB
