#pragma once

#include <gtest/gtest.h>
#include <xercesc/dom/DOMException.hpp>

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace testing_support {

// Runs `work` on a thread with a `bytes` long stack and waits; an exception leaving it fails the test.
inline void onSmallStack(std::size_t bytes, const std::function<void()>& work) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, bytes), 0);
    void* (*run)(void*) = [](void* call) -> void* {
        try {
            (*static_cast<const std::function<void()>*>(call))();
        } catch (const xercesc::DOMException& e) {
            ADD_FAILURE() << "DOMException " << e.code;
        } catch (...) {
            ADD_FAILURE() << "an exception";
        }
        return nullptr;
    };
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

} // namespace testing_support
