// What Xalan-C evaluates over for a document of the library: Xalan's own node interfaces implemented
// directly over the host, one layer, no DOM of our own in between.
//
// Each evaluation reads a tree of its own (`HostTree`): one small node object per host object it reaches
// (element or text) and per attribute it asks for, made as Xalan walks (a few nodes for a path from the
// context), or all at once in document order when the expression searches the whole tree (the nodes are
// then numbered, and Xalan orders a node-set by the numbers instead of by walking up the tree). The tree
// keeps borrowed host handles: the host tree cannot change while Xalan runs, and the tree is not used
// for another evaluation, so nothing read from the host has to be checked again later and no host
// reference is held for it. A tree lives as long as the result made from it; the result holds one host
// reference for each node of its node-set, so the nodes it hands out stay valid until it is released.
// Once the evaluation is over, a tree a result still holds answers every question from the host again
// (the string value of a node-set asked for later reads the tree as it is then).
//
// What a document keeps between evaluations is its `HostDocument`: the Xalan document node (one address
// for the document's life, which the host is told about after each evaluation) and the texts of the
// host's names met so far. Nothing the size of the tree.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>

#include <xalanc/XalanDOM/XalanAttr.hpp>
#include <xalanc/XalanDOM/XalanDOMString.hpp>
#include <xalanc/XalanDOM/XalanDocument.hpp>
#include <xalanc/XalanDOM/XalanElement.hpp>
#include <xalanc/XalanDOM/XalanNamedNodeMap.hpp>
#include <xalanc/XalanDOM/XalanNodeList.hpp>
#include <xalanc/XalanDOM/XalanText.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

namespace XALAN_CPP_NAMESPACE {
class NodeRefListBase;
}

namespace domImpl {
class DocumentImpl;
}

namespace domImpl::xpathImpl {

namespace xalan = XALAN_CPP_NAMESPACE;
using Kw::HostKey;
using Kw::HostRef;
using xalan::XalanDOMString;
using xalan::XalanNode;
using xalan::XalanSize_t;

class HostTree;
class HostDocument;
class HostElement;

// Whether the document that made a tree is still alive; shared by everything that outlives an evaluation.
struct DocumentLink {
    DocumentImpl* document;
};

// The texts of one host name: the qualified name and its parts split at the first colon.
struct NameTexts {
    XalanDOMString qualified, local, prefix;
};

// Objects of one kind made by a tree, in blocks, at addresses that never move; ended with the tree. The
// blocks start small (a path from the context reads a few dozen nodes) and double up to a largest size
// (a tree read whole has a node for every host object).
template <class T> class NodeBlocks {
public:
    NodeBlocks() = default;
    NodeBlocks(const NodeBlocks&) = delete;
    NodeBlocks& operator=(const NodeBlocks&) = delete;
    ~NodeBlocks() {
        for (Block& b : blocks) {
            T* at = reinterpret_cast<T*>(b.slots.get());
            for (size_t i = 0; i < b.used; ++i) at[i].~T();
        }
    }
    template <class... A> T* make(A&&... args) {
        if (blocks.empty() || blocks.back().used == blocks.back().room) {
            const size_t room = blocks.empty() ? smallest : std::min(blocks.back().room * 2, largest);
            blocks.push_back(Block{std::unique_ptr<Slot[]>(new Slot[room]), room, 0});
        }
        Block& b = blocks.back();
        T* at = reinterpret_cast<T*>(b.slots.get()) + b.used;
        new (at) T(std::forward<A>(args)...);
        ++b.used;
        ++count;
        return at;
    }
    size_t size() const { return count; }

private:
    static constexpr size_t smallest = 16;
    static constexpr size_t largest = 1024;
    struct alignas(T) Slot {
        unsigned char bytes[sizeof(T)];
    };
    struct Block {
        std::unique_ptr<Slot[]> slots;
        size_t room, used;
    };
    std::vector<Block> blocks;
    size_t count = 0;
};

class HostChild;

// The nodes of a tree by host handle: open addressing over a table that doubles when half full, so that
// a node costs no allocation of its own.
class NodesByHandle {
public:
    // The node of a handle, or null.
    HostChild* find(HostRef handle) const {
        if (slots.empty() || handle < 0) return nullptr;
        for (size_t i = start(handle);; i = (i + 1) & (slots.size() - 1)) {
            if (slots[i].handle == handle) return slots[i].node;
            if (slots[i].handle < 0) return nullptr;
        }
    }
    // Adds the node of a handle (one already there keeps its node; a negative handle is never added).
    void add(HostRef handle, HostChild* node);

private:
    struct Slot {
        HostRef handle;
        HostChild* node;
    };
    size_t start(HostRef handle) const {
        // Fibonacci hashing: the high bits of the product pick the slot.
        return static_cast<size_t>((static_cast<uint64_t>(handle) * 0x9E3779B97F4A7C15ull) >> shift);
    }
    std::vector<Slot> slots;
    size_t used = 0;
    unsigned shift = 64;
};

// The part of an element or text node that is a host object in the tree: its handle and its links, read
// from the host once per evaluation (or at every question once the evaluation is over).
class HostChild {
public:
    enum Link : uint8_t { Parent, FirstChild, PreviousSibling, NextSibling, LinkCount };

    HostChild(HostTree& tree, HostRef handle, bool text) : tree(&tree), handle(handle), text(text) {}

    HostRef hostHandle() const { return handle; }
    bool isTextNode() const { return text; }
    HostTree& owner() const { return *tree; }
    XalanNode* asXalan();
    HostChild* link(Link which) const;
    HostChild* lastChild() const;
    // The place in document order when the node was read with the whole tree, numbered; else 0.
    uint64_t order() const { return number; }

protected:
    friend class HostTree;
    XalanNode* parentNode() const;

    HostTree* tree;
    HostRef handle;
    mutable HostChild* links[LinkCount] = {};
    uint64_t number = 0;
    mutable uint8_t known = 0;
    bool text;
};

// An element; also its own attribute map.
class HostElement : public xalan::XalanElement, public xalan::XalanNamedNodeMap, public HostChild {
public:
    HostElement(HostTree& tree, HostRef handle) : HostChild(tree, handle, false) {}

    // The element's attribute names now, and the node of one of them (made on first use, then kept).
    const std::vector<HostKey>& keys() const;
    xalan::XalanAttr* attributeNamed(HostKey name) const;
    // The place of an attribute among the element's attributes now (the count when it has gone).
    size_t placeOf(HostKey name) const;

    // XalanNode
    const XalanDOMString& getNodeName() const override { return names().qualified; }
    const XalanDOMString& getNodeValue() const override;
    NodeType getNodeType() const override { return ELEMENT_NODE; }
    XalanNode* getParentNode() const override { return parentNode(); }
    const xalan::XalanNodeList* getChildNodes() const override;
    XalanNode* getFirstChild() const override;
    XalanNode* getLastChild() const override;
    XalanNode* getPreviousSibling() const override;
    XalanNode* getNextSibling() const override;
    const xalan::XalanNamedNodeMap* getAttributes() const override { return this; }
    xalan::XalanDocument* getOwnerDocument() const override;
    const XalanDOMString& getNamespaceURI() const override;
    const XalanDOMString& getPrefix() const override { return names().prefix; }
    const XalanDOMString& getLocalName() const override { return names().local; }
    bool isIndexed() const override;
    IndexType getIndex() const override { return static_cast<IndexType>(number); }
    // XalanElement
    const XalanDOMString& getTagName() const override { return names().qualified; }
    // XalanNamedNodeMap
    XalanNode* item(XalanSize_t index) const override;
    XalanNode* getNamedItem(const XalanDOMString& name) const override;
    XalanSize_t getLength() const override { return static_cast<XalanSize_t>(keys().size()); }
    XalanNode* getNamedItemNS(const XalanDOMString& namespaceURI,
                              const XalanDOMString& localName) const override;

    // The attribute names read and the attribute nodes made; kept by the tree.
    struct Attributes {
        std::vector<HostKey> keys;
        std::vector<xalan::XalanAttr*> nodes; // one per name met, kept
        bool read = false;
    };

private:
    static constexpr HostKey unread = Kw::NO_KEY - 1;
    const NameTexts& names() const;

    mutable HostKey tagKey = unread;
    mutable HostKey namespaceKey = unread;
    mutable const NameTexts* tagNames = nullptr;
    mutable const NameTexts* namespaceNames = nullptr;
    mutable Attributes* attributes = nullptr;
};

class HostText : public xalan::XalanText, public HostChild {
public:
    HostText(HostTree& tree, HostRef handle);

    // XalanNode
    const XalanDOMString& getNodeName() const override;
    const XalanDOMString& getNodeValue() const override { return getData(); }
    NodeType getNodeType() const override { return TEXT_NODE; }
    XalanNode* getParentNode() const override { return parentNode(); }
    const xalan::XalanNodeList* getChildNodes() const override;
    XalanNode* getFirstChild() const override { return nullptr; }
    XalanNode* getLastChild() const override { return nullptr; }
    XalanNode* getPreviousSibling() const override;
    XalanNode* getNextSibling() const override;
    const xalan::XalanNamedNodeMap* getAttributes() const override { return nullptr; }
    xalan::XalanDocument* getOwnerDocument() const override;
    const XalanDOMString& getNamespaceURI() const override;
    const XalanDOMString& getPrefix() const override { return getNamespaceURI(); }
    const XalanDOMString& getLocalName() const override { return getNamespaceURI(); }
    bool isIndexed() const override;
    IndexType getIndex() const override { return static_cast<IndexType>(number); }
    // XalanCharacterData, XalanText
    const XalanDOMString& getData() const override;
    bool isWhitespace() const override;

private:
    // The characters as last read: Xalan holds on to the texts it is given by reference.
    mutable XalanDOMString data;
};

// One attribute of an element, by its name key.
class HostAttr : public xalan::XalanAttr {
public:
    HostAttr(const HostElement& element, HostKey name, const NameTexts& texts);

    HostKey name() const { return nameKey; }
    const HostElement& ownerElementNode() const { return element; }

    // XalanNode
    const XalanDOMString& getNodeName() const override { return texts.qualified; }
    const XalanDOMString& getNodeValue() const override { return getValue(); }
    NodeType getNodeType() const override { return ATTRIBUTE_NODE; }
    XalanNode* getParentNode() const override { return nullptr; }
    const xalan::XalanNodeList* getChildNodes() const override;
    XalanNode* getFirstChild() const override { return nullptr; }
    XalanNode* getLastChild() const override { return nullptr; }
    XalanNode* getPreviousSibling() const override { return nullptr; }
    XalanNode* getNextSibling() const override { return nullptr; }
    const xalan::XalanNamedNodeMap* getAttributes() const override { return nullptr; }
    xalan::XalanDocument* getOwnerDocument() const override { return element.getOwnerDocument(); }
    const XalanDOMString& getNamespaceURI() const override;
    const XalanDOMString& getPrefix() const override { return texts.prefix; }
    const XalanDOMString& getLocalName() const override { return texts.local; }
    bool isIndexed() const override { return element.isIndexed(); }
    IndexType getIndex() const override {
        return static_cast<IndexType>(element.order() + 1 + element.placeOf(nameKey));
    }
    // XalanAttr
    const XalanDOMString& getName() const override { return texts.qualified; }
    const XalanDOMString& getValue() const override;
    xalan::XalanElement* getOwnerElement() const override { return const_cast<HostElement*>(&element); }

private:
    const HostElement& element;
    HostKey nameKey;
    const NameTexts& texts;
    mutable HostKey namespaceKey = Kw::NO_KEY;
    mutable bool namespaceRead = false;
    mutable XalanDOMString value; // as last read (Xalan holds on to it by reference)
};

// The document node: the same object for every evaluation of one document. XPath sees the tree a reader
// expects: the document above the application element, its one child (the library's DOM lets the
// document stand in for the application element, which no XPath reader expects).
class HostDocument : public xalan::XalanDocument, public std::enable_shared_from_this<HostDocument> {
public:
    HostDocument(DocumentImpl& document, std::shared_ptr<DocumentLink> link);
    ~HostDocument() override;

    // The document, or null once it is gone.
    DocumentImpl* document() const { return link->document; }
    HostRef applicationHandle() const { return application; }
    // A new tree for an evaluation, which the document node shows from now on. `numbered`: every node of
    // the host tree is read now, in document order, and numbered.
    std::shared_ptr<HostTree> newTree(bool numbered);
    // The texts of a host name, kept for the document's life; empty for no key. Throws a refused read.
    const NameTexts& names(HostKey key);

    // XalanNode
    const XalanDOMString& getNodeName() const override;
    const XalanDOMString& getNodeValue() const override;
    NodeType getNodeType() const override { return DOCUMENT_NODE; }
    XalanNode* getParentNode() const override { return nullptr; }
    const xalan::XalanNodeList* getChildNodes() const override;
    XalanNode* getFirstChild() const override { return getDocumentElement(); }
    XalanNode* getLastChild() const override { return getDocumentElement(); }
    XalanNode* getPreviousSibling() const override { return nullptr; }
    XalanNode* getNextSibling() const override { return nullptr; }
    const xalan::XalanNamedNodeMap* getAttributes() const override { return nullptr; }
    xalan::XalanDocument* getOwnerDocument() const override { return nullptr; }
    const XalanDOMString& getNamespaceURI() const override;
    const XalanDOMString& getPrefix() const override { return getNamespaceURI(); }
    const XalanDOMString& getLocalName() const override { return getNamespaceURI(); }
    bool isIndexed() const override;
    IndexType getIndex() const override { return 0; }
    // XalanDocument
    xalan::XalanElement* getDocumentElement() const override;
    xalan::XalanElement* getElementById(const XalanDOMString&) const override { return nullptr; }

private:
    friend class HostTree;
    std::shared_ptr<DocumentLink> link;
    HostRef application; // borrowed: compared, never read through
    HostTree* current = nullptr; // the tree of the last evaluation, while it lives
    mutable std::unique_ptr<xalan::XalanNodeList> childrenList;
    std::unordered_map<HostKey, std::unique_ptr<NameTexts>> nameTexts;
};

class HostTree {
public:
    HostTree(std::shared_ptr<HostDocument> document, bool numbered);
    ~HostTree();
    HostTree(const HostTree&) = delete;
    HostTree& operator=(const HostTree&) = delete;

    HostDocument& document() const { return *doc; }
    // Whether the evaluation that made the tree is running: what was read from the host stays true.
    bool evaluating() const { return running; }
    void endEvaluation() { running = false; }
    bool numbered() const { return isNumbered; }
    // The element and text nodes met.
    size_t size() const { return elements.size() + texts.size(); }

    // The node of the application element (null when the host has none).
    HostChild* application();
    // The node of a host handle (null for a nil handle, or for a handle out of a numbered tree).
    HostChild* nodeAt(HostRef handle);
    // The node of a node object of the library (the document, an element, a text or an attribute of this
    // document); null for anything else, or for a node out of a numbered tree.
    XalanNode* nodeOf(const XERCES_CPP_NAMESPACE::DOMNode* libraryNode);
    // One host reference for each node of `nodes`, held while the tree lives.
    void pin(const xalan::NodeRefListBase& nodes);

    // The list of a node's children, made on first use and kept.
    const xalan::XalanNodeList* childList(const XalanNode& parent);
    static const xalan::XalanNodeList* emptyList();

private:
    friend class HostChild;
    friend class HostElement;
    friend class HostText;
    HostChild* make(HostRef handle);
    HostChild* makeNode(HostRef handle);
    HostChild* findNumbered(HostRef handle);
    void numberAll();

    std::shared_ptr<HostDocument> doc;
    bool running = true;
    bool isNumbered;
    HostChild* app = nullptr;
    bool appRead = false;
    NodeBlocks<HostElement> elements;
    NodeBlocks<HostText> texts;
    NodeBlocks<HostAttr> attrs;
    std::unordered_map<const XalanNode*, std::unique_ptr<xalan::XalanNodeList>> lists;
    NodesByHandle byHandle;
    std::vector<Kw::ElementRef> pins;
    std::deque<HostElement::Attributes> attributeRecords;
};

// The node object of the library for a node of a tree, which the caller ends with dispose(); null once the
// document is gone.
XERCES_CPP_NAMESPACE::DOMNode* handOut(const XalanNode& node);

// Document order between two nodes of one tree.
bool isAfterInTree(const XalanNode& a, const XalanNode& b);

} // namespace domImpl::xpathImpl
