// The shared fixture: the reference host connected once per process, a fresh small project per test;
// tear-down fails the test when a host reference is still held or a failure injection still armed.
#pragma once

#include <DOMKw/bridge/Connect.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <gtest/gtest.h>
#include <xercesc/dom/DOMException.hpp>

#include <string>

namespace testing_support {

std::string testDataPath(const std::string& name);
std::string samplePath(const std::string& name);

// Connects the library to the reference host (once per process).
void connectOnce();

class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A project of its own for one test (the fixture reloads the small one for the next test).
    void load(const std::string& file) { host.loadFile(file); }

    kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();

    // The host's registrations of one listener object.
    size_t registrationsOf(const void* listener) const {
        size_t n = 0;
        for (const kwhost::ListenerRegistration& r : host.listeners())
            if (r.listener == listener) ++n;
        return n;
    }
};

// For tests that register schema items: the host's registrations start and end empty.
class RegistrationTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        host.clearRegistrations();
    }
    void TearDown() override {
        host.clearRegistrations();
        HostTest::TearDown();
    }
};

// The DOMException code of a call that must throw one, or a failure.
template <class F> int domExceptionCode(F&& f) {
    try {
        f();
    } catch (const xercesc::DOMException& e) {
        return static_cast<short>(e.code);
    }
    ADD_FAILURE() << "expected a DOMException";
    return 0;
}

} // namespace testing_support
