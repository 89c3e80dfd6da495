#include "xpath/DocumentView.hpp"

#include <DOMKw/dom/ElementImpl.hpp>

#include <xalanc/Include/XalanMemoryManagement.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>

#include "bridge/CallbackTable.hpp"
#include "bridge/HostStatus.hpp"
#include "dom/AttrImpl.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "dom/TextImpl.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::xpathImpl {

using Kw::HostKey;
using Kw::HostRef;
using Kw::NO_KEY;
using Kw::host::callbacks;

namespace {

const XMLCh viewNodeFeature[] = u"DOMKw XPath view node";
const XMLCh textName[] = u"#text";
const XMLCh documentName[] = u"#document";
const XMLCh emptyText[] = u"";

// The host calls of the view, with the facade's conventions: a refused navigation is no node, a refused
// read is "", a refused type question throws. Navigation goes by handle: the view holds one reference
// per node it keeps, and a step to a node it already has costs no reference traffic.
HostRef navigate(HostRef from, int32_t direction) {
    HostRef out = -1;
    callbacks().NavigateElement(&out, from, direction, NO_KEY, 0);
    return out < 0 ? -1 : out;
}

HostKey nameKey(HostRef ref, int32_t which) {
    HostKey key = NO_KEY;
    if (callbacks().GetElementNameKey(&key, which, ref) != 0) return NO_KEY;
    return key;
}

[[noreturn]] void refuse() {
    Kw::throwDOMException(DOMException::NOT_SUPPORTED_ERR);
}

DOMNode* nodeOf(ViewNode* n) {
    return n ? n->asNode() : nullptr;
}

} // namespace

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
template <class I> class ViewBase : public I {
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

class ViewAttr;

// The children of a host node.
class ViewChildren : public DOMNodeList {
public:
    explicit ViewChildren(const HostViewNode& parent) : parent(parent) {}
    DOMNode* item(XMLSize_t index) const override {
        ViewNode* child = parent.link(HostViewNode::FirstChild);
        for (XMLSize_t i = 0; child && i < index; ++i)
            child = static_cast<HostViewNode*>(child)->link(HostViewNode::NextSibling);
        return child ? child->asNode() : nullptr;
    }
    XMLSize_t getLength() const override {
        XMLSize_t n = 0;
        for (ViewNode* c = parent.link(HostViewNode::FirstChild); c;
             c = static_cast<HostViewNode*>(c)->link(HostViewNode::NextSibling))
            ++n;
        return n;
    }

private:
    const HostViewNode& parent;
};

// The element view: also its own attribute map, as the library's elements are.
class ViewElement : public ViewBase<DOMElement>, public DOMNamedNodeMap, public HostViewNode {
public:
    ViewElement(DocumentView& view, Kw::ElementRef ref) : HostViewNode(view, Element, std::move(ref)) {}

    DOMNode* asNode() override { return this; }
    ViewAttr* attributeNamed(HostKey name);

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
    DOMNamedNodeMap* getAttributes() const override { return const_cast<ViewElement*>(this); }
    DOMDocument* getOwnerDocument() const override;
    bool hasChildNodes() const override { return link(FirstChild) != nullptr; }
    const XMLCh* getNamespaceURI() const override {
        if (namespaceKey == unread) namespaceKey = nameKey(hostRef.get(), 1);
        const XMLCh* uri = owner.keyText(namespaceKey);
        return *uri ? uri : nullptr;
    }
    const XMLCh* getPrefix() const override {
        return names().prefix.empty() ? nullptr : names().prefix.c_str();
    }
    const XMLCh* getLocalName() const override { return names().local.c_str(); }
    bool hasAttributes() const override { return !keys().empty(); }
    void* getFeature(const XMLCh* feature, const XMLCh*) const override {
        return feature == viewNodeFeature ? static_cast<ViewNode*>(const_cast<ViewElement*>(this)) : nullptr;
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
    mutable std::vector<std::unique_ptr<ViewAttr>> attributes; // one per name met, kept
};

// One attribute of a host element, by its qualified-name key.
class ViewAttr : public ViewBase<DOMAttr>, public ViewNode {
public:
    ViewAttr(ViewElement& element, HostKey name, const NameParts& parts)
        : ViewNode(element.view(), Attribute), element(element), nameKey(name), parts(parts) {}

    DOMNode* asNode() override { return this; }
    HostKey name() const { return nameKey; }
    ViewElement& ownerElementView() const { return element; }

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
        return feature == viewNodeFeature ? static_cast<ViewNode*>(const_cast<ViewAttr*>(this)) : nullptr;
    }

    // DOMAttr
    const XMLCh* getName() const override { return parts.qualified; }
    bool getSpecified() const override {
        bool implied = false;
        Kw::checkStatus(callbacks().IsAttributeImplied(element.ref().get(), nameKey, &implied));
        if (implied) return false;
        const XMLCh* text = nullptr;
        bool isDefault = false;
        callbacks().GetAttributeValue(&text, element.ref().get(), nameKey, &isDefault);
        return !isDefault;
    }
    const XMLCh* getValue() const override {
        if (!fresh(valueBit)) {
            const XMLCh* text = nullptr;
            const Kw::HostStatus status =
                callbacks().GetAttributeValue(&text, element.ref().get(), nameKey, nullptr);
            takeValue(status == 0 && text ? text : emptyText);
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
            HostKey out[4] = {NO_KEY, NO_KEY, NO_KEY, NO_KEY};
            Kw::checkStatus(callbacks().ResolveAttributeName(out, element.ref().get(), NO_KEY, nameKey));
            resolvedNamespace = out[0];
            remember(namespaceBit);
        }
        return resolvedNamespace;
    }

    ViewElement& element;
    HostKey nameKey;
    const NameParts& parts;
    mutable uint32_t stamp = 0;
    mutable uint8_t knownBits = 0;
    mutable bool seen = false;
    mutable HostKey resolvedNamespace = NO_KEY;
    mutable std::u16string value;
};

class ViewText : public ViewBase<DOMText>, public HostViewNode {
public:
    ViewText(DocumentView& view, Kw::ElementRef ref) : HostViewNode(view, Text, std::move(ref)) {}

    DOMNode* asNode() override { return this; }

    // DOMNode
    const XMLCh* getNodeName() const override { return textName; }
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
        return feature == viewNodeFeature ? static_cast<ViewNode*>(const_cast<ViewText*>(this)) : nullptr;
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
            const XMLCh* out = nullptr;
            const Kw::HostStatus status = callbacks().GetTextValue(&out, hostRef.get());
            const XMLCh* now = status == 0 && out ? out : emptyText;
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
class ViewDocument : public ViewBase<DOMDocument>, public ViewNode {
public:
    explicit ViewDocument(DocumentView& view) : ViewNode(view, Document) {}

    DOMNode* asNode() override { return this; }

    // DOMNode
    const XMLCh* getNodeName() const override { return documentName; }
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
        return feature == viewNodeFeature ? static_cast<ViewNode*>(const_cast<ViewDocument*>(this)) : nullptr;
    }

    // DOMDocument: what a wrapper asks of a document; the rest is refused.
    DOMDocumentType* getDoctype() const override { return nullptr; }
    DOMImplementation* getImplementation() const override { return nullptr; }
    DOMElement* getDocumentElement() const override {
        ViewNode* app = owner.applicationNode();
        return app && app->kind() == Element ? static_cast<ViewElement*>(app) : nullptr;
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
        explicit Children(DocumentView& view) : view(view) {}
        DOMNode* item(XMLSize_t index) const override {
            return index == 0 ? nodeOf(view.applicationNode()) : nullptr;
        }
        XMLSize_t getLength() const override { return view.applicationNode() ? 1 : 0; }

    private:
        DocumentView& view;
    };
    mutable Children children{owner};
};

// ViewNode and HostViewNode.

ViewNode::~ViewNode() = default;

ViewNode* asViewNode(const DOMNode* node) {
    return node ? static_cast<ViewNode*>(node->getFeature(viewNodeFeature, nullptr)) : nullptr;
}

HostViewNode::HostViewNode(DocumentView& view, Kind kind, Kw::ElementRef ref)
    : ViewNode(view, kind), hostRef(std::move(ref)) {}

HostViewNode::~HostViewNode() = default;

bool HostViewNode::known(uint8_t bit) const {
    return owner.evaluating() && stamp == owner.epoch() && (knownBits & bit);
}

void HostViewNode::remember(uint8_t bit) const {
    if (!owner.evaluating()) return;
    if (stamp != owner.epoch()) {
        stamp = owner.epoch();
        knownBits = 0;
    }
    knownBits |= bit;
}

ViewNode* HostViewNode::link(Link which) const {
    const uint8_t bit = static_cast<uint8_t>(1u << which);
    if (known(bit)) return links[which];
    static const int32_t directions[LinkCount] = {Kw::host::Parent, Kw::host::FirstChild,
                                                  Kw::host::PreviousSibling, Kw::host::NextSibling};
    ViewNode* found = owner.nodeAt(navigate(hostRef.get(), directions[which]));
    if (!found && which == Parent && hostRef.get() == owner.applicationHandle()) found = owner.documentNode();
    links[which] = found;
    remember(bit);
    return found;
}

ViewNode* HostViewNode::lastChild() const {
    ViewNode* child = link(FirstChild);
    if (!child) return nullptr;
    while (ViewNode* next = static_cast<HostViewNode*>(child)->link(NextSibling)) child = next;
    return child;
}

uint32_t HostViewNode::position() const {
    if (known(positionBit)) return place;
    const auto* parent = static_cast<const HostViewNode*>(link(Parent));
    if (!parent) return 0;
    uint32_t i = 0, mine = 0;
    for (ViewNode* c = parent->link(FirstChild); c;
         c = static_cast<HostViewNode*>(c)->link(NextSibling), ++i) {
        auto* child = static_cast<HostViewNode*>(c);
        child->place = i;
        child->remember(positionBit);
        if (child == this) mine = i;
    }
    return mine;
}

DOMNodeList* HostViewNode::children() const {
    if (!childList) childList.reset(new ViewChildren(*this));
    return childList.get();
}

// ViewElement.

DOMDocument* ViewElement::getOwnerDocument() const {
    return static_cast<DOMDocument*>(owner.documentNode()->asNode());
}

const NameParts& ViewElement::names() const {
    if (!parts) {
        // An element's name never changes: read once for the life of the view.
        if (tagKey == unread) tagKey = nameKey(hostRef.get(), 0);
        parts = &owner.nameParts(tagKey);
    }
    return *parts;
}

const std::vector<HostKey>& ViewElement::keys() const {
    if (!known(keysBit)) {
        HostKey buffer[255];
        int32_t count = 0;
        if (callbacks().GetAttributeKeys(&count, hostRef.get(), buffer, 255) != 0 || count < 0) count = 0;
        if (count > 255) count = 255;
        attributeKeys.assign(buffer, buffer + count);
        remember(keysBit);
    }
    return attributeKeys;
}

ViewAttr* ViewElement::attributeNamed(HostKey name) {
    for (const auto& a : attributes)
        if (a->name() == name) return a.get();
    attributes.emplace_back(new ViewAttr(*this, name, owner.nameParts(name)));
    owner.noteGrowth();
    return attributes.back().get();
}

DOMNode* ViewElement::item(XMLSize_t index) const {
    const std::vector<HostKey>& k = keys();
    if (index >= k.size()) return nullptr;
    // Attributes are met in the host's order, so the one asked for is usually at the same place.
    if (index < attributes.size() && attributes[index]->name() == k[index]) return attributes[index].get();
    return const_cast<ViewElement*>(this)->attributeNamed(k[index]);
}

DOMAttr* ViewElement::getAttributeNode(const XMLCh* name) const {
    for (HostKey k : keys())
        if (XMLString::equals(owner.keyText(k), name))
            return const_cast<ViewElement*>(this)->attributeNamed(k);
    return nullptr;
}

const XMLCh* ViewElement::getAttribute(const XMLCh* name) const {
    const DOMAttr* a = getAttributeNode(name);
    return a ? a->getValue() : emptyText;
}

DOMAttr* ViewElement::getAttributeNodeNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    for (HostKey k : keys()) {
        ViewAttr* a = const_cast<ViewElement*>(this)->attributeNamed(k);
        if (XMLString::equals(a->getLocalName(), localName) &&
            XMLString::equals(a->getNamespaceURI(), namespaceURI))
            return a;
    }
    return nullptr;
}

const XMLCh* ViewElement::getAttributeNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    const DOMAttr* a = getAttributeNodeNS(namespaceURI, localName);
    return a ? a->getValue() : emptyText;
}

// DocumentView.

DocumentView::DocumentView(DocumentImpl& document, std::shared_ptr<DocumentLink> link)
    : link(std::move(link)), application(document.ref()) {}

DocumentView::~DocumentView() {
    // The wrappers first: their nodes point at ours.
    ordered.reset();
    xalanWrapper.reset();
    documentView.reset();
    nodes.clear();
}

XALAN_CPP_NAMESPACE::XercesDocumentWrapper& DocumentView::wrapper() {
    if (!xalanWrapper) {
        // Mapping mode (no wrapper built up front, maps kept): Xalan asks the view at every step.
        xalanWrapper.reset(new XALAN_CPP_NAMESPACE::XercesDocumentWrapper(
            XALAN_CPP_NAMESPACE::XalanMemMgrs::getDefaultXercesMemMgr(),
            static_cast<const DOMDocument*>(documentNode()->asNode()), false, false, true));
    }
    return *xalanWrapper;
}

std::shared_ptr<BuiltWrapper> DocumentView::orderedWrapper() {
    if (!ordered || !ordered->matches()) ordered = std::make_shared<BuiltWrapper>(*this);
    return ordered;
}

ViewNode* DocumentView::documentNode() {
    if (!documentView) documentView.reset(new ViewDocument(*this));
    return documentView.get();
}

ViewNode* DocumentView::applicationNode() {
    return nodeAt(application.get());
}

ViewNode* DocumentView::nodeAt(HostRef handle) {
    if (handle < 0) return nullptr;
    auto it = nodes.find(handle);
    if (it != nodes.end()) return it->second.get();
    bool isText = false;
    Kw::checkStatus(callbacks().IsTextNode(&isText, handle));
    Kw::ElementRef ref = Kw::ElementRef::fromHandle(handle);
    std::unique_ptr<ViewNode> node;
    if (isText)
        node.reset(new ViewText(*this, std::move(ref)));
    else
        node.reset(new ViewElement(*this, std::move(ref)));
    ++grown;
    return nodes.emplace(handle, std::move(node)).first->second.get();
}

const XMLCh* DocumentView::keyText(HostKey key) {
    if (key == NO_KEY) return emptyText;
    auto it = keyTexts.find(key);
    if (it != keyTexts.end()) return it->second.c_str();
    const XMLCh* text = nullptr;
    Kw::checkStatus(callbacks().KeyToString(&text, key));
    return keyTexts.emplace(key, text ? text : emptyText).first->second.c_str();
}

const NameParts& DocumentView::nameParts(HostKey key) {
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

DOMNode* DocumentView::viewOf(const DOMNode* libraryNode) {
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
        ViewNode* element = nodeAt(attr->record().owner.get());
        if (!element || element->kind() != ViewNode::Element) return nullptr;
        return static_cast<ViewElement*>(element)->attributeNamed(attr->record().name.value());
    }
    return nullptr;
}

DOMNode* DocumentView::handOut(const ViewNode& node) const {
    DocumentImpl* doc = document();
    if (!doc) return nullptr;
    switch (node.kind()) {
    case ViewNode::Document:
        return static_cast<DOMDocument*>(doc);
    case ViewNode::Element:
        return ElementImpl::create_(static_cast<const HostViewNode&>(node).ref(), doc);
    case ViewNode::Text:
        return NodeImpl::create_(static_cast<const HostViewNode&>(node).ref(), doc);
    case ViewNode::Attribute: {
        const auto& attr = static_cast<const ViewAttr&>(node);
        return new AttrImpl(
            Kw::AttributeRef(attr.ownerElementView().ref(), Kw::StringKey::fromValue(attr.name())), doc);
    }
    }
    return nullptr;
}

namespace {

// The parent in document order: for an attribute, its element.
ViewNode* orderParent(DocumentView&, const ViewNode& n) {
    switch (n.kind()) {
    case ViewNode::Document:
        return nullptr;
    case ViewNode::Attribute:
        return &static_cast<const ViewAttr&>(n).ownerElementView();
    default:
        break;
    }
    return static_cast<const HostViewNode&>(n).link(HostViewNode::Parent);
}

size_t attributePlace(const ViewAttr& attr) {
    const std::vector<HostKey>& keys = attr.ownerElementView().keys();
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i] == attr.name()) return i;
    return keys.size();
}

} // namespace

bool DocumentView::isAfter(const ViewNode& a, const ViewNode& b) {
    if (&a == &b) return false;
    size_t depthA = 0, depthB = 0;
    for (const ViewNode* n = orderParent(*this, a); n; n = orderParent(*this, *n)) ++depthA;
    for (const ViewNode* n = orderParent(*this, b); n; n = orderParent(*this, *n)) ++depthB;
    const ViewNode* x = &a;
    const ViewNode* y = &b;
    for (size_t d = depthA; d > depthB; --d) x = orderParent(*this, *x);
    for (size_t d = depthB; d > depthA; --d) y = orderParent(*this, *y);
    // One is an ancestor of the other: the deeper one comes after.
    if (x == y) return depthA > depthB;
    for (;;) {
        const ViewNode* px = orderParent(*this, *x);
        const ViewNode* py = orderParent(*this, *y);
        if (px == py) {
            if (!px) return x > y; // nodes out of the tree: any fixed order will do
            break;
        }
        x = px;
        y = py;
    }
    // Siblings below one parent: attributes before children.
    const bool attrX = x->kind() == ViewNode::Attribute, attrY = y->kind() == ViewNode::Attribute;
    if (attrX != attrY) return attrY;
    if (attrX)
        return attributePlace(static_cast<const ViewAttr&>(*x)) >
               attributePlace(static_cast<const ViewAttr&>(*y));
    return static_cast<const HostViewNode*>(x)->position() > static_cast<const HostViewNode*>(y)->position();
}

void DocumentView::beginEvaluation() {
    // A new evaluation forgets what the host answered before: the tree may have changed since.
    if (depth++ == 0) ++currentEpoch;
}

void DocumentView::endEvaluation(bool executed) {
    if (--depth == 0 && executed && !settled) {
        settled = true;
        baseline = grown;
    }
}

bool DocumentView::worn() const {
    constexpr size_t slack = 4096;
    return settled && depth == 0 && grown > 2 * baseline + slack;
}

// BuiltWrapper.

namespace {

// The shape of the tree below the document, in document order: each node, an element's attribute names
// (their number, then the keys), the node's children, and 0 after them. The same tree always gives the
// same sequence and two different trees never do. `take` answers false to stop the walk.
template <class Take> bool describe(DocumentView& view, Take&& take) {
    std::vector<ViewNode*> open;
    ViewNode* node = view.applicationNode();
    while (node) {
        if (!take(reinterpret_cast<uintptr_t>(node))) return false;
        if (node->kind() == ViewNode::Element) {
            const std::vector<HostKey>& keys = static_cast<ViewElement*>(node)->keys();
            if (!take(keys.size())) return false;
            for (HostKey k : keys)
                if (!take(k)) return false;
        }
        if (ViewNode* child = static_cast<HostViewNode*>(node)->link(HostViewNode::FirstChild)) {
            open.push_back(node);
            node = child;
            continue;
        }
        if (!take(0)) return false;
        for (;;) {
            if (ViewNode* next = static_cast<HostViewNode*>(node)->link(HostViewNode::NextSibling)) {
                node = next;
                break;
            }
            if (open.empty()) return true;
            node = open.back();
            open.pop_back();
            if (!take(0)) return false;
        }
    }
    return true;
}

} // namespace

BuiltWrapper::BuiltWrapper(DocumentView& view) : view(view) {
    describe(view, [this](uintptr_t token) {
        shape.push_back(token);
        return true;
    });
    // Built up front (not thread-safe, maps kept): Xalan numbers the nodes in document order.
    built.reset(new XALAN_CPP_NAMESPACE::XercesDocumentWrapper(
        XALAN_CPP_NAMESPACE::XalanMemMgrs::getDefaultXercesMemMgr(),
        static_cast<const DOMDocument*>(view.documentNode()->asNode()), false, true, true));
}

BuiltWrapper::~BuiltWrapper() = default;

bool BuiltWrapper::matches() const {
    size_t at = 0;
    const bool same =
        describe(view, [&](uintptr_t token) { return at < shape.size() && shape[at++] == token; });
    return same && at == shape.size();
}

// The document's side: what it keeps in its XPath slot.

namespace {

struct XPathState {
    std::shared_ptr<DocumentLink> link;
    std::shared_ptr<DocumentView> view;
};

void endState(void* state) {
    auto* s = static_cast<XPathState*>(state);
    s->link->document = nullptr; // views that results or resolvers still hold no longer reach the document
    delete s;
}

} // namespace

std::shared_ptr<DocumentView> currentView(DocumentImpl& document) {
    auto* state = static_cast<XPathState*>(document.xpathWrapper());
    if (!state) {
        state = new XPathState{std::make_shared<DocumentLink>(DocumentLink{&document}), nullptr};
        document.setXPathWrapper(state, &endState);
    }
    if (!state->view || state->view->worn())
        state->view = std::make_shared<DocumentView>(document, state->link);
    return state->view;
}

} // namespace domImpl::xpathImpl
