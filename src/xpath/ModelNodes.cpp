#include "xpath/ModelNodes.hpp"

#include "bridge/HandleReads.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::xpathImpl {

const XMLCh modelNodeFeature[] = u"DOMKw XPath view node";
const XMLCh emptyText[] = u"";

void refuse() {
    Kw::throwDOMException(DOMException::NOT_SUPPORTED_ERR);
}

// ModelNode and HostModelNode.

ModelNode::~ModelNode() = default;

ModelNode* asModelNode(const DOMNode* node) {
    return node ? static_cast<ModelNode*>(node->getFeature(modelNodeFeature, nullptr)) : nullptr;
}

HostModelNode::HostModelNode(NodeModel& view, Kind kind, Kw::ElementRef ref)
    : ModelNode(view, kind), hostRef(std::move(ref)) {}

HostModelNode::~HostModelNode() = default;

ModelNode* HostModelNode::readLink(Link which) const {
    const uint8_t bit = static_cast<uint8_t>(1u << which);
    static const int32_t directions[LinkCount] = {Kw::host::Parent, Kw::host::FirstChild,
                                                  Kw::host::PreviousSibling, Kw::host::NextSibling};
    ModelNode* found = owner.nodeAt(reads::navigate(hostRef.get(), directions[which]));
    if (!found && which == Parent && hostRef.get() == owner.applicationHandle()) found = owner.documentNode();
    links[which] = found;
    remember(bit);
    return found;
}

ModelNode* HostModelNode::lastChild() const {
    ModelNode* child = link(FirstChild);
    if (!child) return nullptr;
    while (ModelNode* next = static_cast<HostModelNode*>(child)->link(NextSibling)) child = next;
    return child;
}

uint32_t HostModelNode::position() const {
    if (known(positionBit)) return place;
    const auto* parent = static_cast<const HostModelNode*>(link(Parent));
    if (!parent) return 0;
    uint32_t i = 0, mine = 0;
    for (ModelNode* c = parent->link(FirstChild); c;
         c = static_cast<HostModelNode*>(c)->link(NextSibling), ++i) {
        auto* child = static_cast<HostModelNode*>(c);
        child->place = i;
        child->remember(positionBit);
        if (child == this) mine = i;
    }
    return mine;
}

DOMNodeList* HostModelNode::children() const {
    if (!childList) childList.reset(new ModelChildren(*this));
    return childList.get();
}

// ModelElement.

DOMDocument* ModelElement::getOwnerDocument() const {
    return static_cast<DOMDocument*>(owner.documentNode()->asNode());
}

const NameParts& ModelElement::names() const {
    if (!parts) {
        // An element's name never changes: read once for the life of the view.
        if (tagKey == unread) tagKey = reads::elementNameKey(hostRef.get(), 0);
        parts = &owner.nameParts(tagKey);
    }
    return *parts;
}

const std::vector<HostKey>& ModelElement::keys() const {
    if (!known(keysBit)) {
        // A refused read is counted (and thrown inside CheckedReads) like every other unexamined read.
        HostKey buffer[255];
        const int32_t count = reads::attributeKeys(hostRef.get(), buffer, 255);
        attributeKeys.assign(buffer, buffer + count);
        remember(keysBit);
    }
    return attributeKeys;
}

ModelAttr* ModelElement::attributeNamed(HostKey name) {
    for (const auto& a : attributes)
        if (a->name() == name) return a.get();
    attributes.emplace_back(new ModelAttr(*this, name, owner.nameParts(name)));
    owner.noteGrowth();
    return attributes.back().get();
}

DOMNode* ModelElement::item(XMLSize_t index) const {
    const std::vector<HostKey>& k = keys();
    if (index >= k.size()) return nullptr;
    // Attributes are met in the host's order, so the one asked for is usually at the same place.
    if (index < attributes.size() && attributes[index]->name() == k[index]) return attributes[index].get();
    return const_cast<ModelElement*>(this)->attributeNamed(k[index]);
}

DOMAttr* ModelElement::getAttributeNode(const XMLCh* name) const {
    for (HostKey k : keys())
        if (XMLString::equals(owner.keyText(k), name))
            return const_cast<ModelElement*>(this)->attributeNamed(k);
    return nullptr;
}

const XMLCh* ModelElement::getAttribute(const XMLCh* name) const {
    const DOMAttr* a = getAttributeNode(name);
    return a ? a->getValue() : emptyText;
}

DOMAttr* ModelElement::getAttributeNodeNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    for (HostKey k : keys()) {
        ModelAttr* a = const_cast<ModelElement*>(this)->attributeNamed(k);
        if (XMLString::equals(a->getLocalName(), localName) &&
            XMLString::equals(a->getNamespaceURI(), namespaceURI))
            return a;
    }
    return nullptr;
}

const XMLCh* ModelElement::getAttributeNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    const DOMAttr* a = getAttributeNodeNS(namespaceURI, localName);
    return a ? a->getValue() : emptyText;
}

} // namespace domImpl::xpathImpl
