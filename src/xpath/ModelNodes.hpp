// The nodes of XPath's model of a host tree: one per host object (document, element, text) and one per
// attribute name met on an element, read-only Xerces-C DOM nodes that a Xalan-C wrapper can wrap. Every
// answer comes from the host through the model, remembered within one evaluation.
#pragma once

#include <DOMKw/bridge/ObjectRef.hpp>

#include <xercesc/dom/DOM.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bridge/HandleReads.hpp"
#include "xpath/NodeModel.hpp"

namespace domImpl::xpathImpl {

using Kw::HostKey;
using Kw::NO_KEY;
using XERCES_CPP_NAMESPACE::DOMAttr;
using XERCES_CPP_NAMESPACE::DOMCDATASection;
using XERCES_CPP_NAMESPACE::DOMComment;
using XERCES_CPP_NAMESPACE::DOMConfiguration;
using XERCES_CPP_NAMESPACE::DOMDocument;
using XERCES_CPP_NAMESPACE::DOMDocumentFragment;
using XERCES_CPP_NAMESPACE::DOMDocumentType;
using XERCES_CPP_NAMESPACE::DOMElement;
using XERCES_CPP_NAMESPACE::DOMEntity;
using XERCES_CPP_NAMESPACE::DOMEntityReference;
using XERCES_CPP_NAMESPACE::DOMImplementation;
using XERCES_CPP_NAMESPACE::DOMNamedNodeMap;
using XERCES_CPP_NAMESPACE::DOMNode;
using XERCES_CPP_NAMESPACE::DOMNodeFilter;
using XERCES_CPP_NAMESPACE::DOMNodeIterator;
using XERCES_CPP_NAMESPACE::DOMNodeList;
using XERCES_CPP_NAMESPACE::DOMNotation;
using XERCES_CPP_NAMESPACE::DOMProcessingInstruction;
using XERCES_CPP_NAMESPACE::DOMRange;
using XERCES_CPP_NAMESPACE::DOMText;
using XERCES_CPP_NAMESPACE::DOMTreeWalker;
using XERCES_CPP_NAMESPACE::DOMTypeInfo;
using XERCES_CPP_NAMESPACE::DOMUserDataHandler;
using XERCES_CPP_NAMESPACE::DOMXPathExpression;
using XERCES_CPP_NAMESPACE::DOMXPathNSResolver;
using XERCES_CPP_NAMESPACE::DOMXPathResult;
using XERCES_CPP_NAMESPACE::XMLString;
namespace reads = Kw::handleReads;

// What identifies a node of the model (DOMNode::getFeature answers the node for it).
extern const XMLCh modelNodeFeature[];
extern const XMLCh emptyText[];

[[noreturn]] void refuse();

inline DOMNode* nodeOf(ModelNode* n);

// The part every node of the model shares.
class ModelNode {
public:
    enum Kind : uint8_t { Document, Element, Text, Attribute };

    virtual ~ModelNode();
    virtual DOMNode* asNode() = 0;
    const DOMNode* asNode() const { return const_cast<ModelNode*>(this)->asNode(); }
    Kind kind() const { return nodeKind; }
    NodeModel& model() const { return owner; }

protected:
    ModelNode(NodeModel& view, Kind kind) : owner(view), nodeKind(kind) {}

    NodeModel& owner;
    Kind nodeKind;
};

// The view node behind a DOM node, or null for any other node.
ModelNode* asModelNode(const DOMNode* node);

// A host element or text object: its reference (one host reference held while the view lives) and the
// tree links read in the current evaluation.
class HostModelNode : public ModelNode {
public:
    enum Link : uint8_t { Parent, FirstChild, PreviousSibling, NextSibling, LinkCount };

    const Kw::ElementRef& ref() const { return hostRef; }
    ModelNode* link(Link which) const {
        if (known(static_cast<uint8_t>(1u << which))) return links[which];
        return readLink(which);
    }
    ModelNode* lastChild() const;
    // The place among the siblings (numbered once per evaluation for all children of the parent).
    uint32_t position() const;
    // The node list of the children, made on first use and kept.
    XERCES_CPP_NAMESPACE::DOMNodeList* children() const;

protected:
    HostModelNode(NodeModel& view, Kind kind, Kw::ElementRef ref);
    ~HostModelNode() override;

    static constexpr uint8_t contentBit = 1 << LinkCount, positionBit = contentBit << 1;

    // Remembered answers are valid only within the evaluation that read them.
    bool known(uint8_t bit) const {
        return owner.evaluating() && stamp == owner.epoch() && (knownBits & bit);
    }
    void remember(uint8_t bit) const {
        if (!owner.evaluating()) return;
        if (stamp != owner.epoch()) {
            stamp = owner.epoch();
            knownBits = 0;
        }
        knownBits |= bit;
    }

    ModelNode* readLink(Link which) const;

    Kw::ElementRef hostRef;
    mutable uint32_t stamp = 0;
    mutable uint8_t knownBits = 0;
    mutable ModelNode* links[LinkCount] = {};
    mutable uint32_t place = 0;
    mutable std::unique_ptr<XERCES_CPP_NAMESPACE::DOMNodeList> childList;
};

inline DOMNode* nodeOf(ModelNode* n) {
    return n ? n->asNode() : nullptr;
}

// Empty child lists (attributes, text).
class EmptyList : public DOMNodeList {
public:
    DOMNode* item(XMLSize_t) const override { return nullptr; }
    XMLSize_t getLength() const override { return 0; }
    static EmptyList* instance() {
        static EmptyList list;
        return &list;
    }
};

// The DOMNode operations a read-only view that is never handed out answers alike for every kind of node.
template <class I> class ModelNodeBase : public I {
public:
    DOMNode* cloneNode(bool) const override { refuse(); }
    DOMNode* insertBefore(DOMNode*, DOMNode*) override { refuse(); }
    DOMNode* replaceChild(DOMNode*, DOMNode*) override { refuse(); }
    DOMNode* removeChild(DOMNode*) override { refuse(); }
    DOMNode* appendChild(DOMNode*) override { refuse(); }
    void setNodeValue(const XMLCh*) override { refuse(); }
    void normalize() override {}
    bool isSupported(const XMLCh*, const XMLCh*) const override { return false; }
    void setPrefix(const XMLCh*) override { refuse(); }
    // One view node per host object: identity is the object's address.
    bool isSameNode(const DOMNode* other) const override { return other == this; }
    bool isEqualNode(const DOMNode* other) const override { return other == this; }
    void* setUserData(const XMLCh*, void*, DOMUserDataHandler*) override { refuse(); }
    void* getUserData(const XMLCh*) const override { return nullptr; }
    const XMLCh* getBaseURI() const override { return nullptr; }
    short compareDocumentPosition(const DOMNode*) const override { refuse(); }
    const XMLCh* getTextContent() const override { refuse(); }
    void setTextContent(const XMLCh*) override { refuse(); }
    const XMLCh* lookupPrefix(const XMLCh*) const override { return nullptr; }
    bool isDefaultNamespace(const XMLCh*) const override { return false; }
    const XMLCh* lookupNamespaceURI(const XMLCh*) const override { return nullptr; }
    void release() override {}
};

class ModelAttr;

// The children of a host node.
class ModelChildren : public DOMNodeList {
public:
    explicit ModelChildren(const HostModelNode& parent) : parent(parent) {}
    DOMNode* item(XMLSize_t index) const override {
        ModelNode* child = parent.link(HostModelNode::FirstChild);
        for (XMLSize_t i = 0; child && i < index; ++i)
            child = static_cast<HostModelNode*>(child)->link(HostModelNode::NextSibling);
        return child ? child->asNode() : nullptr;
    }
    XMLSize_t getLength() const override {
        XMLSize_t n = 0;
        for (ModelNode* c = parent.link(HostModelNode::FirstChild); c;
             c = static_cast<HostModelNode*>(c)->link(HostModelNode::NextSibling))
            ++n;
        return n;
    }

private:
    const HostModelNode& parent;
};

// The element view: also its own attribute map, as the library's elements are.
class ModelElement : public ModelNodeBase<DOMElement>, public DOMNamedNodeMap, public HostModelNode {
public:
    ModelElement(NodeModel& view, Kw::ElementRef ref) : HostModelNode(view, Element, std::move(ref)) {}

    DOMNode* asNode() override { return this; }
    ModelAttr* attributeNamed(HostKey name);

    // DOMNode
    const XMLCh* getNodeName() const override { return names().qualified; }
    const XMLCh* getNodeValue() const override { return nullptr; }
    NodeType getNodeType() const override { return ELEMENT_NODE; }
    DOMNode* getParentNode() const override { return nodeOf(link(Parent)); }
    DOMNodeList* getChildNodes() const override { return children(); }
    DOMNode* getFirstChild() const override { return nodeOf(link(FirstChild)); }
    DOMNode* getLastChild() const override { return nodeOf(lastChild()); }
    DOMNode* getPreviousSibling() const override { return nodeOf(link(PreviousSibling)); }
    DOMNode* getNextSibling() const override { return nodeOf(link(NextSibling)); }
    DOMNamedNodeMap* getAttributes() const override { return const_cast<ModelElement*>(this); }
    DOMDocument* getOwnerDocument() const override;
    bool hasChildNodes() const override { return link(FirstChild) != nullptr; }
    const XMLCh* getNamespaceURI() const override {
        if (namespaceKey == unread) namespaceKey = reads::elementNameKey(hostRef.get(), 1);
        const XMLCh* uri = owner.keyText(namespaceKey);
        return *uri ? uri : nullptr;
    }
    const XMLCh* getPrefix() const override {
        return names().prefix.empty() ? nullptr : names().prefix.c_str();
    }
    const XMLCh* getLocalName() const override { return names().local.c_str(); }
    bool hasAttributes() const override { return !keys().empty(); }
    void* getFeature(const XMLCh* feature, const XMLCh*) const override {
        return feature == modelNodeFeature ? static_cast<ModelNode*>(const_cast<ModelElement*>(this))
                                           : nullptr;
    }

    // DOMElement
    const XMLCh* getTagName() const override { return names().qualified; }
    const XMLCh* getAttribute(const XMLCh* name) const override;
    DOMAttr* getAttributeNode(const XMLCh* name) const override;
    DOMNodeList* getElementsByTagName(const XMLCh*) const override { refuse(); }
    void setAttribute(const XMLCh*, const XMLCh*) override { refuse(); }
    DOMAttr* setAttributeNode(DOMAttr*) override { refuse(); }
    DOMAttr* removeAttributeNode(DOMAttr*) override { refuse(); }
    void removeAttribute(const XMLCh*) override { refuse(); }
    const XMLCh* getAttributeNS(const XMLCh* namespaceURI, const XMLCh* localName) const override;
    void setAttributeNS(const XMLCh*, const XMLCh*, const XMLCh*) override { refuse(); }
    void removeAttributeNS(const XMLCh*, const XMLCh*) override { refuse(); }
    DOMAttr* getAttributeNodeNS(const XMLCh* namespaceURI, const XMLCh* localName) const override;
    DOMAttr* setAttributeNodeNS(DOMAttr*) override { refuse(); }
    DOMNodeList* getElementsByTagNameNS(const XMLCh*, const XMLCh*) const override { refuse(); }
    bool hasAttribute(const XMLCh* name) const override { return getAttributeNode(name) != nullptr; }
    bool hasAttributeNS(const XMLCh* namespaceURI, const XMLCh* localName) const override {
        return getAttributeNodeNS(namespaceURI, localName) != nullptr;
    }
    void setIdAttribute(const XMLCh*, bool) override { refuse(); }
    void setIdAttributeNS(const XMLCh*, const XMLCh*, bool) override { refuse(); }
    void setIdAttributeNode(const DOMAttr*, bool) override { refuse(); }
    const DOMTypeInfo* getSchemaTypeInfo() const override { return nullptr; }
    DOMElement* getFirstElementChild() const override { refuse(); }
    DOMElement* getLastElementChild() const override { refuse(); }
    DOMElement* getPreviousElementSibling() const override { refuse(); }
    DOMElement* getNextElementSibling() const override { refuse(); }
    XMLSize_t getChildElementCount() const override { refuse(); }

    // DOMNamedNodeMap: the attributes the host has now.
    DOMNode* setNamedItem(DOMNode*) override { refuse(); }
    DOMNode* item(XMLSize_t index) const override;
    DOMNode* getNamedItem(const XMLCh* name) const override { return getAttributeNode(name); }
    XMLSize_t getLength() const override { return keys().size(); }
    DOMNode* removeNamedItem(const XMLCh*) override { refuse(); }
    DOMNode* getNamedItemNS(const XMLCh* namespaceURI, const XMLCh* localName) const override {
        return getAttributeNodeNS(namespaceURI, localName);
    }
    DOMNode* setNamedItemNS(DOMNode*) override { refuse(); }
    DOMNode* removeNamedItemNS(const XMLCh*, const XMLCh*) override { refuse(); }

    const std::vector<HostKey>& keys() const;

private:
    static constexpr HostKey unread = NO_KEY - 1;
    static constexpr uint8_t keysBit = contentBit;
    const NameParts& names() const;

    mutable HostKey tagKey = unread;
    mutable HostKey namespaceKey = unread;
    mutable const NameParts* parts = nullptr;
    mutable std::vector<HostKey> attributeKeys;
    mutable std::vector<std::unique_ptr<ModelAttr>> attributes; // one per name met, kept
};

// One attribute of a host element, by its qualified-name key.
class ModelAttr : public ModelNodeBase<DOMAttr>, public ModelNode {
public:
    ModelAttr(ModelElement& element, HostKey name, const NameParts& parts)
        : ModelNode(element.model(), Attribute), element(element), nameKey(name), parts(parts) {}

    DOMNode* asNode() override { return this; }
    HostKey name() const { return nameKey; }
    ModelElement& ownerElementNode() const { return element; }

    // DOMNode
    const XMLCh* getNodeName() const override { return parts.qualified; }
    const XMLCh* getNodeValue() const override { return getValue(); }
    NodeType getNodeType() const override { return ATTRIBUTE_NODE; }
    DOMNode* getParentNode() const override { return nullptr; }
    DOMNodeList* getChildNodes() const override { return EmptyList::instance(); }
    DOMNode* getFirstChild() const override { return nullptr; }
    DOMNode* getLastChild() const override { return nullptr; }
    DOMNode* getPreviousSibling() const override { return nullptr; }
    DOMNode* getNextSibling() const override { return nullptr; }
    DOMNamedNodeMap* getAttributes() const override { return nullptr; }
    DOMDocument* getOwnerDocument() const override { return element.getOwnerDocument(); }
    bool hasChildNodes() const override { return false; }
    const XMLCh* getNamespaceURI() const override {
        const XMLCh* uri = owner.keyText(namespaceKey());
        return *uri ? uri : nullptr;
    }
    const XMLCh* getPrefix() const override { return parts.prefix.empty() ? nullptr : parts.prefix.c_str(); }
    const XMLCh* getLocalName() const override { return parts.local.c_str(); }
    bool hasAttributes() const override { return false; }
    void* getFeature(const XMLCh* feature, const XMLCh*) const override {
        return feature == modelNodeFeature ? static_cast<ModelNode*>(const_cast<ModelAttr*>(this)) : nullptr;
    }

    // DOMAttr
    const XMLCh* getName() const override { return parts.qualified; }
    bool getSpecified() const override {
        if (reads::isAttributeImplied(element.ref().get(), nameKey)) return false;
        bool isDefault = false;
        reads::attributeValue(element.ref().get(), nameKey, &isDefault);
        return !isDefault;
    }
    const XMLCh* getValue() const override {
        if (!fresh(valueBit)) {
            takeValue(reads::attributeValue(element.ref().get(), nameKey));
            remember(valueBit);
        }
        return value.c_str();
    }
    void setValue(const XMLCh*) override { refuse(); }
    DOMElement* getOwnerElement() const override { return &element; }
    bool isId() const override { return false; }
    const DOMTypeInfo* getSchemaTypeInfo() const override { return nullptr; }

private:
    static constexpr uint8_t valueBit = 1, namespaceBit = 2;

    bool fresh(uint8_t bit) const {
        return owner.evaluating() && stamp == owner.epoch() && (knownBits & bit);
    }
    void remember(uint8_t bit) const {
        if (!owner.evaluating()) return;
        if (stamp != owner.epoch()) {
            stamp = owner.epoch();
            knownBits = 0;
        }
        knownBits |= bit;
    }
    void takeValue(const XMLCh* text) const {
        if (value.compare(text) == 0) return;
        if (seen) owner.noteGrowth(); // Xalan pools every value it meets: a changed one is growth
        value = text;
        seen = true;
    }
    HostKey namespaceKey() const {
        if (!fresh(namespaceBit)) {
            resolvedNamespace = reads::attributeNamespace(element.ref().get(), nameKey);
            remember(namespaceBit);
        }
        return resolvedNamespace;
    }

    ModelElement& element;
    HostKey nameKey;
    const NameParts& parts;
    mutable uint32_t stamp = 0;
    mutable uint8_t knownBits = 0;
    mutable bool seen = false;
    mutable HostKey resolvedNamespace = NO_KEY;
    mutable std::u16string value;
};

class ModelText : public ModelNodeBase<DOMText>, public HostModelNode {
public:
    ModelText(NodeModel& view, Kw::ElementRef ref) : HostModelNode(view, Text, std::move(ref)) {}

    DOMNode* asNode() override { return this; }

    // DOMNode
    const XMLCh* getNodeName() const override { return u"#text"; }
    const XMLCh* getNodeValue() const override { return data(); }
    NodeType getNodeType() const override { return TEXT_NODE; }
    DOMNode* getParentNode() const override { return nodeOf(link(Parent)); }
    DOMNodeList* getChildNodes() const override { return EmptyList::instance(); }
    DOMNode* getFirstChild() const override { return nullptr; }
    DOMNode* getLastChild() const override { return nullptr; }
    DOMNode* getPreviousSibling() const override { return nodeOf(link(PreviousSibling)); }
    DOMNode* getNextSibling() const override { return nodeOf(link(NextSibling)); }
    DOMNamedNodeMap* getAttributes() const override { return nullptr; }
    DOMDocument* getOwnerDocument() const override {
        return static_cast<DOMDocument*>(owner.documentNode()->asNode());
    }
    bool hasChildNodes() const override { return false; }
    const XMLCh* getNamespaceURI() const override { return nullptr; }
    const XMLCh* getPrefix() const override { return nullptr; }
    const XMLCh* getLocalName() const override { return nullptr; }
    bool hasAttributes() const override { return false; }
    void* getFeature(const XMLCh* feature, const XMLCh*) const override {
        return feature == modelNodeFeature ? static_cast<ModelNode*>(const_cast<ModelText*>(this)) : nullptr;
    }

    // DOMCharacterData
    const XMLCh* getData() const override { return data(); }
    XMLSize_t getLength() const override { return XMLString::stringLen(data()); }
    const XMLCh* substringData(XMLSize_t, XMLSize_t) const override { refuse(); }
    void appendData(const XMLCh*) override { refuse(); }
    void insertData(XMLSize_t, const XMLCh*) override { refuse(); }
    void deleteData(XMLSize_t, XMLSize_t) override { refuse(); }
    void replaceData(XMLSize_t, XMLSize_t, const XMLCh*) override { refuse(); }
    void setData(const XMLCh*) override { refuse(); }

    // DOMText
    DOMText* splitText(XMLSize_t) override { refuse(); }
    bool getIsElementContentWhitespace() const override { return false; }
    const XMLCh* getWholeText() const override { return data(); }
    DOMText* replaceWholeText(const XMLCh*) override { refuse(); }
    bool isIgnorableWhitespace() const override { return false; }

private:
    static constexpr uint8_t dataBit = contentBit;

    const XMLCh* data() const {
        if (!known(dataBit)) {
            const XMLCh* now = reads::textValue(hostRef.get());
            if (text.compare(now) != 0) {
                if (seen) owner.noteGrowth();
                text = now;
            }
            seen = true;
            remember(dataBit);
        }
        return text.c_str();
    }

    mutable bool seen = false;
    mutable std::u16string text;
};

// The document. Xalan sees the tree an XPath reader expects: the document above the application element,
// which is its one child (the library's DOM lets the document stand in for the application element).
class ModelDocument : public ModelNodeBase<DOMDocument>, public ModelNode {
public:
    explicit ModelDocument(NodeModel& view) : ModelNode(view, Document) {}

    DOMNode* asNode() override { return this; }

    // DOMNode
    const XMLCh* getNodeName() const override { return u"#document"; }
    const XMLCh* getNodeValue() const override { return nullptr; }
    NodeType getNodeType() const override { return DOCUMENT_NODE; }
    DOMNode* getParentNode() const override { return nullptr; }
    DOMNodeList* getChildNodes() const override { return &children; }
    DOMNode* getFirstChild() const override { return nodeOf(owner.applicationNode()); }
    DOMNode* getLastChild() const override { return nodeOf(owner.applicationNode()); }
    DOMNode* getPreviousSibling() const override { return nullptr; }
    DOMNode* getNextSibling() const override { return nullptr; }
    DOMNamedNodeMap* getAttributes() const override { return nullptr; }
    DOMDocument* getOwnerDocument() const override { return nullptr; }
    bool hasChildNodes() const override { return getFirstChild() != nullptr; }
    const XMLCh* getNamespaceURI() const override { return nullptr; }
    const XMLCh* getPrefix() const override { return nullptr; }
    const XMLCh* getLocalName() const override { return nullptr; }
    bool hasAttributes() const override { return false; }
    void* getFeature(const XMLCh* feature, const XMLCh*) const override {
        return feature == modelNodeFeature ? static_cast<ModelNode*>(const_cast<ModelDocument*>(this))
                                           : nullptr;
    }

    // DOMDocument: what a wrapper asks of a document; the rest is refused.
    DOMDocumentType* getDoctype() const override { return nullptr; }
    DOMImplementation* getImplementation() const override { return nullptr; }
    DOMElement* getDocumentElement() const override {
        ModelNode* app = owner.applicationNode();
        return app && app->kind() == Element ? static_cast<ModelElement*>(app) : nullptr;
    }
    DOMElement* getElementById(const XMLCh*) const override { return nullptr; }
    DOMRange* createRange() override { refuse(); }
    DOMElement* createElement(const XMLCh*) override { refuse(); }
    DOMDocumentFragment* createDocumentFragment() override { refuse(); }
    DOMText* createTextNode(const XMLCh*) override { refuse(); }
    DOMComment* createComment(const XMLCh*) override { refuse(); }
    DOMCDATASection* createCDATASection(const XMLCh*) override { refuse(); }
    DOMProcessingInstruction* createProcessingInstruction(const XMLCh*, const XMLCh*) override { refuse(); }
    DOMAttr* createAttribute(const XMLCh*) override { refuse(); }
    DOMEntityReference* createEntityReference(const XMLCh*) override { refuse(); }
    DOMNodeList* getElementsByTagName(const XMLCh*) const override { refuse(); }
    DOMNode* importNode(const DOMNode*, bool) override { refuse(); }
    DOMElement* createElementNS(const XMLCh*, const XMLCh*) override { refuse(); }
    DOMElement* createElementNS(const XMLCh*, const XMLCh*, const XMLFileLoc, const XMLFileLoc) override {
        refuse();
    }
    DOMAttr* createAttributeNS(const XMLCh*, const XMLCh*) override { refuse(); }
    DOMNodeList* getElementsByTagNameNS(const XMLCh*, const XMLCh*) const override { refuse(); }
    const XMLCh* getInputEncoding() const override { return nullptr; }
    const XMLCh* getXmlEncoding() const override { return nullptr; }
    bool getXmlStandalone() const override { return false; }
    void setXmlStandalone(bool) override { refuse(); }
    const XMLCh* getXmlVersion() const override { return nullptr; }
    void setXmlVersion(const XMLCh*) override { refuse(); }
    const XMLCh* getDocumentURI() const override { return nullptr; }
    void setDocumentURI(const XMLCh*) override { refuse(); }
    bool getStrictErrorChecking() const override { return false; }
    void setStrictErrorChecking(bool) override { refuse(); }
    DOMNode* renameNode(DOMNode*, const XMLCh*, const XMLCh*) override { refuse(); }
    DOMNode* adoptNode(DOMNode*) override { refuse(); }
    void normalizeDocument() override {}
    DOMConfiguration* getDOMConfig() const override { return nullptr; }
    DOMEntity* createEntity(const XMLCh*) override { refuse(); }
    DOMDocumentType* createDocumentType(const XMLCh*) override { refuse(); }
    DOMDocumentType* createDocumentType(const XMLCh*, const XMLCh*, const XMLCh*) override { refuse(); }
    DOMNotation* createNotation(const XMLCh*) override { refuse(); }
    DOMNodeIterator* createNodeIterator(DOMNode*, DOMNodeFilter::ShowType, DOMNodeFilter*, bool) override {
        refuse();
    }
    DOMTreeWalker* createTreeWalker(DOMNode*, DOMNodeFilter::ShowType, DOMNodeFilter*, bool) override {
        refuse();
    }
    DOMXPathExpression* createExpression(const XMLCh*, const DOMXPathNSResolver*) override { refuse(); }
    DOMXPathNSResolver* createNSResolver(const DOMNode*) override { refuse(); }
    DOMXPathResult* evaluate(const XMLCh*, const DOMNode*, const DOMXPathNSResolver*,
                             DOMXPathResult::ResultType, DOMXPathResult*) override {
        refuse();
    }

private:
    // The document's one child: the application element.
    class Children : public DOMNodeList {
    public:
        explicit Children(NodeModel& view) : view(view) {}
        DOMNode* item(XMLSize_t index) const override {
            return index == 0 ? nodeOf(view.applicationNode()) : nullptr;
        }
        XMLSize_t getLength() const override { return view.applicationNode() ? 1 : 0; }

    private:
        NodeModel& view;
    };
    mutable Children children{owner};
};

} // namespace domImpl::xpathImpl
