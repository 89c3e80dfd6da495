#include "xpath/TellamXalanSupport.hpp"

#include <xalanc/XercesParserLiaison/XercesWrapperNavigator.hpp>
#include <xercesc/dom/DOM.hpp>

#include "xpath/DocumentView.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl {

namespace {

const DOMNode* parentOf(const DOMNode* n) {
    if (n->getNodeType() == DOMNode::ATTRIBUTE_NODE) return static_cast<const DOMAttr*>(n)->getOwnerElement();
    return n->getParentNode();
}

size_t depthOf(const DOMNode* n) {
    size_t depth = 0;
    for (const DOMNode* p = parentOf(n); p; p = parentOf(p)) ++depth;
    return depth;
}

// Whether `x` comes after `y`, both children (or both attributes) of one node.
bool siblingAfter(const DOMNode* parent, const DOMNode* x, const DOMNode* y) {
    const bool attrX = x->getNodeType() == DOMNode::ATTRIBUTE_NODE;
    const bool attrY = y->getNodeType() == DOMNode::ATTRIBUTE_NODE;
    if (attrX != attrY) return attrY; // an element's attributes come before its children
    if (attrX) {
        const DOMNamedNodeMap* attrs = parent->getAttributes();
        const XMLSize_t n = attrs ? attrs->getLength() : 0;
        for (XMLSize_t i = 0; i < n; ++i) {
            const DOMNode* a = attrs->item(i);
            if (a == x) return false;
            if (a == y) return true;
        }
        return false;
    }
    for (const DOMNode* c = x->getNextSibling(); c; c = c->getNextSibling())
        if (c == y) return false;
    return true;
}

} // namespace

bool isNodeAfter(const DOMNode* node1, const DOMNode* node2) {
    if (node1 == node2) return false;
    const size_t depth1 = depthOf(node1), depth2 = depthOf(node2);
    const DOMNode* x = node1;
    const DOMNode* y = node2;
    for (size_t d = depth1; d > depth2; --d) x = parentOf(x);
    for (size_t d = depth2; d > depth1; --d) y = parentOf(y);
    // One is an ancestor of the other: the deeper one comes after.
    if (x == y) return depth1 > depth2;
    for (;;) {
        const DOMNode* px = parentOf(x);
        const DOMNode* py = parentOf(y);
        if (px == py) {
            if (!px) return x > y; // different trees: any fixed order will do
            return siblingAfter(px, x, y);
        }
        x = px;
        y = py;
    }
}

TellamXalanSupport::TellamXalanSupport() = default;

TellamXalanSupport::~TellamXalanSupport() = default;

void TellamXalanSupport::reset() {
    base.reset();
}

const XALAN_CPP_NAMESPACE::XalanDOMString&
TellamXalanSupport::getUnparsedEntityURI(const XALAN_CPP_NAMESPACE::XalanDOMString& theName,
                                         const XALAN_CPP_NAMESPACE::XalanDocument& theDocument) const {
    return base.getUnparsedEntityURI(theName, theDocument);
}

bool TellamXalanSupport::isNodeAfter(const XALAN_CPP_NAMESPACE::XalanNode& node1,
                                     const XALAN_CPP_NAMESPACE::XalanNode& node2) const {
    // Document order is decided for every evaluation, whatever type was asked for: XPath itself needs it
    // (unions, positions over them, reverse axes), not only the caller.
    if (questionsLeft == 0) throw NeedsDocumentOrder();
    if (questionsLeft != ~size_t(0)) --questionsLeft;
    if (!navigator) return base.isNodeAfter(node1, node2);
    const DOMNode* dom1 = navigator->mapNode(const_cast<XALAN_CPP_NAMESPACE::XalanNode*>(&node1));
    const DOMNode* dom2 = navigator->mapNode(const_cast<XALAN_CPP_NAMESPACE::XalanNode*>(&node2));
    xpathImpl::ViewNode* view1 = xpathImpl::asViewNode(dom1);
    xpathImpl::ViewNode* view2 = xpathImpl::asViewNode(dom2);
    if (view1 && view2 && &view1->view() == &view2->view()) return view1->view().isAfter(*view1, *view2);
    return domImpl::isNodeAfter(dom1, dom2);
}

} // namespace domImpl
