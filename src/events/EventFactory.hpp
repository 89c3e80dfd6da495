// The event factory: the event object of a host event, chosen by the interface part of its type
// ("MouseEvent" of "MouseEvent,click").
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/events/Events.hpp>

#include <cstddef>
#include <map>

namespace domImpl::eventsImpl {

using EventCreator = dom::events::Event* (*)(const Kw::EventRef& event);

// Interface name key to creator; filled once by Kw::Connect.
std::map<Kw::StringKey, EventCreator>& eventFactoryTable();

// A new event object over `event` (which it references on its own); interfaces the table does not
// know give a CustomEventImpl. The caller deletes it.
dom::events::Event* createEventObject(const Kw::EventRef& event);

// Room for any event object of the factory, for a delivery that builds its object in place.
struct alignas(std::max_align_t) EventObjectRoom {
    unsigned char bytes[96];
};

// The event object of one delivery: the same object as createEventObject makes (same host calls, same
// class), built in `room` instead of on the heap, and ended with the scope.
class PlacedEvent {
public:
    PlacedEvent(const Kw::EventRef& event, EventObjectRoom& room);
    ~PlacedEvent();
    PlacedEvent(const PlacedEvent&) = delete;
    PlacedEvent& operator=(const PlacedEvent&) = delete;

    dom::events::Event* get() const { return object; }

private:
    dom::events::Event* object = nullptr;
    bool inRoom = false;
};

} // namespace domImpl::eventsImpl
