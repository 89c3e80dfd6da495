#include "serialize/WriterFilterImpl.hpp"

#include <xercesc/dom/DOM.hpp>

#include <unordered_map>
#include <utility>
#include <vector>

#include "dom/NodeGuard.hpp"
#include "serialize/NodeKey.hpp"

using namespace XERCES_CPP_NAMESPACE;
using domImpl::serializeImpl::keyOf;
using domImpl::serializeImpl::NodeKey;
using domImpl::serializeImpl::NodeKeyHash;

namespace domImpl {

struct WriterFilterImpl::Answers {
    // true: the element has a text node or a specified attribute at or below it; false: it has none.
    std::unordered_map<NodeKey, bool, NodeKeyHash> known;
};

WriterFilterImpl::WriterFilterImpl() = default;
WriterFilterImpl::~WriterFilterImpl() = default;

WriterFilterImpl::WriteSession::WriteSession(const WriterFilterImpl& filter)
    : filter(filter), previous(std::move(filter.answers)) {
    filter.answers = std::make_unique<Answers>();
}

WriterFilterImpl::WriteSession::~WriteSession() {
    filter.answers = std::move(previous);
}

namespace {

enum class Found { Yes, No, Below };

// What a node shows by itself: text is kept, so is a node with a specified attribute; otherwise the
// answer lies below it (or is already known).
Found examine(const DOMNode* node, const WriterFilterImpl::Answers* answers) {
    if (node->getNodeType() == DOMNode::TEXT_NODE) return Found::Yes;
    if (answers) {
        auto it = answers->known.find(keyOf(node));
        if (it != answers->known.end()) return it->second ? Found::Yes : Found::No;
    }
    if (DOMNamedNodeMap* attrs = node->getAttributes()) {
        const XMLSize_t n = attrs->getLength();
        for (XMLSize_t i = 0; i < n; ++i) {
            NodeGuard<DOMAttr> a(static_cast<DOMAttr*>(attrs->item(i)));
            if (a && a->getSpecified()) return Found::Yes;
        }
    }
    return Found::Below;
}

} // namespace

DOMNodeFilter::FilterAction WriterFilterImpl::acceptNode(const DOMNode* node) const {
    // The delegate also asks about each attribute it writes; an attribute has no attribute map of its
    // own: it is kept when specified.
    if (node->getNodeType() == DOMNode::ATTRIBUTE_NODE)
        return static_cast<const DOMAttr*>(node)->getSpecified() ? FILTER_ACCEPT : FILTER_REJECT;
    Answers* const memo = answers.get();
    const Found self = examine(node, memo);
    if (self != Found::Below) return self == Found::Yes ? FILTER_ACCEPT : FILTER_REJECT;

    // Depth first, in document order, down to the first node that is kept, with the path there held in
    // a vector instead of the call stack. Once found, every element on the path is known to be kept;
    // an element whose subtree was searched to its end is known to be left out.
    struct Level {
        NodeKey key;
        NodeGuard<DOMNode> owned; // null for `node` itself, which is the caller's
        NodeGuard<DOMNode> child;
    };
    std::vector<Level> path;
    path.push_back({keyOf(node), NodeGuard<DOMNode>(), NodeGuard<DOMNode>(node->getFirstChild())});
    while (!path.empty()) {
        Level& level = path.back();
        if (!level.child) {
            if (memo) memo->known[level.key] = false;
            const NodeGuard<DOMNode> done(std::move(level.owned));
            path.pop_back();
            if (!path.empty()) path.back().child.reset(done->getNextSibling());
            continue;
        }
        const DOMNode* child = level.child.get();
        switch (examine(child, memo)) {
        case Found::Yes:
            if (memo)
                for (const Level& l : path) memo->known[l.key] = true;
            return FILTER_ACCEPT;
        case Found::No:
            level.child.reset(child->getNextSibling());
            break;
        case Found::Below: {
            NodeGuard<DOMNode> first(child->getFirstChild());
            const NodeKey key = keyOf(child);
            NodeGuard<DOMNode> owned(level.child.release());
            path.push_back({key, std::move(owned), std::move(first)});
            break;
        }
        }
    }
    return FILTER_REJECT;
}

} // namespace domImpl
