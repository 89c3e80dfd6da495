#include "xpath/NodeModel.hpp"

#include <algorithm>

#include "dom/DocumentImpl.hpp"
#include <DOMKw/dom/ElementImpl.hpp>
#include "dom/AttrImpl.hpp"
#include "dom/TextImpl.hpp"

#include <xalanc/Include/XalanMemoryManagement.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>

#include "bridge/HandleReads.hpp"
#include "dom/Identity.hpp"
#include "xpath/DocumentOrder.hpp"
#include "xpath/ModelNodes.hpp"
#include "xpath/NumberedWrapper.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::xpathImpl {

using Kw::HostRef;

// NodeModel.

NodeModel::NodeModel(DocumentImpl& document, std::shared_ptr<DocumentLink> link)
    : link(std::move(link)), application(document.ref()) {}

NodeModel::~NodeModel() {
    // The wrappers first: their nodes point at ours.
    ordered.reset();
    xalanWrapper.reset();
    documentView.reset();
    nodes.clear();
}

XALAN_CPP_NAMESPACE::XercesDocumentWrapper& NodeModel::wrapper() {
    if (!xalanWrapper) {
        // Mapping mode (no wrapper built up front, maps kept): Xalan asks the view at every step.
        xalanWrapper.reset(new XALAN_CPP_NAMESPACE::XercesDocumentWrapper(
            XALAN_CPP_NAMESPACE::XalanMemMgrs::getDefaultXercesMemMgr(),
            static_cast<const DOMDocument*>(documentNode()->asNode()), false, false, true));
    }
    return *xalanWrapper;
}

std::shared_ptr<NumberedWrapper> NodeModel::orderedWrapper() {
    if (!ordered || !ordered->matches()) {
        ordered = std::make_shared<NumberedWrapper>(*this);
        // Every node and attribute of the tree is live and met now: that is what the view needs, whatever
        // the evaluations before this one read.
        workingSet = std::max(workingSet, ordered->treeSize());
    }
    return ordered;
}

ModelNode* NodeModel::documentNode() {
    if (!documentView) documentView.reset(new ModelDocument(*this));
    return documentView.get();
}

ModelNode* NodeModel::applicationNode() {
    return nodeAt(application.get());
}

ModelNode* NodeModel::meet(HostRef handle) {
    const bool isText = reads::isText(handle);
    Kw::ElementRef ref = Kw::ElementRef::fromHandle(handle);
    std::unique_ptr<ModelNode> node;
    if (isText)
        node.reset(new ModelText(*this, std::move(ref)));
    else
        node.reset(new ModelElement(*this, std::move(ref)));
    ++grown;
    return nodes.emplace(handle, std::move(node)).first->second.get();
}

const XMLCh* NodeModel::keyText(HostKey key) {
    if (key == NO_KEY) return emptyText;
    auto it = keyTexts.find(key);
    if (it != keyTexts.end()) return it->second.c_str();
    return keyTexts.emplace(key, reads::keyText(key)).first->second.c_str();
}

const NameParts& NodeModel::nameParts(HostKey key) {
    auto it = names.find(key);
    if (it != names.end()) return it->second;
    NameParts parts{keyText(key), {}, {}};
    const std::u16string qualified(parts.qualified);
    const size_t colon = qualified.find(u':');
    if (colon == std::u16string::npos || colon == 0) {
        parts.local = qualified;
    } else {
        parts.prefix = qualified.substr(0, colon);
        parts.local = qualified.substr(colon + 1);
    }
    return names.emplace(key, std::move(parts)).first->second;
}

DOMNode* NodeModel::viewOf(const DOMNode* libraryNode) {
    DocumentImpl* doc = document();
    if (!libraryNode || !doc) return nullptr;
    const DOMDocument* self = doc;
    if (asDocumentImpl(libraryNode) == doc) return documentNode()->asNode();
    if (const NodeImpl* own = asNodeImpl(libraryNode)) {
        if (libraryNode->getOwnerDocument() != self) return nullptr;
        return nodeOf(nodeAt(own->ref().get()));
    }
    if (libraryNode->getNodeType() == DOMNode::ATTRIBUTE_NODE) {
        const auto* attr = dynamic_cast<const AttrImpl*>(libraryNode);
        if (!attr || attr->getOwnerDocument() != self) return nullptr;
        ModelNode* element = nodeAt(attr->record().owner.get());
        if (!element || element->kind() != ModelNode::Element) return nullptr;
        return static_cast<ModelElement*>(element)->attributeNamed(attr->record().name.value());
    }
    return nullptr;
}

DOMNode* NodeModel::handOut(const ModelNode& node) const {
    DocumentImpl* doc = document();
    if (!doc) return nullptr;
    switch (node.kind()) {
    case ModelNode::Document:
        return static_cast<DOMDocument*>(doc);
    case ModelNode::Element:
        return ElementImpl::create_(static_cast<const HostModelNode&>(node).ref(), doc);
    case ModelNode::Text:
        return NodeImpl::create_(static_cast<const HostModelNode&>(node).ref(), doc);
    case ModelNode::Attribute: {
        const auto& attr = static_cast<const ModelAttr&>(node);
        return new AttrImpl(
            Kw::AttributeRef(attr.ownerElementNode().ref(), Kw::StringKey::fromValue(attr.name())), doc);
    }
    }
    return nullptr;
}

namespace {

// The view as the document-order algorithm asks it.
struct ModelTree {
    // The parent in document order: for an attribute, its element.
    static const ModelNode* parentOf(const ModelNode* n) {
        switch (n->kind()) {
        case ModelNode::Document:
            return nullptr;
        case ModelNode::Attribute:
            return &static_cast<const ModelAttr*>(n)->ownerElementNode();
        default:
            break;
        }
        return static_cast<const HostModelNode*>(n)->link(HostModelNode::Parent);
    }

    static size_t attributePlace(const ModelAttr& attr) {
        const std::vector<HostKey>& keys = attr.ownerElementNode().keys();
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == attr.name()) return i;
        return keys.size();
    }

    // Siblings below one parent: attributes (in the host's order) before children.
    static bool siblingAfter(const ModelNode*, const ModelNode* x, const ModelNode* y) {
        const bool attrX = x->kind() == ModelNode::Attribute, attrY = y->kind() == ModelNode::Attribute;
        if (attrX != attrY) return attrY;
        if (attrX)
            return attributePlace(static_cast<const ModelAttr&>(*x)) >
                   attributePlace(static_cast<const ModelAttr&>(*y));
        return static_cast<const HostModelNode*>(x)->position() >
               static_cast<const HostModelNode*>(y)->position();
    }
};

} // namespace

bool NodeModel::isAfter(const ModelNode& a, const ModelNode& b) {
    ModelTree tree;
    return isAfterInDocument(&a, &b, tree);
}

void NodeModel::beginEvaluation() {
    // A new evaluation forgets what the host answered before: the tree may have changed since.
    if (depth++ == 0) ++currentEpoch;
}

void NodeModel::endEvaluation(bool executed) {
    if (--depth == 0 && executed && !settled) {
        settled = true;
        workingSet = std::max(workingSet, grown);
    }
}

bool NodeModel::worn() const {
    constexpr size_t slack = 4096;
    return settled && depth == 0 && grown > 2 * workingSet + slack;
}

} // namespace domImpl::xpathImpl
