#include "xpath/TreeShape.hpp"

#include "xpath/ModelNodes.hpp"

namespace domImpl::xpathImpl {

namespace {

// The shape of the tree below the document, in document order: each node, an element's attribute names
// (their number, then the keys), the node's children, and 0 after them. The same tree always gives the
// same sequence and two different trees never do. `take` answers false to stop the walk. `members`, when
// given, counts the nodes and attributes met.
template <class Take> bool describe(NodeModel& view, Take&& take, size_t* members = nullptr) {
    std::vector<ModelNode*> open;
    ModelNode* node = view.applicationNode();
    while (node) {
        if (!take(reinterpret_cast<uintptr_t>(node))) return false;
        if (members) ++*members;
        if (node->kind() == ModelNode::Element) {
            const std::vector<HostKey>& keys = static_cast<ModelElement*>(node)->keys();
            if (members) *members += keys.size();
            if (!take(keys.size())) return false;
            for (HostKey k : keys)
                if (!take(k)) return false;
        }
        if (ModelNode* child = static_cast<HostModelNode*>(node)->link(HostModelNode::FirstChild)) {
            open.push_back(node);
            node = child;
            continue;
        }
        if (!take(0)) return false;
        for (;;) {
            if (ModelNode* next = static_cast<HostModelNode*>(node)->link(HostModelNode::NextSibling)) {
                node = next;
                break;
            }
            if (open.empty()) return true;
            node = open.back();
            open.pop_back();
            if (!take(0)) return false;
        }
    }
    return true;
}

} // namespace

TreeShape::TreeShape(NodeModel& view) {
    describe(
        view,
        [this](uintptr_t token) {
            tokens.push_back(token);
            return true;
        },
        &members);
}

bool TreeShape::matches(NodeModel& view) const {
    size_t at = 0;
    const bool same =
        describe(view, [&](uintptr_t token) { return at < tokens.size() && tokens[at++] == token; });
    return same && at == tokens.size();
}

} // namespace domImpl::xpathImpl
