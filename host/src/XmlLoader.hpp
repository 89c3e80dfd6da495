// Reading XML into the store: project files, inserted XML text and character data.
#pragma once

#include "Store.hpp"

namespace kwhost {

// A text refused for a bound of the host (attribute count, depth) rather than for its syntax.
class LimitError : public LoadError {
public:
    using LoadError::LoadError;
};

// Parses XML text into a detached subtree of the store (the loader and InsertNewChild share it). A file's
// whitespace-only text between elements is dropped; inserted text keeps all of its text.
// `scope` is the element under which the subtree will live, for namespace prefixes it does not declare.
// Throws LoadError. `header` receives the host:header entries when not null.
Object* parseXml(Store& store, const std::string& bytes, const std::string& systemId, const Object* scope,
                 std::vector<std::pair<std::u16string, std::u16string>>* header);
Object* parseXml(Store& store, const std::u16string& text, const Object* scope);

// Decodes XML character data (the five predefined entities and character references); false for markup
// or a malformed reference.
bool decodeCharacterData(const std::u16string& text, std::u16string& out);

} // namespace kwhost
