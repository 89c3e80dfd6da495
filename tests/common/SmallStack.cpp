#include "common/SmallStack.hpp"

#include <DOMKw/xpath/XPathException.hpp>

#include <gtest/gtest.h>
#include <xercesc/dom/DOMException.hpp>

#include <pthread.h>

namespace testing_support {

void onSmallStack(std::size_t bytes, const std::function<void()>& work) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, bytes), 0);
    struct Call {
        const std::function<void()>* work;
        static void* run(void* self) {
            try {
                (*static_cast<Call*>(self)->work)();
            } catch (const dom::xpath::XPathException& e) {
                ADD_FAILURE() << "XPathException " << e.code;
            } catch (const xercesc::DOMException& e) {
                ADD_FAILURE() << "DOMException " << e.code;
            } catch (...) {
                ADD_FAILURE() << "an exception";
            }
            return nullptr;
        }
    } call{&work};
    pthread_t thread;
    const int created = pthread_create(&thread, &attributes, &Call::run, &call);
    EXPECT_EQ(created, 0);
    if (created == 0) pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

} // namespace testing_support
