// Which document a registration on a node belongs to, for every kind of node that is an event target,
// and the library's own removals when the host refuses them.
#include <gtest/gtest.h>

#include "events/EventsFixture.hpp"

using namespace testing_support;
using Kw::host::Selector;

namespace {

class RegistrationOwners : public EventsTest {};

// Each kind of target, made through `other`; the node it hands back is ended by the caller.
struct TargetKind {
    const char* name;
    std::function<DOMNode*(DOMDocument* other)> make;
};

} // namespace

TEST_F(RegistrationOwners, everyKindOfTargetGivesItsRegistrationsToItsDocument) {
    const std::vector<TargetKind> kinds = {
        {"document", [](DOMDocument* other) -> DOMNode* { return other; }},
        {"element",
         [this](DOMDocument* other) -> DOMNode* {
             return domImpl::ElementImpl::create_(Kw::ElementRef::fromHandle(host.find("project/layout")),
                                                  other);
         }},
        {"text",
         [this](DOMDocument* other) -> DOMNode* {
             return domImpl::NodeImpl::create_(
                 Kw::ElementRef::fromHandle(host.find("project/story/paragraph/textRun")).get_FirstChild(),
                 other);
         }},
        {"attribute",
         [this](DOMDocument* other) -> DOMNode* {
             Owned box(domImpl::ElementImpl::create_(
                 Kw::ElementRef::fromHandle(host.find("project/layout/spread/page/box")), other));
             return static_cast<DOMElement*>(box.node)->getAttributeNode(u"id");
         }},
    };
    for (const TargetKind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        FnListener listener;
        const void* address = static_cast<dom::Object*>(&listener);
        DOMDocument* other = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
        DOMNode* node = kind.make(other);
        ASSERT_NE(node, nullptr);
        auto* target = dynamic_cast<EventTarget*>(node);
        ASSERT_NE(target, nullptr);
        target->addEventListener(u"CustomEvent,x", &listener, false);
        EXPECT_EQ(registrationsOf(address), 1u);
        if (node != other) dom::dispose(node);
        // Ending the node leaves the registration; releasing its document takes it back.
        EXPECT_EQ(registrationsOf(address), 1u);
        other->release();
        EXPECT_EQ(registrationsOf(address), 0u);
    }
}

TEST_F(RegistrationOwners, aRefusedTakeBackIsPassedOverWithoutAnException) {
    Owned box(at("project/layout/spread/page/box"));
    const std::vector<std::pair<const char*, int>> cases = {
        {"on a node", Selector::SetTargetEventListener},
        {"by names", Selector::SetTypeEventListener},
    };
    for (const auto& [name, selector] : cases) {
        SCOPED_TRACE(name);
        const void* address = nullptr;
        {
            FnListener listener;
            address = static_cast<dom::Object*>(&listener);
            if (selector == Selector::SetTargetEventListener)
                on(box)->addEventListener(u"CustomEvent,x", &listener, false);
            else
                EventTarget::addEventListener(u"CustomEvent,x", u"box", &listener, false);
            host.failAt(selector, 0x10007);
            // The listener ends here: its destructor's removal is refused and must not escape it.
        }
        EXPECT_EQ(registrationsOf(address), 1u) << "the host kept what it refused to remove";
        host.clearListeners();
    }
}
