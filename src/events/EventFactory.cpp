#include "events/EventFactory.hpp"

#include <DOMKw/bridge/StringKey.hpp>

#include <new>
#include <string>

#include "bridge/AttributeRef.hpp"
#include "events/EventImpl.hpp"
#include "events/EventsStartup.hpp"

namespace domImpl::eventsImpl {

namespace {

template <class Impl> dom::events::Event* make(const Kw::EventRef& event) {
    return new Impl(event);
}

template <class Impl> dom::events::Event* place(const Kw::EventRef& event, EventObjectRoom& room) {
    static_assert(sizeof(Impl) <= sizeof(EventObjectRoom::bytes), "an event object fits its room");
    static_assert(alignof(Impl) <= alignof(EventObjectRoom), "an event object fits its room");
    return new (room.bytes) Impl(event);
}

using EventPlacer = dom::events::Event* (*)(const Kw::EventRef& event, EventObjectRoom& room);

// The placing twin of each creator of the table, found by the creator itself: the table stays the one
// place that says which class an interface gets.
template <class Impl> constexpr std::pair<EventCreator, EventPlacer> kind() {
    return {&make<Impl>, &place<Impl>};
}
constexpr std::pair<EventCreator, EventPlacer> kKinds[] = {
    kind<MutationEventImpl>(), kind<CustomEventImpl>(), kind<UIEventImpl>(),
    kind<MouseEventImpl>(),    kind<TextEventImpl>(),   kind<SlugEventImpl>(),
};

// The key of the interface part of the event's type: the text before the first comma when the comma
// is past the start, the whole text when it starts it, "" when there is none. The host interns it
// whatever it is, exactly as a split with Kw::SeparatePair would. The type is read as GetAttribute reads
// it (its temporary record's reference, the read, the release), the host's text copied only as far as
// the part the key is made of, and that before the next host call.
Kw::StringKey interfaceKey(const Kw::EventRef& event) {
    constexpr size_t kShort = 64;
    XMLCh shortPart[kShort];
    std::u16string longPart;
    const XMLCh* part = u"";
    {
        Kw::AttributeRef attr(Kw::ElementRef::fromHandle(event.get()), Kw::EVENT_TYPE_KEY);
        const XMLCh* text = attr.readText();
        const XMLCh* comma = std::char_traits<XMLCh>::find(text, std::char_traits<XMLCh>::length(text), u',');
        if (comma) {
            // Up to the comma, or the whole text when the comma starts it.
            const size_t length =
                comma == text ? std::char_traits<XMLCh>::length(text) : static_cast<size_t>(comma - text);
            if (length < kShort) {
                std::char_traits<XMLCh>::copy(shortPart, text, length);
                shortPart[length] = 0;
                part = shortPart;
            } else {
                longPart.assign(text, length);
                part = longPart.c_str();
            }
        }
    }
    return Kw::StringKey(part);
}

EventCreator creatorOf(const Kw::EventRef& event) {
    const Kw::StringKey interfaceName = interfaceKey(event);
    const auto& table = eventFactoryTable();
    auto it = table.find(interfaceName);
    if (it == table.end()) it = table.find(Kw::CUSTOM_EVENT_KEY);
    // Before Connect has filled the table every event is a custom one.
    return it != table.end() ? it->second : &make<CustomEventImpl>;
}

} // namespace

std::map<Kw::StringKey, EventCreator>& eventFactoryTable() {
    static std::map<Kw::StringKey, EventCreator> table;
    return table;
}

dom::events::Event* createEventObject(const Kw::EventRef& event) {
    return creatorOf(event)(event);
}

PlacedEvent::PlacedEvent(const Kw::EventRef& event, EventObjectRoom& room) {
    const EventCreator create = creatorOf(event);
    for (const auto& [creator, placer] : kKinds)
        if (creator == create) {
            object = placer(event, room);
            inRoom = true;
            return;
        }
    // A creator put in the table from elsewhere has no twin: its object comes from the heap.
    object = create(event);
}

PlacedEvent::~PlacedEvent() {
    if (inRoom)
        object->~Event();
    else
        delete object;
}

void startEvents() {
    auto& table = eventFactoryTable();
    table[Kw::MUTATION_EVENT_KEY] = &make<MutationEventImpl>;
    table[Kw::CUSTOM_EVENT_KEY] = &make<CustomEventImpl>;
    table[Kw::UI_EVENT_KEY] = &make<UIEventImpl>;
    table[Kw::MOUSE_EVENT_KEY] = &make<MouseEventImpl>;
    table[Kw::TEXT_EVENT_KEY] = &make<TextEventImpl>;
    table[Kw::SLUG_EVENT_KEY] = &make<SlugEventImpl>;
}

} // namespace domImpl::eventsImpl
