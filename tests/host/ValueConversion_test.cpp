// The reference host's ConvertValue and undo log, through its callback table as the library sees it.
#include <DOMKw/strings/DOMBTString.hpp>

#include <tuple>
#include <vector>

#include "bridge/CallbackTable.hpp"
#include "common/HostFixture.hpp"

using namespace Kw;
using namespace kwhost::units;

namespace {

class HostConversion : public testing_support::HostTest {
protected:
    const host::CallbackTable& cb() { return host::callbacks(); }

    // Mode 0 into a 256-unit buffer followed by a guard that must stay untouched.
    std::u16string format(int32_t fixed, int32_t unit, int32_t n, int32_t* status = nullptr) {
        XMLCh buffer[260];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        const int32_t s = cb().ConvertValue(buffer, host::FixedToText, fixed, unit, n);
        if (status) *status = s;
        EXPECT_EQ(std::u16string(buffer + 256, 4), u"####");
        return s == 0 ? std::u16string(buffer) : u"<refused>";
    }
    int32_t parse(const char16_t* text, int32_t unit, int32_t& fixed) {
        fixed = 0;
        return cb().ConvertValue(&fixed, host::TextToFixed, reinterpret_cast<intptr_t>(text), unit, 0);
    }
};

constexpr int32_t pt(double points) {
    return static_cast<int32_t>(points * kwhost::FIXED_ONE);
}

TEST_F(HostConversion, MeasurementsAreWrittenInEachUnit) {
    struct Case {
        int32_t fixed, unit, n;
        const char16_t* text; // null: refused with `status`
        int32_t status = 0;
    } cases[] = {
        {pt(12.75), POINTS, 0, u"13pt"},
        {pt(72), INCHES, 3, u"1.000\""},
        {pt(42), PICAS, 2, u"3p6.00"},
        {pt(-42), PICAS, 0, u"-3p6"},
        {pt(11.96), PICAS, 0, u"1p0"},
        {pt(72), MILLIMETRES, 1, u"25.4mm"},
        {pt(72), AGATES, 0, u"14ag"},
        {pt(72), Q, 1, u"101.6q"},
        {-1, POINTS, 2, u"-0.00pt"},
        {INT32_MAX, POINTS, 8, u"32767.99998474pt"},
        {0, 10, 0, nullptr, kwhost::NOT_SUPPORTED},
        {0, -1, 0, nullptr, kwhost::NOT_SUPPORTED},
        {0, POINTS, 9, nullptr, kwhost::VALIDATION},
        {0, POINTS, -1, nullptr, kwhost::VALIDATION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixed);
        int32_t status = -1;
        EXPECT_EQ(format(c.fixed, c.unit, c.n, &status), c.text ? c.text : u"<refused>");
        EXPECT_EQ(status, c.status);
    }
    // Ciceros: whole ciceros, then Didot points.
    int32_t twoCiceros = 0;
    ASSERT_EQ(parse(u"2c", POINTS, twoCiceros), 0);
    EXPECT_EQ(format(twoCiceros, CICEROS, 0), u"2c0");
    int32_t status = 0;
    EXPECT_EQ(cb().ConvertValue(nullptr, host::FixedToText, 0, POINTS, 0), kwhost::INVALID_ACCESS);
    EXPECT_EQ(cb().ConvertValue(&status, 4, 0, 0, 0), kwhost::NOT_SUPPORTED);
}

// Texts read as measurements: each row a text, the unit a bare number means, and the value (within one
// fixed-point unit) or the status.
TEST_F(HostConversion, MeasurementsAreReadInAnyUnit) {
    const std::u16string huge(100000, u'9'), tiny = u"0." + std::u16string(100000, u'0') + u"1pt";
    struct Case {
        std::u16string text;
        int32_t unit = POINTS;
        int32_t fixed = 0;
        int32_t status = 0;
    };
    std::vector<Case> cases;
    for (const char16_t* inch :
         {u"72", u"1in", u"1\"", u"6p", u"p72", u"2.54cm", u"14ag", u"  1 IN ", u"+1In"})
        cases.push_back({inch, POINTS, pt(72)});
    for (const char16_t* bad : {u"", u"pt", u"12 pt x", u"1e3pt", u"12km", u"1,5pt", u"--1", u"40000pt",
                                u"-40000pt", u"3pt6", u"١٢pt", u".5in 36pt"})
        cases.push_back({bad, POINTS, 0, kwhost::VALIDATION});
    cases.insert(cases.end(), {{u"-3p6", POINTS, pt(-42)},
                               {u"2", PICAS, pt(24)},
                               {u"1c", POINTS, pt(12 * 0.376065 * 72 / 25.4)},
                               {huge, POINTS, 0, kwhost::VALIDATION},
                               {tiny, POINTS, 0},
                               {u"1pt", 11, 0, kwhost::NOT_SUPPORTED}});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.begin() + std::min<size_t>(c.text.size(), 20)));
        int32_t fixed = 0;
        ASSERT_EQ(parse(c.text.c_str(), c.unit, fixed), c.status);
        EXPECT_NEAR(fixed, c.fixed, 1);
    }
    int32_t fixed = 0;
    EXPECT_EQ(cb().ConvertValue(&fixed, host::TextToFixed, 0, POINTS, 0), kwhost::INVALID_ACCESS);
}

TEST_F(HostConversion, UndoRestoresAttributeStateAndLoadingForgetsTheLog) {
    const XMLCh* text = nullptr;
    const HostRef app = host.application();
    const HostKey version = host.keyOf(u"version");
    void* tx = nullptr;
    ASSERT_EQ(cb().TransactionControl(&tx, host::Create, 0), 0);
    ASSERT_EQ(cb().TransactionControl(tx, host::Begin, 0), 0);
    ASSERT_EQ(cb().SetAttributeValue(app, version, u"2"), 0);
    bool implied = true;
    ASSERT_EQ(cb().IsAttributeImplied(app, version, &implied), 0);
    EXPECT_FALSE(implied);
    ASSERT_EQ(cb().TransactionControl(tx, host::Abort, 0), 0);
    ASSERT_EQ(cb().IsAttributeImplied(app, version, &implied), 0);
    EXPECT_TRUE(implied); // implied again, not just the old text
    ASSERT_EQ(cb().GetAttributeValue(&text, app, version, nullptr), 0);
    EXPECT_EQ(std::u16string(text), u"1");

    ASSERT_EQ(cb().TransactionControl(tx, host::Begin, 0), 0);
    ASSERT_EQ(cb().RemoveChild(host.find("colors"), host.find("colors/color")), 0);
    EXPECT_EQ(host.undoLogLength(), 1u);
    host.loadFile(testing_support::testDataPath("small.xml"));
    EXPECT_EQ(host.undoLogLength(), 0u);
    const size_t live = host.liveObjects();
    ASSERT_EQ(cb().TransactionControl(tx, host::Abort, 0), 0); // nothing left to undo
    EXPECT_EQ(host.liveObjects(), live);
    ASSERT_EQ(cb().TransactionControl(&tx, host::Destroy, 0), 0);
    EXPECT_EQ(cb().TransactionControl(&tx, host::Destroy, 0), kwhost::NOT_FOUND);
    EXPECT_EQ(cb().TransactionControl(reinterpret_cast<void*>(0x1234567), host::Begin, 0), kwhost::NOT_FOUND);
    EXPECT_EQ(cb().TransactionControl(nullptr, host::Create, 0), kwhost::INVALID_ACCESS);
    EXPECT_EQ(host.transactionCount(), 0u);
}

} // namespace
