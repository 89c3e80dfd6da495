// While the library writes host nodes through a Xerces-C serializer, the nodes answer without namespace
// information: host trees carry their namespace declarations as ordinary attributes, which are written
// as they stand, and the serializer (which always fixes namespaces up from what it wrote itself, not
// knowing the outermost element the library writes) must not declare them again.
#pragma once

namespace domImpl {

bool& namespaceInfoHidden();

class HideNamespaceInfo {
public:
    HideNamespaceInfo() : previous(namespaceInfoHidden()) { namespaceInfoHidden() = true; }
    ~HideNamespaceInfo() { namespaceInfoHidden() = previous; }
    HideNamespaceInfo(const HideNamespaceInfo&) = delete;
    HideNamespaceInfo& operator=(const HideNamespaceInfo&) = delete;

private:
    bool previous;
};

} // namespace domImpl
