#include "events/EventFactory.hpp"

#include <DOMKw/bridge/StringKey.hpp>

#include "events/EventImpl.hpp"
#include "events/EventsStartup.hpp"

namespace domImpl::eventsImpl {

namespace {
template <class Impl> dom::events::Event* make(const Kw::EventRef& event) {
    return new Impl(event);
}
} // namespace

std::map<Kw::StringKey, EventCreator>& eventFactoryTable() {
    static std::map<Kw::StringKey, EventCreator> table;
    return table;
}

dom::events::Event* createEventObject(const Kw::EventRef& event) {
    Kw::StringKey interfaceName;
    Kw::SeparatePair(event.GetAttribute(Kw::EVENT_TYPE_KEY), u',', &interfaceName, nullptr);
    const auto& table = eventFactoryTable();
    auto it = table.find(interfaceName);
    if (it == table.end()) it = table.find(Kw::CUSTOM_EVENT_KEY);
    // Before Connect has filled the table every event is a custom one.
    const EventCreator create = it != table.end() ? it->second : &make<CustomEventImpl>;
    return create(event);
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
