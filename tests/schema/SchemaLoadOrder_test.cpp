// A module linked against the library may read the vocabulary from its own static objects: the
// library has built every name before the module's start-up code runs.
#include <DOMKw/schema/DomSchemaConstants.hpp>

#include <gtest/gtest.h>

#include <string>

namespace {

// Read while this program starts, before main and before any test.
std::u16string readAtStartUp(const XMLCh* p) {
    return p ? std::u16string(p) : u"<null>";
}
const std::u16string pointerAtStartUp = readAtStartUp(DomSchemaConstants::kApplication);
const std::u16string twinAtStartUp = DomSchemaConstants::kApplicationStr.str();
const bool sameBufferAtStartUp = DomSchemaConstants::kXmlNS == DomSchemaConstants::kXmlNSStr.GetUChar16();

TEST(SchemaNamesLoadOrder, ModuleStaticsSeeTheNamesBuilt) {
    EXPECT_EQ(pointerAtStartUp, u"application");
    EXPECT_EQ(twinAtStartUp, u"application");
    EXPECT_TRUE(sameBufferAtStartUp);
}

} // namespace
