// XPath's node model of a document of the library: what Xalan-C evaluates over, a read-only view of the
// host tree, one node per host object (ModelNodes), that Xerces-C document wrappers can wrap. This class
// keeps the nodes met (by handle), the host's key texts, and the evaluation epochs that say which of the
// host's answers are still valid; the document's slot keeps the current model (DocumentXPathState).
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
// Nodes that leave the tree and values that change make a view grow; once it has grown well past its
// working set (what it held after its first evaluation, or the whole tree when an evaluation had every node
// of it in order, whichever is more), the document starts a new one (results and resolvers keep the old one
// alive as long as they need it).
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>

#include <xalanc/Include/PlatformDefinitions.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace XALAN_CPP_NAMESPACE {
class XercesDocumentWrapper;
}

namespace domImpl {
class DocumentImpl;
}

namespace domImpl::xpathImpl {

using XERCES_CPP_NAMESPACE::DOMNode;

class ModelNode;
class NumberedWrapper;

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

class NodeModel {
public:
    NodeModel(DocumentImpl& document, std::shared_ptr<DocumentLink> link);
    ~NodeModel();
    NodeModel(const NodeModel&) = delete;
    NodeModel& operator=(const NodeModel&) = delete;

    // The Xalan-C wrapper of the view, made on first use. It wraps nodes as Xalan reaches them and asks the
    // view at every step, so it always sees the host tree as it is; but Xalan cannot number such nodes, and
    // keeping a node-set in document order then costs it a comparison with every node already in the set.
    XALAN_CPP_NAMESPACE::XercesDocumentWrapper& wrapper();
    // A wrapper built up front over the whole tree, whose nodes Xalan orders by number: the one of the last
    // evaluation that needed it when the host tree still has that shape, else a new one. Called within an
    // evaluation.
    std::shared_ptr<NumberedWrapper> orderedWrapper();
    // The document, or null once it is gone.
    DocumentImpl* document() const { return link->document; }

    // The view node of a node object of the library (the document itself, an element, a text or an
    // attribute of this document); null for anything else.
    DOMNode* viewOf(const DOMNode* libraryNode);
    // A node object of the library for a view node, which the caller ends with dispose(); null once the
    // document is gone.
    DOMNode* handOut(const ModelNode& node) const;

    // Evaluations nest; the outermost one starts a fresh memory of host answers. What the view holds after
    // its first execution (rather than a compilation) is its working set.
    void beginEvaluation();
    void endEvaluation(bool executed);
    bool evaluating() const { return depth > 0; }
    uint32_t epoch() const { return currentEpoch; }
    // Document order: whether `a` comes after `b`. The document node comes first, an element's attributes
    // (in the host's order) come after it and before its children.
    bool isAfter(const ModelNode& a, const ModelNode& b);
    // Grown well past its working set: the document should start a new view.
    bool worn() const;
    void noteGrowth() { ++grown; }

    // The view node of a host handle (null for a nil handle); made on first meeting.
    ModelNode* nodeAt(Kw::HostRef handle) {
        if (handle < 0) return nullptr;
        auto it = nodes.find(handle);
        return it != nodes.end() ? it->second.get() : meet(handle);
    }
    ModelNode* documentNode();
    ModelNode* applicationNode();
    Kw::HostRef applicationHandle() const { return application.get(); }
    // The host's text of a key, kept for the life of the view; "" for no key.
    const XMLCh* keyText(Kw::HostKey key);
    const NameParts& nameParts(Kw::HostKey key);

private:
    ModelNode* meet(Kw::HostRef handle);

    std::shared_ptr<DocumentLink> link;
    Kw::ElementRef application;
    std::unique_ptr<ModelNode> documentView;
    std::unordered_map<Kw::HostRef, std::unique_ptr<ModelNode>> nodes;
    std::unordered_map<Kw::HostKey, std::u16string> keyTexts;
    std::unordered_map<Kw::HostKey, NameParts> names;
    std::unique_ptr<XALAN_CPP_NAMESPACE::XercesDocumentWrapper> xalanWrapper;
    std::shared_ptr<NumberedWrapper> ordered;
    uint32_t currentEpoch = 1;
    int depth = 0;
    bool settled = false;
    size_t grown = 0;
    size_t workingSet = 0;
};

} // namespace domImpl::xpathImpl
