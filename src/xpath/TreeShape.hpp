// The shape of a host tree as XPath's node model sees it: every node in document order with its
// attribute names. Cheap to compare with the tree as it is now (one walk, stopping at the first change).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace domImpl::xpathImpl {

class NodeModel;

class TreeShape {
public:
    // The shape of the tree below the model's document now.
    explicit TreeShape(NodeModel& view);
    // Whether the tree below the model's document has this shape now.
    bool matches(NodeModel& view) const;
    // The nodes and attributes of the tree it was taken from.
    size_t size() const { return members; }

private:
    std::vector<uintptr_t> tokens;
    size_t members = 0;
};

} // namespace domImpl::xpathImpl
