// The filter the delegate asks while the library writes: the caller's filter behind the checks that keep
// the output well-formed and its nesting bounded.
#pragma once

#include <xercesc/dom/DOMLSSerializer.hpp>
#include <xercesc/dom/DOMLSSerializerFilter.hpp>

#include <string>
#include <vector>

#include "serialize/FilterDecision.hpp"
#include "serialize/NodeKey.hpp"

namespace domImpl::serializeImpl {

using XERCES_CPP_NAMESPACE::DOMLSSerializer;
using XERCES_CPP_NAMESPACE::DOMLSSerializerFilter;
using XERCES_CPP_NAMESPACE::DOMNode;

// Stands in for the caller's filter while the delegate writes: every node and attribute the delegate
// meets is checked first; one it could not write well-formed is left out and remembered, and the write
// fails. The caller's filter decides the rest, as the delegate would ask it.
//
// It also keeps the nesting level: the delegate calls itself once per level, so a node deeper than
// WriterImpl::maxDepth below the node given to write is left out, before the delegate goes into it,
// and the write fails. The level comes from the path of nodes from that node down to the one asked
// about: the delegate asks in document order, so the new node's parent is on the path, and whatever
// stands below the parent there has been written already.
class GuardFilter : public DOMLSSerializerFilter {
public:
    // `root` is the node given to write: the delegate writes it or, when it is an element, its children.
    // Either way it starts the path at level 0 (the delegate does not ask about a document node itself;
    // when it asks about the root, the root's parent is not on the path and the path starts afresh).
    GuardFilter(DOMLSSerializerFilter* user, const DOMNode* root)
        : user(user), userIsSaveFilter(user && isSaveFilter(user)), path{keyOf(root)},
          tracking(asNodeImpl(root) || asDocumentImpl(root)) {}
    FilterAction acceptNode(const DOMNode* node) const override;
    ShowType getWhatToShow() const override { return 0xFFFFFFFF; }
    bool failed() const { return unwritable || tooDeep; }
    // The caller's filter's decision on a node (accept when there is none or it does not look at the kind).
    short decide(const DOMNode* node) const {
        return user ? serializeImpl::decide(user, userIsSaveFilter, node) : static_cast<short>(FILTER_ACCEPT);
    }

    // Puts a node the writer writes itself on the path (a document's element), as if the delegate had
    // asked about it; false when it lies past the nesting bound.
    bool enter(const DOMNode* node);

    // For a writer that walks host handles itself (HostWalk): the same path, nesting bound and prefix
    // bookkeeping as when the delegate asks about the node with the key `node` below `parent`.
    bool descend(const NodeKey& parent, const NodeKey& node) const { return withinDepth(parent, node); }
    // An element's name (attribute false) or an attribute's name written at the innermost node entered.
    void noteWritten(const XMLCh* name, bool attribute) const { noteName(name, attribute); }
    // The value of an xsi:type attribute written at the innermost node entered.
    void noteTypeValue(const XMLCh* value) const { noteValue(value); }
    // Forgets what was noted at the node with the key `node` (on the path) and below it: the node is
    // left out after all, as if the caller's filter had rejected it when asked.
    void forget(const NodeKey& node) const;
    // Whether the writer may walk host handles itself: no filter of the caller's is there to ask, or
    // the filter is the library's own save filter (that class itself, not one derived from it).
    bool withoutCallerFilter() const { return user == nullptr; }
    bool filterIsTheSaveFilterItself() const;

    // The prefixes used in names the delegate wrote that no declaration it wrote around them binds:
    // they must be declared on the outermost start tag. The path is closed down to the node given to
    // write.
    std::vector<std::u16string> undeclared() const { return closed(&Scope::used, orphans); }
    // The same for the prefixes of xsi:type values (QNames): declared when the document binds them.
    std::vector<std::u16string> undeclaredInValues() const {
        return closed(&Scope::inValues, orphansInValues);
    }

private:
    // The declarations written on one element of the path and the prefixes used at or below it that
    // are not bound yet.
    struct Scope {
        std::vector<std::u16string> declared, used, inValues;
    };

    std::vector<std::u16string> closed(std::vector<std::u16string> Scope::*which,
                                       const std::vector<std::u16string>& orphaned) const;

    bool withinDepth(const DOMNode* node) const;
    bool withinDepth(const NodeKey& parent, const NodeKey& node) const;

    void pop() const;

    void noteValue(const XMLCh* value) const;

    void noteName(const XMLCh* name, bool attribute) const;

    DOMLSSerializerFilter* user;
    const bool userIsSaveFilter;
    mutable std::vector<NodeKey> path;
    mutable std::vector<Scope> scopes{1};
    mutable std::vector<std::u16string> orphans, orphansInValues;
    // Prefixes are followed for our nodes only: the delegate declares those of Xerces-C nodes itself,
    // from their namespace information.
    const bool tracking;
    mutable bool unwritable = false;
    mutable bool tooDeep = false;
};

// Installs the guard on the delegate for one write and gives the caller's filter back afterwards.
class Guarded {
public:
    Guarded(DOMLSSerializer* d, DOMLSSerializerFilter* user, const DOMNode* root)
        : d(d), user(user), guard(user, root) {
        d->setFilter(&guard);
    }
    ~Guarded() { d->setFilter(user); }
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;
    bool failed() const { return guard.failed(); }
    GuardFilter& filter() { return guard; }

private:
    DOMLSSerializer* d;
    DOMLSSerializerFilter* user;
    GuardFilter guard;
};

} // namespace domImpl::serializeImpl
