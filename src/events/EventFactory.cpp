#include "events/EventFactory.hpp"

#include <DOMKw/bridge/StringKey.hpp>

#include "events/EventImpl.hpp"

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

} // namespace domImpl::eventsImpl

namespace Kw::startup {

void fillEventFactoryTable() {
    using namespace domImpl::eventsImpl;
    auto& table = eventFactoryTable();
    table[MUTATION_EVENT_KEY] = &make<MutationEventImpl>;
    table[CUSTOM_EVENT_KEY] = &make<CustomEventImpl>;
    table[UI_EVENT_KEY] = &make<UIEventImpl>;
    table[MOUSE_EVENT_KEY] = &make<MouseEventImpl>;
    table[TEXT_EVENT_KEY] = &make<TextEventImpl>;
    table[SLUG_EVENT_KEY] = &make<SlugEventImpl>;
}

} // namespace Kw::startup
