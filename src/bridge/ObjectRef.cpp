#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/strings/SimpleType.hpp>

#include <cstdint>
#include <cstdio>

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

// "first/second" as two 32-bit numbers, each sign-extended; a number the text does not hold is 0. The
// text is scanned from its first 255 bytes, always terminated (GetUCharC alone leaves a long text
// unterminated).
ObjectRef::DoubleRef parsePair(const DOMBTString& text) {
    unsigned char bytes[256];
    text.GetUCharC(bytes, sizeof bytes - 1);
    bytes[sizeof bytes - 1] = 0;
    int32_t first = 0, second = 0;
    std::sscanf(reinterpret_cast<const char*>(bytes), "%d/%d", &first, &second);
    ObjectRef::DoubleRef pair;
    pair.first = first;
    pair.second = second;
    return pair;
}
} // namespace

// Counting.

ObjectRef::ObjectRef(void* h) : handle(reinterpret_cast<HostRef>(h)) {
    if (!isNil()) checkStatus(callbacks().AdjustReference(handle, true));
}

ObjectRef::ObjectRef(const ObjectRef& other) : handle(other.handle) {
    if (!isNil()) checkStatus(callbacks().AdjustReference(handle, true));
}

ObjectRef& ObjectRef::operator=(const ObjectRef& other) {
    if (handle == other.handle) return *this;
    if (!isNil()) {
        const HostRef old = handle;
        handle = NIL; // a failing release must not leave us releasing it again later
        checkStatus(callbacks().AdjustReference(old, false));
    }
    if (other.handle > NIL) checkStatus(callbacks().AdjustReference(other.handle, true));
    handle = other.handle;
    return *this;
}

ObjectRef& ObjectRef::operator=(ObjectRef&& other) {
    if (this == &other) return *this;
    if (handle == other.handle) {
        // Both hold the same object: the source's reference goes, as when a copied-from temporary dies.
        ObjectRef source(std::move(other));
        return *this;
    }
    const HostRef old = handle;
    handle = other.handle;
    other.handle = NIL;
    if (old > NIL) checkStatus(callbacks().AdjustReference(old, false));
    return *this;
}

ObjectRef::~ObjectRef() {
    if (!isNil()) callbacks().AdjustReference(handle, false);
}

// Attributes.

DOMBTString ObjectRef::GetAttribute(StringKey name) const {
    return AttributeRef(ElementRef(*this), name).read();
}

DOMBTString ObjectRef::SetAttribute(StringKey name, const DOMBTString& value) const {
    AttributeRef attr(ElementRef(*this), name);
    DOMBTString previous = attr.read();
    attr.write(value);
    return previous;
}

DOMBTString ObjectRef::SetAttribute(StringKey name, const XMLCh* value) const {
    return SetAttribute(name, DOMBTString(value));
}

bool ObjectRef::GetAttributeBool(StringKey name) const {
    return XSD::SimpleType::ToBoolean(GetAttribute(name));
}

unsigned short ObjectRef::GetAttributeUShort(StringKey name) const {
    return XSD::SimpleType::ToUShort(GetAttribute(name));
}

int32_t ObjectRef::GetAttributeLong(StringKey name) const {
    return XSD::SimpleType::ToLong(GetAttribute(name));
}

ObjectRef::DoubleRef ObjectRef::GetAttributeDoubleRef(StringKey name) const {
    return parsePair(GetAttribute(name));
}

bool ObjectRef::SetAttribute(StringKey name, bool value) const {
    const DOMBTString previous = SetAttribute(name, XSD::SimpleType::ToString(value));
    const std::u16string& text = previous.str();
    // Only "true" and "1" were true; anything else, "" for an absent attribute included, was not.
    return text == u"true" || text == u"1";
}

unsigned short ObjectRef::SetAttribute(StringKey name, unsigned short value) const {
    return XSD::SimpleType::ToUShort(SetAttribute(name, XSD::SimpleType::ToString(value)));
}

int32_t ObjectRef::SetAttribute(StringKey name, int32_t value) const {
    return XSD::SimpleType::ToLong(SetAttribute(name, XSD::SimpleType::ToString(value)));
}

int32_t ObjectRef::SetAttribute(StringKey name, long long value) const {
    // The host's numbers are 32 bits wide: a wider value is refused, not cut (16, a conversion refusal).
    if (value < INT32_MIN || value > INT32_MAX) throwDOMException(16);
    return SetAttribute(name, static_cast<int32_t>(value));
}

int32_t ObjectRef::SetAttribute(StringKey name, long value) const {
    return SetAttribute(name, static_cast<long long>(value));
}

int32_t ObjectRef::SetAttribute(StringKey name, unsigned long long value) const {
    if (value > static_cast<unsigned long long>(INT32_MAX)) throwDOMException(16);
    return SetAttribute(name, static_cast<int32_t>(value));
}

int32_t ObjectRef::SetAttribute(StringKey name, unsigned long value) const {
    return SetAttribute(name, static_cast<unsigned long long>(value));
}

int32_t ObjectRef::SetAttribute(StringKey name, unsigned int value) const {
    return SetAttribute(name, static_cast<unsigned long long>(value));
}

ObjectRef::DoubleRef ObjectRef::SetAttribute(StringKey name, const DoubleRef& value) const {
    const DOMBTString text = XSD::SimpleType::ToString(static_cast<int32_t>(value.first)) +
                             DOMBTString(u"/") +
                             XSD::SimpleType::ToString(static_cast<int32_t>(value.second));
    return parsePair(SetAttribute(name, text));
}

std::vector<StringKey> ObjectRef::get_AttributeKeys() const {
    HostKey keys[255];
    int32_t count = 0;
    checkRead(callbacks().GetAttributeKeys(&count, handle, keys, 255));
    std::vector<StringKey> result;
    if (count < 1) return result;
    if (count > 255) count = 255;
    result.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) result.push_back(StringKey::fromValue(keys[i]));
    return result;
}

// Navigation: the host's answer is borrowed, so the new reference acquires its own count.

ElementRef ElementRef::navigate(int32_t direction, StringKey key) const {
    HostRef out = NIL;
    checkRead(callbacks().NavigateElement(&out, handle, direction, key.value(), 0));
    return ElementRef::fromHandle(out < 0 ? NIL : out);
}

ElementRef ElementRef::get_FirstChild() const { return navigate(host::FirstChild); }
ElementRef ElementRef::get_Parent() const { return navigate(host::Parent); }
ElementRef ElementRef::get_NextSibling() const { return navigate(host::NextSibling); }
ElementRef ElementRef::get_PreviousSibling() const { return navigate(host::PreviousSibling); }
ElementRef ElementRef::getElementByTagName(StringKey tag) const { return navigate(host::ByTag, tag); }

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

bool ElementRef::CanReplace(const ElementRef&) const { return get_AttributeKeys().empty(); }

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
    const HostStatus status = callbacks().GetAttributeValueNS(&text, handle, nsKey.value(), localKey.value(), nullptr);
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

// Events.

void EventRef::StopPropagation() const { callbacks().ControlEvent(handle, 0, 0); }
void EventRef::PreventDefault() const { callbacks().ControlEvent(handle, 1, 0); }

EventRef EventRef::CreateFrom(const DOMBTString& type) {
    HostKey key = NO_KEY;
    checkStatus(callbacks().StringToKey(&key, type.GetUChar16()));
    HostRef out = NIL;
    checkStatus(callbacks().CreateEvent(&out, key));
    return EventRef(reinterpret_cast<void*>(out < 0 ? NIL : out));
}

// The attribute record.

const DOMBTString& AttributeRef::read(bool* isDefault) {
    const XMLCh* text = nullptr;
    const HostStatus status =
        useNS ? callbacks().GetAttributeValueNS(&text, owner.get(), nsKey.value(), name.value(), isDefault)
              : callbacks().GetAttributeValue(&text, owner.get(), name.value(), isDefault);
    value = textOrEmpty(status, text);
    return value;
}

void AttributeRef::write(const DOMBTString& text) const {
    checkStatus(useNS ? callbacks().SetAttributeValueNS(owner.get(), nsKey.value(), name.value(), text.GetUChar16())
                      : callbacks().SetAttributeValue(owner.get(), name.value(), text.GetUChar16()));
}

bool AttributeRef::isImplied() const {
    bool out = false;
    checkStatus(callbacks().IsAttributeImplied(owner.get(), name.value(), &out));
    return out;
}

bool AttributeRef::isUncopyable() const {
    int32_t out = 0;
    checkStatus(callbacks().IsAttributeUncopyable(owner.get(), name.value(), &out));
    return out != 0;
}

void AttributeRef::resolveName() {
    HostKey out[4] = {NO_KEY, NO_KEY, NO_KEY, NO_KEY};
    checkStatus(callbacks().ResolveAttributeName(out, owner.get(), nsKey.value(), name.value()));
    nsKey = StringKey::fromValue(out[0]);
    name = StringKey::fromValue(out[1]);
    resolvedKey3 = StringKey::fromValue(out[2]);
    resolvedKey4 = StringKey::fromValue(out[3]);
    useNS = false;
}

} // namespace Kw
