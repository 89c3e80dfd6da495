// Event objects against the host event behind them: the class the factory picks, every getter, setter
// and init operation, the init type check, modifiers, and the node references read during a delivery.
#include "events/EventFactory.hpp"
#include "events/EventsFixture.hpp"

using namespace testing_support;
using Kw::host::Selector;

namespace {

using EventObjects = EventsTest;

template <class I> I* as(Event* e) {
    return dynamic_cast<I*>(e);
}

TEST_F(EventObjects, theFactoryPicksTheClassByTheInterfacePartOfTheType) {
    const std::vector<std::pair<const XMLCh*, std::function<bool(Event*)>>> rows = {
        {u"MouseEvent,click", [](Event* e) { return as<MouseEvent>(e); }},
        {u"UIEvent,DOMFocusIn",
         [](Event* e) { return as<UIEvent>(e) && !as<MouseEvent>(e) && !as<TextEvent>(e); }},
        {u"TextEvent,textInput", [](Event* e) { return as<TextEvent>(e); }},
        {u"MutationEvent,DOMNodeInserted", [](Event* e) { return as<MutationEvent>(e); }},
        {u"SlugEvent,ImportBinary", [](Event* e) { return as<SlugEvent>(e); }},
        {u"CustomEvent,anything", [](Event* e) { return as<CustomEvent>(e); }},
        // No entry for the part before the comma, or no comma at all: a custom event.
        {u"BTMMenuClick", [](Event* e) { return as<CustomEvent>(e); }},
        {u"Unknown,thing", [](Event* e) { return as<CustomEvent>(e); }},
        {u"MouseEvent", [](Event* e) { return as<CustomEvent>(e) && !as<MouseEvent>(e); }},
    };
    EXPECT_EQ(domImpl::eventsImpl::eventFactoryTable().size(), 6u);
    for (const auto& [type, isExpected] : rows) {
        std::unique_ptr<Event> evt = create(type);
        EXPECT_TRUE(isExpected(evt.get())) << narrow(type);
        EXPECT_EQ(str(evt->getType()), type);
        EXPECT_EQ(evt->getTimeStamp(), 0u);
        if (auto* ui = as<UIEvent>(evt.get())) {
            EXPECT_EQ(ui->getView(), nullptr);
        }
    }
    EXPECT_EQ(domExceptionCode([&] { create(u""); }), 9); // the host makes no event without a type
    host.failAt(Selector::CreateEvent, 8);
    EXPECT_EQ(domExceptionCode([&] { create(u"MouseEvent,click"); }), 8);
}

TEST_F(EventObjects, gettersAndSettersGoToTheHostEventsAttributes) {
    Owned page(at("project/layout/spread/page"));
    struct Row {
        const XMLCh* type;
        const XMLCh* attribute;
        std::u16string text;                      // written to the host event first (when not empty)
        std::function<std::u16string(Event*)> op; // a getter's answer, or a setter ("" answered)
        std::u16string expected;                  // the getter's answer, or the attribute after the setter
    };
    auto yes = [](bool b) { return std::u16string(b ? u"yes" : u"no"); };
    auto M = [](Event* e) { return as<MouseEvent>(e); };
    auto T = [](Event* e) { return as<TextEvent>(e); };
    auto Mu = [](Event* e) { return as<MutationEvent>(e); };
    auto S = [](Event* e) { return as<SlugEvent>(e); };
    auto set = [](std::function<void()> f) {
        f();
        return std::u16string();
    };
    const std::vector<Row> rows = {
        {u"UIEvent,DOMActivate", u"canBubble", u"true", [&](Event* e) { return yes(e->getBubbles()); },
         u"yes"},
        {u"UIEvent,DOMActivate", u"cancelable", u"1", [&](Event* e) { return yes(e->getCancelable()); },
         u"yes"},
        {u"UIEvent,DOMActivate", u"eventPhase", u"3", [&](Event* e) { return num(e->getEventPhase()); },
         u"3"},
        {u"UIEvent,DOMActivate", u"eventType", u"Other,type", [&](Event* e) { return str(e->getType()); },
         u"Other,type"},
        {u"UIEvent,DOMActivate", u"detail", u"-7", [&](Event* e) { return num(as<UIEvent>(e)->getDetail()); },
         u"-7"},
        {u"MouseEvent,click", u"ScreenX", u"12", [&](Event* e) { return num(M(e)->getScreenX()); }, u"12"},
        {u"MouseEvent,click", u"ScreenY", u"-3", [&](Event* e) { return num(M(e)->getScreenY()); }, u"-3"},
        {u"MouseEvent,click", u"ClientX", u"40", [&](Event* e) { return num(M(e)->getClientX()); }, u"40"},
        {u"MouseEvent,click", u"ClientY", u"41", [&](Event* e) { return num(M(e)->getClientY()); }, u"41"},
        {u"MouseEvent,click", u"Button", u"2", [&](Event* e) { return num(M(e)->getButton()); }, u"2"},
        {u"MouseEvent,click", u"modifiers", u"8", [&](Event* e) { return yes(M(e)->getCtrlKey()); }, u"yes"},
        {u"MouseEvent,click", u"modifiers", u"4", [&](Event* e) { return yes(M(e)->getShiftKey()); }, u"yes"},
        {u"MouseEvent,click", u"modifiers", u"32", [&](Event* e) { return yes(M(e)->getAltKey()); }, u"yes"},
        {u"MouseEvent,click", u"modifiers", u"64", [&](Event* e) { return yes(M(e)->getMetaKey()); }, u"yes"},
        {u"MouseEvent,click", u"modifiers", u"247", [&](Event* e) { return yes(M(e)->getCtrlKey()); }, u"no"},
        {u"TextEvent,keydown", u"keyVal", u"-1", [&](Event* e) { return num(T(e)->getKeyVal()); },
         u"4294967295"},
        {u"TextEvent,keydown", u"VirtKeyVal", u"13", [&](Event* e) { return num(T(e)->getVirtKeyVal()); },
         u"13"},
        {u"TextEvent,keydown", u"numPad", u"true", [&](Event* e) { return yes(T(e)->getNumPad()); }, u"yes"},
        {u"TextEvent,keydown", u"VisibleOutputGenerated", u"true",
         [&](Event* e) { return yes(T(e)->getVisibleOutputGenerated()); }, u"yes"},
        {u"MutationEvent,x", u"attrChange", u"2", [&](Event* e) { return num(Mu(e)->getAttrChange()); },
         u"2"},
        {u"MutationEvent,x", u"attrName", u"id", [&](Event* e) { return str(Mu(e)->getAttrName()); }, u"id"},
        {u"MutationEvent,x", u"newValue", u"b7", [&](Event* e) { return str(Mu(e)->getNewValue()); }, u"b7"},
        {u"MutationEvent,x", u"prevValue", u"b1", [&](Event* e) { return str(Mu(e)->getPrevValue()); },
         u"b1"},
        {u"MutationEvent,x", u"mutationState", u"5", [&](Event* e) { return num(Mu(e)->getState()); }, u"5"},
        {u"SlugEvent,x", u"slugID", u"s-1", [&](Event* e) { return str(S(e)->getSlugID()); }, u"s-1"},
        {u"SlugEvent,x", u"SlugEvent,ImportBinary", u"AAEC",
         [&](Event* e) { return str(S(e)->getImportBinary()); }, u"AAEC"},
        {u"SlugEvent,x", u"SlugEvent,ExportBinary", u"/w==",
         [&](Event* e) { return str(S(e)->getExportBinary()); }, u"/w=="},
        // Setters: the attribute afterwards.
        {u"TextEvent,keyup", u"OutputString", u"",
         [&](Event* e) { return set([&] { T(e)->setOutputString(DOMBTString(u"typed")); }); }, u"typed"},
        {u"TextEvent,keyup", u"keyVal", u"",
         [&](Event* e) { return set([&] { T(e)->setKeyVal(0xFFFFFFFFu); }); }, u"-1"},
        {u"TextEvent,keyup", u"VirtKeyVal", u"",
         [&](Event* e) { return set([&] { T(e)->setVirtKeyVal(66); }); }, u"66"},
        {u"TextEvent,keyup", u"VisibleOutputGenerated", u"",
         [&](Event* e) { return set([&] { T(e)->setVisibleOutputGenerated(true); }); }, u"true"},
        {u"TextEvent,keyup", u"numPad", u"", [&](Event* e) { return set([&] { T(e)->setNumPad(true); }); },
         u"true"},
        {u"SlugEvent,x", u"SlugEvent,ImportBinary", u"",
         [&](Event* e) { return set([&] { S(e)->setImportBinary(DOMBTString(u"AAEC")); }); }, u"AAEC"},
        {u"SlugEvent,x", u"SlugEvent,ExportBinary", u"",
         [&](Event* e) { return set([&] { S(e)->setExportBinary(DOMBTString(u"/w==")); }); }, u"/w=="},
        {u"CustomEvent,x", u"eventPhase", u"",
         [&](Event* e) { return set([&] { as<CustomEvent>(e)->setEventPhase(2); }); }, u"2"},
        {u"CustomEvent,x", u"currentTarget", u"",
         [&](Event* e) { return set([&] { as<CustomEvent>(e)->setCurrentTarget(page.node); }); },
         referenceText(host.find("project/layout/spread/page"))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(narrow(row.attribute));
        std::unique_ptr<Event> evt = create(row.type);
        if (!row.text.empty()) setAttr(evt.get(), row.attribute, row.text);
        // Nothing is kept: a second object over the same host event sees the same.
        std::unique_ptr<Event> twin(domImpl::eventsImpl::createEventObject(hostEventOf(evt.get())));
        const std::u16string answer = row.op(evt.get());
        EXPECT_EQ(row.text.empty() ? attr(evt.get(), row.attribute) : answer, row.expected);
        if (!row.text.empty()) {
            EXPECT_EQ(row.op(twin.get()), row.expected);
        }
    }
    // A node of another DOM names nothing the host knows.
    std::unique_ptr<Event> evt = create(u"CustomEvent,x");
    Owned foreign(doc->createElement(u"box"));
    EXPECT_EQ(domExceptionCode([&] { as<CustomEvent>(evt.get())->setCurrentTarget(foreign.node); }), 9);
    EXPECT_EQ(domExceptionCode([&] { as<CustomEvent>(evt.get())->setCurrentTarget(nullptr); }), 9);
}

// One init operation: the attributes it writes, in order, and the same call with another type.
struct InitCase {
    const char* name;
    const XMLCh* type;
    std::function<void(Event*)> init, refused;
    std::vector<std::pair<std::u16string, std::u16string>> writes;
};

std::vector<InitCase> initCases(DOMNode* page, const std::u16string& pageText) {
    EventTarget* pageTarget = dynamic_cast<EventTarget*>(page);
    auto mouse = [=](const XMLCh* type) {
        return [=](Event* e) {
            as<MouseEvent>(e)->initMouseEvent(type, true, true, nullptr, 4, 10, 20, 30, 40, true, false,
                                              false, true, 2, pageTarget);
        };
    };
    auto text = [](const XMLCh* type) {
        return [=](Event* e) {
            as<TextEvent>(e)->initTextEvent(type, true, true, nullptr, 3, u"o", 65, 66, true, true);
        };
    };
    auto mutation = [=](const XMLCh* type) {
        return [=](Event* e) {
            as<MutationEvent>(e)->initMutationEvent(type, true, true, page, u"p", u"n", u"a", 2, 1);
        };
    };
    auto ui = [](const XMLCh* type) {
        return [=](Event* e) { as<UIEvent>(e)->initUIEvent(type, true, true, nullptr, 9); };
    };
    const std::vector<std::pair<std::u16string, std::u16string>> flags = {{u"canBubble", u"true"},
                                                                          {u"cancelable", u"true"}};
    auto with = [&](const XMLCh* type, std::vector<std::pair<std::u16string, std::u16string>> rest) {
        std::vector<std::pair<std::u16string, std::u16string>> all = {{u"eventType", type}};
        all.insert(all.end(), flags.begin(), flags.end());
        all.insert(all.end(), rest.begin(), rest.end());
        return all;
    };
    return {
        {"initEvent", u"CustomEvent,x", [](Event* e) { e->initEvent(u"Any,type", true, true); }, nullptr,
         with(u"Any,type", {})},
        {"initUIEvent", u"UIEvent,DOMFocusIn", ui(u"UIEvent"), ui(u"UIEvent,DOMFocusIn"),
         with(u"UIEvent", {{u"detail", u"9"}})},
        {"initMouseEvent", u"MouseEvent,click", mouse(u"MouseEvent"), mouse(u"MouseEvent,click"),
         with(u"MouseEvent", {{u"detail", u"4"},
                              {u"ScreenX", u"10"},
                              {u"ScreenY", u"20"},
                              {u"ClientX", u"30"},
                              {u"ClientY", u"40"},
                              {u"modifiers", u"72"},
                              {u"Button", u"2"},
                              {u"relatedTarget", pageText}})},
        {"initTextEvent", u"TextEvent,textInput", text(u"TextEvent"), text(u"UIEvent"),
         with(u"TextEvent", {{u"detail", u"3"},
                             {u"OutputString", u"o"},
                             {u"keyVal", u"65"},
                             {u"VirtKeyVal", u"66"},
                             {u"VisibleOutputGenerated", u"true"},
                             {u"numPad", u"true"},
                             {u"modifiers", u"0"}})},
        {"initMutationEvent", u"MutationEvent,DOMNodeInserted", mutation(u"MutationEvent"), mutation(nullptr),
         with(u"MutationEvent", {{u"relatedNode", pageText},
                                 {u"prevValue", u"p"},
                                 {u"newValue", u"n"},
                                 {u"attrName", u"a"},
                                 {u"attrChange", u"2"},
                                 {u"mutationState", u"1"}})},
    };
}

TEST_F(EventObjects, initOperationsWriteTheirAttributesInOrderAndStopAtAFailure) {
    Owned page(at("project/layout/spread/page"));
    for (const InitCase& c : initCases(page.node, referenceText(host.find("project/layout/spread/page")))) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<Event> evt = create(c.type);
        if (auto* text = as<TextEvent>(evt.get())) text->initModifier(16, true); // the init clears it
        host.resetCallCounts();
        c.init(evt.get());
        EXPECT_EQ(host.callCount(Selector::SetAttributeValue), c.writes.size());
        for (const auto& [attribute, value] : c.writes) EXPECT_EQ(attr(evt.get(), attribute.c_str()), value);

        // A write refused part-way leaves exactly the earlier ones made: the order is the table's.
        for (size_t failing = 0; failing < c.writes.size(); ++failing) {
            std::unique_ptr<Event> fresh = create(c.type);
            std::vector<std::u16string> before;
            for (const auto& write : c.writes) before.push_back(attr(fresh.get(), write.first.c_str()));
            host.failAt(Selector::SetAttributeValue, 7, static_cast<int>(failing + 1));
            EXPECT_EQ(domExceptionCode([&] { c.init(fresh.get()); }), 7);
            for (size_t i = 0; i < c.writes.size(); ++i)
                EXPECT_EQ(attr(fresh.get(), c.writes[i].first.c_str()),
                          i < failing ? c.writes[i].second : before[i])
                    << "write " << i << " with write " << failing << " refused";
        }
        // The four typed inits accept their own interface name only, and then write nothing.
        if (!c.refused) continue;
        std::unique_ptr<Event> other = create(c.type);
        host.resetCallCounts();
        c.refused(other.get());
        EXPECT_EQ(host.callCount(Selector::SetAttributeValue), 0u);
        EXPECT_EQ(attr(other.get(), u"eventType"), c.type);
    }
}

TEST_F(EventObjects, initMutationEventRefusesARelatedNodeOfAnotherDom) {
    Owned foreign(doc->createElement(u"box"));
    for (DOMNode* related : {static_cast<DOMNode*>(nullptr), foreign.node}) {
        std::unique_ptr<Event> evt = create(u"MutationEvent,DOMNodeInserted");
        EXPECT_EQ(domExceptionCode([&] {
                      as<MutationEvent>(evt.get())->initMutationEvent(u"MutationEvent", true, true, related,
                                                                      u"p", u"n", u"a", 2, 1);
                  }),
                  9);
        // The type and the flags are written by then; nothing after them.
        EXPECT_EQ(attr(evt.get(), u"cancelable"), u"true");
        EXPECT_EQ(attr(evt.get(), u"relatedNode"), u"null");
    }
}

TEST_F(EventObjects, modifiers) {
    std::unique_ptr<Event> evt = create(u"TextEvent,keydown");
    auto* text = as<TextEvent>(evt.get());
    // Anything but a single bit of the low byte is ignored without asking the host.
    for (uint32_t invalid : {0u, 3u, 6u, 256u, 0x80000000u, 0xFFFFFFFFu}) {
        host.resetCallCounts();
        text->initModifier(invalid, true);
        EXPECT_FALSE(text->checkModifier(invalid));
        EXPECT_EQ(host.totalCalls(), 0u) << invalid;
    }
    for (uint32_t bit = 1; bit <= 128; bit <<= 1) text->initModifier(bit, true);
    EXPECT_EQ(attr(evt.get(), u"modifiers"), u"255");
    text->initModifier(16, false);
    EXPECT_FALSE(text->checkModifier(16));
    EXPECT_TRUE(text->checkModifier(32));
    EXPECT_EQ(attr(evt.get(), u"modifiers"), u"239");
}

TEST_F(EventObjects, outputStringNeedsVisibleOutput) {
    std::unique_ptr<Event> evt = create(u"TextEvent,textInput");
    setAttr(evt.get(), u"OutputString", u"abc");
    EXPECT_EQ(str(as<TextEvent>(evt.get())->getOutputString()), u"");
    setAttr(evt.get(), u"VisibleOutputGenerated", u"true");
    EXPECT_EQ(str(as<TextEvent>(evt.get())->getOutputString()), u"abc");
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

TEST_F(EventObjects, targetsOutsideADeliveryAreNull) {
    Owned page(at("project/layout/spread/page"));
    std::unique_ptr<Event> evt = create(u"CustomEvent,x");
    as<CustomEvent>(evt.get())->setCurrentTarget(page.node);
    const int64_t references = host.outstandingReferences();
    // No event document owns a node outside a delivery: nothing is made, nothing referenced.
    EXPECT_EQ(evt->getCurrentTarget(), nullptr);
    EXPECT_EQ(host.outstandingReferences(), references);
}

TEST_F(EventObjects, nodeReferencesBecomeNodesOfTheEventDocument) {
    const Kw::HostRef box = host.find("project/layout/spread/page/box");
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
        {u"MutationEvent,x", u"relatedNode", referenceText(box), related, u"1 box"},
        {u"MutationEvent,x", u"relatedNode", referenceText(box, u"id"), related, u"2 id"},
        {u"MutationEvent,x", u"relatedNode", u"null", related, u"none"},
        {u"MutationEvent,x", u"relatedNode", u"-1/" + num(host.keyOf(u"null")), related, u"none"},
        {u"MouseEvent,x", u"relatedTarget", u"null", relatedTarget, u"none"},
        // The attribute key of a related target is not consulted.
        {u"MouseEvent,x", u"relatedTarget", referenceText(box, u"id"), relatedTarget, u"1 box"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(narrow(row.attribute) + " " + narrow(row.reference));
        insideDelivery(row.type, [&](Event* evt) {
            setAttr(evt, row.attribute, row.reference);
            DOMNode* node = row.read(evt);
            EXPECT_EQ(node ? num(int(node->getNodeType())) + u" " + nameOf(node) : u"none", row.expected);
            if (node) {
                EXPECT_EQ(node->getOwnerDocument(), domImpl::eventsImpl::eventDocument());
            }
        });
    }
}

TEST_F(EventObjects, textTargetsComeBackAsTextNodes) {
    const Kw::HostRef run = host.find("project/story/paragraph/textRun");
    const Kw::HostRef textObject = Kw::ElementRef::fromHandle(run).get_FirstChild().get();
    insideDelivery(u"CustomEvent,x", [&](Event* evt) {
        setAttr(evt, u"currentTarget", referenceText(textObject));
        auto* node = dynamic_cast<DOMNode*>(evt->getCurrentTarget());
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->getNodeType(), DOMNode::TEXT_NODE);
        EXPECT_EQ(text(node->getNodeValue()), u"Hello, world");
    });
}

} // namespace
