// The schema registrations plug-ins made, the base instances and the value maps the host answers for.
#pragma once

#include <DOMKwHost/ReferenceHost.hpp>

#include <map>
#include <memory>
#include <set>
#include <vector>

namespace kwhost {

// What plug-ins registered, kept as it arrived.
struct Schema {
    std::vector<NamespaceRegistration> namespaces;
    std::vector<DeclarationRegistration> declarations;
    std::vector<Kw::KWLIB::PrefixNamePair> initialized;
    std::vector<EnumValue> enums;
    std::map<const void*, std::unique_ptr<BaseInstance>> instances;
    std::map<const void*, uint64_t> xpathReleases;
    std::set<const Kw::KWLIB::ValueMap*> valueMaps; // the live kwhost::ValueMap objects
};

inline bool samePair(const Kw::KWLIB::PrefixNamePair& a, const Kw::KWLIB::PrefixNamePair& b) {
    return a.prefix == b.prefix && a.localName == b.localName;
}

} // namespace kwhost
