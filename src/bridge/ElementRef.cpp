#include <DOMKw/bridge/ElementRef.hpp>
#include <DOMKw/bridge/KWLIB.hpp>

#include "bridge/CallbackTable.hpp"
#include "bridge/HostStatus.hpp"

namespace Kw {

using host::callbacks;

namespace {
// The text of a key, "" for no key; a failing lookup throws.
DOMBTString keyText(HostKey key) {
    if (key == NO_KEY) return DOMBTString();
    const XMLCh* text = nullptr;
    checkStatus(callbacks().KeyToString(&text, key));
    return DOMBTString(text);
}
} // namespace

// Navigation: the host's answer is borrowed, so the new reference acquires its own count.

ElementRef ElementRef::navigate(int32_t direction, StringKey key) const {
    HostRef out = NIL;
    checkRead(callbacks().NavigateElement(&out, handle, direction, key.value(), 0));
    return ElementRef::fromHandle(out < 0 ? NIL : out);
}

ElementRef ElementRef::get_FirstChild() const {
    return navigate(host::FirstChild);
}
ElementRef ElementRef::get_Parent() const {
    return navigate(host::Parent);
}
ElementRef ElementRef::get_NextSibling() const {
    return navigate(host::NextSibling);
}
ElementRef ElementRef::get_PreviousSibling() const {
    return navigate(host::PreviousSibling);
}
ElementRef ElementRef::getElementByTagName(StringKey tag) const {
    return navigate(host::ByTag, tag);
}

ElementRef ElementRef::get_Application() {
    HostRef out = NIL;
    checkStatus(callbacks().NavigateElement(&out, NIL, host::Application, NO_KEY, 0));
    return ElementRef::fromHandle(out < 0 ? NIL : out);
}

// Structure and content.

int ElementRef::get_NumChildren() const {
    int32_t count = 0;
    checkRead(callbacks().GetNumChildren(&count, handle));
    return count;
}

void ElementRef::InsertBeforeChild(const ElementRef& newChild, const ElementRef& before) const {
    checkStatus(callbacks().InsertBeforeChild(handle, newChild.handle, before.handle));
}

ElementRef ElementRef::InsertBeforeChild(const DOMBTString& text, const ElementRef& before,
                                         unsigned char flag) const {
    HostRef out = NIL;
    checkStatus(callbacks().InsertNewChild(&out, handle, text.GetUChar16(), before.handle, flag));
    // The host's result already carries our reference.
    ElementRef result;
    result.handle = out < 0 ? NIL : out;
    return result;
}

void ElementRef::RemoveChild(const ElementRef& child) const {
    checkStatus(callbacks().RemoveChild(handle, child.handle));
}

bool ElementRef::CanReplace(const ElementRef&) const {
    return get_AttributeKeys().empty();
}

bool ElementRef::IsTextNode() const {
    bool out = false;
    checkStatus(callbacks().IsTextNode(&out, handle));
    return out;
}

bool ElementRef::IsReadOnly() const {
    bool out = false;
    checkStatus(callbacks().IsReadOnly(handle, &out));
    return out;
}

DOMBTString ElementRef::GetTextValue() const {
    const XMLCh* text = nullptr;
    const HostStatus status = callbacks().GetTextValue(&text, handle);
    return textOrEmpty(status, text);
}

void ElementRef::SetTextValue(int position, const DOMBTString& text) const {
    checkStatus(callbacks().SetTextValue(handle, position, text.GetUChar16()));
}

void ElementRef::DeleteTextValue(int start, int count) const {
    checkStatus(callbacks().DeleteTextValue(handle, start, count));
}

void ElementRef::ValidateElement(XERCES_CPP_NAMESPACE::DOMNode* node) const {
    checkStatus(callbacks().ValidateElement(handle, node));
}

DOMBTString ElementRef::get_TagName() const {
    HostKey key = NO_KEY;
    const HostStatus status = callbacks().GetElementNameKey(&key, 0, handle);
    checkRead(status);
    if (status != 0) return DOMBTString();
    return keyText(key);
}

const XMLCh* ElementRef::tagNameText() const {
    HostKey key = NO_KEY;
    const HostStatus status = callbacks().GetElementNameKey(&key, 0, handle);
    checkRead(status);
    if (status != 0 || key == NO_KEY) return u"";
    const XMLCh* text = nullptr;
    checkStatus(callbacks().KeyToString(&text, key));
    return text ? text : u"";
}

DOMBTString ElementRef::get_URI() const {
    HostKey key = NO_KEY;
    checkRead(callbacks().GetElementNameKey(&key, 1, handle));
    return keyText(key);
}

DOMBTString ElementRef::get_localName() const {
    const KWLIB::PrefixNamePair pair = KWLIB::seperatePrefixName(get_TagName());
    return keyText(pair.localName.value());
}

DOMBTString ElementRef::GetAttributeValue(StringKey name) const {
    const XMLCh* text = nullptr;
    const HostStatus status = callbacks().GetAttributeValue(&text, handle, name.value(), nullptr);
    return textOrEmpty(status, text);
}

DOMBTString ElementRef::GetAttributeValueNS(StringKey nsKey, StringKey localKey) const {
    const XMLCh* text = nullptr;
    const HostStatus status =
        callbacks().GetAttributeValueNS(&text, handle, nsKey.value(), localKey.value(), nullptr);
    return textOrEmpty(status, text);
}

bool ElementRef::hasAttributeNS(StringKey nsKey, StringKey localKey) const {
    bool out = false;
    checkStatus(callbacks().HasAttributeNS(&out, handle, nsKey.value(), localKey.value()));
    return out;
}

long ElementRef::GetXMLHeaderAttr(int mode, int& number, DOMBTString& name, DOMBTString& value) {
    BTStringRef__* nameHandle = nullptr;
    BTStringRef__* valueHandle = nullptr;
    int32_t n = number;
    const HostStatus status = callbacks().GetXMLHeaderAttr(mode, &n, &nameHandle, &valueHandle);
    number = n;
    if (mode == 1) {
        name = DOMBTString(nameHandle);
        value = DOMBTString(valueHandle);
    }
    DOMBTString::DestroyBTStringRef(nameHandle);
    DOMBTString::DestroyBTStringRef(valueHandle);
    return status;
}

} // namespace Kw
