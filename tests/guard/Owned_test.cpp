// dom::Owned as a plug-in uses it: every kind of object the library hands out, ended on every way out of
// a scope, with the host's reference count as the witness.
#include <DOMKw/dom/Owned.hpp>

#include <xercesc/dom/DOM.hpp>

#include "common/HostFixture.hpp"

#include <functional>
#include <stdexcept>
#include <string>
#include <type_traits>

using namespace XERCES_CPP_NAMESPACE;
using dom::Owned;

namespace {

// Which way each type ends: nodes with dom::dispose, the rest with release(); a node guard never takes
// over a document guard (it would dispose the document, which does nothing, instead of releasing it).
static_assert(dom::endsWithDispose<DOMNode> && dom::endsWithDispose<DOMElement> &&
              dom::endsWithDispose<DOMAttr> && dom::endsWithDispose<DOMText>);
static_assert(!dom::endsWithDispose<DOMDocument> && !dom::endsWithDispose<DOMXPathResult> &&
              !dom::endsWithDispose<DOMXPathNSResolver> && !dom::endsWithDispose<DOMXPathExpression> &&
              !dom::endsWithDispose<DOMLSSerializer>);
static_assert(std::is_constructible_v<Owned<DOMNode>, Owned<DOMElement>&&>);
static_assert(!std::is_constructible_v<Owned<DOMNode>, Owned<DOMDocument>&&>);
static_assert(!std::is_constructible_v<Owned<DOMElement>, Owned<DOMNode>&&>);
static_assert(!std::is_copy_constructible_v<Owned<DOMNode>> && !std::is_copy_assignable_v<Owned<DOMNode>>);
static_assert(std::is_nothrow_move_constructible_v<Owned<DOMNode>> &&
              std::is_nothrow_move_assignable_v<Owned<DOMNode>>);

class Guard : public testing_support::HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        doc.reset(DOMImplementationRegistry::getDOMImplementation(u"Tellam 6.0")->createDocument());
        ASSERT_TRUE(doc);
    }
    void TearDown() override {
        doc.reset(); // before the fixture counts the references left
        HostTest::TearDown();
    }
    int64_t held() const { return host.outstandingReferences(); }

    Owned<DOMDocument> doc;
};

// A node a getter hands out, and the host references it holds.
using HandOut = std::function<DOMNode*(DOMDocument*)>;
DOMElement* root(DOMDocument* d) {
    return d->getDocumentElement();
}
DOMNode* firstOf(DOMNode* parent) {
    Owned<DOMNode> p(parent);
    return p->getFirstChild();
}

struct HandOutCase {
    const char* what;
    HandOut get;
    bool hostBacked; // holds a host reference while it lives (a created element is the library's own)
};
const HandOutCase kHandOuts[] = {
    {"document element", [](DOMDocument* d) { return static_cast<DOMNode*>(root(d)); }, true},
    {"first child", [](DOMDocument* d) { return firstOf(root(d)); }, true},
    {"next sibling",
     [](DOMDocument* d) {
         Owned<DOMNode> c(firstOf(root(d)));
         return c->getNextSibling();
     },
     true},
    {"parent",
     [](DOMDocument* d) {
         Owned<DOMNode> c(firstOf(root(d)));
         return c->getParentNode();
     },
     true},
    {"attribute",
     [](DOMDocument* d) {
         Owned<DOMElement> r(root(d));
         return static_cast<DOMNode*>(r->getAttributeNode(u"name"));
     },
     true},
    {"attribute map item",
     [](DOMDocument* d) {
         Owned<DOMElement> r(root(d));
         return r->getAttributes()->item(0);
     },
     true},
    {"child list item",
     [](DOMDocument* d) {
         Owned<DOMElement> r(root(d));
         return r->getChildNodes()->item(1);
     },
     true},
    {"text",
     [](DOMDocument* d) {
         Owned<DOMNode> p(firstOf(root(d))); // preferences: <measurement/>locked text
         Owned<DOMNode> m(p->getFirstChild());
         return m->getNextSibling();
     },
     true},
    {"created element", [](DOMDocument* d) { return static_cast<DOMNode*>(d->createElement(u"box")); },
     false},
};

TEST_F(Guard, EveryHandOutIsEndedAtTheEndOfItsScope) {
    for (const HandOutCase& c : kHandOuts) {
        const int64_t before = held();
        {
            Owned<DOMNode> node(c.get(doc.get()));
            ASSERT_TRUE(node) << c.what;
            EXPECT_FALSE(std::u16string(node->getNodeName()).empty()) << c.what;
            if (c.hostBacked) {
                EXPECT_EQ(held(), before + 1) << c.what << " holds one host reference while it lives";
            }
        }
        EXPECT_EQ(held(), before) << c.what << " was not ended";
    }
}

TEST_F(Guard, AnExceptionLeavingTheScopeEndsWhatWasGuarded) {
    {
        // The document's XPath view starts with the first evaluation and keeps its references while the
        // document lives: start it before counting.
        Owned<DOMElement> app(doc->getDocumentElement());
        dom::own(doc->evaluate(u"count(*)", app.get(), nullptr, DOMXPathResult::NUMBER_TYPE, nullptr));
    }
    const int64_t before = held();
    const std::pair<const char*, std::function<void(DOMElement*)>> throwers[] = {
        {"a plug-in's own exception", [](DOMElement*) { throw std::runtime_error("plug-in"); }},
        // The library's own refusals: getTextContent on an element is not provided (9), and so is
        // removeAttribute (-1); an invalid expression throws the XPath exception.
        {"DOMException 9", [](DOMElement* e) { e->getTextContent(); }},
        {"DOMException -1", [](DOMElement* e) { e->removeAttribute(u"name"); }},
        {"XPath exception",
         [this](DOMElement* e) {
             auto r = dom::own(doc->evaluate(u"//[", e, nullptr, DOMXPathResult::ANY_TYPE, nullptr));
         }},
    };
    for (const auto& [what, thrower] : throwers) {
        bool caught = false;
        try {
            Owned<DOMElement> app(doc->getDocumentElement());
            Owned<DOMNode> child(app->getFirstChild());
            Owned<DOMAttr> name(app->getAttributeNode(u"name"));
            ASSERT_GT(held(), before);
            thrower(app.get());
        } catch (...) {
            caught = true;
        }
        EXPECT_TRUE(caught) << what;
        EXPECT_EQ(held(), before) << what;
    }
}

TEST_F(Guard, AMovedFromGuardEndsNothing) {
    const int64_t before = held();
    Owned<DOMNode> outer;
    {
        Owned<DOMElement> first(doc->getDocumentElement());
        Owned<DOMElement> app(std::move(first));
        EXPECT_FALSE(first);
        Owned<DOMNode> moved(std::move(app)); // to the base type
        EXPECT_FALSE(app);
        outer = std::move(moved);
        EXPECT_FALSE(moved);
    }
    // Both guards that held it are gone; the node lives on in the one it was moved to.
    ASSERT_TRUE(outer);
    EXPECT_EQ(std::u16string(outer->getNodeName()), u"application");
    EXPECT_GT(held(), before);
    // Move-assigning ends what the target held before.
    Owned<DOMNode> child(firstOf(doc->getDocumentElement()));
    const int64_t withBoth = held();
    outer = std::move(child);
    EXPECT_LT(held(), withBoth);
    EXPECT_EQ(std::u16string(outer->getNodeName()), u"preferences");
    outer.swap(child);
    EXPECT_FALSE(outer);
    child.reset();
    EXPECT_EQ(held(), before);
}

TEST_F(Guard, ResetEndsTheOldObjectAndReleaseHandsItOver) {
    const int64_t before = held();
    Owned<DOMNode> node(doc->getDocumentElement());
    const int64_t one = held();
    // A walk: each step ends the node it leaves.
    for (node.reset(node->getFirstChild()); node; node.reset(node->getNextSibling())) EXPECT_EQ(held(), one);
    EXPECT_EQ(held(), before);

    // The same element handed out again is a claim of its own: the old one still ends, the element lives.
    node.reset(doc->getDocumentElement());
    node.reset(doc->getDocumentElement());
    EXPECT_EQ(std::u16string(node->getNodeName()), u"application");
    EXPECT_EQ(held(), one);

    // release() gives the node up without ending it; the caller ends it.
    DOMNode* mine = node.release();
    EXPECT_FALSE(node);
    EXPECT_EQ(held(), one);
    node.reset(); // nothing to end
    EXPECT_EQ(held(), one);
    dom::dispose(mine);
    EXPECT_EQ(held(), before);
}

TEST_F(Guard, SharedElementsNeedOneGuardPerHandOut) {
    // The library hands out one counted object per host element: each getter call is ended once.
    const int64_t before = held();
    Owned<DOMElement> a(doc->getDocumentElement());
    {
        Owned<DOMElement> b(doc->getDocumentElement());
        ASSERT_EQ(a.get(), b.get());
    }
    EXPECT_EQ(std::u16string(a->getTagName()), u"application"); // still alive after b's end
    a.reset();
    EXPECT_EQ(held(), before);
}

TEST_F(Guard, ObjectsEndedWithReleaseAreReleased) {
    // Results (and the nodes they hand out), expressions, namespace resolvers and serializers. What a
    // release() misses shows up as a leak at exit; the node references as a count here.
    {
        auto expression = dom::own(doc->createExpression(u"//layout[@name = 'L2']//box", nullptr));
        Owned<DOMElement> app(doc->getDocumentElement());
        auto resolver = dom::own(doc->createNSResolver(app.get()));
        auto result =
            dom::own(expression->evaluate(doc.get(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE, nullptr));
        result.reset(result.get()); // its own object again: kept, not released
        ASSERT_EQ(result->getSnapshotLength(), 1u);
        ASSERT_TRUE(result->snapshotItem(0));
        Owned<DOMNode> box(result->getNodeValue());
        Owned<DOMLSSerializer> writer(doc->getImplementation()->createLSSerializer());
        XMLCh* xml = writer->writeToString(box.get());
        ASSERT_TRUE(xml);
        EXPECT_NE(std::u16string(xml).find(u"id=\"b3\"/>"), std::u16string::npos);
        XMLString::release(&xml);
    }
    EXPECT_GT(held(), 0); // the document's XPath view keeps what the evaluation visited
}

TEST_F(Guard, ReleasingTheDocumentGivesBackWhatTheXPathViewKept) {
    // Several queries leave references with the document's XPath view while it lives, which is not a
    // leak: ending the document gives every one back, together with nodes nobody ended.
    const char16_t* queries[] = {u"count(//box)", u"//color[@id = 'c2']/@name", u"//textRun/text()",
                                 u"//page[box]"};
    for (const char16_t* q : queries) {
        auto r = dom::own(doc->evaluate(q, doc.get(), nullptr, DOMXPathResult::ANY_TYPE, nullptr));
        if (r->getResultType() == DOMXPathResult::UNORDERED_NODE_ITERATOR_TYPE && r->iterateNext())
            Owned<DOMNode> n(r->getNodeValue());
    }
    EXPECT_GT(held(), 0);
    DOMElement* forgotten = doc->getDocumentElement(); // never ended by hand
    (void)forgotten;
    doc.reset();
    EXPECT_EQ(held(), 0);
}

TEST_F(Guard, TheXPathViewsReferencesDoNotGrowWhenQueriesRepeat) {
    load(testing_support::samplePath("project.xml"));
    const char16_t* queries[] = {u"//box", u"//layout[2]/@name", u"//textRun[contains(., 'Tabs')]/text()",
                                 u"//page[@number > 1]"};
    auto runAll = [&] {
        for (const char16_t* q : queries) {
            auto r = dom::own(
                doc->evaluate(q, doc.get(), nullptr, DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE, nullptr));
            for (XMLSize_t i = 0; r->snapshotItem(i); ++i) Owned<DOMNode> n(r->getNodeValue());
        }
    };
    doc.reset(DOMImplementationRegistry::getDOMImplementation(u"Tellam 6.0")->createDocument());
    runAll();
    const int64_t kept = held();
    EXPECT_GT(kept, 0);
    for (int i = 0; i < 3; ++i) runAll();
    EXPECT_EQ(held(), kept);
    doc.reset();
    EXPECT_EQ(held(), 0);
}

TEST_F(Guard, NativeXercesNodesAreEndedTheSameWay) {
    // A plain Xerces-C document: a detached node is released, a node in its tree is left to the document.
    Owned<DOMDocument> native(DOMImplementation::getImplementation()->createDocument(nullptr, u"r", nullptr));
    Owned<DOMElement> inTree(native->getDocumentElement());
    {
        Owned<DOMElement> detached(native->createElement(u"loose"));
        Owned<DOMElement> child(native->createElement(u"kept"));
        inTree->appendChild(child.get());
    }
    Owned<DOMNode> kept(inTree->getFirstChild());
    ASSERT_TRUE(kept);
    EXPECT_EQ(std::u16string(kept->getNodeName()), u"kept");
}

} // namespace

namespace {

// A node guard declared before its document's guard ends after it: the node has already ended with the
// document, the library refuses to end it again, and the guard drops that refusal rather than end the
// process from a destructor.
TEST_F(Guard, ANodeGuardOutlivingItsDocumentEndsNothingAndDoesNotAbort) {
    Owned<DOMNode> child;
    {
        Owned<DOMDocument> other(
            DOMImplementationRegistry::getDOMImplementation(u"Tellam 6.0")->createDocument());
        ASSERT_TRUE(other);
        child.reset(other->getDocumentElement());
        ASSERT_TRUE(child);
    }
    child.reset(); // refused inside, dropped by the guard
    EXPECT_FALSE(child);
}

} // namespace
