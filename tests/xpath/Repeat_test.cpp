// Repeated evaluations: a document keeps a bounded number of compiled expressions, yet every repeat
// answers the tree and the resolver of now; then what a result holds (integers, literals, cursors).
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/bridge/Transaction.hpp>

#include <climits>
#include <cmath>

#include "xpath/DocumentXPathState.hpp"
#include "xpath/XPathFixture.hpp"

using namespace testing_support;
using domImpl::xpathImpl::CompiledExpressions;

namespace {

using Type = DOMXPathResult::ResultType;
using Answers = std::vector<std::u16string>;
constexpr int TYPE_ERR = 52, INVALID = 51;

class XPathRepeat : public XPathTest {
protected:
    size_t kept() { return domImpl::xpathImpl::compiledExpressions(*doc).size(); }
    // Each text refused with 51, twice, for two types, with and without a resolver and a result to reuse;
    // by createExpression too unless it `compiles`, and then when the expression runs. The refusals leave
    // the engine ready and the reused result as it was.
    void expectRefusedEveryTime(const std::vector<const XMLCh*>& texts, bool compiles) {
        DOMDocument* d = doc;
        FixedResolver prefixes = sampleResolver();
        Result reused(evaluate(u"//box", docNode(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));
        for (int round = 0; round < 2; ++round)
            for (const XMLCh* expression : texts) {
                SCOPED_TRACE(expression ? narrow(expression) : "(null)");
                for (Type type : {DOMXPathResult::ANY_TYPE, DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE}) {
                    EXPECT_EQ(xpathCode([&] { Result r(evaluate(expression, docNode(), type)); }), INVALID);
                    EXPECT_EQ(
                        xpathCode([&] { evaluate(expression, docNode(), type, &prefixes, reused.get()); }),
                        INVALID);
                }
                if (!compiles) {
                    EXPECT_EQ(xpathCode([&] { Expression e(d->createExpression(expression, nullptr)); }),
                              INVALID);
                    continue;
                }
                Expression compiled(d->createExpression(expression, nullptr));
                ASSERT_TRUE(compiled);
                EXPECT_EQ(
                    xpathCode([&] { Result(compiled->evaluate(d, DOMXPathResult::ANY_TYPE, nullptr)); }),
                    INVALID);
            }
        EXPECT_EQ(xpathCode([&] {
                      evaluate(u"count(//box)", docNode(), DOMXPathResult::BOOLEAN_TYPE, nullptr,
                               reused.get());
                  }),
                  TYPE_ERR);
        EXPECT_EQ(reused->getSnapshotLength(), 3u);
        EXPECT_EQ(number(u"count(//box)"), 3);
        EXPECT_EQ(doc->liveNodeCount(), 0u);
    }
};

TEST_F(XPathRepeat, RepeatAnswersTheTreeAsItIsNowWhoeverChangedIt) {
    // The same texts after a change through the DOM, a change the host undoes, a plug-in's write through
    // the facade past the DOM and a project the host imports; then one text at several contexts.
    const XMLCh* expressions[] = {
        u"count(/application/project/layout/spread/page/box)",
        u"string(/application/project/layout/spread/page/box[2]/@id)",
        u"string(/application/project/layout/spread/page/box[1]/@id)",
        u"count(//box)",
        u"string((//box)[last()]/@id)",
    };
    auto answers = [&] {
        Answers out;
        for (const XMLCh* expression : expressions) out.push_back(string(expression));
        return out;
    };
    EXPECT_EQ(answers(), (Answers{u"3", u"b2", u"b1", u"3", u"b3"}));
    Result boxes(evaluate(u"//box", docNode(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));
    Result ids(evaluate(u"//box/@id", docNode(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));
    const size_t compiled = kept();
    Owned box(at("project/layout/spread/page/box"));
    {
        Owned page(at("project/layout/spread/page"));
        Owned b2(at("project/layout/spread/page/box[2]"));
        Owned gone(page->removeChild(b2.node));
        box.element()->setAttribute(u"id", u"changed");
    }
    EXPECT_EQ(answers(), (Answers{u"2", u"", u"changed", u"2", u"b3"}));
    EXPECT_EQ(kept(), compiled);
    // Results handed out before keep their nodes.
    ASSERT_EQ(boxes->getSnapshotLength(), 3u);
    ASSERT_TRUE(boxes->snapshotItem(1) && ids->snapshotItem(1));
    Owned removed(boxes->getNodeValue());
    Owned attr(ids->getNodeValue());
    EXPECT_EQ(text(removed.element()->getAttribute(u"id")), u"b2");
    EXPECT_EQ(text(attr->getNodeValue()), u"b2");

    Kw::Transaction transaction;
    ASSERT_TRUE(transaction.Begin());
    box.element()->setAttribute(u"id", u"undone");
    EXPECT_EQ(answers()[2], u"undone");
    ASSERT_TRUE(transaction.Abort());
    Kw::ElementRef::fromHandle(host.find("project/layout[2]/spread/page/box"))
        .SetAttribute(Kw::StringKey(u"id"), u"direct");
    EXPECT_EQ(answers(), (Answers{u"2", u"", u"changed", u"2", u"direct"}));
    const std::string path = testDataPath("import.xml");
    ASSERT_TRUE(Kw::KWLIB::Import(std::u16string(path.begin(), path.end()).c_str()));
    EXPECT_EQ(answers(), (Answers{u"3", u"", u"changed", u"3", u"ib1"}));
    EXPECT_EQ(string(u"string(/application/project[@id='p2']/layout/@name)"), u"IL");

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
    const size_t before = kept();
    expectRefusedEveryTime({u"//box[", u"count(", u"@@id", u"unknownFunction()", u"", u"1 +", u"//box/",
                            u"a/", u"//", u"project/", deep.c_str(), nullptr},
                           false);
    EXPECT_LE(kept(), before + 2); // "//box" and "count(//box)" of the checks themselves
    // An expression that compiles but cannot run: a node-set function given a number.
    EXPECT_EQ(xpathCode([&] { evaluate(u"count(1)", docNode()); }), INVALID);
    // No context node, or a resolver made without a node.
    EXPECT_EQ(xpathCode([&] { evaluate(u"//box", nullptr); }), INVALID);
    std::unique_ptr<DOMXPathNSResolver> noNode(static_cast<DOMDocument*>(doc)->createNSResolver(nullptr));
    EXPECT_EQ(xpathCode([&] { evaluate(u"//box", docNode(), DOMXPathResult::ANY_TYPE, noNode.get()); }),
              INVALID);
    EXPECT_EQ(xpathCode([&] {
                  Expression e(static_cast<DOMDocument*>(doc)->createExpression(u"//box", noNode.get()));
              }),
              INVALID);
    // A lone slash is the root; a slash inside a longer path is fine.
    EXPECT_EQ(Result(evaluate(u"/", docNode()))->getResultType(),
              DOMXPathResult::UNORDERED_NODE_ITERATOR_TYPE);
    EXPECT_EQ(number(u"count(/application/project/layout)"), 2);
}

// Nothing binds variables: a reference to one compiles (createExpression accepts it) but is refused with
// 51 as soon as an evaluation reaches it, never answered with a value of no type.
TEST_F(XPathRepeat, UnboundVariablesAreRefusedAtEvaluation) {
    expectRefusedEveryTime(
        {u"$x", u"count($x)", u"//box[@id = $x]", u"$x + 1", u"string($kw:x)", u"//box | $x", u"not($x)"},
        true);
}

TEST_F(XPathRepeat, PrefixesResolveWithTheResolverOfEachEvaluationOrTheDeclarationsOfNow) {
    // Elements in two namespaces, "a" and "b" declared on the application element.
    host.loadString("<application xmlns:a='urn:test:a' xmlns:b='urn:test:b'>"
                    "<a:box/><b:box/><b:box/><box/></application>");
    openDocument();
    // The same text under resolvers binding "p" differently: each evaluation answers its own binding.
    using Bindings = std::map<std::u16string, std::u16string>;
    FixedResolver toA(Bindings{{u"p", u"urn:test:a"}});
    FixedResolver toB(Bindings{{u"p", u"urn:test:b"}});
    FixedResolver none(Bindings{});
    const XMLCh* expression = u"count(//p:box)";
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(string(expression, nullptr, &toA), u"1");
        EXPECT_EQ(string(expression, nullptr, &toB), u"2");
        EXPECT_EQ(xpathCode([&] { string(expression, nullptr, &none); }), INVALID);
    }
    // A resolver that changes its binding between two evaluations.
    toA.bindings[u"p"] = u"urn:test:b";
    EXPECT_EQ(string(expression, nullptr, &toA), u"2");

    // Resolvers released between evaluations are never asked again (the sanitizer would see it).
    for (int i = 0; i < 3; ++i) {
        auto made = std::make_unique<FixedResolver>(Bindings{{u"p", i % 2 ? u"urn:test:a" : u"urn:test:b"}});
        EXPECT_EQ(string(expression, nullptr, made.get()), i % 2 ? u"1" : u"2");
    }
    {
        Owned app(doc->getDocumentElement());
        for (int i = 0; i < 3; ++i) {
            std::unique_ptr<DOMXPathNSResolver> own(
                static_cast<DOMDocument*>(doc)->createNSResolver(app.node));
            EXPECT_EQ(string(u"count(//a:box) * 10 + count(//b:box)", nullptr, own.get()), u"12");
        }
    }
    // Without a resolver, prefixes are those the application element declares now.
    EXPECT_EQ(string(u"count(//a:box)"), u"1");
    EXPECT_EQ(string(u"count(//a:box)"), u"1");
    const Kw::ElementRef application = Kw::ElementRef::get_Application();
    application.SetAttribute(Kw::StringKey(u"xmlns:a"), u"urn:test:b");
    EXPECT_EQ(string(u"count(//a:box)"), u"2");
    application.SetAttribute(Kw::StringKey(u"xmlns:a"), u"urn:test:none");
    EXPECT_EQ(string(u"count(//a:box)"), u"0");
    EXPECT_EQ(string(u"count(//box)"), u"1");
}

// A document released under its kept expressions, a result and a resolver: the results keep their values
// and hand out no node, and nothing is held once they are released.
TEST_F(XPathRepeat, KeptExpressionsEndWithTheirDocumentAndResultsAndResolversOutliveIt) {
    const int64_t references = host.outstandingReferences();
    DOMDocument* other = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    Owned app(other->getDocumentElement());
    DOMXPathNSResolver* resolver = other->createNSResolver(app.node);
    Result held(
        other->evaluate(u"//box", other, nullptr, DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE, nullptr));
    Result count(other->evaluate(u"count(//box)", other, nullptr, DOMXPathResult::NUMBER_TYPE, nullptr));
    EXPECT_EQ(count->getNumberValue(), 3);
    app.node = nullptr; // ended with the document, the resolver's own node object too
    other->release();
    EXPECT_EQ(held->getSnapshotLength(), 3u);
    EXPECT_EQ(held->getNodeValue(), nullptr);
    EXPECT_EQ(count->getNumberValue(), 3);
    resolver->release();
    held.reset();
    EXPECT_EQ(host.outstandingReferences(), references);
    // The fixture's own document compiles the same texts for itself.
    EXPECT_EQ(kept(), 0u);
    EXPECT_EQ(number(u"count(//box)"), 3);
    EXPECT_EQ(kept(), 1u);
}

class XPathResults : public XPathTest {
protected:
    std::u16string idOf(DOMNode* node) {
        Owned n(node);
        return n.node ? text(n.element()->getAttribute(u"id")) : u"(none)";
    }
};

TEST_F(XPathResults, IntegerValuesAreClampedAndNaNIsZero) {
    struct Row {
        const XMLCh* expression;
        double number;
        int integer;
    };
    const Row rows[] = {
        {u"2.9", 2.9, 2},
        {u"-2.9", -2.9, -2},
        {u"count(//box) * 2", 6, 6},
        {u"10000000000 * 10000000000", 1e20, INT_MAX},
        {u"-1 div 0", -HUGE_VAL, INT_MIN},
        // A number with no integer value answers 0 rather than whatever the conversion makes of it.
        {u"number('x')", NAN, 0},
    };
    for (const Row& row : rows) {
        Result r(evaluate(row.expression, docNode(), DOMXPathResult::NUMBER_TYPE));
        const double got = r->getNumberValue();
        EXPECT_TRUE(std::isnan(row.number) ? std::isnan(got) : got == row.number) << narrow(row.expression);
        EXPECT_EQ(r->getIntegerValue(), row.integer) << narrow(row.expression);
    }
}

TEST_F(XPathResults, LiteralValuesOutliveTheNextEvaluation) {
    // The engine compiles every expression into one XPath object: a literal's value must not point into it.
    Result text1(evaluate(u"'first literal'", docNode(), DOMXPathResult::STRING_TYPE));
    Result number1(evaluate(u"42", docNode(), DOMXPathResult::NUMBER_TYPE));
    Result other(evaluate(u"concat('a', 'b', 'c', 'd', 'e', 'f', 'g')", docNode()));
    Result more(evaluate(u"123456 + 654321", docNode()));
    EXPECT_EQ(text(text1->getStringValue()), u"first literal");
    EXPECT_EQ(number1->getNumberValue(), 42);
    EXPECT_EQ(text(other->getStringValue()), u"abcdefg");
}

TEST_F(XPathResults, CursorsAndAReusedResultThatIsTheSameObjectWithItsCursorAtZero) {
    // A result made empty serves no getter. An iterator starts at its first node and stays at its last.
    Result r(dom::xpath::XPathResult::create());
    EXPECT_EQ(r->getResultType(), DOMXPathResult::ANY_TYPE);
    EXPECT_FALSE(r->isNode());
    expectOtherGettersRefused(r.get());
    EXPECT_EQ(evaluate(u"//box", docNode(), DOMXPathResult::ANY_TYPE, nullptr, r.get()), r.get());
    EXPECT_EQ(idOf(r->getNodeValue()), u"b1");
    EXPECT_TRUE(r->iterateNext());
    EXPECT_TRUE(r->iterateNext());
    EXPECT_FALSE(r->iterateNext());
    EXPECT_EQ(idOf(r->getNodeValue()), u"b3");
    evaluate(u"//box", docNode(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE, nullptr, r.get());
    EXPECT_TRUE(r->snapshotItem(1));
    EXPECT_FALSE(r->snapshotItem(3)); // the length itself: refused, the current node stays
    EXPECT_EQ(idOf(r->getNodeValue()), u"b2");
    EXPECT_EQ(evaluate(u"//box[@id != 'b1']", docNode(), DOMXPathResult::ORDERED_NODE_ITERATOR_TYPE, nullptr,
                       r.get()),
              r.get());
    EXPECT_EQ(r->getResultType(), DOMXPathResult::ORDERED_NODE_ITERATOR_TYPE);
    EXPECT_EQ(idOf(r->getNodeValue()), u"b2");
    evaluate(u"//nothing", docNode(), DOMXPathResult::ORDERED_NODE_ITERATOR_TYPE, nullptr, r.get());
    EXPECT_EQ(r->getNodeValue(), nullptr);
    EXPECT_FALSE(r->iterateNext());
    EXPECT_EQ(evaluate(u"count(//box)", docNode(), DOMXPathResult::ANY_TYPE, nullptr, r.get()), r.get());
    EXPECT_EQ(r->getNumberValue(), 3);

    // Reused across documents: the nodes come from the document evaluated last.
    DOMDocument* other = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    EXPECT_EQ(other->evaluate(u"//box[last()]", other, nullptr, DOMXPathResult::ANY_TYPE, r.get()), r.get());
    DOMNode* node = r->getNodeValue();
    EXPECT_EQ(node->getOwnerDocument(), other);
    EXPECT_EQ(idOf(node), u"b2");
    r.reset();
    other->release();
}

} // namespace
