// Copies and comparisons of the deepest tree the host holds run on a plug-in's small thread stack: they
// walk the tree with a stack of their own, and leave the host tree as it was.
#include <functional>

#include "common/SmallStack.hpp"
#include "common/DomFixture.hpp"

using namespace testing_support;

namespace {

class DeepCopies : public DomTest {};

std::string repeat(const std::string& s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

TEST_F(DeepCopies, CopiesOfTheDeepestTreeRunOnASmallStackAndKeepTheTree) {
    // The application element, a holder, and a chain down to the deepest level the host allows.
    const size_t chain = kwhost::MAX_DEPTH - 2;
    const std::string xml = "<application><holder>" + repeat("<e a=\"1\">t", chain) + repeat("</e>", chain) +
                            "</holder><other/></application>";
    host.loadString(xml, "deep.xml");
    openDocument();
    const std::string before = host.toXml();
    size_t depthOfClone = 0;
    bool equal = false, equalToChanged = true, removedCopy = false, replacedCopy = false;
    onSmallStack(256 * 1024, [&] {
        Owned holder(at("holder"));
        Owned top(holder->getFirstChild());
        Owned clone(top->cloneNode(true));
        for (DOMNode* n = clone.node; n; n = n->getLastChild()) ++depthOfClone;
        Owned exported(static_cast<domImpl::ElementImpl*>(top.element())->exportCopy(true));
        equal = top->isEqualNode(clone.node) && top->isEqualNode(exported.node);
        // A change at the very bottom of the copy makes them differ.
        DOMNode* bottom = clone.node;
        while (bottom->getFirstChild() && bottom->getLastChild()->getNodeType() == DOMNode::ELEMENT_NODE)
            bottom = bottom->getLastChild();
        static_cast<DOMElement*>(bottom)->setAttribute(u"a", u"2");
        equalToChanged = top->isEqualNode(clone.node);
        // removeChild and replaceChild hand back copies of the same depth; putting them back restores it.
        Owned removed(holder->removeChild(top.node));
        removedCopy = removed.node && removed->isEqualNode(exported.node);
        Owned back(holder->insertBefore(removed.node, nullptr));
        Owned other(at("other"));
        Owned replaced(holder->replaceChild(other.node, back.node));
        replacedCopy = replaced.node && back->isEqualNode(exported.node);
        Owned restored(holder->replaceChild(replaced.node, other.node));
        Owned app(doc->getDocumentElement());
        app->appendChild(other.node);
    });
    EXPECT_EQ(depthOfClone, chain + 1); // the chain's elements and the last text
    EXPECT_TRUE(equal);
    EXPECT_FALSE(equalToChanged);
    EXPECT_TRUE(removedCopy);
    EXPECT_TRUE(replacedCopy);
    EXPECT_EQ(host.toXml(), before);
}

// A move through the DOM that would nest elements past the host's bound is the host's refusal (code 1)
// and changes nothing; the same move within the bound is made.
TEST_F(DeepCopies, AMovePastTheDepthBoundIsRefusedAndKeepsTheTree) {
    const size_t chain = kwhost::MAX_DEPTH - 2;
    host.loadString("<application><holder>" + repeat("<e>", chain) + repeat("</e>", chain) +
                        "</holder><m><n/></m></application>",
                    "deep.xml");
    openDocument();
    const std::string before = host.toXml();
    Owned m(at("m"));
    Owned deepest(at("holder" + repeat("/e", chain)));     // level 1000
    Owned higher(at("holder" + repeat("/e", chain - 1))); // level 999
    EXPECT_EQ(domExceptionCode([&] { deepest->appendChild(m.node); }), 1);
    EXPECT_EQ(domExceptionCode([&] { higher->appendChild(m.node); }), 1);
    EXPECT_EQ(host.toXml(), before);
    Owned n(at("m/n"));
    EXPECT_EQ(domExceptionCode([&] { deepest->appendChild(n.node); }), 1); // level 1001
    EXPECT_EQ(host.toXml(), before);
    Owned moved(higher->appendChild(n.node)); // level 1000
    const std::string after = host.toXml();
    EXPECT_EQ(after, "<application><holder>" + repeat("<e>", chain - 1) + "<e/><n/>" + repeat("</e>", chain - 1) +
                         "</holder><m/></application>");
}

// A plain Xerces-C tree nested deeper than the host keeps is refused (code 1) before anything is written,
// also on a plug-in's small stack; the host tree is unchanged. One within the bound goes in whole.
TEST_F(DeepCopies, AForeignTreeDeeperThanTheHostKeepsIsRefusedWithoutRecursing) {
    openDocument();
    const std::string before = host.toXml();
    auto chain = [&](size_t levels) {
        DOMElement* top = doc->createElement(u"e");
        DOMElement* at = top;
        for (size_t i = 1; i < levels; ++i) at = static_cast<DOMElement*>(at->appendChild(doc->createElement(u"e")));
        at->appendChild(doc->createTextNode(u"bottom"));
        return top;
    };
    // Left to the scratch document, which frees its nodes with itself (Xerces-C's release of a detached
    // node would recurse once per level).
    DOMElement* deep = chain(20000);
    int code = 0;
    onSmallStack(256 * 1024, [&] {
        Owned colors(at("colors"));
        code = domExceptionCode([&] { colors->appendChild(deep); });
    });
    EXPECT_EQ(code, 1);
    EXPECT_EQ(host.toXml(), before);

    dom::Owned<DOMElement> shallow(chain(50));
    Owned colors(at("colors"));
    Owned added(colors->appendChild(shallow.get()));
    ASSERT_NE(added.node, nullptr);
    size_t levels = 0;
    for (DOMNode* n = added.node; n && n->getNodeType() == DOMNode::ELEMENT_NODE; n = n->getFirstChild()) ++levels;
    EXPECT_EQ(levels, 50u);
}

} // namespace
