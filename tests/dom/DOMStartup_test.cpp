// Publishing the library's DOM implementation in Xerces-C's registry.
#include <gtest/gtest.h>

#include <xercesc/dom/DOMImplementationRegistry.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdlib>

#include "dom/DOMImplementationImpl.hpp"
#include "dom/DOMStartup.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace {

// Runs in a child process: it ends Xerces-C for good, which no other test may see.
int restartXercesAndLookUp() {
    domImpl::startDOM();
    if (DOMImplementationRegistryGet(u"Tellam 6.0") != domImpl::DOMImplementationImpl::instance()) return 2;
    while (XMLPlatformUtils::fgMemoryManager) XMLPlatformUtils::Terminate();
    XMLPlatformUtils::Initialize();
    // A new registry knows Xerces-C's own implementation only, until the library starts again.
    if (DOMImplementationRegistryGet(u"Tellam 6.0") != nullptr) return 3;
    domImpl::startDOM();
    domImpl::startDOM(); // once per registry, however often it is asked
    if (DOMImplementationRegistryGet(u"Tellam 6.0") != domImpl::DOMImplementationImpl::instance()) return 4;
    if (DOMImplementationRegistryGet(u"Core LS") == nullptr) return 5;
    XMLPlatformUtils::Terminate();
    return 0;
}

} // namespace

TEST(DOMStartup, theImplementationIsFoundAgainAfterXercesRestarts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(restartXercesAndLookUp()), ::testing::ExitedWithCode(0), "");
}

// Set in a child process: the registry is asked after every static destructor, as an application may.
bool lookUpAfterStaticDestructors = false;

__attribute__((destructor)) static void lookUpAtTheVeryEnd() {
    if (!lookUpAfterStaticDestructors) return;
    const bool found =
        DOMImplementationRegistryGet(u"Tellam 6.0") == domImpl::DOMImplementationImpl::instance();
    std::_Exit(found ? 0 : 7);
}

TEST(DOMStartup, aLookupAfterTheStaticDestructorsStillFindsTheImplementation) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            domImpl::startDOM();
            lookUpAfterStaticDestructors = true;
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
