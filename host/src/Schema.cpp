// Schema registration: namespaces, declarations, type initialisation, enumeration values, base instances
// and value maps. The host keeps each registration as it arrived, for tests and for ConvertValue.
#include "HostOperations.hpp"

#include <DOMKw/strings/DOMBTString.hpp>

namespace kwhost {

using namespace Kw::host;
using Kw::KWLIB::PrefixNamePair;

namespace {

Schema& R() {
    return state().schema;
}
Store& S() {
    return state().store;
}

std::u16string textOr(const XMLCh* text) {
    return text ? std::u16string(text) : std::u16string();
}

RegArgsCopy copy(const Kw::KWLIB::RegArgs& a) {
    return {textOr(a.name), textOr(a.value)};
}

// A type name split as KWLIB::seperatePrefixName does: at the first ':' when it is not the first unit.
PrefixNamePair splitTypeName(const std::u16string& name) {
    PrefixNamePair pair;
    const size_t colon = name.find(u':');
    if (colon != std::u16string::npos && colon > 0) {
        pair.prefix = Kw::StringKey::fromValue(S().keys.intern(name.substr(0, colon)));
        pair.localName = Kw::StringKey::fromValue(S().keys.intern(name.substr(colon + 1)));
    } else if (!name.empty()) {
        pair.localName = Kw::StringKey::fromValue(S().keys.intern(name));
    }
    return pair;
}

bool isComplexType(const PrefixNamePair& name) {
    for (const DeclarationRegistration& d : R().declarations)
        if (d.kind >= 0 && d.kind <= 4 && samePair(d.name, name)) return true;
    return false;
}

bool knownKeys(const PrefixNamePair& pair) {
    const auto known = [](Kw::StringKey k) { return k.isNone() || S().keys.text(k.value()) != nullptr; };
    return known(pair.prefix) && known(pair.localName);
}

} // namespace

int32_t opRegisterNamespace(const DOMBTString* first, const DOMBTString* second, int32_t n,
                            const Kw::KWLIB::RegArgs* args) {
    KWHOST_ENTER(RegisterNamespace);
    if (!first || !second || !args) return INVALID_ACCESS;
    if (second->IsEmpty()) return VALIDATION;
    for (const NamespaceRegistration& ns : R().namespaces)
        if (ns.prefix == first->str() && ns.uri != second->str()) return INVALID_STATE;
    R().namespaces.push_back({first->str(), second->str(), n, copy(*args)});
    return OK;
}

int32_t opRegisterDeclaration(int32_t kind, const PrefixNamePair* name,
                              const Kw::KWLIB::DeclarationRecord* record, int32_t count,
                              const Kw::KWLIB::RegArgs* args) {
    KWHOST_ENTER(RegisterDeclaration);
    if (!name) return INVALID_ACCESS;
    if (kind < 0 || kind > 7) return NOT_SUPPORTED;
    if (name->localName.isNone() || !knownKeys(*name)) return VALIDATION;
    if (count < 0 || count > MAX_REG_ARGS) return INDEX_SIZE;
    if (count > 0 && !args) return INVALID_ACCESS;
    DeclarationRegistration d;
    d.kind = kind;
    d.name = *name;
    d.hasRecord = record != nullptr;
    if (record) d.record = *record;
    d.count = count;
    if (args)
        for (int32_t i = 0; i < count; ++i) d.args.push_back(copy(args[i]));
    R().declarations.push_back(std::move(d));
    return OK;
}

int32_t opInitTypeDeclaration(const PrefixNamePair* name) {
    KWHOST_ENTER(InitTypeDeclaration);
    if (!name) return INVALID_ACCESS;
    if (!isComplexType(*name)) return NOT_FOUND;
    for (const PrefixNamePair& t : R().initialized)
        if (samePair(t, *name)) return OK;
    R().initialized.push_back(*name);
    return OK;
}

int32_t opRegisterSchemaEnumValue(const XMLCh* value, const PrefixNamePair* type, int32_t number) {
    KWHOST_ENTER(RegisterSchemaEnumValue);
    if (!value || !type) return INVALID_ACCESS;
    if (type->localName.isNone() || !knownKeys(*type)) return VALIDATION;
    for (EnumValue& e : R().enums)
        if (samePair(e.type, *type) && e.text == value) {
            e.number = number;
            return OK;
        }
    R().enums.push_back({*type, value, number});
    return OK;
}

int32_t enumNumber(const std::u16string& typeName, const std::u16string& text, int32_t& number) {
    const PrefixNamePair type = splitTypeName(typeName);
    bool typeKnown = false;
    for (const EnumValue& e : R().enums) {
        if (!samePair(e.type, type)) continue;
        typeKnown = true;
        if (e.text == text) {
            number = e.number;
            return OK;
        }
    }
    return typeKnown ? VALIDATION : NOT_FOUND;
}

int32_t enumText(const std::u16string& typeName, int32_t number, const std::u16string*& text) {
    const PrefixNamePair type = splitTypeName(typeName);
    bool typeKnown = false;
    for (const EnumValue& e : R().enums) {
        if (!samePair(e.type, type)) continue;
        typeKnown = true;
        if (e.number == number) {
            text = &e.text;
            return OK;
        }
    }
    return typeKnown ? VALIDATION : NOT_FOUND;
}

// Base instances.

int32_t opCreateBaseInstance(void** outInstance, const PrefixNamePair* type, const XMLCh* text, void* context,
                             const Kw::KWLIB::ValueMap* values) {
    KWHOST_ENTER(CreateBaseInstance);
    if (!outInstance || !type) return INVALID_ACCESS;
    if (!isComplexType(*type)) return NOT_FOUND;
    if (values && !R().valueMaps.count(values)) return NOT_FOUND;
    auto instance = std::make_unique<BaseInstance>();
    instance->type = *type;
    instance->hasText = text != nullptr;
    instance->text = textOr(text);
    instance->context = context;
    if (values) instance->values = static_cast<const ValueMap*>(values)->entries();
    void* address = instance.get();
    R().instances.emplace(address, std::move(instance));
    *outInstance = address;
    return OK;
}

int32_t opDeleteBaseInstance(const void* instance, const PrefixNamePair* type) {
    KWHOST_ENTER(DeleteBaseInstance);
    if (!instance || !type) return INVALID_ACCESS;
    auto it = R().instances.find(instance);
    if (it == R().instances.end()) return NOT_FOUND;
    if (!samePair(it->second->type, *type)) return VALIDATION;
    R().instances.erase(it);
    return OK;
}

// Value maps.

ValueMap::ValueMap() {
    R().valueMaps.insert(this);
}
ValueMap::~ValueMap() {
    R().valueMaps.erase(this);
}

void ValueMap::set(const std::u16string& key, const std::u16string& value) {
    for (auto& entry : fEntries)
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    fEntries.emplace_back(key, value);
}

int32_t opValueMapAccess(void* out, int32_t operation, const Kw::KWLIB::ValueMap* map, intptr_t argument) {
    KWHOST_ENTER(ValueMapAccess);
    if (!out || !map) return INVALID_ACCESS;
    if (!R().valueMaps.count(map)) return NOT_FOUND;
    const auto& entries = static_cast<const ValueMap*>(map)->entries();
    switch (operation) {
    case GetValue: {
        const XMLCh* key = reinterpret_cast<const XMLCh*>(argument);
        if (!key) return INVALID_ACCESS;
        for (const auto& entry : entries)
            if (entry.first == key) {
                // A string handle the caller destroys.
                *static_cast<BTStringRef__**>(out) =
                    DOMBTString(entry.second.data(), 0, static_cast<long>(entry.second.size())).Release();
                return OK;
            }
        return NOT_FOUND;
    }
    case GetKey:
        if (argument < 0 || static_cast<size_t>(argument) >= entries.size()) return INDEX_SIZE;
        *static_cast<HostKey*>(out) = S().keys.intern(entries[static_cast<size_t>(argument)].first);
        return OK;
    case GetKeyCount:
        *static_cast<int32_t*>(out) = static_cast<int32_t>(entries.size());
        return OK;
    default:
        return NOT_SUPPORTED;
    }
}

} // namespace kwhost
