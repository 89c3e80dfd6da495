// Counted references to host objects. Every non-nil reference holds one host reference.
#pragma once

#include <DOMKw/bridge/StringKey.hpp>

#include <vector>

namespace Kw {

class ObjectRef {
public:
    static constexpr HostRef NIL = -1;

    // Two numbers of an attribute written "first/second".
    struct DoubleRef {
        int64_t first = 0;
        int64_t second = 0;
    };

    ObjectRef() = default;
    // Takes the handle and acquires a reference when it is not nil.
    explicit ObjectRef(void* handle);
    static ObjectRef fromHandle(HostRef handle) { return ObjectRef(reinterpret_cast<void*>(handle)); }
    ObjectRef(const ObjectRef& other);
    ObjectRef& operator=(const ObjectRef& other);
    // Moving hands the reference over without acquiring it again; the source becomes nil. A move
    // assignment releases what was held exactly as a copy assignment does (a refusal is thrown).
    ObjectRef(ObjectRef&& other) noexcept : handle(other.handle) { other.handle = NIL; }
    ObjectRef& operator=(ObjectRef&& other);
    ~ObjectRef();

    bool isNil() const { return handle <= NIL; }
    operator void*() const { return reinterpret_cast<void*>(handle); }
    HostRef get() const { return handle; }

    // Attribute access by key; reads fall back to "" when the host refuses.
    DOMBTString GetAttribute(StringKey name) const;
    // Writes the new text and returns the text read before the write.
    DOMBTString SetAttribute(StringKey name, const DOMBTString& value) const;
    // Plain text, so that a literal never picks the bool overload below.
    DOMBTString SetAttribute(StringKey name, const XMLCh* value) const;

    // Typed reads: the text converted with XSD::SimpleType (ToBoolean throws DOMException 16 for text
    // that is not a boolean, an absent attribute included).
    bool GetAttributeBool(StringKey name) const;
    unsigned short GetAttributeUShort(StringKey name) const;
    int32_t GetAttributeLong(StringKey name) const;
    // The two numbers of a "first/second" text; a number the text does not hold reads as 0.
    DoubleRef GetAttributeDoubleRef(StringKey name) const;

    // Typed writes: the value written as text; the result is the previous text converted to the same
    // type. A previous text that is not a boolean (an absent attribute included) gives false: the write
    // has happened by then and is not reported as a failure.
    bool SetAttribute(StringKey name, bool value) const;
    unsigned short SetAttribute(StringKey name, unsigned short value) const;
    int32_t SetAttribute(StringKey name, int32_t value) const;
    // A `long` or `long long` (64 bits wide on LP64 systems) means the host's signed 32-bit number: it is
    // written as the int32_t overload writes it. A value outside the 32-bit range is refused with
    // DOMException 16 before anything is written.
    int32_t SetAttribute(StringKey name, long value) const;
    int32_t SetAttribute(StringKey name, long long value) const;
    // Unsigned counts (`uint32_t`, `size_t`) the same way: a value above the largest signed 32-bit number
    // is refused with DOMException 16 before anything is written.
    int32_t SetAttribute(StringKey name, unsigned int value) const;
    int32_t SetAttribute(StringKey name, unsigned long value) const;
    int32_t SetAttribute(StringKey name, unsigned long long value) const;
    // Writes the low 32 bits of each number as "first/second"; returns the previous pair.
    DoubleRef SetAttribute(StringKey name, const DoubleRef& value) const;
    // The element's attribute keys in the host's order, at most 255.
    std::vector<StringKey> get_AttributeKeys() const;
    // How many keys get_AttributeKeys would answer (the same host call and checks), without the list.
    int32_t countAttributeKeys() const;

protected:
    HostRef handle = NIL;
};

} // namespace Kw

// The typed references: most callers want them, and every existing include of this header keeps finding
// them here.
#include <DOMKw/bridge/ElementRef.hpp>
#include <DOMKw/bridge/EventRef.hpp>
