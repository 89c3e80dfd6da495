// Typed attribute access and reference counting through ObjectRef / ElementRef, against the host's tree
// and the host's own reference counts.
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/strings/SimpleType.hpp>

#include <functional>

#include "bridge/CallbackTable.hpp"
#include "common/HostFixture.hpp"

using namespace Kw;
using testing_support::domExceptionCode;

namespace {

class TypedAttributes : public testing_support::HostTest {
protected:
    ElementRef at(const std::string& path) { return ElementRef::fromHandle(host.find(path)); }
    std::u16string raw(const ElementRef& e, const char16_t* name) {
        return e.GetAttribute(StringKey(name)).str();
    }
};

TEST_F(TypedAttributes, ReadAndWriteThroughText) {
    ElementRef box = at("project/layout/spread/page/box");
    const StringKey bounds(u"bounds");
    ObjectRef::DoubleRef pair = box.GetAttributeDoubleRef(bounds);
    EXPECT_EQ(pair.first, 12);
    EXPECT_EQ(pair.second, -3);
    ObjectRef::DoubleRef next;
    next.first = 5;
    next.second = 7;
    ObjectRef::DoubleRef previous = box.SetAttribute(bounds, next);
    EXPECT_EQ(previous.first, 12);
    EXPECT_EQ(previous.second, -3);
    EXPECT_EQ(raw(box, u"bounds"), u"5/7");
    // Only the low 32 bits of each number are written, as signed numbers.
    next.first = 0x100000005LL;
    next.second = -0x80000001LL;
    box.SetAttribute(bounds, next);
    EXPECT_EQ(raw(box, u"bounds"), u"5/2147483647");

    struct PairCase {
        const char16_t* text;
        int64_t first, second;
    } pairs[] = {{u"12/-3", 12, -3},
                 {u"4", 4, 0},
                 {u"x/5", 0, 0},
                 {u"", 0, 0},
                 {u"2147483648/1", -2147483648LL, 1},
                 {u" 8 / 9", 8, 0},
                 {u"-1/-1", -1, -1}};
    for (const PairCase& c : pairs) {
        box.SetAttribute(bounds, DOMBTString(c.text));
        pair = box.GetAttributeDoubleRef(bounds);
        EXPECT_EQ(pair.first, c.first)
            << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
        EXPECT_EQ(pair.second, c.second);
    }

    const StringKey size(u"size");
    EXPECT_EQ(box.SetAttribute(size, int32_t{-40}), 0); // no previous text
    EXPECT_EQ(raw(box, u"size"), u"-40");
    EXPECT_EQ(box.GetAttributeLong(size), -40);
    EXPECT_EQ(box.SetAttribute(size, int32_t{9}), -40);
    EXPECT_EQ(box.GetAttributeUShort(size), 9);
    EXPECT_EQ(box.SetAttribute(size, static_cast<unsigned short>(65535)), 9);
    EXPECT_EQ(box.GetAttributeLong(size), 65535);

    const StringKey locked(u"locked");
    box.SetAttribute(locked, u"1"); // a literal is text, never the bool overload
    EXPECT_EQ(raw(box, u"locked"), u"1");
    EXPECT_TRUE(box.GetAttributeBool(locked));
    EXPECT_TRUE(box.SetAttribute(locked, false));
    EXPECT_EQ(raw(box, u"locked"), u"false");
    EXPECT_FALSE(box.SetAttribute(locked, true));
    box.SetAttribute(locked, DOMBTString(u"maybe"));
    EXPECT_EQ(domExceptionCode([&] { box.GetAttributeBool(locked); }), 16);
    EXPECT_EQ(domExceptionCode([&] { box.GetAttributeBool(StringKey(u"absent")); }), 16);
}

TEST_F(TypedAttributes, SettingABooleanOverANonBooleanTextWritesItAndAnswersFalse) {
    ElementRef box = at("project/layout/spread/page/box[2]");
    // No previous value: the write happens and is not reported as a validation error.
    EXPECT_FALSE(box.SetAttribute(StringKey(u"visible"), true));
    EXPECT_EQ(raw(box, u"visible"), u"true");
    EXPECT_FALSE(box.SetAttribute(StringKey(u"id"), true)); // "b2" was not a boolean either
    EXPECT_EQ(raw(box, u"id"), u"true");
}

TEST_F(TypedAttributes, DoubleRefReadsOnlyTheFirst255BytesOfAnOverLongText) {
    ElementRef box = at("project/layout/spread/page/box");
    // "7/", 250 zeros, "999", then more digits beyond the 255th byte.
    const std::u16string text = u"7/" + std::u16string(250, u'0') + u"999" + u"88";
    box.SetAttribute(StringKey(u"bounds"), DOMBTString(text.c_str()));
    const ObjectRef::DoubleRef pair = box.GetAttributeDoubleRef(StringKey(u"bounds"));
    EXPECT_EQ(pair.first, 7);
    EXPECT_EQ(pair.second, 999);
}

// The reference host refuses an element of more than 255 attributes, so a host that has more is played
// by a GetAttributeKeys of our own, installed for the test: it fills what the caller has room for and
// reports all 300.
HostKey wideKeys[300];
HostRef wideElement = -1;

HostStatus threeHundredKeys(int32_t* count, HostRef ref, HostKey* keys, int32_t capacity) {
    if (ref != wideElement) return (*count = 0), 0;
    for (int32_t i = 0; i < 300 && i < capacity; ++i) keys[i] = wideKeys[i];
    *count = 300;
    return 0;
}

TEST_F(TypedAttributes, AtMost255AttributeKeys) {
    host.loadString("<application><wide/><narrow/></application>");
    ElementRef wide = at("wide");
    wideElement = wide.get();
    for (int i = 0; i < 300; ++i)
        wideKeys[i] = host.keyOf(u"a" + std::u16string(1, u'0' + i % 10) + u"_" +
                                 std::u16string(1, u'0' + i / 10 % 10) + std::u16string(1, u'0' + i / 100));
    uint64_t words[host::SelectorCount];
    auto install = [&](bool ours) {
        for (int i = 0; i < host::SelectorCount; ++i) words[i] = static_cast<uint64_t>(i);
        host.activateRec().GetCallbacks(words, host::SelectorCount);
        if (ours) words[host::GetAttributeKeys] = reinterpret_cast<uint64_t>(&threeHundredKeys);
        host::installCallbacks(words);
    };
    install(true);
    const std::vector<StringKey> keys = wide.get_AttributeKeys();
    const bool narrowEmpty = at("narrow").get_AttributeKeys().empty();
    const bool narrowReplaces = at("narrow").CanReplace(wide), wideReplaces = wide.CanReplace(at("narrow"));
    install(false);
    ASSERT_EQ(keys.size(), 255u);
    EXPECT_EQ(keys[0].GetUChar16(), std::u16string(u"a0_00"));
    EXPECT_EQ(keys[254].GetUChar16(), std::u16string(u"a4_52"));
    EXPECT_TRUE(narrowEmpty);
    EXPECT_TRUE(narrowReplaces);
    EXPECT_FALSE(wideReplaces);
}

TEST_F(TypedAttributes, EveryNavigationHoldsExactlyOneReference) {
    ElementRef page = at("project/layout/spread/page");
    ElementRef first = at("project/layout/spread/page/box");
    ElementRef second = at("project/layout/spread/page/box[2]");
    const int64_t baseline = host.outstandingReferences();
    struct Step {
        const char* name;
        std::function<ElementRef()> go;
        HostRef expected;
    } steps[] = {
        {"first child", [&] { return page.get_FirstChild(); }, first.get()},
        {"parent", [&] { return first.get_Parent(); }, page.get()},
        {"next sibling", [&] { return first.get_NextSibling(); }, second.get()},
        {"previous sibling", [&] { return second.get_PreviousSibling(); }, first.get()},
        {"by tag", [&] { return page.getElementByTagName(StringKey(u"box")); }, first.get()},
        {"application", [&] { return ElementRef::get_Application(); }, host.application()},
        {"none", [&] { return second.get_NextSibling(); }, ElementRef::NIL},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        const int64_t on = s.expected >= 0 ? host.referencesOn(s.expected) : 0;
        {
            ElementRef r = s.go();
            EXPECT_EQ(r.get(), s.expected);
            if (s.expected >= 0) {
                EXPECT_EQ(host.referencesOn(s.expected), on + 1);
            }
            ElementRef copy(r);
            ElementRef assigned;
            assigned = copy;
            EXPECT_EQ(host.outstandingReferences(), baseline + (s.expected >= 0 ? 3 : 0));
        }
        EXPECT_EQ(host.outstandingReferences(), baseline);
    }
}

TEST_F(TypedAttributes, FailingAcquireOrReleaseThrowsAndHoldsNothing) {
    ElementRef page = at("project/layout/spread/page");
    ElementRef box = at("project/layout/spread/page/box");
    const int64_t baseline = host.outstandingReferences();

    host.failAt(host::AdjustReference, 0x70005);
    EXPECT_EQ(domExceptionCode([&] { ElementRef copy(page); }), 5);
    EXPECT_EQ(host.outstandingReferences(), baseline);

    ElementRef target(page);
    host.failAt(host::AdjustReference, 0x70005); // the release of page
    EXPECT_EQ(domExceptionCode([&] { target = box; }), 5);
    // The failing release is not retried later: the target no longer claims the page.
    EXPECT_TRUE(target.isNil());
    EXPECT_EQ(host.referencesOn(page.get()), 2); // the host kept the reference it refused to drop
    ElementRef other(page);
    host.failAt(host::AdjustReference, 0x70005, 2); // release fine, acquire of box refused
    EXPECT_EQ(domExceptionCode([&] { other = box; }), 5);
    EXPECT_TRUE(other.isNil());
    // Give back the reference the host refused to drop, so the accounting balances.
    ASSERT_EQ(host::callbacks().AdjustReference(page.get(), false), 0);
}

} // namespace
