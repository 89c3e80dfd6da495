// DOMBTString: the library's one string class. UTF-16 text plus two views built on request:
// an 8-bit windows-1252 view and a UTF-32 view. A view is built once for the present text and stays
// valid until the text changes (an assignment, any mutator) or the string is destroyed; reading the
// views of one const string from several threads is safe.
#pragma once

#include <DOMKw/platform/BTString.hpp>

class DOMBTString : public BTStringMutator {
public:
    DOMBTString() = default;
    DOMBTString(const XMLCh* text, long start, long count) : BTStringMutator(text, start, count) {}
    DOMBTString(const XMLCh* text) : BTStringMutator(text, 0, -1) {}
    DOMBTString(const unsigned char* bytes, long start, long count) : BTStringMutator(bytes, start, count) {}
    explicit DOMBTString(BTMutableStringRef__* handle) : BTStringMutator(handle) {}
    explicit DOMBTString(BTStringRef__* handle) : BTStringMutator(handle) {}
    DOMBTString(const DOMBTString& other) : BTStringMutator(static_cast<const BTString&>(other)) {}
    DOMBTString(const BTStringMutator& other) : BTStringMutator(static_cast<const BTString&>(other)) {}
    // A temporary's text is taken over, not copied; the source is left empty.
    DOMBTString(DOMBTString&& other) noexcept : BTStringMutator(static_cast<BTStringMutator&&>(other)) {}
    DOMBTString(BTStringMutator&& other) noexcept : BTStringMutator(std::move(other)) {}
    DOMBTString(const BTString& other) : BTStringMutator(other) {}
    DOMBTString(const DOMBTString& s, long start, long count) : BTStringMutator(s, start, count) {}
    // Each UTF-32 unit keeps its low 16 bits (no surrogate pairs); count -1 means up to the first 0.
    DOMBTString(const unsigned int* utf32, long count);
    ~DOMBTString() override;

    const XMLCh* GetWChar() const { return GetTerminatedBuffer(); }
    const XMLCh* GetUChar16() const { return GetTerminatedBuffer(); }
    // 8-bit windows-1252 view, NUL-terminated.
    const unsigned char* GetUChar() const;
    // UTF-32 view, each UTF-16 unit zero-extended, NUL-terminated.
    const unsigned int* GetUChar32() const;
    // strncpy of the 8-bit view with `n` taken as an unsigned 16-bit count: not terminated when the
    // text has `n` or more bytes. A null destination throws DOMException 11.
    unsigned char* GetUCharC(unsigned char* dst, long n) const;

    DOMBTString& operator=(const DOMBTString& other);
    DOMBTString& operator=(DOMBTString&& other) noexcept {
        BTStringMutator::operator=(static_cast<BTStringMutator&&>(other));
        return *this;
    }
    DOMBTString& operator=(unsigned short unit);

    // A heap copy of the string, handed out as a handle that the caller owns.
    BTStringRef__* Release() const;

    static void DestroyBTStringRef(BTStringRef__* handle);
    static void DestroyBTMutableStringRef(BTMutableStringRef__* handle);
    static DOMBTString* GetDOMStringFromBTStringRef(BTStringRef__* handle);
    static DOMBTString* GetDOMStringFromBTMutableStringRef(BTMutableStringRef__* handle);
};

DOMBTString operator+(const DOMBTString& a, const DOMBTString& b);

// Base64 through xercesc::Base64; the encoded text carries no line feeds.
DOMBTString BinToBase64(const void* data, unsigned int length);
// `*out` receives a buffer the caller releases with delete[]; nothing happens when `out` is null.
void Base64ToBin(const DOMBTString& s, void** out, unsigned int& length);
DOMBTString Base64ToBin(const DOMBTString& s);
