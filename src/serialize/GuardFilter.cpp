#include "serialize/GuardFilter.hpp"

#include <algorithm>
#include <typeinfo>
#include <utility>

#include "dom/NodeGuard.hpp"
#include "serialize/FilterDecision.hpp"
#include "serialize/WriterFilterImpl.hpp"
#include "serialize/WriterImpl.hpp"
#include "serialize/XmlChecks.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::serializeImpl {

DOMNodeFilter::FilterAction GuardFilter::acceptNode(const DOMNode* node) const {
    const bool attribute = node->getNodeType() == DOMNode::ATTRIBUTE_NODE;
    const bool deep = !attribute && !withinDepth(node);
    FilterAction action = FILTER_ACCEPT;
    if (user) action = static_cast<FilterAction>(decide(node));
    // What the caller's filter leaves out whole is neither written nor counted.
    if (action == FILTER_REJECT) return FILTER_REJECT;
    if (deep) {
        tooDeep = true;
        return FILTER_REJECT;
    }
    if (!writable(node)) {
        unwritable = true;
        return FILTER_REJECT;
    }
    if (tracking && action == FILTER_ACCEPT && (attribute || node->getNodeType() == DOMNode::ELEMENT_NODE)) {
        noteName(node->getNodeName(), attribute);
        if (attribute && isTypeAttribute(node->getNodeName())) noteValue(node->getNodeValue());
    }
    return action;
}

bool GuardFilter::enter(const DOMNode* node) {
    if (withinDepth(node)) return true;
    tooDeep = true;
    return false;
}

std::vector<std::u16string> GuardFilter::closed(std::vector<std::u16string> Scope::*which,
                                                const std::vector<std::u16string>& orphaned) const {
    while (path.size() > 1) pop();
    std::vector<std::u16string> out(orphaned);
    if (!scopes.empty()) out.insert(out.end(), (scopes[0].*which).begin(), (scopes[0].*which).end());
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

bool GuardFilter::withinDepth(const DOMNode* node) const {
    const NodeGuard<DOMNode> parent(node->getParentNode());
    return withinDepth(keyOf(parent.get()), keyOf(node));
}

bool GuardFilter::withinDepth(const NodeKey& up, const NodeKey& node) const {
    while (!path.empty() && !(path.back() == up)) pop();
    path.push_back(node);
    scopes.emplace_back();
    return path.size() - 1 <= WriterImpl::maxDepth;
}

void GuardFilter::forget(const NodeKey& node) const {
    while (!path.empty() && !(path.back() == node)) pop();
    if (!scopes.empty()) scopes.back() = Scope();
}

bool GuardFilter::filterIsTheSaveFilterItself() const {
    return userIsSaveFilter && typeid(*user) == typeid(WriterFilterImpl);
}

// Leaves the innermost element: what it used and did not declare goes up to its parent.
void GuardFilter::pop() const {
    Scope done = std::move(scopes.back());
    scopes.pop_back();
    path.pop_back();
    for (std::u16string& prefix : done.used) {
        if (std::find(done.declared.begin(), done.declared.end(), prefix) != done.declared.end()) continue;
        std::vector<std::u16string>& up = scopes.empty() ? orphans : scopes.back().used;
        if (std::find(up.begin(), up.end(), prefix) == up.end()) up.push_back(std::move(prefix));
    }
    for (std::u16string& prefix : done.inValues) {
        if (std::find(done.declared.begin(), done.declared.end(), prefix) != done.declared.end()) continue;
        std::vector<std::u16string>& up = scopes.empty() ? orphansInValues : scopes.back().inValues;
        if (std::find(up.begin(), up.end(), prefix) == up.end()) up.push_back(std::move(prefix));
    }
}

void GuardFilter::noteValue(const XMLCh* value) const {
    if (scopes.empty()) return;
    std::u16string prefix = valuePrefix(value);
    std::vector<std::u16string>& in = scopes.back().inValues;
    if (!prefix.empty() && std::find(in.begin(), in.end(), prefix) == in.end())
        in.push_back(std::move(prefix));
}

void GuardFilter::noteName(const XMLCh* name, bool attribute) const {
    if (scopes.empty() || !name) return;
    // A name without a colon neither uses a prefix nor declares one.
    const XMLCh* c = name;
    while (*c && *c != u':') ++c;
    if (!*c) return;
    const std::u16string text(name);
    const size_t colon = text.find(u':');
    Scope& scope = scopes.back();
    if (attribute && text.compare(0, 6, u"xmlns:") == 0) {
        scope.declared.push_back(text.substr(6));
        return;
    }
    if (colon == std::u16string::npos) return;
    std::u16string prefix = text.substr(0, colon);
    if (prefix == u"xml" || prefix == u"xmlns") return;
    if (std::find(scope.used.begin(), scope.used.end(), prefix) == scope.used.end())
        scope.used.push_back(std::move(prefix));
}

} // namespace domImpl::serializeImpl
