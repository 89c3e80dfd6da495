#include "xpath/HostTree.hpp"

#include <DOMKw/dom/ElementImpl.hpp>

#include <xalanc/Include/XalanMemoryManagement.hpp>
#include <xalanc/XPath/NodeRefListBase.hpp>

#include "bridge/HandleReads.hpp"
#include "dom/AttrImpl.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "dom/TextImpl.hpp"
#include "xpath/DocumentOrder.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::xpathImpl {

namespace reads = Kw::handleReads;
using xalan::XalanAttr;
using xalan::XalanNodeList;

namespace {

xalan::MemoryManager& memory() {
    return xalan::XalanMemMgrs::getDefaultXercesMemMgr();
}

const XalanDOMString& emptyString() {
    static const XalanDOMString empty(memory());
    return empty;
}

constexpr uint8_t allLinks = (1u << HostChild::LinkCount) - 1;

class EmptyList : public XalanNodeList {
public:
    XalanNode* item(XalanSize_t) const override { return nullptr; }
    XalanSize_t getLength() const override { return 0; }
};

// The children of a node, asked at each call.
class Children : public XalanNodeList {
public:
    explicit Children(const XalanNode& parent) : parent(parent) {}
    XalanNode* item(XalanSize_t index) const override {
        XalanNode* child = parent.getFirstChild();
        for (XalanSize_t i = 0; child && i < index; ++i) child = child->getNextSibling();
        return child;
    }
    XalanSize_t getLength() const override {
        XalanSize_t n = 0;
        for (XalanNode* c = parent.getFirstChild(); c; c = c->getNextSibling()) ++n;
        return n;
    }

private:
    const XalanNode& parent;
};

bool isXmlSpace(XMLCh c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

} // namespace

// NodesByHandle.

void NodesByHandle::add(HostRef handle, HostChild* node) {
    if (handle < 0) return;
    if (2 * (used + 1) > slots.size()) {
        std::vector<Slot> old(slots.empty() ? 128 : 2 * slots.size(), Slot{-1, nullptr});
        old.swap(slots);
        shift = 64;
        for (size_t n = slots.size(); n > 1; n >>= 1) --shift;
        used = 0;
        for (const Slot& s : old)
            if (s.handle >= 0) add(s.handle, s.node);
    }
    size_t i = start(handle);
    for (; slots[i].handle >= 0; i = (i + 1) & (slots.size() - 1))
        if (slots[i].handle == handle) return;
    slots[i] = Slot{handle, node};
    ++used;
}

// HostChild.

XalanNode* HostChild::asXalan() {
    if (text) return static_cast<HostText*>(this);
    return static_cast<HostElement*>(this);
}

HostChild* HostChild::link(Link which) const {
    const uint8_t bit = static_cast<uint8_t>(1u << which);
    if (tree->running && (known & bit)) return links[which];
    HostChild* found = nullptr;
    // The application element is the document's one child: XPath sees nothing beside or above it.
    const bool top = handle == tree->doc->applicationHandle();
    if (!(text && which == FirstChild) && !(top && which != FirstChild)) {
        static const int32_t directions[LinkCount] = {Kw::host::Parent, Kw::host::FirstChild,
                                                      Kw::host::PreviousSibling, Kw::host::NextSibling};
        found = tree->nodeAt(reads::navigate(handle, directions[which]));
    }
    if (tree->running) {
        links[which] = found;
        known |= bit;
    }
    return found;
}

HostChild* HostChild::lastChild() const {
    HostChild* child = link(FirstChild);
    if (!child) return nullptr;
    while (HostChild* next = child->link(NextSibling)) child = next;
    return child;
}

XalanNode* HostChild::parentNode() const {
    if (handle == tree->doc->applicationHandle()) return tree->doc.get();
    HostChild* parent = link(Parent);
    return parent ? parent->asXalan() : nullptr;
}

namespace {

XalanNode* xalanOf(HostChild* n) {
    return n ? n->asXalan() : nullptr;
}

} // namespace

// HostElement.

const XalanDOMString& HostElement::getNodeValue() const {
    return emptyString();
}

const XalanNodeList* HostElement::getChildNodes() const {
    return tree->childList(*this);
}

XalanNode* HostElement::getFirstChild() const {
    return xalanOf(link(FirstChild));
}

XalanNode* HostElement::getLastChild() const {
    return xalanOf(lastChild());
}

XalanNode* HostElement::getPreviousSibling() const {
    return xalanOf(link(PreviousSibling));
}

XalanNode* HostElement::getNextSibling() const {
    return xalanOf(link(NextSibling));
}

xalan::XalanDocument* HostElement::getOwnerDocument() const {
    return tree->doc.get();
}

const NameTexts& HostElement::names() const {
    if (!tagNames) {
        // An element's name never changes: read once for the node's life.
        if (tagKey == unread) tagKey = reads::elementNameKey(handle, 0);
        tagNames = &tree->doc->names(tagKey);
    }
    return *tagNames;
}

const XalanDOMString& HostElement::getNamespaceURI() const {
    if (!namespaceNames) {
        // Read once for the node's life, as the name is.
        if (namespaceKey == unread) namespaceKey = reads::elementNameKey(handle, 1);
        namespaceNames = &tree->doc->names(namespaceKey);
    }
    return namespaceNames->qualified;
}

bool HostElement::isIndexed() const {
    return number != 0;
}

const std::vector<HostKey>& HostElement::keys() const {
    if (!attributes) {
        tree->attributeRecords.emplace_back();
        attributes = &tree->attributeRecords.back();
    }
    if (!(tree->running && attributes->read)) {
        // A refused read is counted (and thrown inside CheckedReads) like every other unexamined read.
        HostKey buffer[255];
        const int32_t count = reads::attributeKeys(handle, buffer, 255);
        attributes->keys.assign(buffer, buffer + count);
        attributes->read = tree->running;
    }
    return attributes->keys;
}

XalanAttr* HostElement::attributeNamed(HostKey name) const {
    if (!attributes) keys();
    for (XalanAttr* a : attributes->nodes)
        if (static_cast<HostAttr*>(a)->name() == name) return a;
    XalanAttr* made = tree->attrs.make(*this, name, tree->doc->names(name));
    attributes->nodes.push_back(made);
    return made;
}

size_t HostElement::placeOf(HostKey name) const {
    const std::vector<HostKey>& k = keys();
    for (size_t i = 0; i < k.size(); ++i)
        if (k[i] == name) return i;
    return k.size();
}

XalanNode* HostElement::item(XalanSize_t index) const {
    const std::vector<HostKey>& k = keys();
    if (index >= k.size()) return nullptr;
    // Attributes are met in the host's order, so the one asked for is usually at the same place.
    if (index < attributes->nodes.size() && static_cast<HostAttr*>(attributes->nodes[index])->name() == k[index])
        return attributes->nodes[index];
    return attributeNamed(k[index]);
}

XalanNode* HostElement::getNamedItem(const XalanDOMString& name) const {
    for (HostKey k : keys())
        if (tree->doc->names(k).qualified == name) return attributeNamed(k);
    return nullptr;
}

XalanNode* HostElement::getNamedItemNS(const XalanDOMString& namespaceURI, const XalanDOMString& localName) const {
    for (HostKey k : keys()) {
        XalanAttr* a = attributeNamed(k);
        if (a->getLocalName() == localName && a->getNamespaceURI() == namespaceURI) return a;
    }
    return nullptr;
}

// HostText.

const XalanDOMString& HostText::getNodeName() const {
    static const XalanDOMString name(u"#text", memory());
    return name;
}

const XalanNodeList* HostText::getChildNodes() const {
    return HostTree::emptyList();
}

XalanNode* HostText::getPreviousSibling() const {
    return xalanOf(link(PreviousSibling));
}

XalanNode* HostText::getNextSibling() const {
    return xalanOf(link(NextSibling));
}

xalan::XalanDocument* HostText::getOwnerDocument() const {
    return tree->doc.get();
}

const XalanDOMString& HostText::getNamespaceURI() const {
    return emptyString();
}

bool HostText::isIndexed() const {
    return number != 0;
}

HostText::HostText(HostTree& tree, HostRef handle) : HostChild(tree, handle, true), data(memory()) {}

const XalanDOMString& HostText::getData() const {
    const XMLCh* now = reads::textValue(handle);
    if (data != now) data = now;
    return data;
}

bool HostText::isWhitespace() const {
    const XalanDOMString& data = getData();
    for (XalanDOMString::size_type i = 0; i < data.length(); ++i)
        if (!isXmlSpace(data[i])) return false;
    return true;
}

// HostAttr.

const XalanNodeList* HostAttr::getChildNodes() const {
    return HostTree::emptyList();
}

const XalanDOMString& HostAttr::getNamespaceURI() const {
    HostTree& tree = element.owner();
    if (!(tree.evaluating() && namespaceRead)) {
        namespaceKey = reads::attributeNamespace(element.hostHandle(), nameKey);
        namespaceRead = tree.evaluating();
    }
    return tree.document().names(namespaceKey).qualified;
}

HostAttr::HostAttr(const HostElement& element, HostKey name, const NameTexts& texts)
    : element(element), nameKey(name), texts(texts), value(memory()) {}

const XalanDOMString& HostAttr::getValue() const {
    const XMLCh* now = reads::attributeValue(element.hostHandle(), nameKey);
    if (value != now) value = now;
    return value;
}

// HostDocument.

namespace {

// The document's one child.
class DocumentChildren : public XalanNodeList {
public:
    explicit DocumentChildren(const HostDocument& doc) : doc(doc) {}
    XalanNode* item(XalanSize_t index) const override { return index == 0 ? doc.getDocumentElement() : nullptr; }
    XalanSize_t getLength() const override { return doc.getDocumentElement() ? 1 : 0; }

private:
    const HostDocument& doc;
};

} // namespace

HostDocument::HostDocument(DocumentImpl& document, std::shared_ptr<DocumentLink> link)
    : link(std::move(link)), application(document.ref().get()) {}

HostDocument::~HostDocument() = default;

std::shared_ptr<HostTree> HostDocument::newTree(bool numbered) {
    auto tree = std::make_shared<HostTree>(shared_from_this(), numbered);
    current = tree.get();
    return tree;
}

const NameTexts& HostDocument::names(HostKey key) {
    auto it = nameTexts.find(key);
    if (it != nameTexts.end()) return *it->second;
    auto texts = std::make_unique<NameTexts>(NameTexts{XalanDOMString(memory()), XalanDOMString(memory()),
                                                       XalanDOMString(memory())});
    if (key != Kw::NO_KEY) {
        const XalanDOMString qualified(reads::keyText(key), memory());
        texts->qualified = qualified;
        XalanDOMString::size_type colon = 0;
        while (colon < qualified.length() && qualified[colon] != u':') ++colon;
        if (colon == qualified.length() || colon == 0) {
            texts->local = qualified;
        } else {
            texts->prefix.assign(qualified, 0, colon);
            texts->local.assign(qualified, colon + 1, qualified.length() - colon - 1);
        }
    }
    return *nameTexts.emplace(key, std::move(texts)).first->second;
}

const XalanDOMString& HostDocument::getNodeName() const {
    static const XalanDOMString name(u"#document", memory());
    return name;
}

const XalanDOMString& HostDocument::getNodeValue() const {
    return emptyString();
}

const XalanNodeList* HostDocument::getChildNodes() const {
    if (!childrenList) childrenList.reset(new DocumentChildren(*this));
    return childrenList.get();
}

const XalanDOMString& HostDocument::getNamespaceURI() const {
    return emptyString();
}

bool HostDocument::isIndexed() const {
    return current && current->numbered();
}

xalan::XalanElement* HostDocument::getDocumentElement() const {
    if (!current) return nullptr;
    HostChild* app = current->application();
    return app && !app->isTextNode() ? static_cast<HostElement*>(app) : nullptr;
}

// HostTree.

HostTree::HostTree(std::shared_ptr<HostDocument> document, bool numbered)
    : doc(std::move(document)), isNumbered(numbered) {
    if (numbered) numberAll();
}

HostTree::~HostTree() {
    if (doc->current == this) doc->current = nullptr;
}

HostChild* HostTree::makeNode(HostRef handle) {
    if (reads::isText(handle)) return texts.make(*this, handle);
    return elements.make(*this, handle);
}

HostChild* HostTree::make(HostRef handle) {
    HostChild* node = makeNode(handle);
    byHandle.add(handle, node);
    return node;
}

void HostTree::numberAll() {
    // Every node of the host tree in document order, each numbered, every link known. Attributes take
    // the numbers after their element's (the numbers leave room for them).
    appRead = true;
    const HostRef top = doc->applicationHandle();
    if (top < 0) return;
    uint64_t next = 1;
    auto take = [&](HostChild* n, HostChild* parent, HostChild* previous) {
        n->links[HostChild::Parent] = parent;
        n->links[HostChild::PreviousSibling] = previous;
        n->number = next++ << 16;
        n->known = allLinks;
    };
    app = makeNode(top);
    take(app, nullptr, nullptr);
    HostChild* node = app;
    while (node) {
        HostChild* child = nullptr;
        if (!node->text) {
            const HostRef first = reads::navigate(node->handle, Kw::host::FirstChild);
            if (first >= 0) child = makeNode(first);
        }
        node->links[HostChild::FirstChild] = child;
        if (child) {
            take(child, node, nullptr);
            node = child;
            continue;
        }
        for (;;) {
            if (node == app) {
                node = nullptr;
                break;
            }
            const HostRef after = reads::navigate(node->handle, Kw::host::NextSibling);
            HostChild* sibling = after >= 0 ? makeNode(after) : nullptr;
            node->links[HostChild::NextSibling] = sibling;
            if (sibling) {
                take(sibling, node->links[HostChild::Parent], node);
                node = sibling;
                break;
            }
            node = node->links[HostChild::Parent];
        }
    }
}

HostChild* HostTree::findNumbered(HostRef handle) {
    // The path from the node up to the application element; a node out of the tree has none.
    std::vector<HostRef> path;
    HostRef at = handle;
    const HostRef top = doc->applicationHandle();
    while (at >= 0 && at != top) {
        path.push_back(at);
        at = reads::navigate(at, Kw::host::Parent);
    }
    if (at < 0) return nullptr;
    HostChild* node = application();
    for (auto step = path.rbegin(); step != path.rend() && node; ++step) {
        HostChild* c = node->links[HostChild::FirstChild];
        while (c && c->handle != *step) c = c->links[HostChild::NextSibling];
        node = c;
    }
    if (node) byHandle.add(handle, node);
    return node;
}

HostChild* HostTree::application() {
    if (!appRead) {
        app = nodeAt(doc->applicationHandle());
        appRead = true;
    }
    return app;
}

HostChild* HostTree::nodeAt(HostRef handle) {
    if (handle < 0) return nullptr;
    if (HostChild* known = byHandle.find(handle)) return known;
    if (isNumbered && running) return findNumbered(handle);
    if (handle == doc->applicationHandle() && appRead && app) return app;
    return make(handle);
}

XalanNode* HostTree::nodeOf(const DOMNode* libraryNode) {
    DocumentImpl* owner = doc->document();
    if (!libraryNode || !owner) return nullptr;
    const DOMDocument* self = owner;
    if (asDocumentImpl(libraryNode) == owner) return doc.get();
    if (const NodeImpl* own = asNodeImpl(libraryNode)) {
        if (libraryNode->getOwnerDocument() != self) return nullptr;
        return xalanOf(nodeAt(own->ref().get()));
    }
    if (libraryNode->getNodeType() == DOMNode::ATTRIBUTE_NODE) {
        const auto* attr = dynamic_cast<const AttrImpl*>(libraryNode);
        if (!attr || attr->getOwnerDocument() != self) return nullptr;
        HostChild* element = nodeAt(attr->record().owner.get());
        if (!element || element->isTextNode()) return nullptr;
        return static_cast<HostElement*>(element)->attributeNamed(attr->record().name.value());
    }
    return nullptr;
}

void HostTree::pin(const xalan::NodeRefListBase& nodes) {
    const auto count = nodes.getLength();
    pins.reserve(pins.size() + count);
    for (xalan::NodeRefListBase::size_type i = 0; i < count; ++i) {
        const XalanNode* n = nodes.item(i);
        HostRef handle = -1;
        switch (n->getNodeType()) {
        case XalanNode::ELEMENT_NODE:
            handle = static_cast<const HostElement*>(n)->hostHandle();
            break;
        case XalanNode::TEXT_NODE:
            handle = static_cast<const HostText*>(n)->hostHandle();
            break;
        case XalanNode::ATTRIBUTE_NODE:
            handle = static_cast<const HostAttr*>(n)->ownerElementNode().hostHandle();
            break;
        default:
            break;
        }
        if (handle >= 0) pins.push_back(Kw::ElementRef::fromHandle(handle));
    }
}

const XalanNodeList* HostTree::childList(const XalanNode& parent) {
    std::unique_ptr<XalanNodeList>& list = lists[&parent];
    if (!list) list.reset(new Children(parent));
    return list.get();
}

const XalanNodeList* HostTree::emptyList() {
    static EmptyList list;
    return &list;
}

// Hand-out and order.

DOMNode* handOut(const XalanNode& node) {
    switch (node.getNodeType()) {
    case XalanNode::DOCUMENT_NODE: {
        DocumentImpl* owner = static_cast<const HostDocument&>(node).document();
        return owner ? static_cast<DOMDocument*>(owner) : nullptr;
    }
    case XalanNode::ELEMENT_NODE: {
        const auto& e = static_cast<const HostElement&>(node);
        DocumentImpl* owner = e.owner().document().document();
        if (!owner) return nullptr;
        return ElementImpl::create_(Kw::ElementRef::fromHandle(e.hostHandle()), owner);
    }
    case XalanNode::TEXT_NODE: {
        const auto& t = static_cast<const HostText&>(node);
        DocumentImpl* owner = t.owner().document().document();
        if (!owner) return nullptr;
        return NodeImpl::create_(Kw::ElementRef::fromHandle(t.hostHandle()), owner);
    }
    case XalanNode::ATTRIBUTE_NODE: {
        const auto& a = static_cast<const HostAttr&>(node);
        DocumentImpl* owner = a.ownerElementNode().owner().document().document();
        if (!owner) return nullptr;
        return new AttrImpl(Kw::AttributeRef(Kw::ElementRef::fromHandle(a.ownerElementNode().hostHandle()),
                                             Kw::StringKey::fromValue(a.name())),
                            owner);
    }
    default:
        return nullptr;
    }
}

namespace {

// A tree as the document-order algorithm asks it.
struct XalanTree {
    static const XalanNode* parentOf(const XalanNode* n) {
        if (n->getNodeType() == XalanNode::ATTRIBUTE_NODE) return static_cast<const XalanAttr*>(n)->getOwnerElement();
        return n->getParentNode();
    }
    // Siblings below one parent: attributes (in the host's order) before children.
    static bool siblingAfter(const XalanNode*, const XalanNode* x, const XalanNode* y) {
        const bool attrX = x->getNodeType() == XalanNode::ATTRIBUTE_NODE;
        const bool attrY = y->getNodeType() == XalanNode::ATTRIBUTE_NODE;
        if (attrX != attrY) return attrY;
        if (attrX) {
            const auto& ax = static_cast<const HostAttr&>(*x);
            const auto& ay = static_cast<const HostAttr&>(*y);
            return ax.ownerElementNode().placeOf(ax.name()) > ay.ownerElementNode().placeOf(ay.name());
        }
        for (const XalanNode* n = y->getNextSibling(); n; n = n->getNextSibling())
            if (n == x) return true;
        return false;
    }
};

} // namespace

bool isAfterInTree(const XalanNode& a, const XalanNode& b) {
    if (a.isIndexed() && b.isIndexed()) return a.getIndex() > b.getIndex();
    XalanTree tree;
    return isAfterInDocument(&a, &b, tree);
}

} // namespace domImpl::xpathImpl
