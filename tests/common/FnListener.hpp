// A listener that counts its deliveries and runs a function for each.
#pragma once

#include <DOMKw/events/Events.hpp>

#include <functional>

namespace testing_support {

struct FnListener : dom::events::EventListener {
    explicit FnListener(std::function<void(dom::events::Event*)> fn = {}) : fn(std::move(fn)) {}
    void handleEvent(dom::events::Event* evt) override {
        ++calls;
        if (fn) fn(evt);
    }
    std::function<void(dom::events::Event*)> fn;
    int calls = 0;
};

} // namespace testing_support
