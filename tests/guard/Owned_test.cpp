// dom::Owned as a plug-in uses it, with the host's reference count as the witness.
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

// Nodes end with dom::dispose, the rest with release(); a node guard never takes over a document guard.
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
        doc.reset(newDocument());
        ASSERT_TRUE(doc);
    }
    void TearDown() override { // the document ends before the count
        doc.reset();
        HostTest::TearDown();
    }
    int64_t held() const { return host.outstandingReferences(); }
    static DOMDocument* newDocument() {
        return DOMImplementationRegistry::getDOMImplementation(u"Tellam 6.0")->createDocument();
    }
    Owned<DOMDocument> doc;
};

// Every kind of hand-out × every way out of a scope, with the host's reference count as the witness.
DOMElement* root(DOMDocument* d) { return d->getDocumentElement(); }
DOMNode* firstOf(DOMNode* parent) { return Owned<DOMNode>(parent)->getFirstChild(); }
DOMNode* secondOf(DOMNode* parent) { return Owned<DOMNode>(firstOf(parent))->getNextSibling(); }
struct HandOut {
    const char* what;
    std::function<DOMNode*(DOMDocument*)> get;
    bool hostBacked; // holds a host reference while it lives (a created element is the library's own)
} const kHandOuts[] = {
    {"document element", [](DOMDocument* d) -> DOMNode* { return root(d); }, true},
    {"first child", [](DOMDocument* d) { return firstOf(root(d)); }, true},
    {"attribute", [](DOMDocument* d) -> DOMNode* { Owned<DOMElement> r(root(d)); return r->getAttributeNode(u"name"); }, true},
    {"text", [](DOMDocument* d) { return secondOf(firstOf(root(d))); }, true}, // preferences: <measurement/>text
    {"created element", [](DOMDocument* d) -> DOMNode* { return d->createElement(u"box"); }, false},
};
enum Way { EndOfScope, Exception, MovedOut, ResetTwice, Released };

TEST_F(Guard, EveryHandOutIsEndedOnEveryWayOutOfItsScope) {
    for (const HandOut& h : kHandOuts)
        for (Way way : {EndOfScope, Exception, MovedOut, ResetTwice, Released}) {
            SCOPED_TRACE(std::string(h.what) + ", way " + std::to_string(way));
            const int64_t before = held(), living = before + (h.hostBacked ? 1 : 0);
            Owned<DOMNode> outer;
            DOMNode* given = nullptr;
            try {
                Owned<DOMNode> node(h.get(doc.get()));
                ASSERT_TRUE(node);
                EXPECT_FALSE(std::u16string(node->getNodeName()).empty());
                EXPECT_EQ(held(), living);
                if (way == Exception) {
                    Owned<DOMElement> app(doc->getDocumentElement());
                    app->getTextContent(); // the library's own refusal (9) leaves the scope
                }
                if (way == MovedOut) {
                    Owned<DOMNode> moved(std::move(node)); // a moved-from guard ends nothing
                    EXPECT_FALSE(node);
                    outer = std::move(moved);
                }
                if (way == ResetTwice) node.reset(h.get(doc.get())); // the old claim ends, the new one lives
                if (way == Released) given = node.release();          // handed over, not ended
                EXPECT_EQ(held(), living);
            } catch (const DOMException& e) {
                EXPECT_EQ(way, Exception);
                EXPECT_EQ(e.code, 9);
            }
            EXPECT_EQ(held(), way == MovedOut || way == Released ? living : before);
            outer.reset();
            dom::dispose(given);
            EXPECT_EQ(held(), before);
        }
}

// The library refuses to end the node again; the guard drops that refusal rather than abort.
TEST_F(Guard, ANodeGuardOutlivingItsDocumentEndsNothingAndDoesNotAbort) {
    Owned<DOMNode> child;
    {
        Owned<DOMDocument> other(newDocument());
        child.reset(other->getDocumentElement());
        ASSERT_TRUE(child);
    }
    child.reset(); // refused inside, dropped by the guard
    EXPECT_FALSE(child);
}

} // namespace
