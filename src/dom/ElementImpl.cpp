#include <DOMKw/bridge/Exceptions.hpp>
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/dom/ElementImpl.hpp>

#include <xercesc/dom/DOM.hpp>

#include "bridge/HandleReads.hpp"
#include "bridge/HostStatus.hpp"
#include "dom/AttrImpl.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "dom/NodeGuard.hpp"
#include "dom/NodeLists.hpp"
#include "dom/Placement.hpp"
#include "dom/TextImpl.hpp"
#include "dom/XmlText.hpp"

#include <algorithm>
#include <utility>

using namespace XERCES_CPP_NAMESPACE;
using Kw::throwDOMException;

namespace domImpl {

namespace {
// The buffer handed out by getAttribute and getAttributeNS: replaced by the next such call.
const XMLCh* sharedText(const DOMBTString& text) {
    static DOMBTString shared;
    shared = text;
    return shared.GetUChar16();
}

DOMBTString keyText(const Kw::StringKey& key) { return DOMBTString(key.GetUChar16()); }
} // namespace

ElementImpl::ElementImpl(Kw::ElementRef ref, DocumentImpl* owner)
    : NodeBase<DOMElement>(owner, owner), elementRef(std::move(ref)) {}

ElementImpl::~ElementImpl() = default;

DOMElement* ElementImpl::create_(const Kw::ElementRef& ref, DOMDocument* doc) {
    return ref.isNil() ? nullptr : obtain(ref, asDocumentImpl(doc));
}

DOMElement* ElementImpl::create_(Kw::ElementRef&& ref, DOMDocument* doc) {
    return ref.isNil() ? nullptr : obtain(std::move(ref), asDocumentImpl(doc));
}

DOMElement* ElementImpl::create_(const Kw::ElementRef& ref, DocumentImpl* owner) { return obtain(ref, owner); }

DOMElement* ElementImpl::create_(Kw::ElementRef&& ref, DocumentImpl* owner) { return obtain(std::move(ref), owner); }

template <class Ref> DOMElement* ElementImpl::obtain(Ref&& ref, DocumentImpl* d) {
    if (ref.isNil() || !d) return nullptr;
    if (ElementImpl* cached = d->cachedElement(ref.get())) {
        if (d->isTracking()) d->registerNode(cached, cached);
        ++cached->shareCount;
        return cached;
    }
    const Kw::HostRef handle = ref.get();
    auto* element = new ElementImpl(std::forward<Ref>(ref), d);
    d->registerNode(element, element);
    d->cacheElement(handle, element);
    ++element->shareCount;
    return element;
}

void ElementImpl::dispose() {
    DocumentImpl* d = ownerImpl;
    --shareCount;
    if (d && d->isTracking()) d->untrackOnce(this);
    if (shareCount > 0) return;
    if (d) d->uncacheElement(elementRef.get());
    NodeImpl::dispose();
}

// Own operations.

// What a copyInto has changed so far, at every level it reached, so that a refusal anywhere takes all of
// it back. Only attribute writes that replaced a value can be taken back: the host has no operation that
// takes an attribute away, so each level writes its new attributes last.
struct ElementImpl::CopyJournal {
    struct Inserted {
        Kw::ElementRef parent, node;
    };
    struct Replaced {
        Kw::ElementRef owner;
        DOMBTString name, previous;
    };
    std::vector<Inserted> inserted;
    std::vector<Replaced> replaced;
    // Levels of typed elements merged so far: each costs a call, so a tree deeper than a write may go is
    // refused before it can run the stack out (the journal then takes back what was merged).
    size_t depth = 0;
    static constexpr size_t maxDepth = 1000;

    void undo() noexcept {
        for (auto it = replaced.rbegin(); it != replaced.rend(); ++it) try {
                Kw::AttributeRef(it->owner, Kw::StringKey(it->name.GetUChar16())).write(it->previous);
            } catch (...) {
            }
        for (auto it = inserted.rbegin(); it != inserted.rend(); ++it) try {
                it->parent.RemoveChild(it->node);
            } catch (...) {
            }
    }
};

void ElementImpl::copyInto(DOMNode* source, bool deep) {
    if (!source) return;
    Kw::CheckedReads checked;
    CopyJournal journal;
    try {
        copyInto(source, deep, journal);
    } catch (...) {
        journal.undo();
        throw;
    }
}

void ElementImpl::copyInto(DOMNode* source, bool deep, CopyJournal& journal) {
    if (journal.depth >= CopyJournal::maxDepth) throw dom::Exceptions::INDEX_SIZE_ERR;
    struct Level {
        size_t& depth;
        explicit Level(size_t& d) : depth(++d) {}
        ~Level() { --depth; }
    } level(journal.depth);
    // Everything taken from the source is read and checked before this level's first change.
    struct Write {
        DOMBTString name, value, previous;
        bool existed = false;
    };
    std::vector<Write> writes;
    if (DOMNamedNodeMap* attrs = source->getAttributes()) {
        for (XMLSize_t i = 0, n = attrs->getLength(); i < n; ++i) {
            NodeGuard<DOMAttr> a(static_cast<DOMAttr*>(attrs->item(i)));
            if (!a) continue;
            requireXmlName(a->getName());
            requireXmlChars(a->getValue());
            writes.push_back({DOMBTString(a->getName()), DOMBTString(a->getValue()), DOMBTString(), false});
        }
    }
    for (Write& w : writes) {
        w.existed = hasAttribute(w.name.GetUChar16());
        if (w.existed) w.previous = DOMBTString(getAttribute(w.name.GetUChar16()));
    }
    // Attributes that exist already are written first: they are the ones a refusal can put back.
    std::stable_partition(writes.begin(), writes.end(), [](const Write& w) { return w.existed; });

    if (deep) {
        if (hasAttribute(XSI_TYPE.name().GetUChar16())) {
            for (NodeGuard<DOMNode> child(getFirstChild()); child;) {
                if (child->getNodeType() != DOMNode::ELEMENT_NODE || !asNodeImpl(child.get())) break;
                auto* element = static_cast<ElementImpl*>(static_cast<DOMElement*>(child.get()));
                NodeGuard<DOMElement> found(
                    ::getElementByTagName(static_cast<DOMElement*>(source), DOMBTString(element->getTagName())));
                if (found) element->copyInto(found.get(), true, journal);
                child.reset(child->getNextSibling());
            }
        } else {
            // A copy copies: host-backed children of the source go in as detached copies, so the source
            // keeps them. Every copy is made before the first insertion.
            std::vector<Kw::HostRef> lineage; // this element and its ancestors
            for (Kw::ElementRef at = elementRef; !at.isNil(); at = at.get_Parent()) lineage.push_back(at.get());
            std::vector<NodeGuard<DOMNode>> copies;
            for (NodeGuard<DOMNode> c(source->getFirstChild()); c; c.reset(c->getNextSibling())) {
                // The same hierarchy rule as every insertion: not this element, nor one of its ancestors.
                const Kw::HostRef handle = refOf(c.get()).get();
                if (handle >= 0 && std::find(lineage.begin(), lineage.end(), handle) != lineage.end())
                    throwDOMException(3);
                if (c->getNodeType() == DOMNode::ELEMENT_NODE && static_cast<DOMElement*>(c.get())->hasAttribute(u"ID"))
                    throw dom::Exceptions::VALIDATION_ERR;
                if (NodeImpl* own = asNodeImpl(c.get()))
                    copies.emplace_back(own->exportCopy(true));
                else
                    copies.emplace_back(c->cloneNode(true));
            }
            for (const NodeGuard<DOMNode>& copy : copies) {
                // The journal's reference to this element is taken before the insertion: once the host
                // has the child, recording it must not need the host.
                CopyJournal::Inserted entry{elementRef, Kw::ElementRef()};
                journal.inserted.reserve(journal.inserted.size() + 1);
                entry.node = place(copy.get(), nullptr).node;
                if (!entry.node.isNil()) journal.inserted.push_back(std::move(entry));
            }
        }
    }
    for (const Write& w : writes) {
        if (w.existed) journal.replaced.push_back({elementRef, w.name, w.previous});
        try {
            Kw::AttributeRef(elementRef, Kw::StringKey(w.name.GetUChar16())).write(w.value);
        } catch (...) {
            if (w.existed) journal.replaced.pop_back();
            throw;
        }
    }
}

DOMElement* ElementImpl::findChildByAttribute(const XMLCh* name, const XMLCh* value) {
    const DOMBTString wanted(value);
    for (NodeGuard<DOMNode> child(getFirstChild()); child; child.reset(child->getNextSibling())) {
        if (child->getNodeType() != DOMNode::ELEMENT_NODE) continue;
        if (DOMBTString(static_cast<DOMElement*>(child.get())->getAttribute(name)) == wanted)
            return static_cast<DOMElement*>(child.release());
    }
    return nullptr;
}

DOMElement* ElementImpl::getElementByTagName(const XMLCh* name) {
    return create_(elementRef.getElementByTagName(Kw::StringKey(name)), ownerDocument);
}

DOMAttr* ElementImpl::getAttributeNode(const Kw::StringKey& name) const {
    return new AttrImpl(elementRef, name, ownerDocument, ownerImpl);
}

// Copies.

std::vector<Kw::StringKey> ElementImpl::currentKeys() const {
    Kw::CheckedReads checked;
    return elementRef.get_AttributeKeys();
}

namespace {

// One element on the way down a copy or a comparison made with a stack of its own: a deep host tree
// costs heap, not the caller's thread stack.
struct CopyLevel {
    NodeGuard<DOMNode> held;    // the element object of this level (none for the element copied)
    const ElementImpl* source;  // the element being copied
    NodeGuard<DOMElement> copy; // its copy, owned until it goes under the level above
    NodeGuard<DOMNode> next;    // the source's next child to copy
};

} // namespace

void ElementImpl::copyAttributesTo(DOMElement* copy, bool exporting, bool deep) const {
    for (const Kw::StringKey& key : currentKeys()) {
        NodeGuard<DOMAttr> a(getAttributeNode(key));
        if (exporting) {
            NodeGuard<DOMAttr> c(static_cast<AttrImpl*>(a.get())->copyAttribute());
            if (c) copy->setAttribute(c->getName(), c->getValue());
        } else {
            NodeGuard<DOMAttr> c(static_cast<DOMAttr*>(a->cloneNode(deep)));
            // A prefixed attribute the host binds to a namespace (xsi:type) keeps it in the copy, so that
            // a serializer of the copy declares the prefix it writes.
            const DOMBTString ns(a->getNamespaceURI());
            const DOMBTString name(c->getName());
            if (!ns.str().empty() && name.str().find(u':') != std::u16string::npos)
                copy->setAttributeNS(ns.GetUChar16(), name.GetUChar16(), c->getValue());
            else
                copy->setAttribute(name.GetUChar16(), c->getValue());
        }
    }
}

DOMNode* ElementImpl::copyTree(bool deep, bool exporting) const {
    // A refused read ends the copy: a copy with parts missing is not handed out as a copy.
    Kw::CheckedReads checked;
    std::vector<CopyLevel> levels;
    levels.push_back({NodeGuard<DOMNode>(), this, NodeGuard<DOMElement>(ownerDocument->createElement(getTagName())),
                      NodeGuard<DOMNode>(deep ? getFirstChild() : nullptr)});
    for (;;) {
        CopyLevel& level = levels.back();
        if (level.next) {
            NodeGuard<DOMNode> child(level.next.release());
            level.next.reset(child->getNextSibling());
            // An export leaves out what the host marks read-only.
            if (exporting && refOf(child.get()).IsReadOnly()) continue;
            if (child->getNodeType() == DOMNode::ELEMENT_NODE && asNodeImpl(child.get())) {
                // Each level's children are copied before its attributes, as a recursion would.
                const auto* element = static_cast<const ElementImpl*>(static_cast<DOMElement*>(child.get()));
                NodeGuard<DOMElement> copy(ownerDocument->createElement(element->getTagName()));
                NodeGuard<DOMNode> first(element->getFirstChild());
                levels.push_back({std::move(child), element, std::move(copy), std::move(first)});
                continue;
            }
            NodeGuard<DOMNode> c(exporting ? asNodeImpl(child.get())->exportCopy(true) : child->cloneNode(true));
            level.copy->appendChild(c.get());
            continue;
        }
        level.source->copyAttributesTo(level.copy.get(), exporting, levels.size() == 1 ? deep : true);
        if (levels.size() == 1) return level.copy.release();
        NodeGuard<DOMElement> done(level.copy.release());
        levels.pop_back();
        levels.back().copy->appendChild(done.get());
    }
}

DOMNode* ElementImpl::exportCopy(bool deep) const {
    return copyTree(deep, true);
}

DOMNode* ElementImpl::cloneNode(bool deep) const {
    return copyTree(deep, false);
}

bool ElementImpl::isSameNode(const DOMNode* other) const {
    return sameByTypeNameValue(other) && refOf(other).get() == elementRef.get();
}

bool ElementImpl::equalHere(const DOMNode* other) const {
    if (!other) return false;
    if (DOMBTString(getNamespaceURI()) != DOMBTString(other->getNamespaceURI())) return false;
    if (!equalByTypeName(other)) return false;
    const std::vector<Kw::StringKey> keys = currentKeys();
    DOMNamedNodeMap* otherAttrs = other->getAttributes();
    if (!otherAttrs || keys.size() != otherAttrs->getLength()) return false;
    const DOMElement* otherElement = static_cast<const DOMElement*>(other);
    for (const Kw::StringKey& key : keys) {
        // Same names and the same values: an attribute the other element lacks makes them differ.
        const DOMBTString name = keyText(key);
        if (!otherElement->hasAttribute(name.GetUChar16())) return false;
        NodeGuard<DOMAttr> a(getAttributeNode(key));
        NodeGuard<DOMAttr> b(otherElement->getAttributeNode(name.GetUChar16()));
        if (!b || !a->isEqualNode(b.get())) return false;
    }
    DOMNodeList* otherChildren = const_cast<DOMNode*>(other)->getChildNodes();
    return static_cast<XMLSize_t>(elementRef.get_NumChildren()) ==
           (otherChildren ? otherChildren->getLength() : 0);
}

bool ElementImpl::isEqualNode(const DOMNode* other) const {
    Kw::CheckedReads checked;
    if (!equalHere(other)) return false;
    // Children pair by pair, with a stack of pairs of its own rather than a call per level.
    struct Level {
        NodeGuard<DOMNode> mine, theirs; // the pair of elements compared at this level (none at the top)
        NodeGuard<DOMNode> next1, next2; // their next children to compare
    };
    std::vector<Level> levels;
    levels.push_back({NodeGuard<DOMNode>(), NodeGuard<DOMNode>(), NodeGuard<DOMNode>(getFirstChild()),
                      NodeGuard<DOMNode>(other->getFirstChild())});
    while (!levels.empty()) {
        Level& level = levels.back();
        if (!level.next1 || !level.next2) {
            // The counts were equal: both lists end together.
            levels.pop_back();
            continue;
        }
        NodeGuard<DOMNode> c1(level.next1.release()), c2(level.next2.release());
        if (c1->getNodeType() == DOMNode::ELEMENT_NODE && asNodeImpl(c1.get())) {
            const auto* element = static_cast<const ElementImpl*>(static_cast<DOMElement*>(c1.get()));
            if (!element->equalHere(c2.get())) return false;
            level.next1.reset(c1->getNextSibling());
            level.next2.reset(c2->getNextSibling());
            NodeGuard<DOMNode> first1(c1->getFirstChild()), first2(c2->getFirstChild());
            levels.push_back({std::move(c1), std::move(c2), std::move(first1), std::move(first2)});
            continue;
        }
        if (!c1->isEqualNode(c2.get())) return false;
        level.next1.reset(c1->getNextSibling());
        level.next2.reset(c2->getNextSibling());
    }
    return true;
}

const XMLCh* ElementImpl::getTextContent() const { throwDOMException(9); }
void ElementImpl::setTextContent(const XMLCh*) { throwDOMException(9); }

// Attributes.

const XMLCh* ElementImpl::getAttribute(const XMLCh* name) const {
    return sharedText(elementRef.GetAttributeValue(Kw::StringKey(name)));
}

DOMAttr* ElementImpl::getAttributeNode(const XMLCh* name) const { return getAttributeNode(Kw::StringKey(name)); }

void ElementImpl::setAttribute(const XMLCh* name, const XMLCh* value) {
    // The attribute map reads the host's keys on every call, so nothing here needs refreshing.
    requireXmlName(name);
    requireXmlChars(value);
    Kw::AttributeRef(elementRef, Kw::StringKey(name)).write(DOMBTString(value));
}

DOMAttr* ElementImpl::setAttributeNode(DOMAttr* attr) {
    if (!attr) throwDOMException(8);
    requireXmlName(attr->getName());
    requireXmlChars(attr->getValue());
    Kw::AttributeRef record(elementRef, Kw::StringKey(attr->getName()));
    // The node handed back is made before the write: once the host has the value, nothing may fail.
    NodeGuard<DOMAttr> result(new AttrImpl(record, ownerDocument));
    record.write(DOMBTString(attr->getValue()));
    return result.release();
}

DOMAttr* ElementImpl::removeAttributeNode(DOMAttr*) { throwDOMException(-1); }
void ElementImpl::removeAttribute(const XMLCh*) { throwDOMException(-1); }
void ElementImpl::removeAttributeNS(const XMLCh*, const XMLCh*) { throwDOMException(-1); }

const XMLCh* ElementImpl::getAttributeNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    return sharedText(elementRef.GetAttributeValueNS(Kw::StringKey(namespaceURI), Kw::StringKey(localName)));
}

void ElementImpl::setAttributeNS(const XMLCh* namespaceURI, const XMLCh* qualifiedName, const XMLCh* value) {
    requireXmlName(qualifiedName);
    requireXmlChars(namespaceURI);
    requireXmlChars(value);
    const Kw::KWLIB::PrefixNamePair pair = Kw::KWLIB::seperatePrefixName(DOMBTString(qualifiedName));
    Kw::AttributeRef record(elementRef, pair.localName);
    record.nsKey = Kw::StringKey(namespaceURI);
    record.useNS = true;
    record.write(DOMBTString(value));
}

DOMAttr* ElementImpl::getAttributeNodeNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    Kw::AttributeRef record(elementRef, Kw::StringKey(localName));
    record.nsKey = Kw::StringKey(namespaceURI);
    return new AttrImpl(record, ownerDocument);
}

DOMAttr* ElementImpl::setAttributeNodeNS(DOMAttr* attr) {
    if (!attr) throwDOMException(8);
    // An attribute made without a namespace (createAttribute) has no local name: its name serves.
    const XMLCh* local = attr->getLocalName() ? attr->getLocalName() : attr->getName();
    requireXmlName(local);
    requireXmlChars(attr->getNamespaceURI());
    requireXmlChars(attr->getValue());
    Kw::AttributeRef record(elementRef, Kw::StringKey(local));
    record.nsKey = Kw::StringKey(attr->getNamespaceURI());
    record.useNS = true;
    NodeGuard<DOMAttr> result(new AttrImpl(record, ownerDocument));
    record.write(DOMBTString(attr->getValue()));
    return result.release();
}

bool ElementImpl::hasAttribute(const XMLCh* name) const {
    return elementRef.hasAttributeNS(Kw::StringKey(), Kw::StringKey(name));
}

bool ElementImpl::hasAttributeNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    return elementRef.hasAttributeNS(Kw::StringKey(namespaceURI), Kw::StringKey(localName));
}

// Searches among the direct children.

DOMNodeList* ElementImpl::elementsByName(const XMLCh* namespaceURI, const XMLCh* name, bool byNS) const {
    const DOMBTString wanted(name), wantedNS(namespaceURI);
    std::vector<Kw::ElementRef> found;
    for (Kw::ElementRef child = elementRef.get_FirstChild(); !child.isNil(); child = child.get_NextSibling()) {
        const bool match = byNS ? child.get_URI() == wantedNS && child.get_localName() == wanted
                                : child.get_TagName() == wanted;
        if (match) found.push_back(child);
    }
    return keepList(new NodeListImpl(std::move(found), ownerDocument));
}

DOMNodeList* ElementImpl::getElementsByTagName(const XMLCh* name) const { return elementsByName(nullptr, name, false); }

DOMNodeList* ElementImpl::getElementsByTagNameNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    return elementsByName(namespaceURI, localName, true);
}

void ElementImpl::setIdAttribute(const XMLCh*, bool) { throwDOMException(-1); }
void ElementImpl::setIdAttributeNS(const XMLCh*, const XMLCh*, bool) { throwDOMException(-1); }
void ElementImpl::setIdAttributeNode(const DOMAttr*, bool) { throwDOMException(-1); }
const DOMTypeInfo* ElementImpl::getSchemaTypeInfo() const { throwDOMException(-1); }
DOMElement* ElementImpl::getFirstElementChild() const { throwDOMException(-1); }
DOMElement* ElementImpl::getLastElementChild() const { throwDOMException(-1); }
DOMElement* ElementImpl::getPreviousElementSibling() const { throwDOMException(-1); }
DOMElement* ElementImpl::getNextElementSibling() const { throwDOMException(-1); }
XMLSize_t ElementImpl::getChildElementCount() const { throwDOMException(-1); }

// The element as its own attribute map.

DOMNode* ElementImpl::setNamedItem(DOMNode*) { throwDOMException(9); }
DOMNode* ElementImpl::setNamedItemNS(DOMNode*) { throwDOMException(9); }

// The map is live, as a DOM attribute map is: what anyone wrote (this object, another path, the host) is
// enumerated, and a refused read is thrown rather than taken for "no attributes". getLength reads the
// host's keys; so does an item, unless the last read was of this element's keys and the library has made
// no host call since that could have changed them (an enumeration, item after item, reads the host once).
// The keys are kept in the document: no heap.
namespace {
const DocumentImpl::AttributeKeys& readKeys(DocumentImpl& document, Kw::HostRef element) {
    DocumentImpl::AttributeKeys& read = document.attributeKeysRead();
    read.element = -1; // until the read has succeeded
    const uint64_t asOf = Kw::handleReads::changingCalls();
    Kw::CheckedReads checked;
    read.count = Kw::handleReads::attributeKeys(element, read.keys, 255);
    read.asOf = asOf;
    read.element = element;
    return read;
}
} // namespace

XMLSize_t ElementImpl::getLength() const {
    return static_cast<XMLSize_t>(readKeys(*ownerImpl, elementRef.get()).count);
}

DOMNode* ElementImpl::item(XMLSize_t index) const {
    const DocumentImpl::AttributeKeys& last = ownerImpl->attributeKeysRead();
    const DocumentImpl::AttributeKeys& keys = last.element == elementRef.get() && last.asOf == Kw::handleReads::changingCalls()
                                                  ? last
                                                  : readKeys(*ownerImpl, elementRef.get());
    if (index >= static_cast<XMLSize_t>(keys.count)) return nullptr;
    return getAttributeNode(Kw::StringKey::fromValue(keys.keys[index]));
}

DOMNode* ElementImpl::getNamedItem(const XMLCh* name) const { return getAttributeNode(name); }

DOMNode* ElementImpl::removeNamedItem(const XMLCh* name) {
    NodeGuard<DOMAttr> attr(getAttributeNode(name));
    removeAttribute(name);
    return attr.release();
}

DOMNode* ElementImpl::getNamedItemNS(const XMLCh* namespaceURI, const XMLCh* localName) const {
    return getAttributeNodeNS(namespaceURI, localName);
}

DOMNode* ElementImpl::removeNamedItemNS(const XMLCh* namespaceURI, const XMLCh* localName) {
    NodeGuard<DOMAttr> attr(getAttributeNodeNS(namespaceURI, localName));
    removeAttributeNS(namespaceURI, localName);
    return attr.release();
}

} // namespace domImpl
