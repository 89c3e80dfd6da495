// Holds a node object the library must end, so that an exception on the way cannot leak it: the public
// guard plug-ins use, under the name the library's own code knows it by.
#pragma once

#include <DOMKw/dom/Owned.hpp>

namespace domImpl {

// Nodes only: what ends with release() (a document, a serializer) is held as dom::Owned by that name.
template <class T> using NodeGuard = dom::Owned<T>;

} // namespace domImpl
