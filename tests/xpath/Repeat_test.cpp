// Expressions evaluated again over the same document: a document keeps what it compiled (a bounded
// number of expressions), yet every repeat answers the host tree as it is now, resolves its prefixes
// with the resolver it is given now, and refuses bad text every time.
#include <DOMKw/bridge/ObjectRef.hpp>

#include "xpath/DocumentXPathState.hpp"
#include "xpath/XPathFixture.hpp"

using namespace testing_support;
using domImpl::xpathImpl::CompiledExpressions;

namespace {

class XPathRepeat : public XPathTest {
protected:
    size_t kept() { return domImpl::xpathImpl::compiledExpressions(*doc).size(); }
    std::u16string string(const XMLCh* expression, const DOMNode* context = nullptr,
                          const DOMXPathNSResolver* resolver = nullptr) {
        Result r(evaluate(expression, context ? context : docNode(), DOMXPathResult::STRING_TYPE, resolver));
        return text(r->getStringValue());
    }
    // A project whose elements sit in two namespaces, "a" and "b" declared on the application element.
    void openNamespaced() {
        host.loadString("<application xmlns:a='urn:test:a' xmlns:b='urn:test:b'>"
                        "<a:box/><b:box/><b:box/><box/></application>");
        openDocument();
    }
};

TEST_F(XPathRepeat, RepeatAnswersTheTreeAsItIsNow) {
    // Each expression is evaluated before and after a change, at one context; then the same text again
    // at another context.
    struct Row {
        const XMLCh* expression;
        std::u16string before, after;
    };
    const Row rows[] = {
        {u"count(/application/project/layout/spread/page/box)", u"3", u"2"},
        {u"string(/application/project/layout/spread/page/box[2]/@id)", u"b2", u""},
        {u"string(/application/project/layout/spread/page/box[1]/@id)", u"b1", u"changed"},
        {u"count(//box)", u"3", u"2"},
        {u"string((//box)[last()]/@id)", u"b3", u"b3"},
    };
    for (const Row& row : rows) EXPECT_EQ(string(row.expression), row.before) << narrow(row.expression);
    const size_t compiled = kept();
    {
        Owned page(at("project/layout/spread/page"));
        Owned b2(at("project/layout/spread/page/box[2]"));
        Owned gone(page->removeChild(b2.node));
        Owned b1(at("project/layout/spread/page/box"));
        b1.element()->setAttribute(u"id", u"changed");
    }
    for (const Row& row : rows) EXPECT_EQ(string(row.expression), row.after) << narrow(row.expression);
    EXPECT_EQ(kept(), compiled);

    // One text, several contexts: the context is the evaluation's, not the compilation's.
    Owned l1(at("project/layout"));
    Owned l2(at("project/layout[2]"));
    EXPECT_EQ(string(u"string(@name)", l1.node), u"L1");
    EXPECT_EQ(string(u"string(@name)", l2.node), u"L2");
    EXPECT_EQ(string(u"string(@name)", l1.node), u"L1");
}

TEST_F(XPathRepeat, ManyDistinctExpressionsKeepABoundedNumberAndFlatMemory) {
    // Texts of one length, each answering its own number.
    auto expression = [](int n) {
        const std::string digits = std::to_string(1000 + n);
        return u"count(//box) + " + std::u16string(digits.begin(), digits.end());
    };
    int n = 0;
    for (; n < 3 * static_cast<int>(CompiledExpressions::bound); ++n)
        ASSERT_EQ(number(expression(n).c_str()), 1003 + n);
    EXPECT_EQ(kept(), CompiledExpressions::bound);
    const size_t heap = heapInUse();
    for (; n < 600; ++n) ASSERT_EQ(number(expression(n).c_str()), 1003 + n);
    EXPECT_EQ(kept(), CompiledExpressions::bound);
    EXPECT_LT(heapInUse(), heap + 16 * 1024) << "grew by " << heapInUse() - heap << " bytes";

    // One evaluated again between new ones answers alike.
    const std::u16string recent = expression(599);
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(number(expression(700 + i).c_str()), 1703 + i);
        ASSERT_EQ(number(recent.c_str()), 1602);
    }
    EXPECT_EQ(kept(), CompiledExpressions::bound);

    // A text longer than the longest kept is compiled each time and not kept.
    const std::u16string literal(CompiledExpressions::longestKept + 10, u'x');
    const std::u16string longText = u"string-length('" + literal + u"')";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(number(longText.c_str()), static_cast<double>(literal.size()));
    EXPECT_EQ(kept(), CompiledExpressions::bound);
}

TEST_F(XPathRepeat, BadTextIsRefusedEveryTimeAndKeepsNothing) {
    const std::u16string deep = std::u16string(100, u'(') + u"1" + std::u16string(100, u')');
    const XMLCh* refused[] = {u"//box[",    u"count(",       u"project/", u"@@id",
                              deep.c_str(), u"$unbound + 1", u"//box/"};
    EXPECT_EQ(number(u"count(//box)"), 3);
    for (int round = 0; round < 3; ++round)
        for (const XMLCh* expression : refused)
            EXPECT_EQ(xpathCode([&] { Result r(evaluate(expression, docNode())); }), 51)
                << narrow(expression) << " round " << round;
    // "$unbound + 1" compiles and fails when it runs: it may be kept, and is refused all the same.
    EXPECT_LE(kept(), 2u);
    EXPECT_EQ(xpathCode([&] { Result r(evaluate(nullptr, docNode())); }), 51);
    EXPECT_EQ(number(u"count(//box)"), 3);
}

TEST_F(XPathRepeat, PrefixesResolveWithTheResolverOfEachEvaluation) {
    openNamespaced();
    // The same text under resolvers binding "p" differently: each evaluation answers its own binding.
    using Bindings = std::map<std::u16string, std::u16string>;
    FixedResolver toA(Bindings{{u"p", u"urn:test:a"}});
    FixedResolver toB(Bindings{{u"p", u"urn:test:b"}});
    FixedResolver none(Bindings{});
    const XMLCh* expression = u"count(//p:box)";
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(string(expression, nullptr, &toA), u"1");
        EXPECT_EQ(string(expression, nullptr, &toB), u"2");
        EXPECT_EQ(xpathCode([&] { string(expression, nullptr, &none); }), 51);
    }
    // A resolver that changes its binding between two evaluations.
    toA.bindings[u"p"] = u"urn:test:b";
    EXPECT_EQ(string(expression, nullptr, &toA), u"2");

    // Resolvers released between evaluations are never asked again (the sanitizer would see it).
    for (int i = 0; i < 3; ++i) {
        auto made = std::make_unique<FixedResolver>(Bindings{{u"p", i % 2 ? u"urn:test:a" : u"urn:test:b"}});
        EXPECT_EQ(string(expression, nullptr, made.get()), i % 2 ? u"1" : u"2");
    }
    Owned app(doc->getDocumentElement());
    for (int i = 0; i < 3; ++i) {
        std::unique_ptr<DOMXPathNSResolver> own(static_cast<DOMDocument*>(doc)->createNSResolver(app.node));
        EXPECT_EQ(string(u"count(//a:box) * 10 + count(//b:box)", nullptr, own.get()), u"12");
    }
}

TEST_F(XPathRepeat, PrefixesOfTheDocumentAreReadAgainWhenTheirDeclarationChanges) {
    openNamespaced();
    // Without a resolver, prefixes are those the application element declares now.
    const XMLCh* expression = u"count(//a:box)";
    EXPECT_EQ(string(expression), u"1");
    EXPECT_EQ(string(expression), u"1");
    const Kw::ElementRef application = Kw::ElementRef::get_Application();
    application.SetAttribute(Kw::StringKey(u"xmlns:a"), u"urn:test:b");
    EXPECT_EQ(string(expression), u"2");
    application.SetAttribute(Kw::StringKey(u"xmlns:a"), u"urn:test:none");
    EXPECT_EQ(string(expression), u"0");
    EXPECT_EQ(string(u"count(//box)"), u"1");
}

TEST_F(XPathRepeat, KeptExpressionsEndWithTheirDocument) {
    // A document that kept expressions, released while a result made from one is still held.
    DOMDocument* other = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    DOMXPathResult* held =
        other->evaluate(u"//box", other, nullptr, DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE, nullptr);
    Result count(other->evaluate(u"count(//box)", other, nullptr, DOMXPathResult::NUMBER_TYPE, nullptr));
    EXPECT_EQ(count->getNumberValue(), 3);
    other->release();
    EXPECT_EQ(held->getSnapshotLength(), 3u);
    EXPECT_EQ(count->getNumberValue(), 3);
    held->release();
    // The fixture's own document compiles the same texts for itself.
    EXPECT_EQ(kept(), 0u);
    EXPECT_EQ(number(u"count(//box)"), 3);
    EXPECT_EQ(kept(), 1u);
}

} // namespace
