// Misuse that would corrupt memory: ending a node object twice, or after its document's release(), is
// refused before the object is touched; listener registrations end with their listener object and with
// the document they were made through. Run under AddressSanitizer: any use of freed memory fails here.
#include <DOMKw/events/Events.hpp>

#include "common/DomFixture.hpp"
#include "common/FnListener.hpp"
#include "dom/Lifetime.hpp"

#include <algorithm>
#include <functional>
#include <memory>
#include <set>

#if defined(__SANITIZE_ADDRESS__)
#define MISUSE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MISUSE_ASAN 1
#endif
#endif
#ifdef MISUSE_ASAN
#include <sanitizer/asan_interface.h>
#endif

using namespace testing_support;

namespace {

class Misuse : public DomTest {};

// An element, a text and an attribute node ended twice: the second end is refused before the object is
// touched, the count of live objects is unchanged, and the ended object is poisoned for the
// AddressSanitizer (any read of it is reported).
TEST_F(Misuse, aNodeDisposedTwiceIsRefusedAndTheEndedObjectIsPoisoned) {
    struct Case {
        const char* what;
        std::function<DOMNode*()> make;
    } cases[] = {
        {"element", [&] { return at("project/layout/spread/page/box"); }},
        {"text", [&] { Owned run(at("project/story/paragraph/textRun")); return run->getFirstChild(); }},
        {"attribute", [&] { Owned box(at("project/layout/spread/page/box")); return box.element()->getAttributeNode(u"id"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DOMNode* node = c.make();
        ASSERT_NE(node, nullptr);
        const size_t live = doc->liveNodeCount();
#ifdef MISUSE_ASAN
        EXPECT_FALSE(__asan_address_is_poisoned(node));
#endif
        dom::dispose(node);
        EXPECT_EQ(doc->liveNodeCount(), live - 1);
#ifdef MISUSE_ASAN
        EXPECT_TRUE(__asan_address_is_poisoned(node));
        EXPECT_TRUE(__asan_address_is_poisoned(reinterpret_cast<char*>(node) + sizeof(void*)));
#endif
        EXPECT_EQ(domExceptionCode([&] { dom::dispose(node); }), DOMException::INVALID_STATE_ERR);
        EXPECT_EQ(doc->liveNodeCount(), live - 1);
    }
    Owned box(at("project/layout/spread/page/box")); // a new object, ended normally
    EXPECT_EQ(text(box.element()->getAttribute(u"id")), u"b1");
}

// Node objects come from pools: an ended object's slot waits until 4096 more node objects have ended
// before it is handed out again. Until then its address is still recognised; after that the same slots
// serve again, so making and ending nodes for ever does not grow memory.
TEST_F(Misuse, endedSlotsWaitOutTheQuarantineAndAreThenReusedSoMemoryStaysBounded) {
    using domImpl::lifetime::QUARANTINE;
    Owned run(at("project/story/paragraph/textRun"));
    DOMNode* first = run->getFirstChild();
    dom::dispose(first);
    // Slots other tests ended serve too.
    const size_t ready = domImpl::lifetime::readySlots(sizeof(domImpl::TextImpl));
    std::set<DOMNode*> addresses;
    for (size_t i = 0; i < 3 * QUARANTINE; ++i) {
        DOMNode* node = run->getFirstChild(); // each round ends exactly one node object
        if (i < QUARANTINE) {
            ASSERT_NE(node, first) << i; // not handed out while it may still be disposed again
            ASSERT_TRUE(domImpl::lifetime::hasEnded(first)) << i;
        }
        // Once the quarantine holds only this loop's nodes, every slot is one it has had before.
        if (i >= 2 * QUARANTINE) {
            ASSERT_EQ(addresses.count(node), 1u) << i;
        }
        addresses.insert(node);
        ASSERT_FALSE(domImpl::lifetime::hasEnded(node));
        dom::dispose(node);
        ASSERT_TRUE(domImpl::lifetime::hasEnded(node));
    }
    EXPECT_LE(addresses.size(), ready + 2 * QUARANTINE + 2);
    EXPECT_LE(domImpl::lifetime::readySlots(sizeof(domImpl::TextImpl)), ready + QUARANTINE + 1);
    // What is not a pooled node object is never taken for an ended one.
    int onTheStack = 0;
    EXPECT_FALSE(domImpl::lifetime::hasEnded(reinterpret_cast<DOMNode*>(&onTheStack)));
    DOMElement* scratch = doc->createElement(u"box");
    EXPECT_FALSE(domImpl::lifetime::hasEnded(scratch));
    dom::dispose(scratch);
}

TEST_F(Misuse, aNodeDisposedAfterItsDocumentsReleaseIsRefused) {
    DOMNode* element = at("project/layout/spread/page/box");
    DOMNode* shared = doc->getDocumentElement();
    doc->getDocumentElement(); // handed out twice
    Owned run(at("project/story/paragraph/textRun"));
    DOMNode* textNode = run->getFirstChild();
    run.node = nullptr;
    DOMNode* attr = static_cast<DOMElement*>(element)->getAttributeNode(u"bounds");
    doc->release();
    doc = nullptr;
    for (DOMNode* node : {element, shared, textNode, attr})
        EXPECT_EQ(domExceptionCode([&] { dom::dispose(node); }), DOMException::INVALID_STATE_ERR);
    // Plain Xerces-C nodes and null are unaffected.
    dom::dispose(nullptr);
}

TEST_F(Misuse, aListenerDestroyedWhileRegisteredIsNeverCalled) {
    Owned box(at("project/layout/spread/page/box"));
    auto* target = dynamic_cast<dom::events::EventTarget*>(box.node);
    const void* address = nullptr;
    {
        auto listener = std::make_unique<FnListener>();
        address = static_cast<dom::Object*>(listener.get());
        target->addEventListener(u"MutationEvent,DOMAttrModified", listener.get(), false);
        target->addEventListener(u"MutationEvent,DOMAttrModified", listener.get(), true);
        dom::events::EventTarget::addEventListener(u"MutationEvent,DOMAttrModified", u"box", listener.get(),
                                                   false);
        EXPECT_EQ(registrationsOf(address), 3u);
        box.element()->setAttribute(u"id", u"b7");
        EXPECT_EQ(listener->calls, 3); // at the target, capturing or not, and by names
    }                                  // destroyed while registered
    EXPECT_EQ(registrationsOf(address), 0u);
    // The next mutation reaches nobody (under AddressSanitizer a call would be a use after free).
    const uint64_t deliveries = host.deliveryCount();
    box.element()->setAttribute(u"id", u"b8");
    EXPECT_EQ(host.deliveryCount(), deliveries);
    // A listener removed by hand first ends quietly.
    FnListener removed;
    target->addEventListener(u"MutationEvent,DOMAttrModified", &removed, false);
    target->removeEventListener(u"MutationEvent,DOMAttrModified", &removed, false);
    EXPECT_EQ(registrationsOf(static_cast<dom::Object*>(&removed)), 0u);
}

TEST_F(Misuse, registrationsEndWithTheReleaseOfTheDocumentTheyWereMadeThrough) {
    FnListener listener;
    const void* address = static_cast<dom::Object*>(&listener);
    DOMDocument* other = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    {
        Owned mine(at("project/layout/spread/page/box"));
        DOMElement* theirs = static_cast<DOMElement*>(domImpl::ElementImpl::create_(
            Kw::ElementRef::fromHandle(host.find("project/layout/spread/page/box")), other));
        DOMElement* page = static_cast<DOMElement*>(domImpl::ElementImpl::create_(
            Kw::ElementRef::fromHandle(host.find("project/layout/spread/page")), other));
        // The same registration through both documents, and one through the other document only.
        dynamic_cast<dom::events::EventTarget*>(mine.node)->addEventListener(u"MutationEvent,DOMAttrModified",
                                                                             &listener, false);
        dynamic_cast<dom::events::EventTarget*>(theirs)->addEventListener(u"MutationEvent,DOMAttrModified",
                                                                          &listener, false);
        dynamic_cast<dom::events::EventTarget*>(page)->addEventListener(u"MutationEvent,DOMAttrModified",
                                                                        &listener, true);
        dynamic_cast<dom::events::EventTarget*>(other)->addEventListener(u"MutationEvent,DOMSubtreeModified",
                                                                         &listener, true);
        EXPECT_EQ(registrationsOf(address), 3u);
    }
    other->release(); // the nodes made through it end with it
    // What only the released document held is gone; what this document also made stays.
    EXPECT_EQ(registrationsOf(address), 1u);
    {
        Owned box(at("project/layout/spread/page/box"));
        box.element()->setAttribute(u"id", u"b9");
        EXPECT_EQ(listener.calls, 1);
    }
    doc->release();
    doc = nullptr;
    EXPECT_EQ(registrationsOf(address), 0u);
    openDocument();
}

} // namespace
