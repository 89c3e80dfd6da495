// Start-up of the serializer: makes it the one dom hands out.
#pragma once

namespace domImpl::serializeImpl {

// Fills dom's serializer entries (createLSSerializer, saveToString). Calling it again changes nothing.
void startSerializer();

} // namespace domImpl::serializeImpl
