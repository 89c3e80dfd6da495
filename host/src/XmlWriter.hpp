// Writing the store out: a subtree as XML, and UTF-16 text as UTF-8.
#pragma once

#include "Store.hpp"

namespace kwhost {

// Writes a subtree as XML (UTF-16).
void writeXml(const Store& store, const Object* obj, bool withImplied, std::u16string& out);

// UTF-16 to UTF-8 (file names, messages).
std::string toUtf8(const std::u16string& s);

} // namespace kwhost
