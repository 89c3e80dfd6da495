#include "xpath/DocumentOrder.hpp"

#include <xercesc/dom/DOM.hpp>

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::xpathImpl {

namespace {

// A DOM tree as the order algorithm asks it.
struct DomTree {
    static const DOMNode* parentOf(const DOMNode* n) {
        if (n->getNodeType() == DOMNode::ATTRIBUTE_NODE)
            return static_cast<const DOMAttr*>(n)->getOwnerElement();
        return n->getParentNode();
    }

    static bool siblingAfter(const DOMNode* parent, const DOMNode* x, const DOMNode* y) {
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
};

} // namespace

bool isNodeAfter(const DOMNode* node1, const DOMNode* node2) {
    DomTree tree;
    return isAfterInDocument(node1, node2, tree);
}

} // namespace domImpl::xpathImpl
