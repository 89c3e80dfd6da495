// What Xalan-C evaluates over for a document of the library: a read-only view of the host tree, one
// object per host object, that Xerces-C document wrappers can wrap.
//
// The library's own node objects make poor material for Xalan: text and attribute objects are new at
// every navigation (so a wrapper would see a new node each time, and a union would count one node twice),
// elements are counted hand-outs a wrapper would never give back, and an element's attribute names are
// those of the moment it was made. The view has none of that: each host object has one view node for as
// long as the view lives, and every answer comes from the host. Within one evaluation the host's answers
// are remembered (the tree cannot change while Xalan runs); at the start of the next one everything is
// asked again, so a change made through the DOM or by the host itself is seen by the next evaluation. A
// view therefore lives as long as its document and serves every evaluation; nodes it has met once cost no
// allocation and no host reference the next time.
//
// XPath sees one consistent tree: the document above the application element, its one child (the DOM
// lets the document stand in for the application element, which no XPath reader expects).
//
// Nodes that leave the tree and values that change make a view grow; once it has grown well past what it
// held after its first evaluation, the document starts a new one (results and resolvers keep the old one
// alive as long as they need it).
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>

#include <xalanc/Include/PlatformDefinitions.hpp>
#include <xercesc/dom/DOM.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace XALAN_CPP_NAMESPACE {
class XercesDocumentWrapper;
}

namespace domImpl {
class DocumentImpl;
}

namespace domImpl::xpathImpl {

using XERCES_CPP_NAMESPACE::DOMNode;

class DocumentView;
class ViewElement;

// A qualified name split at its first colon, as the host splits it.
struct NameParts {
    const XMLCh* qualified;
    std::u16string local;
    std::u16string prefix; // empty: none
};

// Whether the document that made a view is still alive; shared by all its views.
struct DocumentLink {
    DocumentImpl* document;
};

// The part every view node shares.
class ViewNode {
public:
    enum Kind : uint8_t { Document, Element, Text, Attribute };

    virtual ~ViewNode();
    virtual DOMNode* asNode() = 0;
    const DOMNode* asNode() const { return const_cast<ViewNode*>(this)->asNode(); }
    Kind kind() const { return nodeKind; }
    DocumentView& view() const { return owner; }

protected:
    ViewNode(DocumentView& view, Kind kind) : owner(view), nodeKind(kind) {}

    DocumentView& owner;
    Kind nodeKind;
};

// The view node behind a DOM node, or null for any other node.
ViewNode* asViewNode(const DOMNode* node);

// A host element or text object: its reference (one host reference held while the view lives) and the
// tree links read in the current evaluation.
class HostViewNode : public ViewNode {
public:
    enum Link : uint8_t { Parent, FirstChild, PreviousSibling, NextSibling, LinkCount };

    const Kw::ElementRef& ref() const { return hostRef; }
    ViewNode* link(Link which) const;
    ViewNode* lastChild() const;
    // The place among the siblings (numbered once per evaluation for all children of the parent).
    uint32_t position() const;
    // The node list of the children, made on first use and kept.
    XERCES_CPP_NAMESPACE::DOMNodeList* children() const;

protected:
    HostViewNode(DocumentView& view, Kind kind, Kw::ElementRef ref);
    ~HostViewNode() override;

    static constexpr uint8_t contentBit = 1 << LinkCount, positionBit = contentBit << 1;

    // Remembered answers are valid only within the evaluation that read them.
    bool known(uint8_t bit) const;
    void remember(uint8_t bit) const;

    Kw::ElementRef hostRef;
    mutable uint32_t stamp = 0;
    mutable uint8_t knownBits = 0;
    mutable ViewNode* links[LinkCount] = {};
    mutable uint32_t place = 0;
    mutable std::unique_ptr<XERCES_CPP_NAMESPACE::DOMNodeList> childList;
};

class BuiltWrapper;

class DocumentView {
public:
    DocumentView(DocumentImpl& document, std::shared_ptr<DocumentLink> link);
    ~DocumentView();
    DocumentView(const DocumentView&) = delete;
    DocumentView& operator=(const DocumentView&) = delete;

    // The Xalan-C wrapper of the view, made on first use. It wraps nodes as Xalan reaches them and asks the
    // view at every step, so it always sees the host tree as it is; but Xalan cannot number such nodes, and
    // keeping a node-set in document order then costs it a comparison with every node already in the set.
    XALAN_CPP_NAMESPACE::XercesDocumentWrapper& wrapper();
    // A wrapper built up front over the whole tree, whose nodes Xalan orders by number: the one of the last
    // evaluation that needed it when the host tree still has that shape, else a new one. Called within an
    // evaluation.
    std::shared_ptr<BuiltWrapper> orderedWrapper();
    // The document, or null once it is gone.
    DocumentImpl* document() const { return link->document; }

    // The view node of a node object of the library (the document itself, an element, a text or an
    // attribute of this document); null for anything else.
    DOMNode* viewOf(const DOMNode* libraryNode);
    // A node object of the library for a view node, which the caller ends with dispose(); null once the
    // document is gone.
    DOMNode* handOut(const ViewNode& node) const;

    // Evaluations nest; the outermost one starts a fresh memory of host answers. What the view holds after
    // its first execution (rather than a compilation) is its working set.
    void beginEvaluation();
    void endEvaluation(bool executed);
    bool evaluating() const { return depth > 0; }
    uint32_t epoch() const { return currentEpoch; }
    // Document order: whether `a` comes after `b`. The document node comes first, an element's attributes
    // (in the host's order) come after it and before its children.
    bool isAfter(const ViewNode& a, const ViewNode& b);
    // Grown well past its working set: the document should start a new view.
    bool worn() const;
    void noteGrowth() { ++grown; }

    // The view node of a host handle (null for a nil handle); made on first meeting.
    ViewNode* nodeAt(Kw::HostRef handle);
    ViewNode* documentNode();
    ViewNode* applicationNode();
    Kw::HostRef applicationHandle() const { return application.get(); }
    // The host's text of a key, kept for the life of the view; "" for no key.
    const XMLCh* keyText(Kw::HostKey key);
    const NameParts& nameParts(Kw::HostKey key);

private:
    std::shared_ptr<DocumentLink> link;
    Kw::ElementRef application;
    std::unique_ptr<ViewNode> documentView;
    std::unordered_map<Kw::HostRef, std::unique_ptr<ViewNode>> nodes;
    std::unordered_map<Kw::HostKey, std::u16string> keyTexts;
    std::unordered_map<Kw::HostKey, NameParts> names;
    std::unique_ptr<XALAN_CPP_NAMESPACE::XercesDocumentWrapper> xalanWrapper;
    std::shared_ptr<BuiltWrapper> ordered;
    uint32_t currentEpoch = 1;
    int depth = 0;
    bool settled = false;
    size_t grown = 0;
    size_t baseline = 0;
};

// A wrapper of a view built up front, and the shape of the tree it was built from (every node in document
// order with its attribute names). Results made over it keep it (and its view) alive.
class BuiltWrapper {
public:
    explicit BuiltWrapper(DocumentView& view);
    ~BuiltWrapper();
    BuiltWrapper(const BuiltWrapper&) = delete;
    BuiltWrapper& operator=(const BuiltWrapper&) = delete;

    XALAN_CPP_NAMESPACE::XercesDocumentWrapper& wrapper() { return *built; }
    // Whether the host tree has the shape the wrapper was built from (one walk of the tree).
    bool matches() const;

private:
    DocumentView& view;
    std::vector<uintptr_t> shape;
    std::unique_ptr<XALAN_CPP_NAMESPACE::XercesDocumentWrapper> built;
};

// The view a document of the library evaluates over now (made on first use, replaced when worn).
std::shared_ptr<DocumentView> currentView(DocumentImpl& document);

} // namespace domImpl::xpathImpl
