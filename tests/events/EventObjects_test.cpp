#include "events/EventFactory.hpp"
#include "events/EventsFixture.hpp"

using namespace testing_support;
using Kw::host::Selector;

namespace {

using EventObjects = EventsTest;

template <class I> I* as(Event* e) {
    return dynamic_cast<I*>(e);
}

// The most derived interface an event object has.
const char* kindOf(Event* e) {
    if (as<MouseEvent>(e)) return "mouse";
    if (as<TextEvent>(e)) return "text";
    if (as<UIEvent>(e)) return "ui";
    if (as<MutationEvent>(e)) return "mutation";
    if (as<SlugEvent>(e)) return "slug";
    return as<CustomEvent>(e) ? "custom" : "none";
}

// No entry for the part before the comma, or no comma at all: a custom event.
TEST_F(EventObjects, theFactoryPicksTheClassByTheInterfacePartOfTheType) {
    const std::vector<std::pair<const XMLCh*, std::string>> rows = {
        {u"MouseEvent,click", "mouse"},      {u"UIEvent,DOMFocusIn", "ui"},
        {u"TextEvent,textInput", "text"},    {u"MutationEvent,DOMNodeInserted", "mutation"},
        {u"SlugEvent,ImportBinary", "slug"}, {u"CustomEvent,anything", "custom"},
        {u"BTMMenuClick", "custom"},         {u"Unknown,thing", "custom"},
        {u"MouseEvent", "custom"},
    };
    for (const auto& [type, kind] : rows) {
        std::unique_ptr<Event> evt = create(type);
        EXPECT_EQ(kindOf(evt.get()), kind) << narrow(type);
        EXPECT_EQ(str(evt->getType()), type);
    }
    EXPECT_EQ(domExceptionCode([&] { create(u""); }), 9); // the host makes no event without a type
}

// One init operation: its writes in order (@page: the page's reference), and the call with another type.
struct InitCase {
    const char* name;
    const XMLCh* type;
    std::function<void(Event*)> init, refused;
    std::u16string writes;
};

std::vector<InitCase> initCases(DOMNode* page) {
    EventTarget* pageTarget = dynamic_cast<EventTarget*>(page);
    auto mouse = [=](const XMLCh* type) {
        return [=](Event* e) {
            as<MouseEvent>(e)->initMouseEvent(type, true, true, nullptr, 4, 10, 20, 30, 40, true, false,
                                              false, true, 2, pageTarget);
        };
    };
    auto mutation = [=](const XMLCh* type) {
        return [=](Event* e) {
            as<MutationEvent>(e)->initMutationEvent(type, true, true, page, u"p", u"n", u"a", 2, 1);
        };
    };
    const std::u16string flags = u" canBubble=true cancelable=true";
    return {
        {"initEvent", u"CustomEvent,x", [](Event* e) { e->initEvent(u"Any,type", true, true); }, nullptr,
         u"eventType=Any,type" + flags},
        {"initMouseEvent", u"MouseEvent,click", mouse(u"MouseEvent"), mouse(u"MouseEvent,click"),
         u"eventType=MouseEvent" + flags +
             u" detail=4 ScreenX=10 ScreenY=20 ClientX=30 ClientY=40 modifiers=72 Button=2 "
             u"relatedTarget=@page"},
        {"initMutationEvent", u"MutationEvent,DOMNodeInserted", mutation(u"MutationEvent"), mutation(nullptr),
         u"eventType=MutationEvent" + flags +
             u" relatedNode=@page prevValue=p newValue=n attrName=a attrChange=2 mutationState=1"},
    };
}

// The writes to an event's host object are no mutations of the document.
TEST_F(EventObjects, initOperationsWriteTheirAttributesInOrderAndStopAtAFailure) {
    Owned page(at("project/layout/spread/page"));
    FnListener anyAttribute;
    EventTarget::addEventListener(u"MutationEvent,DOMAttrModified", u"", &anyAttribute, true);
    const std::u16string pageText = referenceText(host.find("project/layout/spread/page"));
    for (const InitCase& c : initCases(page.node)) {
        SCOPED_TRACE(c.name);
        std::vector<std::pair<std::u16string, std::u16string>> writes;
        for (size_t at = 0, end = 0; end != std::u16string::npos; at = end + 1) {
            end = c.writes.find(u' ', at);
            const std::u16string word = c.writes.substr(at, end - at);
            const std::u16string value = word.substr(word.find(u'=') + 1);
            writes.emplace_back(word.substr(0, word.find(u'=')), value == u"@page" ? pageText : value);
        }
        std::unique_ptr<Event> evt = create(c.type);
        host.resetCallCounts();
        c.init(evt.get());
        EXPECT_EQ(host.callCount(Selector::SetAttributeValue), writes.size());
        for (const auto& [attribute, value] : writes) EXPECT_EQ(attr(evt.get(), attribute.c_str()), value);

        // A write refused part-way leaves exactly the earlier ones made: the order is the table's.
        for (size_t failing = 0; failing < writes.size(); ++failing) {
            std::unique_ptr<Event> fresh = create(c.type);
            std::vector<std::u16string> before;
            for (const auto& write : writes) before.push_back(attr(fresh.get(), write.first.c_str()));
            host.failAt(Selector::SetAttributeValue, 7, static_cast<int>(failing + 1));
            EXPECT_EQ(domExceptionCode([&] { c.init(fresh.get()); }), 7);
            for (size_t i = 0; i < writes.size(); ++i)
                EXPECT_EQ(attr(fresh.get(), writes[i].first.c_str()),
                          i < failing ? writes[i].second : before[i])
                    << "write " << i << " with write " << failing << " refused";
        }
        // The typed inits accept their own interface name only, and then write nothing.
        if (!c.refused) continue;
        std::unique_ptr<Event> other = create(c.type);
        host.resetCallCounts();
        c.refused(other.get());
        EXPECT_EQ(host.callCount(Selector::SetAttributeValue), 0u);
        EXPECT_EQ(attr(other.get(), u"eventType"), c.type);
    }
    EXPECT_EQ(anyAttribute.calls, 0);
}

TEST_F(EventObjects, preventDefaultAsksTheHostOnlyForACancelableEvent) {
    std::unique_ptr<Event> evt = create(u"UIEvent,DOMActivate");
    host.resetCallCounts();
    evt->preventDefault();
    EXPECT_EQ(host.callCount(Selector::ControlEvent), 0u);
    evt->initEvent(u"UIEvent,DOMActivate", true, true);
    evt->preventDefault();
    evt->stopPropagation();
    EXPECT_EQ(host.callCount(Selector::ControlEvent), 2u);
}

TEST_F(EventObjects, nodeReferencesBecomeNodesOfTheEventDocumentAndNothingOutsideADelivery) {
    Owned page(at("project/layout/spread/page"));
    std::unique_ptr<Event> outside = create(u"CustomEvent,x");
    as<CustomEvent>(outside.get())->setCurrentTarget(page.node);
    const int64_t references = host.outstandingReferences();
    EXPECT_EQ(outside->getCurrentTarget(), nullptr); // no event document owns a node outside a delivery
    EXPECT_EQ(host.outstandingReferences(), references);
    const Kw::HostRef box = host.find("project/layout/spread/page/box");
    const Kw::HostRef textObject =
        Kw::ElementRef::fromHandle(host.find("project/story/paragraph/textRun")).get_FirstChild().get();
    auto current = [](Event* e) { return dynamic_cast<DOMNode*>(e->getCurrentTarget()); };
    auto related = [](Event* e) { return as<MutationEvent>(e)->getRelatedNode(); };
    auto relatedTarget = [](Event* e) {
        return dynamic_cast<DOMNode*>(as<MouseEvent>(e)->getRelatedTarget());
    };
    struct Row {
        const XMLCh* type;
        const XMLCh* attribute;
        std::u16string reference;
        std::function<DOMNode*(Event*)> read;
        std::u16string expected; // node type and name
    };
    const std::vector<Row> rows = {
        {u"MutationEvent,x", u"relatedNode", referenceText(box, u"id"), related, u"2 id"},
        {u"MutationEvent,x", u"relatedNode", u"-1/" + num(host.keyOf(u"null")), related, u"none"},
        // The attribute key of a related target is not consulted.
        {u"MouseEvent,x", u"relatedTarget", referenceText(box, u"id"), relatedTarget, u"1 box"},
        {u"CustomEvent,x", u"currentTarget", referenceText(textObject), current, u"3 #text Hello, world"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(narrow(row.attribute) + " " + narrow(row.reference));
        insideDelivery(row.type, [&](Event* evt) {
            setAttr(evt, row.attribute, row.reference);
            DOMNode* node = row.read(evt);
            std::u16string seen = node ? num(int(node->getNodeType())) + u" " + nameOf(node) : u"none";
            if (node && node->getNodeType() == DOMNode::TEXT_NODE) seen += u" " + text(node->getNodeValue());
            EXPECT_EQ(seen, row.expected);
            if (node) {
                EXPECT_EQ(node->getOwnerDocument(), domImpl::eventsImpl::eventDocument());
            }
        });
    }
}

} // namespace
