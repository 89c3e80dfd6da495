#include "common/HostFixture.hpp"

namespace testing_support {

std::string testDataPath(const std::string& name) { return std::string(DOMKW_TEST_DATA_DIR) + "/" + name; }
std::string samplePath(const std::string& name) { return std::string(DOMKW_SAMPLES_DIR) + "/" + name; }

void connectOnce() {
    static bool connected = [] {
        kwhost::ReferenceHost::instance().loadFile(testDataPath("small.xml"));
        Kw::Connect(kwhost::ReferenceHost::instance().activateRec());
        return true;
    }();
    (void)connected;
}

void HostTest::SetUp() {
    connectOnce();
    host.reset();
    host.loadFile(testDataPath("small.xml"));
}

void HostTest::TearDown() {
    if (host.outstandingReferences() != 0)
        ADD_FAILURE() << "the library still holds " << host.outstandingReferences() << " host reference(s)";
    if (host.failureArmed()) ADD_FAILURE() << "a failure injection is still armed";
    host.reset();
}

} // namespace testing_support
