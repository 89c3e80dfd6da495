// Which nodes may be written as node references into events: every kind of node object of this
// library, and nothing else.
#include <gtest/gtest.h>

#include "events/EventsFixture.hpp"

#include <utility>

using namespace testing_support;

namespace {

class TargetIdentity : public EventsTest {};

} // namespace

TEST_F(TargetIdentity, everyKindOfLibraryNodeIsATargetAndNoOtherNodeIs) {
    Owned box(at("project/layout/spread/page/box"));
    Owned id(static_cast<DOMElement*>(box.node)->getAttributeNode(u"id"));
    Owned run(at("project/story/paragraph/textRun"));
    Owned text(run->getFirstChild());
    Owned foreignElement(doc->createElement(u"box"));
    Owned foreignText(doc->createTextNode(u"x"));
    Owned foreignAttribute(doc->createAttribute(u"id"));
    const Kw::HostKey nullKey = host.keyOf(u"null");
    struct Row {
        const char* name;
        DOMNode* node;
        std::pair<int64_t, int64_t> expected; // first -1: refused
    };
    const std::vector<Row> rows = {
        {"document", doc, {Kw::ElementRef::get_Application().get(), nullKey}},
        {"element", box.node, {host.find("project/layout/spread/page/box"), nullKey}},
        {"text",
         text.node,
         {Kw::ElementRef::fromHandle(host.find("project/story/paragraph/textRun")).get_FirstChild().get(),
          nullKey}},
        {"attribute", id.node, {host.find("project/layout/spread/page/box"), host.keyOf(u"id")}},
        {"Xerces-C element", foreignElement.node, {-1, 0}},
        {"Xerces-C text", foreignText.node, {-1, 0}},
        {"Xerces-C attribute", foreignAttribute.node, {-1, 0}},
        {"null", nullptr, {-1, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const domImpl::eventsImpl::EventTargetImpl* target = domImpl::eventsImpl::asEventTarget(row.node);
        if (row.expected.first < 0) {
            EXPECT_EQ(target, nullptr);
            std::unique_ptr<Event> evt = create(u"CustomEvent,x");
            EXPECT_EQ(
                domExceptionCode([&] { dynamic_cast<CustomEvent*>(evt.get())->setCurrentTarget(row.node); }),
                9);
            continue;
        }
        ASSERT_NE(target, nullptr);
        // The same object as the node's own event-target side.
        EXPECT_EQ(target, dynamic_cast<const domImpl::eventsImpl::EventTargetImpl*>(row.node));
        const Kw::ObjectRef::DoubleRef ref = target->getTargetRef();
        EXPECT_EQ(std::make_pair(ref.first, ref.second), row.expected);
    }
}
