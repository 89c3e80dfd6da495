// The node lists of host-backed nodes.
// Lists hold host references (or a node), not node objects: item() wraps on the spot, and each item
// must be disposed. A list belongs to the node that made it and dies with that node object.
#pragma once

#include <DOMKw/dom/NodeImpl.hpp>
#include <DOMKw/dom/NodeLists.hpp>

#include <xercesc/dom/DOMNodeList.hpp>

namespace domImpl {

// Live: the children of one node, read from the host on every call.
class NodeListNodeImpl : public DOMNodeList {
public:
    explicit NodeListNodeImpl(const DOMNode* node) : node(node) {}
    DOMNode* item(XMLSize_t index) const override;
    XMLSize_t getLength() const override;

private:
    const DOMNode* node;
};

// A snapshot of references collected when the list was made.
class NodeListImpl : public DOMNodeList {
public:
    NodeListImpl(std::vector<Kw::ElementRef> refs, DOMDocument* ownerDocument)
        : refs(std::move(refs)), ownerDocument(ownerDocument) {}
    DOMNode* item(XMLSize_t index) const override;
    XMLSize_t getLength() const override { return static_cast<uint32_t>(refs.size()); }

private:
    std::vector<Kw::ElementRef> refs;
    DOMDocument* ownerDocument;
};

// Live: the siblings from `first` on whose "xsi:type" attribute names the type.
class TypeBasedNodeListImpl : public DOMNodeList {
public:
    TypeBasedNodeListImpl(const Kw::ElementRef& first, Kw::StringKey typeKey, DOMDocument* ownerDocument)
        : first(first), typeKey(typeKey), ownerDocument(ownerDocument) {}
    DOMNode* item(XMLSize_t index) const override;
    XMLSize_t getLength() const override;

private:
    // The match number `index` (from 0), or nil; counts the matches when `index` is negative.
    Kw::ElementRef walk(int64_t index, XMLSize_t* count) const;

    Kw::ElementRef first;
    Kw::StringKey typeKey;
    DOMDocument* ownerDocument;
};

} // namespace domImpl
