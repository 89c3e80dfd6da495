// The sample project through the library and through a native Xerces-C DOM of the same file.
#include <xercesc/parsers/XercesDOMParser.hpp>

#include <algorithm>
#include <functional>
#include <vector>

#include "common/DomFixture.hpp"
#include "dom/Poison.hpp"

using namespace testing_support;

namespace {

// What the host keeps for itself: its namespace, and the declaration of it.
bool isHostOnly(const DOMNode* n) {
    const std::u16string hostNamespace = u"urn:domkw:reference-host";
    const XMLCh* ns = n->getNamespaceURI();
    return (ns && hostNamespace == ns) ||
           (n->getNodeType() == DOMNode::ATTRIBUTE_NODE && hostNamespace == n->getNodeValue());
}

// Our side only: the child list, the walk backwards and every child's parent agree with the walk forward.
void agreesWithNavigation(DOMNode* parent) {
    std::vector<dom::Owned<DOMNode>> forward, backward;
    for (DOMNode* n = parent->getFirstChild(); n; n = n->getNextSibling()) forward.emplace_back(n);
    for (DOMNode* n = parent->getLastChild(); n; n = n->getPreviousSibling()) backward.emplace_back(n);
    DOMNodeList* list = parent->getChildNodes();
    ASSERT_EQ(list->getLength(), forward.size());
    ASSERT_EQ(backward.size(), forward.size());
    EXPECT_EQ(list->item(forward.size()), nullptr);
    for (size_t i = 0; i < forward.size(); ++i) {
        DOMNode* n = forward[i].get();
        const dom::Owned<DOMNode> item(list->item(i)), up(n->getParentNode());
        EXPECT_EQ(item->getNodeType(), n->getNodeType());
        EXPECT_TRUE(item->isSameNode(n) && backward[forward.size() - 1 - i]->isSameNode(n));
        if (n->getNodeType() == DOMNode::ELEMENT_NODE) {
            EXPECT_EQ(item.get(), n);
        }
        EXPECT_EQ(up.get(), parent);
    }
}

// One line per node, attributes by index (sorted: the parsers need not agree on order) and by name.
void walk(DOMNode* node, bool native, const std::u16string& indent, std::vector<std::u16string>& lines) {
    if (!native) agreesWithNavigation(node);
    for (DOMNode* n = node->getFirstChild(); n;) {
        const dom::Owned<DOMNode> ours(native ? nullptr : n); // a native node is its document's
        const std::u16string value = n->getNodeType() == DOMNode::TEXT_NODE ? text(n->getNodeValue()) : u"";
        if (n->getNodeType() == DOMNode::TEXT_NODE &&
            (!native || value.find_first_not_of(u" \n\t\r") != value.npos))
            lines.push_back(indent + u"text " + value);
        if (n->getNodeType() == DOMNode::ELEMENT_NODE && !isHostOnly(n)) {
            auto* e = static_cast<DOMElement*>(n);
            lines.push_back(indent + u"element " + text(e->getTagName()) + u" ns=" +
                            text(e->getNamespaceURI()));
            std::vector<std::u16string> attrs;
            DOMNamedNodeMap* map = e->getAttributes();
            for (XMLSize_t i = 0; i < map->getLength(); ++i) {
                DOMNode* a = map->item(i);
                const dom::Owned<DOMNode> ours(native ? nullptr : a);
                const std::u16string name = text(a->getNodeName());
                if (!isHostOnly(a))
                    attrs.push_back(name + u"=" + text(a->getNodeValue()) + u" byName=" +
                                    text(e->getAttribute(name.c_str())));
            }
            EXPECT_EQ(map->item(map->getLength()), nullptr);
            std::sort(attrs.begin(), attrs.end());
            for (const auto& a : attrs) lines.push_back(indent + u"  @" + a);
            walk(n, native, indent + u" ", lines);
        }
        n = n->getNextSibling();
    }
}

class Walk : public DomTest {};

TEST_F(Walk, SampleProjectMatchesNativeXercesDom) {
    load(samplePath("project.xml"));
    openDocument();
    XercesDOMParser parser;
    parser.setDoNamespaces(true);
    parser.parse(samplePath("project.xml").c_str());
    DOMElement* nativeRoot = parser.getDocument()->getDocumentElement();
    std::vector<std::u16string> ours, theirs;
    {
        Owned root(doc->getDocumentElement());
        EXPECT_EQ(text(root.element()->getTagName()), text(nativeRoot->getTagName()));
        walk(root.node, false, u"", ours);
    }
    walk(nativeRoot, true, u"", theirs);
    ASSERT_GT(theirs.size(), 500u);
    EXPECT_EQ(ours, theirs);
    EXPECT_EQ(doc->liveNodeCount(), 0u);
    // getElementsByTagName finds direct children only.
    Owned layout(at("project/layout")), first(layout->getFirstChild());
    DOMNodeList* spreads = layout.element()->getElementsByTagName(u"spread");
    Owned spread(spreads->item(0));
    EXPECT_EQ(spreads->getLength(), 3u);
    EXPECT_EQ(spread.node, first.node);
    EXPECT_EQ(layout.element()->getElementsByTagName(u"page")->getLength(), 0u);
}

// Code that holds a value a getter handed out and reads the node again (as Xerces-C's serializer does).
TEST_F(Walk, aValueReadAgainLeavesTheBufferHandedOutBeforeReadable) {
    Owned run(at("project/story/paragraph/textRun"));
    Owned text(run->getFirstChild());
    Owned size(run.element()->getAttributeNode(u"size"));
    static_cast<DOMText*>(text.node)->setData(u"a text longer than any inline buffer");
    const std::vector<std::pair<const char*, std::function<const XMLCh*()>>> cases = {
        {"text value", [&] { return text->getNodeValue(); }},
        {"attribute value", [&] { return size->getNodeValue(); }},
        {"attribute name", [&] { return size->getNodeName(); }},
        {"element name", [&] { return run->getNodeName(); }},
        {"element local name", [&] { return run->getLocalName(); }},
    };
    for (const auto& [what, read] : cases) {
        const XMLCh* first = read();
        ASSERT_NE(first, nullptr) << what;
        const std::u16string before = first;
        ASSERT_NE(read(), nullptr) << what;
        EXPECT_EQ(std::u16string(first), before) << what; // read under AddressSanitizer
    }
}

// Long values take buffers that ended nodes gave back: no two live nodes ever share one, and a buffer
// too large to keep goes back to the heap.
TEST_F(Walk, longValuesOfLiveNodesStayApartWhenBuffersServeAgain) {
    Owned run(at("project/story/paragraph/textRun"));
    const std::u16string a(40, u'a'), b(50, u'b'), huge(5000, u'h');
    for (const std::u16string* value : {&huge, &a}) {
        DOMNode* ended = run->getFirstChild();
        static_cast<DOMText*>(ended)->setData(value->c_str());
        const XMLCh* kept = ended->getNodeValue();
        EXPECT_EQ(text(kept), *value);
        dom::dispose(ended);
#ifdef DOMKW_ASAN
        EXPECT_TRUE(__asan_address_is_poisoned(kept)); // a value kept past its node's end is not to be read
#endif
    }
    Owned first(run->getFirstChild()), second(run->getFirstChild());
    const XMLCh* held = first->getNodeValue();
    static_cast<DOMText*>(second.node)->setData(b.c_str());
    EXPECT_EQ(text(second->getNodeValue()), b);
    EXPECT_EQ(text(held), a);
}

// A refused name read gives "" and is not kept: the next read asks again.
TEST_F(Walk, aRefusedNameReadIsNotKept) {
    Owned box(at("project/layout/spread/page/box"));
    host.failAt(Kw::host::GetElementNameKey, 7);
    EXPECT_EQ(text(box->getNodeName()), u"");
    EXPECT_EQ(text(box->getNodeName()), u"box");
}

} // namespace
