// The events layer's part of start-up.
#pragma once

namespace domImpl::eventsImpl {

// Fills the process-wide event-object factory table.
void startEvents();

} // namespace domImpl::eventsImpl
