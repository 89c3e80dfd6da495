// dom reaches the serializer through the entries start-up fills: with them empty, dom refuses clearly
// instead of calling through nothing; filled again, a second start-up changes nothing.
#include "dom/SerializerFactory.hpp"
#include "serialize/SerializerStartup.hpp"
#include "serialize/WriterFixture.hpp"

using namespace testing_support;

namespace {

using SerializerSeam = WriterTest;

TEST_F(SerializerSeam, withoutTheSerializerStartedDomRefusesInsteadOfCallingThroughNothing) {
    domImpl::SerializerFactory& factory = domImpl::serializerFactory();
    ASSERT_NE(factory.create, nullptr);
    ASSERT_NE(factory.save, nullptr);
    const domImpl::SerializerFactory started = factory;
    struct Restore {
        domImpl::SerializerFactory& factory;
        domImpl::SerializerFactory started;
        ~Restore() { factory = started; }
    } restore{factory, started};

    factory = domImpl::SerializerFactory();
    EXPECT_EQ(domExceptionCode([&] { serializer(); }), DOMException::NOT_SUPPORTED_ERR);
    EXPECT_EQ(domExceptionCode([&] { doc->saveToString(nullptr); }), DOMException::NOT_SUPPORTED_ERR);
    EXPECT_EQ(doc->liveNodeCount(), 0u); // the refusal made no node object

    domImpl::serializeImpl::startSerializer();
    domImpl::serializeImpl::startSerializer();
    EXPECT_EQ(factory.create, started.create);
    EXPECT_EQ(factory.save, started.save);
    const Serializer w = serializer();
    Owned box(at("project/layout/spread/page/box[2]"));
    EXPECT_NE(write(w.get(), box.node).find(u"id=\"b2\""), std::u16string::npos);
    EXPECT_NE(save(nullptr).find(u"id=\"b2\""), std::u16string::npos);
}

} // namespace
