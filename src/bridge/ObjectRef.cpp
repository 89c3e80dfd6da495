#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/strings/SimpleType.hpp>

#include <cstdint>
#include <cstdio>

#include "bridge/AttributeRef.hpp"
#include "bridge/CallbackTable.hpp"
#include "bridge/HostStatus.hpp"
#include "bridge/PairText.hpp"

namespace Kw {

using host::callbacks;

namespace {
// "first/second" as two 32-bit numbers, each sign-extended; a number the text does not hold is 0. The
// text is scanned from its first 255 bytes in windows-1252, always terminated (GetUCharC alone leaves a
// long text unterminated).
ObjectRef::DoubleRef parsePairThrough8Bit(const DOMBTString& text) {
    unsigned char bytes[256];
    text.GetUCharC(bytes, sizeof bytes - 1);
    bytes[sizeof bytes - 1] = 0;
    long first = 0, second = 0;
    std::sscanf(reinterpret_cast<const char*>(bytes), "%ld/%ld", &first, &second);
    ObjectRef::DoubleRef pair;
    pair.first = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(first)));
    pair.second = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(second)));
    return pair;
}

// The same read straight from the UTF-16 text; only a text with units outside ASCII where the read looks
// goes through the 8-bit conversion.
ObjectRef::DoubleRef parsePair(const XMLCh* text, size_t length) {
    int32_t first = 0, second = 0;
    if (!readPairText(text, length, first, second)) return parsePairThrough8Bit(DOMBTString(text, 0, static_cast<long>(length)));
    ObjectRef::DoubleRef pair;
    pair.first = first;
    pair.second = second;
    return pair;
}

ObjectRef::DoubleRef parsePair(const DOMBTString& text) {
    return parsePair(text.GetUChar16(), static_cast<size_t>(text.GetLength()));
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
    if (!isNil()) notExamined(callbacks().AdjustReference(handle, false));
}

// Attributes.

// The temporary record takes the one reference it holds straight from a new ElementRef: no copy of it.
DOMBTString ObjectRef::GetAttribute(StringKey name) const {
    AttributeRef attr(ElementRef::fromHandle(handle), name);
    return DOMBTString(attr.readText());
}

DOMBTString ObjectRef::SetAttribute(StringKey name, const DOMBTString& value) const {
    AttributeRef attr(ElementRef::fromHandle(handle), name);
    DOMBTString previous(attr.readText());
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
    AttributeRef attr(ElementRef::fromHandle(handle), name);
    // The host's text is read in place, before any other host call.
    const XMLCh* text = attr.readText();
    return parsePair(text, std::char_traits<XMLCh>::length(text));
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

int32_t ObjectRef::countAttributeKeys() const {
    HostKey keys[255];
    int32_t count = 0;
    checkRead(callbacks().GetAttributeKeys(&count, handle, keys, 255));
    if (count < 1) return 0;
    return count > 255 ? 255 : count;
}

} // namespace Kw
