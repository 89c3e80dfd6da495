// The record behind an attribute node: the library's bookkeeping, not something a plug-in makes.
#pragma once

#include <DOMKw/bridge/ElementRef.hpp>

namespace Kw {

// The record behind an attribute node. Its first two fields are the node's event-target reference.
struct AttributeRef {
    ElementRef owner;
    StringKey name;
    StringKey nsKey;
    StringKey resolvedKey4;
    StringKey resolvedKey3;
    bool useNS = false;

    AttributeRef() = default;
    AttributeRef(const ElementRef& owner, StringKey name) : owner(owner), name(name) {}
    // Takes over the reference `owner` holds.
    AttributeRef(ElementRef&& owner, StringKey name) : owner(std::move(owner)), name(name) {}

    // The value as the host's own text ("" when it refuses): borrowed, to be read (or copied) before the
    // next host call.
    const XMLCh* readText(bool* isDefault = nullptr) const;
    void write(const DOMBTString& text) const;
    bool isImplied() const;
    bool isUncopyable() const;
    // Asks the host for the attribute's namespace, qualified name, prefix and local name.
    void resolveName();
};

} // namespace Kw
