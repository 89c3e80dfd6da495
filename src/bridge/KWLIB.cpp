#include <DOMKw/bridge/KWLIB.hpp>

#include <memory>
#include <type_traits>

#include <xalanc/Include/PlatformDefinitions.hpp>

#include "bridge/CallbackTable.hpp"
#include "bridge/HostStatus.hpp"

// The public header names Xalan-C's document without its headers. Built against another Xalan-C, the
// namespace differs and this fails, rather than the library exporting a function no caller can link to.
namespace XALAN_CPP_NAMESPACE {
class XalanDocument;
}
static_assert(std::is_same_v<xalanc_1_12::XalanDocument, XALAN_CPP_NAMESPACE::XalanDocument>,
              "KWLIB.hpp forward-declares XalanDocument in the namespace of the Xalan-C being built with");

namespace Kw::KWLIB {

using host::callbacks;

namespace {

DeclarationRecord record(const PrefixNamePair& a, const PrefixNamePair& b, const PrefixNamePair& c) {
    DeclarationRecord r;
    r.slots[0] = a;
    r.slots[1] = b;
    r.slots[2] = c;
    return r;
}

// Kinds 5 to 7 share one record layout: (b, c, none, -1, 0, 0, 0).
bool registerNamed(int32_t kind, const DOMBTString& name, const DOMBTString& b, const DOMBTString& c,
                   int count, const RegArgs* args) {
    const PrefixNamePair pair = seperatePrefixName(name);
    const DeclarationRecord r = record(seperatePrefixName(b), seperatePrefixName(c), PrefixNamePair());
    return succeeded(callbacks().RegisterDeclaration(kind, &pair, &r, count, args));
}

} // namespace

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

const DOMBTString RegisterNamespace(const DOMBTString& a, const DOMBTString& b, int n, const RegArgs& args) {
    notExamined(callbacks().RegisterNamespace(&a, &b, n, &args));
    return a;
}

bool RegisterComplexType(int kind, const DOMBTString& name, const DOMBTString& s2, const DOMBTString& s3,
                         const DOMBTString& s4, int count, const RegArgs* args, bool f8, int i9, int i10,
                         bool) {
    const PrefixNamePair pName = seperatePrefixName(name);
    const PrefixNamePair p2 = seperatePrefixName(s2);
    const PrefixNamePair p3 = seperatePrefixName(s3);
    const PrefixNamePair p4 = seperatePrefixName(s4);
    if (kind < 0 || kind > 4) return false;
    auto r = std::make_unique<DeclarationRecord>();
    if (kind == 0 || kind == 2) {
        *r = record(p4, p2, p3);
        r->number1 = i9;
        r->number2 = i10;
        r->flag2 = f8 ? 1 : 0;
    } else {
        *r = record(PrefixNamePair(), p2, PrefixNamePair());
    }
    return succeeded(callbacks().RegisterDeclaration(kind, &pName, r.get(), count, args));
}

bool RegisterElement(const DOMBTString& name, const DOMBTString& b, const DOMBTString& c) {
    return registerNamed(5, name, b, c, 0, nullptr);
}

bool RegisterAttribute(const DOMBTString& name, const DOMBTString& b, const DOMBTString& c, int count,
                       const RegArgs* args) {
    return registerNamed(6, name, b, c, count, args);
}

bool RegisterDefaultElement(const DOMBTString& name, const DOMBTString& b, const DOMBTString& c, int count,
                            const RegArgs* args) {
    return registerNamed(7, name, b, c, count, args);
}

bool RegisterSchemaEnumValue(const DOMBTString& value, const DOMBTString& typeName, int number) {
    const PrefixNamePair type = seperatePrefixName(typeName);
    return succeeded(callbacks().RegisterSchemaEnumValue(value.GetUChar16(), &type, number));
}

bool InitTypeDeclaration(const DOMBTString& typeName) {
    const PrefixNamePair type = seperatePrefixName(typeName);
    return succeeded(callbacks().InitTypeDeclaration(&type));
}

bool CreateBaseInstance(void*& instance, const DOMBTString& typeName, const XMLCh* text, void* context,
                        const ValueMap* values) {
    const PrefixNamePair type = seperatePrefixName(typeName);
    return succeeded(callbacks().CreateBaseInstance(&instance, &type, text, context, values));
}

bool DeleteBaseInstance(const void* instance, const DOMBTString& typeName) {
    const PrefixNamePair type = seperatePrefixName(typeName);
    return succeeded(callbacks().DeleteBaseInstance(instance, &type));
}

bool Import(const XMLCh* path) {
    return succeeded(callbacks().Import(path));
}

bool GetDOMConfiguration(XERCES_CPP_NAMESPACE::DOMConfiguration*& config) {
    return succeeded(callbacks().GetDOMConfiguration(&config));
}

bool ReleaseDocXPathCache(const xalanc_1_12::XalanDocument* doc) {
    return succeeded(callbacks().ReleaseDocXPathCache(doc));
}

// The value map: the host answers from its own storage, found by the map's address.

DOMBTString ValueMap::getValue(const DOMBTString& key) const {
    BTStringRef__* handle = nullptr;
    const HostStatus status = callbacks().ValueMapAccess(&handle, host::GetValue, this,
                                                         reinterpret_cast<intptr_t>(key.GetUChar16()));
    DOMBTString value = succeeded(status) && handle ? DOMBTString(handle) : DOMBTString();
    DOMBTString::DestroyBTStringRef(handle);
    return value;
}

StringKey ValueMap::getKey(int index) const {
    HostKey key = NO_KEY;
    notExamined(callbacks().ValueMapAccess(&key, host::GetKey, this, index));
    return StringKey::fromValue(key);
}

int ValueMap::getNumberOfKeys() const {
    int32_t count = 0;
    notExamined(callbacks().ValueMapAccess(&count, host::GetKeyCount, this, 0));
    return count;
}

} // namespace Kw::KWLIB
