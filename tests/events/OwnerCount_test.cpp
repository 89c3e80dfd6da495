// The count of documents holding registrations, which lets every node object end without a lookup while
// it is zero: it follows adds, removals and document releases, and a node's end never takes back what
// its document holds.
#include <gtest/gtest.h>

#include <DOMKw/events/EventTargetImpl.hpp>

#include "events/EventsFixture.hpp"

using namespace testing_support;
using domImpl::eventsImpl::EventTargetImpl;

namespace {

class OwnerCount : public EventsTest {};

TEST_F(OwnerCount, followsRegistrationsAndNodeEndsKeepTheirDocumentsRegistrations) {
    const size_t before = EventTargetImpl::ownersHoldingRegistrations;
    FnListener listener;
    const void* address = static_cast<dom::Object*>(&listener);
    DOMDocument* first = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    DOMDocument* second = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    auto element = [this](DOMDocument* doc) {
        return domImpl::ElementImpl::create_(Kw::ElementRef::fromHandle(host.find("project/layout")), doc);
    };

    DOMElement* a = element(first);
    dynamic_cast<EventTarget*>(a)->addEventListener(u"CustomEvent,x", &listener, false);
    EXPECT_EQ(EventTargetImpl::ownersHoldingRegistrations, before + 1);
    DOMElement* b = element(second);
    dynamic_cast<EventTarget*>(b)->addEventListener(u"CustomEvent,y", &listener, false);
    dynamic_cast<EventTarget*>(second)->addEventListener(u"CustomEvent,z", &listener, false);
    EXPECT_EQ(EventTargetImpl::ownersHoldingRegistrations, before + 2);
    EXPECT_EQ(registrationsOf(address), 3u);

    // Node objects end while both documents hold registrations: nothing is taken back.
    dom::dispose(a);
    dom::dispose(b);
    dom::dispose(element(first));
    EXPECT_EQ(registrationsOf(address), 3u);

    // A removal through a new node object of the same element forgets the first document's one.
    DOMElement* again = element(first);
    dynamic_cast<EventTarget*>(again)->removeEventListener(u"CustomEvent,x", &listener, false);
    dom::dispose(again);
    EXPECT_EQ(EventTargetImpl::ownersHoldingRegistrations, before + 1);
    first->release();
    EXPECT_EQ(registrationsOf(address), 2u);

    second->release();
    EXPECT_EQ(registrationsOf(address), 0u);
    EXPECT_EQ(EventTargetImpl::ownersHoldingRegistrations, before);
}

} // namespace
