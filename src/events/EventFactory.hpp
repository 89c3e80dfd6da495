// The event factory: the event object of a host event, chosen by the interface part of its type
// ("MouseEvent" of "MouseEvent,click").
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/events/Events.hpp>

#include <map>

namespace domImpl::eventsImpl {

using EventCreator = dom::events::Event* (*)(const Kw::EventRef& event);

// Interface name key to creator; filled once by Kw::Connect.
std::map<Kw::StringKey, EventCreator>& eventFactoryTable();

// A new event object over `event` (which it references on its own); interfaces the table does not
// know give a CustomEventImpl. The caller deletes it.
dom::events::Event* createEventObject(const Kw::EventRef& event);

} // namespace domImpl::eventsImpl
