// The DOMText of one host text object.
#pragma once

#include <DOMKw/dom/NodeImpl.hpp>
#include <DOMKw/events/EventTargetImpl.hpp>

#include <xercesc/dom/DOMText.hpp>

#include "dom/HeldText.hpp"

namespace domImpl {

using XERCES_CPP_NAMESPACE::DOMText;

class TextImpl : public NodeBase<DOMText>, public virtual eventsImpl::EventTargetImpl {
public:
    TextImpl(Kw::ElementRef ref, DOMDocument* doc);
    // In the library document `owner` (no lookup).
    TextImpl(Kw::ElementRef ref, DocumentImpl* owner);

    const void* implementation_() const override { return &textRef; }
    Kw::ObjectRef::DoubleRef getTargetRef() const override { return nodeTarget(textRef.get()); }
    const DOMNode* targetNode() const override { return this; }
    DOMNode* exportCopy(bool deep) const override { return cloneNode(deep); }

    // DOMNode
    const XMLCh* getNodeValue() const override;
    NodeType getNodeType() const override { return TEXT_NODE; }
    DOMNodeList* getChildNodes() const override { return nullptr; }
    XERCES_CPP_NAMESPACE::DOMNamedNodeMap* getAttributes() const override;
    DOMNode* cloneNode(bool deep) const override;
    DOMNode* insertBefore(DOMNode*, DOMNode*) override;
    DOMNode* replaceChild(DOMNode*, DOMNode*) override;
    DOMNode* removeChild(DOMNode*) override;
    DOMNode* appendChild(DOMNode*) override;
    bool hasChildNodes() const override { return false; }
    void setNodeValue(const XMLCh* text) override;
    const XMLCh* getTextContent() const override { return getNodeValue(); }
    void setTextContent(const XMLCh* text) override { setNodeValue(text); }
    bool isSameNode(const DOMNode* other) const override;
    bool isEqualNode(const DOMNode* other) const override;

    // DOMCharacterData: offsets and counts in UTF-16 units of the current value.
    const XMLCh* getData() const override { return getNodeValue(); }
    XMLSize_t getLength() const override;
    const XMLCh* substringData(XMLSize_t offset, XMLSize_t count) const override;
    void appendData(const XMLCh* text) override;
    void insertData(XMLSize_t offset, const XMLCh* text) override;
    void deleteData(XMLSize_t offset, XMLSize_t count) override;
    void replaceData(XMLSize_t offset, XMLSize_t count, const XMLCh* text) override;
    void setData(const XMLCh* text) override { setNodeValue(text); }

    // DOMText
    DOMText* splitText(XMLSize_t) override;
    bool getIsElementContentWhitespace() const override;
    const XMLCh* getWholeText() const override { return getNodeValue(); }
    DOMText* replaceWholeText(const XMLCh* text) override;
    bool isIgnorableWhitespace() const override { return false; }

private:
    // Replaces `count` units at `offset` of `old` (the current text) by `text`, all or nothing.
    void replaceRange(XMLSize_t offset, XMLSize_t count, const DOMBTString& old, const XMLCh* text);

    Kw::ElementRef textRef;
    mutable HeldText value; // the copy handed out by getNodeValue
};

} // namespace domImpl
