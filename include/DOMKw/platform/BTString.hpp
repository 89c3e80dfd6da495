// BTString / BTStringMutator: the UTF-16 string storage that DOMBTString builds on.
// The handle types are opaque: a handle is the address of a heap string object.
#pragma once

#include <DOMKw/platform/PublishedView.hpp>

#include <cstdint>
#include <string>
#include <utility>

#include <xercesc/util/XercesDefs.hpp>

struct BTStringRef__;
struct BTMutableStringRef__;

class BTString {
public:
    BTString() = default;
    BTString(const XMLCh* text, long start = 0, long count = -1);
    // 8-bit text in windows-1252, the code page of DOMBTString::GetUChar, so that every byte round-trips.
    BTString(const unsigned char* bytes, long start, long count);
    BTString(const char* bytes, long start, long count);
    explicit BTString(BTStringRef__* handle);
    explicit BTString(BTMutableStringRef__* handle);
    // Copies the text; views are built again on demand.
    BTString(const BTString& other) : fText(other.fText) {}
    // Takes the text over; `other` is left empty (its views are dropped).
    BTString(BTString&& other) noexcept : fText(std::move(other.fText)) { other.leaveEmpty(); }
    BTString(const BTString& other, long start, long count);
    virtual ~BTString();

    BTString& operator=(const BTString& other);
    // Takes the text over without allocating; `other` is left empty. A text that fits the buffer this
    // string has goes into that buffer, as a copy would: a buffer handed out earlier (a cache returned
    // by a getter) stays where it was, exactly as with copy assignment.
    BTString& operator=(BTString&& other) noexcept;

    // NUL-terminated UTF-16 text owned by the string.
    const XMLCh* GetTerminatedBuffer() const { return fText.c_str(); }
    virtual const XMLCh* GetBuffer() const { return fText.c_str(); }
    // Copies at most `destSize - 1` units starting at `start`, NUL-terminated; returns the units copied.
    virtual long Extract(long start, long count, XMLCh* dest, long destSize) const;
    // Units from `start` up to (not including) `end`.
    virtual long ExtractBetween(long start, long end, XMLCh* dest, long destSize) const;

    long GetLength() const { return static_cast<long>(fText.size()); }
    bool IsEmpty() const { return fText.empty(); }
    XMLCh CharAt(long index) const;
    // 0-based index of the first occurrence at or after `from`, negative when absent.
    long Find(const BTString& what, long from = 0) const;
    long Find(XMLCh unit, long from = 0) const;
    // Case-insensitive comparison (ASCII letters folded): <0, 0, >0.
    int ICompare(const BTString& other) const;

    bool operator==(const BTString& other) const { return fText == other.fText; }
    bool operator!=(const BTString& other) const { return fText != other.fText; }

    BTStringRef__* GetBTStringRef() const;

    const std::u16string& str() const { return fText; }

protected:
    // Every change of fText goes through one of these, so that no view outlives the text it shows.
    void textChanged() noexcept {
        fByteView.drop();
        fWideView.drop();
    }
    // What a moved-from string holds: nothing.
    void leaveEmpty() noexcept {
        fText.clear();
        textChanged();
    }

    std::u16string fText;
    // DOMBTString's 8-bit and UTF-32 views of fText. They live here, beside the text, so that every
    // change of the text (the mutators below included) drops them.
    PublishedView<unsigned char> fByteView;
    PublishedView<unsigned int> fWideView;
};

class BTStringMutator : public BTString {
public:
    using BTString::BTString;
    BTStringMutator() = default;
    BTStringMutator(const BTString& other) : BTString(other) {}
    BTStringMutator(const BTStringMutator& other) = default;
    BTStringMutator(BTStringMutator&& other) noexcept = default;
    ~BTStringMutator() override;

    BTStringMutator& operator=(const BTStringMutator& other) = default;
    BTStringMutator& operator=(BTStringMutator&& other) noexcept = default;
    BTStringMutator& operator=(const BTString& other);

    // Writable buffer of `size` units (the text is resized to `size`). Views taken after the call show the
    // text as it is then: write through the buffer first.
    XMLCh* GetBuffer(long size);
    using BTString::GetBuffer;

    void SetTo(const XMLCh* text, long count);
    // Copies `count` units from `start` into `dest`; the count may exceed the rest of the text.
    void Extract(long start, long count, BTStringMutator& dest) const;
    using BTString::Extract;
    // Replaces every occurrence of `what` by `with`; returns the number of replacements.
    long FindAndReplace(const BTString& what, const BTString& with);

    BTStringMutator operator+(const BTString& other) const;
    BTStringMutator& operator+=(const BTString& other);
};
