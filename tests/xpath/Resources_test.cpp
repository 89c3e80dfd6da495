// What evaluations hold and give back (node objects, memory, host references, resolvers, engines), and
// the bounds on expressions, whose largest accepted shapes run on a 256 KiB stack.
#include <DOMKw/xpath/XPathEvaluator.hpp>

#include <xalanc/XercesParserLiaison/XercesWrapperNavigator.hpp>

#include <DOMKwHost/ProjectGenerator.hpp>

#include <cstdio>
#include <cstring>

#include "bridge/HostStatus.hpp"
#include "common/NativeDom.hpp"
#include "common/SmallStack.hpp"
#include "dom/Lifetime.hpp"
#include "xpath/ExpressionBounds.hpp"
#include "xpath/XPathFixture.hpp"

using namespace testing_support;
using domImpl::xpathImpl::kMaxExpressionNesting;
using domImpl::xpathImpl::kMaxExpressionOperators;
using domImpl::xpathImpl::measureExpression;

namespace {

class XPathResources : public XPathTest {};

TEST_F(XPathResources, RepeatedEvaluationsKeepNodeObjectsAndMemoryFlat) {
    Owned app(doc->getDocumentElement());
    Result reused(dom::xpath::XPathResult::create());
    // A resolver reads the host at every question through a tree of its own, which lives as long as it
    // does: what it reads replaces what it read before instead of piling up.
    std::unique_ptr<DOMXPathNSResolver> resolver(static_cast<DOMDocument*>(doc)->createNSResolver(app.node));
    size_t ended = 0;
    const int64_t held = host.outstandingReferences();
    auto round = [&] {
        // A result reused, a result made and released, node objects asked for and ended. Host references
        // are the price of the nodes a result holds, not of a query: one per node of a node-set (an
        // attribute holds its element), none for a number.
        evaluate(u"//box[@id != 'b2'] | //textRun/text() | //@id", app.node,
                 DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE, nullptr, reused.get());
        ASSERT_GT(reused->getSnapshotLength(), 5u);
        EXPECT_EQ(host.outstandingReferences() - held, static_cast<int64_t>(reused->getSnapshotLength()));
        for (XMLSize_t i = 0; i < reused->getSnapshotLength(); ++i) {
            reused->snapshotItem(i);
            dom::dispose(reused->getNodeValue());
            ++ended;
        }
        Result fresh(evaluate(u"count(//*[@xsi:type]) + string-length(string(//textRun))", app.node,
                              DOMXPathResult::ANY_TYPE, resolver.get()));
        EXPECT_EQ(fresh->getNumberValue(), 13);
        fresh.reset();
        EXPECT_EQ(host.outstandingReferences() - held, static_cast<int64_t>(reused->getSnapshotLength()));
    };
    // Ended node objects keep their storage in a quarantine of fixed size: the rounds before the measure
    // fill it, so that what it holds is not taken for growth (the test no longer depends on what ran
    // before it).
    for (int i = 0; i < 100 || ended <= 2 * domImpl::lifetime::QUARANTINE; ++i) round();
    const size_t nodes = doc->liveNodeCount();
    const size_t heap = heapInUse();
    const int64_t references = host.outstandingReferences();
    for (int i = 0; i < 10000; ++i) round();
    EXPECT_EQ(doc->liveNodeCount(), nodes);
    EXPECT_EQ(host.outstandingReferences(), references);
    reused.reset();
    EXPECT_EQ(host.outstandingReferences(), held);
    EXPECT_LT(heapInUse(), heap + 64 * 1024) << "grew by " << heapInUse() - heap << " bytes";
}

TEST_F(XPathResources, NodesThatComeAndGoAreNotKeptAlive) {
    // Nodes that come and go: no evaluation keeps a host object alive once its result is released.
    Owned page(at("project/layout/spread/page"));
    const size_t before = host.liveObjects();
    size_t most = 0;
    for (int i = 0; i < 6000; ++i) {
        Owned added(page->appendChild(doc->createElement(u"box")));
        ASSERT_EQ(number(u"count(//box)"), 4);
        Owned copy(page->removeChild(added.node));
        most = std::max(most, host.liveObjects() - before);
    }
    EXPECT_LT(most, 4500u);
    EXPECT_LT(host.liveObjects() - before, 2500u);
}

TEST_F(XPathResources, NodeSetsHeldAcrossWholeTreeSearchesStayIntactAndGiveTheirRoomBack) {
    // Whole-tree searches run with node lists made as large as the tree. A node-set handed out keeps its
    // list while later searches run; once it is released, the room is given back instead of kept.
    host.loadString(kwhost::generateProject(2000));
    openDocument();
    const XMLCh* searches[] = {u"//textRun", u"//box[@type='picture']", u"//page | //spread", u"//paragraph"};
    std::vector<std::vector<std::u16string>> expected;
    for (const XMLCh* e : searches) expected.push_back(paths(e));
    const size_t heap = heapInUse();
    const int64_t references = host.outstandingReferences();
    {
        std::vector<Result> held;
        for (int round = 0; round < 2; ++round)
            for (const XMLCh* e : searches)
                held.emplace_back(evaluate(e, docNode(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));
        // Evaluations in between that borrow and return lists of their own.
        EXPECT_GT(number(u"count(//textRun) + count(//box)"), 0);
        for (size_t i = 0; i < held.size(); ++i) {
            const size_t which = i % (sizeof searches / sizeof *searches);
            ASSERT_FALSE(expected[which].empty());
            EXPECT_EQ(snapshotPaths(held[i].get()), expected[which]) << "result " << i;
        }
    }
    EXPECT_EQ(host.outstandingReferences(), references);
    // Lists of a thousand nodes or fewer stay with the pool; none keeps room for the whole tree.
    EXPECT_LT(heapInUse(), heap + 64 * 1024) << "grew by " << heapInUse() - heap << " bytes";
}

// A resolver made for any kind of node (or none) holds a node object of its own, stays usable whatever is
// made after it, and ends with release(). (One outliving its document: XPathRepeat.)
TEST_F(XPathResources, ResolversStayUsableWhateverIsMadeAfterThemAndEndWithRelease) {
    DOMDocument* d = doc;
    auto typed = [&](const DOMXPathNSResolver* resolver) {
        Result r(d->evaluate(u"count(//color[@xsi:type = 'ProcessColor'])", d, resolver,
                             DOMXPathResult::NUMBER_TYPE, nullptr));
        return r->getNumberValue();
    };
    for (const XMLCh* nodePath : {u"/application/colors", u"(//@*)[1]", u"(//text())[1]", u"/.."}) {
        SCOPED_TRACE(narrow(nodePath));
        Result r(evaluate(nodePath, docNode(), DOMXPathResult::FIRST_ORDERED_NODE_TYPE));
        DOMNode* node = r->getNodeValue();
        DOMXPathNSResolver* first = d->createNSResolver(node);
        ASSERT_NE(first, nullptr);
        dom::dispose(node); // the caller's node object may go first
        {
            // Another resolver, made and ended; evaluations without a resolver.
            Owned app(doc->getDocumentElement());
            std::unique_ptr<DOMXPathNSResolver> second(d->createNSResolver(app.node));
            EXPECT_EQ(typed(second.get()), 1);
            EXPECT_EQ(typed(nullptr), 1);
        }
        if (node) {
            EXPECT_EQ(typed(first), 1);
            EXPECT_EQ(text(first->lookupNamespaceURI(u"xsi")), XSI_NAMESPACE);
        }
        first->release();
    }
}

TEST_F(XPathResources, ForeignAndScratchDocumentsAreEvaluatedInTheirOwnTrees) {
    auto parsed = std::make_unique<NativeDom>("<root><a id='1'/><a id='2'><b/></a></root>");
    DOMDocument* native = parsed->document();
    std::unique_ptr<dom::xpath::XPathEvaluator> evaluator(dom::xpath::XPathEvaluator::create());
    Result first(evaluator->evaluate(u"//a[2]", native, nullptr, DOMXPathResult::ANY_TYPE, nullptr));
    void* wrapper = native->getUserData(u"XalanDocument");
    ASSERT_NE(wrapper, nullptr);
    Result second(evaluator->evaluate(u"count(//a)", native, nullptr, DOMXPathResult::ANY_TYPE, nullptr));
    EXPECT_EQ(native->getUserData(u"XalanDocument"), wrapper);
    EXPECT_EQ(second->getNumberValue(), 2);
    // The node handed out is the document's own.
    EXPECT_EQ(first->getNodeValue(), native->getDocumentElement()->getLastChild());
    // Document order is decided on the native tree.
    Result ordered(
        evaluator->evaluate(u"(//b | //a)[1]/@id", native, nullptr, DOMXPathResult::STRING_TYPE, nullptr));
    EXPECT_EQ(text(ordered->getStringValue()), u"1");
    ordered.reset();
    first.reset();
    second.reset();
    parsed.reset(); // the wrapper goes with its document
    // Nodes made by the document's factories belong to its scratch document, a plain Xerces-C one.
    DOMElement* made = doc->createElement(u"box");
    made->appendChild(doc->createElement(u"inner"));
    made->setAttribute(u"id", u"scratch");
    Result r(evaluate(u"count(*) + count(@id)", made, DOMXPathResult::NUMBER_TYPE));
    EXPECT_EQ(r->getNumberValue(), 2);
    r.reset();
    dom::dispose(made);
}

TEST_F(XPathResources, HostFailuresAreThrownAndLeaveNothingBehind) {
    // A refused reference when a node is handed out.
    Result boxes(evaluate(u"//box", docNode(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));
    host.failAt(Kw::host::AdjustReference, kwhost::INVALID_STATE);
    EXPECT_EQ(domExceptionCode([&] { dom::dispose(boxes->getNodeValue()); }),
              DOMException::INVALID_STATE_ERR);
    Owned first(boxes->getNodeValue());
    EXPECT_EQ(text(first.element()->getAttribute(u"id")), u"b1");
    // The host's cache release is a courtesy: its refusal does not fail the evaluation.
    host.failAt(Kw::host::ReleaseDocXPathCache, kwhost::NOT_SUPPORTED);
    EXPECT_EQ(number(u"count(//page)"), 2);
    EXPECT_FALSE(host.failureArmed());
    EXPECT_EQ(doc->liveNodeCount(), 1u);
}

// A refused host read looks like "nothing there" to Xalan: the evaluation fails with the host's status
// instead of answering from less. Every call of each read is refused in turn.
TEST_F(XPathResources, RefusedHostReadFailsTheEvaluationInsteadOfAnsweringFromLess) {
    struct Case {
        int selector;
        const XMLCh* expression;
    };
    const Case cases[] = {
        {Kw::host::GetAttributeKeys, u"count(//box/@*)"},
        {Kw::host::NavigateElement, u"count(//box)"},
        {Kw::host::GetAttributeValue, u"count(//box[@id = 'b1'])"},
        {Kw::host::GetTextValue, u"count(//text()[string-length(.) > 0])"},
        {Kw::host::IsTextNode, u"count(//box)"},
    };
    const size_t liveBefore = doc->liveNodeCount();
    for (const Case& c : cases) {
        const double full = number(c.expression);
        ASSERT_GT(full, 0) << narrow(c.expression);
        int refused = 0;
        for (int n = 1; n < 100000; ++n) {
            host.failAt(c.selector, 7, n);
            double answer = -1;
            int code = 0;
            try {
                answer = number(c.expression);
            } catch (const DOMException& e) {
                code = e.code;
            }
            if (code != 0) {
                EXPECT_EQ(code, 7) << narrow(c.expression) << " call " << n;
                EXPECT_FALSE(host.failureArmed());
                ++refused;
                continue;
            }
            // The refusal was never met: the answer is the full one.
            EXPECT_TRUE(host.failureArmed()) << narrow(c.expression) << " call " << n;
            EXPECT_EQ(answer, full) << narrow(c.expression);
            host.disarm();
            break;
        }
        EXPECT_GT(refused, 0) << narrow(c.expression);
        EXPECT_EQ(doc->liveNodeCount(), liveBefore);
    }
    // A reused result keeps its answer when the evaluation that would replace it fails.
    Result kept(evaluate(u"count(//box)", docNode()));
    host.failAt(Kw::host::GetAttributeKeys, 7);
    EXPECT_EQ(domExceptionCode([&] {
                  evaluate(u"count(//@*)", docNode(), DOMXPathResult::ANY_TYPE, nullptr, kept.get());
              }),
              7);
    EXPECT_EQ(kept->getNumberValue(), number(u"count(//box)"));
    // Inside a scope of checked reads the refusal ends the evaluation at once, with the same code.
    {
        const Kw::CheckedReads checked;
        host.failAt(Kw::host::GetAttributeKeys, 7);
        EXPECT_EQ(domExceptionCode([&] { number(u"count(//box/@*)"); }), 7);
    }
    EXPECT_FALSE(host.failureArmed());
}

// A plug-in's resolver that evaluates while its answer is awaited.
class EvaluatingResolver : public FixedResolver {
public:
    EvaluatingResolver(DOMDocument* doc)
        : FixedResolver(std::map<std::u16string, std::u16string>{{u"p", u"urn:p"}}), doc(doc) {}
    const XMLCh* lookupNamespaceURI(const XMLCh* prefix) const override {
        try {
            Result inner(doc->evaluate(u"1", doc, nullptr, DOMXPathResult::ANY_TYPE, nullptr));
        } catch (const DOMException& e) {
            code = e.code;
        }
        return FixedResolver::lookupNamespaceURI(prefix);
    }
    DOMDocument* doc;
    mutable int code = 0;
};

TEST_F(XPathResources, EvaluationFromWithinAnEvaluationIsRefused) {
    EvaluatingResolver resolver(doc);
    Result r(evaluate(u"count(//p:box)", docNode(), DOMXPathResult::NUMBER_TYPE, &resolver));
    EXPECT_EQ(resolver.code, DOMException::INVALID_STATE_ERR);
    EXPECT_EQ(r->getNumberValue(), 0);
    // The engine is free again afterwards.
    EXPECT_EQ(number(u"count(//box)"), 3);
}

std::u16string repeat(const std::u16string& s, size_t n) {
    std::u16string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

std::u16string nestedParentheses(size_t n) {
    return repeat(u"(", n) + u"1" + repeat(u")", n);
}
std::u16string nestedNot(size_t n) {
    return repeat(u"not(", n) + u"0" + repeat(u")", n);
}
std::u16string chain(const std::u16string& op, size_t terms) {
    return u"1" + repeat(op + u"1", terms - 1);
}
// Predicates inside predicates, each of them evaluated (the context node is always there).
std::u16string nestedPredicates(size_t n, const std::u16string& inner = u"1") {
    return repeat(u"self::node()[", n) + inner + repeat(u"]", n);
}

class XPathBounds : public XPathTest {
protected:
    Expression compiled(const std::u16string& text) {
        return Expression(static_cast<DOMDocument*>(doc)->createExpression(text.c_str(), nullptr));
    }
};

// Every shape at its bound runs on a 256 KiB stack, through evaluate and through an expression object as
// a plug-in keeps one; one step past the bound (and far past it) is refused with 51 before parsing.
TEST_F(XPathBounds, EveryShapeRunsAtItsBoundOnASmallStackAndIsRefusedWith51PastIt) {
    const size_t n = kMaxExpressionNesting, ops = kMaxExpressionOperators;
    const double REFUSED = -51;
    struct Case {
        std::u16string text;
        double value;
    } cases[] = {
        {nestedParentheses(n), 1},
        {nestedParentheses(n + 1), REFUSED},
        {nestedParentheses(25000), REFUSED},
        {nestedNot(n), n % 2 ? 1 : 0},
        {nestedNot(n + 1), REFUSED},
        {nestedNot(20000), REFUSED},
        {u"count(" + nestedPredicates(n - 1) + u")", 1},
        {nestedPredicates(n + 1), REFUSED},
        {chain(u"+", ops + 1), double(ops + 1)},
        {chain(u"+", ops + 2), REFUSED},
        {chain(u"+", 60000), REFUSED},
        {chain(u" or ", ops + 1), 1},
        {chain(u" or ", ops + 2), REFUSED},
        {chain(u" and ", ops + 1), 1},
        {u"count(" + repeat(u"/*", ops / 2) + u")", 0},
        {repeat(u"/a", ops + 1), REFUSED},
        {u"count(." + repeat(u"|.", ops) + u")", 1},
        {chain(u"|", ops + 2), REFUSED},
        {u"string-length(concat(" + chain(u",", ops + 1) + u"))", double(ops + 1)},
        {u"concat(" + chain(u",", ops + 2) + u")", REFUSED},
        // The deepest nesting with the rest of the operator budget inside it.
        {u"count(" + nestedPredicates(n - 1, chain(u" or ", ops - n + 2)) + u")", 1},
        {repeat(u"(", n) + chain(u"+", ops + 1) + repeat(u")", n), double(ops + 1)},
        // Literals do not nest, however many brackets they hold.
        {u"string-length('" + repeat(u"((([[[", 10000) + u"')", 60000},
    };
    for (const Case& c : cases) {
        const auto shape = measureExpression(c.text.c_str());
        ASSERT_EQ(shape.nesting <= n && shape.operators <= ops, c.value != REFUSED)
            << narrow(c.text.substr(0, 60));
    }
    onSmallStack(256 * 1024, [&] {
        for (const Case& c : cases) {
            SCOPED_TRACE(narrow(c.text.substr(0, 60)));
            if (c.value == REFUSED) {
                EXPECT_EQ(xpathCode([&] { evaluate(c.text.c_str(), docNode()); }), 51);
                EXPECT_EQ(xpathCode([&] { compiled(c.text); }), 51);
                continue;
            }
            // A boolean asked for as a number is 0 or 1.
            EXPECT_EQ(number(c.text.c_str()), c.value);
            Expression expression = compiled(c.text);
            Result again(expression->evaluate(docNode(), DOMXPathResult::NUMBER_TYPE, nullptr));
            EXPECT_EQ(again->getNumberValue(), c.value);
        }
    });
}

TEST_F(XPathBounds, LargeNumbersAreWrittenWithoutOverrunningTheEngine) {
    // Values of 85 digits and more, as literals or made by arithmetic, are written as their digits (the
    // engine's own writing overran a fixed buffer there, which the engine parsing a literal did as well).
    const std::u16string big = repeat(u"9", 80);
    const std::u16string values[] = {
        repeat(u"8", 100),         u"1+" + repeat(u"8", 100) + u"1",    big + u" * 100000",
        u"-" + big + u" * " + big, repeat(u"4294967296 * ", 30) + u"1", u"count(//*) * " + big + u" * " + big,
    };
    for (const std::u16string& value : values) {
        SCOPED_TRACE(narrow(value.substr(0, 40)));
        Result n(evaluate(value.c_str(), docNode(), DOMXPathResult::NUMBER_TYPE));
        char digits[400];
        std::snprintf(digits, sizeof digits, "%.0f", n->getNumberValue());
        const std::u16string expected(digits, digits + std::strlen(digits));
        ASSERT_GE(expected.size(), 85u);
        Result text(evaluate((u"string(" + value + u")").c_str(), docNode(), DOMXPathResult::STRING_TYPE));
        EXPECT_EQ(std::u16string(text->getStringValue()), expected);
        Result joined(
            evaluate((u"concat(" + value + u", 'x')").c_str(), docNode(), DOMXPathResult::STRING_TYPE));
        EXPECT_EQ(std::u16string(joined->getStringValue()), expected + u"x");
        Result length(
            evaluate((u"string-length(" + value + u")").c_str(), docNode(), DOMXPathResult::NUMBER_TYPE));
        EXPECT_EQ(length->getNumberValue(), double(expected.size()));
    }
}

} // namespace
