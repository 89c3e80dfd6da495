// A counted reference to a host element: navigation, structure, text and names.
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>

XERCES_CPP_NAMESPACE_BEGIN
class DOMNode;
XERCES_CPP_NAMESPACE_END

namespace Kw {

class ElementRef : public ObjectRef {
public:
    ElementRef() = default;
    explicit ElementRef(void* handle) : ObjectRef(handle) {}
    ElementRef(const ObjectRef& other) : ObjectRef(other) {}
    static ElementRef fromHandle(HostRef handle) { return ElementRef(reinterpret_cast<void*>(handle)); }

    // Navigation: a new reference, nil when the host has none.
    ElementRef get_FirstChild() const;
    ElementRef get_Parent() const;
    ElementRef get_NextSibling() const;
    ElementRef get_PreviousSibling() const;
    // The first descendant with the tag, in document order.
    ElementRef getElementByTagName(StringKey tag) const;
    static ElementRef get_Application();

    int get_NumChildren() const;
    void InsertBeforeChild(const ElementRef& newChild, const ElementRef& before) const;
    // The host builds the new child from XML text (or a text object when `flag` says so).
    ElementRef InsertBeforeChild(const DOMBTString& text, const ElementRef& before, unsigned char flag) const;
    void RemoveChild(const ElementRef& child) const;
    // True exactly when this element has no attributes; the argument is not consulted.
    bool CanReplace(const ElementRef& other) const;
    bool IsTextNode() const;
    bool IsReadOnly() const;
    DOMBTString GetTextValue() const;
    void SetTextValue(int position, const DOMBTString& text) const;
    void DeleteTextValue(int start, int count) const;
    void ValidateElement(XERCES_CPP_NAMESPACE::DOMNode* node) const;

    DOMBTString get_TagName() const;
    // The same host calls as get_TagName, answering the host's own text of the name key (it lives as
    // long as the connection) instead of a copy: "" when there is none.
    const XMLCh* tagNameText() const;
    DOMBTString get_URI() const;
    DOMBTString get_localName() const;
    DOMBTString GetAttributeValue(StringKey name) const;
    DOMBTString GetAttributeValueNS(StringKey nsKey, StringKey localKey) const;
    bool hasAttributeNS(StringKey nsKey, StringKey localKey) const;

    // mode 0: `number` receives the count; mode 1: `name` and `value` of the 1-based entry `number`.
    // The host's status is returned unchanged.
    static long GetXMLHeaderAttr(int mode, int& number, DOMBTString& name, DOMBTString& value);

private:
    ElementRef navigate(int32_t direction, StringKey key = StringKey()) const;
    friend class ObjectRef;
};

} // namespace Kw

