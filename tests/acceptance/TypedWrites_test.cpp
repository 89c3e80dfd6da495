// A plug-in writes typed attributes with whatever integer type it has at hand: every standard integer
// type compiles, means the host's signed 32-bit number, and a value the host cannot hold is refused
// before anything is written.
#include <DOMKw/bridge/ObjectRef.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "common/HostFixture.hpp"

using namespace Kw;
using testing_support::domExceptionCode;

namespace {

class TypedWrites : public testing_support::HostTest {};

TEST_F(TypedWrites, unsignedAndSizeTypesCompileAndWriteTheHostsNumberOrAreRefusedWhole) {
    const ElementRef box = ElementRef::fromHandle(host.find("project/layout/spread/page/box"));
    const StringKey key(u"count");
    struct Case {
        const char* type;
        std::function<int32_t()> write;
        const char16_t* expected; // null: refused with 16 and the attribute left as it was
    };
    const Case cases[] = {
        {"unsigned int", [&] { return box.SetAttribute(key, 5u); }, u"5"},
        {"uint32_t max", [&] { return box.SetAttribute(key, UINT32_MAX); }, nullptr},
        {"uint32_t INT32_MAX", [&] { return box.SetAttribute(key, uint32_t{INT32_MAX}); }, u"2147483647"},
        {"size_t", [&] { return box.SetAttribute(key, size_t{42}); }, u"42"},
        {"size_t past 32 bits", [&] { return box.SetAttribute(key, size_t{1} << 40); }, nullptr},
        {"unsigned long", [&] { return box.SetAttribute(key, 7ul); }, u"7"},
        {"uint64_t max", [&] { return box.SetAttribute(key, UINT64_MAX); }, nullptr},
        {"int64_t negative", [&] { return box.SetAttribute(key, int64_t{-9}); }, u"-9"},
        // `long` is 64 bits wide on LP64 systems: it still means the host's signed 32-bit number.
        {"long", [&] { return box.SetAttribute(key, -7L); }, u"-7"},
        {"long past INT32_MAX", [&] { return box.SetAttribute(key, static_cast<long>(INT32_MAX) + 1); },
         nullptr},
        {"long long below INT32_MIN",
         [&] { return box.SetAttribute(key, static_cast<long long>(INT32_MIN) - 1); }, nullptr},
    };
    for (const Case& c : cases) {
        box.SetAttribute(key, u"before");
        if (c.expected) {
            c.write();
            EXPECT_EQ(box.GetAttribute(key).str(), c.expected) << c.type;
        } else {
            EXPECT_EQ(domExceptionCode([&] { c.write(); }), 16) << c.type;
            EXPECT_EQ(box.GetAttribute(key).str(), u"before") << c.type << ": written although refused";
        }
    }
}

} // namespace
