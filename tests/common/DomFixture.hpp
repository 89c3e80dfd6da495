// A document over the reference host's application element, released before the reference check.
#pragma once

#include <DOMKw/bridge/Exceptions.hpp>
#include <DOMKw/dom/ElementImpl.hpp>
#include <DOMKw/dom/NodeLists.hpp>
#include <DOMKw/dom/Owned.hpp>
#include "dom/TextImpl.hpp"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/TransService.hpp>

#include "common/HostFixture.hpp"
#include "dom/AttrImpl.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/NodeLists.hpp"

#include <string>

namespace testing_support {

using namespace XERCES_CPP_NAMESPACE;

inline std::u16string text(const XMLCh* s) { return s ? std::u16string(s) : std::u16string(u"(null)"); }

// Text for a failure message: ASCII as it is, anything else as '?'.
inline std::string narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// UTF-8 of a text, "(null)" for none.
inline std::string utf8(const XMLCh* s) {
    if (!s) return "(null)";
    const TranscodeToStr out(s, "UTF-8");
    return reinterpret_cast<const char*>(out.str());
}

// What a call threw: a DOMException's code, or the library's own code plus 1000; 0 when it returned.
template <class F> int thrownCode(F&& call) {
    try {
        call();
    } catch (const DOMException& e) {
        return static_cast<short>(e.code);
    } catch (dom::Exceptions::KwErrorCodes e) {
        return 1000 + e;
    }
    return 0;
}

// Disposes a node object at the end of a scope.
struct Owned {
    explicit Owned(DOMNode* n = nullptr) : node(n) {}
    ~Owned() { dom::dispose(node); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    DOMNode* operator->() const { return node; }
    DOMElement* element() const { return static_cast<DOMElement*>(node); }
    DOMNode* node;
};

class DomTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        openDocument();
    }
    void TearDown() override {
        if (doc) doc->release();
        doc = nullptr;
        HostTest::TearDown();
    }
    void openDocument() {
        if (doc) doc->release();
        doc = static_cast<domImpl::DocumentImpl*>(domImpl::DocumentImpl::create(Kw::ElementRef::get_Application()));
    }
    // The element at a path of tag names below the application ("project/layout[2]").
    DOMElement* at(const std::string& path) {
        return domImpl::ElementImpl::create_(Kw::ElementRef::fromHandle(host.find(path)), doc);
    }
    domImpl::DocumentImpl* doc = nullptr;
};

} // namespace testing_support
