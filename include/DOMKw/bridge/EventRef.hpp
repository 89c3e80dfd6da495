// A counted reference to a host event object.
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>

namespace Kw {

class EventRef : public ObjectRef {
public:
    EventRef() = default;
    explicit EventRef(void* handle) : ObjectRef(handle) {}
    EventRef(const ObjectRef& other) : ObjectRef(other) {}

    void StopPropagation() const;
    void PreventDefault() const;
    // A new host event of the type.
    static EventRef CreateFrom(const DOMBTString& type);
};

} // namespace Kw
