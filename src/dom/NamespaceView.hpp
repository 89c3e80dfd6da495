// While the library writes host nodes through a Xerces-C serializer, the nodes answer the writer without
// namespace information: host trees carry their namespace declarations as ordinary attributes, which are
// written as they stand, and the serializer (which always fixes namespaces up from what it wrote itself,
// not knowing the outermost element the library writes) must not declare them again.
//
// The hiding is the writer's own: it holds on the writing thread only, and wherever a write hands
// control to the caller's code (a filter, the destination's byte stream, an error handler), the call
// runs inside a ShowNamespaceInfo, so that the caller sees the answers it gets outside a write.
#pragma once

namespace domImpl {

// Whether the nodes answer this thread without namespace information.
bool& namespaceInfoHidden();

// Sets the answer for a scope and puts the previous one back when the scope ends (scopes nest: a write
// inside a caller's filter hides again, and the filter's view comes back after it).
class NamespaceInfoScope {
public:
    explicit NamespaceInfoScope(bool hidden) : previous(namespaceInfoHidden()) {
        namespaceInfoHidden() = hidden;
    }
    ~NamespaceInfoScope() { namespaceInfoHidden() = previous; }
    NamespaceInfoScope(const NamespaceInfoScope&) = delete;
    NamespaceInfoScope& operator=(const NamespaceInfoScope&) = delete;

private:
    bool previous;
};

// The writer's reads: no namespace information.
struct HideNamespaceInfo : NamespaceInfoScope {
    HideNamespaceInfo() : NamespaceInfoScope(true) {}
};

// A call out to the caller's code during a write: the normal answers.
struct ShowNamespaceInfo : NamespaceInfoScope {
    ShowNamespaceInfo() : NamespaceInfoScope(false) {}
};

} // namespace domImpl
