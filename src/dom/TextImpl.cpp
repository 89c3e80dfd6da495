#include <DOMKw/bridge/Exceptions.hpp>

#include <xercesc/dom/DOM.hpp>

#include "bridge/HandleReads.hpp"
#include "bridge/HostStatus.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "dom/NodeGuard.hpp"
#include "dom/TextImpl.hpp"
#include "dom/XmlText.hpp"

using namespace XERCES_CPP_NAMESPACE;
using Kw::throwDOMException;

namespace domImpl {

TextImpl::TextImpl(Kw::ElementRef ref, DOMDocument* doc)
    : NodeBase<DOMText>(doc, asDocumentImpl(doc)), textRef(std::move(ref)) {
    if (ownerImpl) ownerImpl->registerNode(this, this);
}

TextImpl::TextImpl(Kw::ElementRef ref, DocumentImpl* owner)
    : NodeBase<DOMText>(owner, owner), textRef(std::move(ref)) {
    if (ownerImpl) ownerImpl->registerNode(this, this);
}

const XMLCh* TextImpl::getNodeValue() const {
    return value.hold(Kw::handleReads::textValue(textRef.get()));
}

DOMNamedNodeMap* TextImpl::getAttributes() const { throwDOMException(9); }

DOMNode* TextImpl::cloneNode(bool) const {
    // A refused read ends the copy rather than making an empty one.
    Kw::CheckedReads checked;
    return ownerDocument->createTextNode(getNodeValue());
}

DOMNode* TextImpl::insertBefore(DOMNode*, DOMNode*) { throw dom::Exceptions::HIERARCHY_REQUEST_ERR; }
DOMNode* TextImpl::removeChild(DOMNode*) { throw dom::Exceptions::HIERARCHY_REQUEST_ERR; }
DOMNode* TextImpl::appendChild(DOMNode*) { throw dom::Exceptions::HIERARCHY_REQUEST_ERR; }
DOMNode* TextImpl::replaceChild(DOMNode*, DOMNode*) { throwDOMException(9); }

// Character-data edits. Each is at most one deletion and one insertion on the host; when the insertion
// is refused after the deletion, the deleted text goes back, so an edit takes full effect or none. The
// current text is read under CheckedReads: a refused read ends the edit instead of passing for "".

namespace {
// An offset between the two halves of a surrogate pair: an edit there would leave a lone surrogate,
// which XML cannot hold.
bool splitsPair(const DOMBTString& text, XMLSize_t offset) {
    const XMLCh* t = text.GetUChar16();
    const XMLSize_t length = static_cast<XMLSize_t>(text.GetLength());
    return offset > 0 && offset < length && t[offset - 1] >= 0xD800 && t[offset - 1] < 0xDC00 &&
           t[offset] >= 0xDC00 && t[offset] < 0xE000;
}

// How much of `old` an edit from `offset` for `count` units takes: up to the end of the text. An offset at
// or past the end is refused (1), and so is a bound that falls inside a surrogate pair (5).
XMLSize_t editedCount(const DOMBTString& old, XMLSize_t offset, XMLSize_t count) {
    const XMLSize_t length = static_cast<XMLSize_t>(old.GetLength());
    if (offset >= length) throw dom::Exceptions::INDEX_SIZE_ERR;
    const XMLSize_t n = count < length - offset ? count : length - offset;
    if (splitsPair(old, offset) || splitsPair(old, offset + n)) throwDOMException(5);
    return n;
}
} // namespace

void TextImpl::setNodeValue(const XMLCh* text) {
    requireXmlChars(text);
    Kw::CheckedReads checked;
    const DOMBTString old = textRef.GetTextValue();
    replaceRange(0, static_cast<XMLSize_t>(old.GetLength()), old, text);
}

void TextImpl::replaceRange(XMLSize_t offset, XMLSize_t count, const DOMBTString& old, const XMLCh* text) {
    const DOMBTString removed(old, static_cast<long>(offset), static_cast<long>(count));
    if (count > 0) textRef.DeleteTextValue(static_cast<int>(offset), static_cast<int>(count));
    try {
        textRef.SetTextValue(static_cast<int>(offset), DOMBTString(text));
    } catch (...) {
        if (count > 0) try {
                textRef.SetTextValue(static_cast<int>(offset), removed);
            } catch (...) {
            }
        throw;
    }
}

bool TextImpl::isSameNode(const DOMNode* other) const {
    return sameByTypeNameValue(other) && refOf(other).get() == textRef.get();
}

bool TextImpl::isEqualNode(const DOMNode* other) const {
    return equalByTypeName(other) && DOMBTString(other->getNodeValue()) == textRef.GetTextValue();
}

XMLSize_t TextImpl::getLength() const { return static_cast<XMLSize_t>(textRef.GetTextValue().GetLength()); }

const XMLCh* TextImpl::substringData(XMLSize_t offset, XMLSize_t count) const {
    static DOMBTString part;
    const DOMBTString text = textRef.GetTextValue();
    // An offset past the end is refused rather than read outside the text.
    if (offset > static_cast<XMLSize_t>(text.GetLength())) throw dom::Exceptions::INDEX_SIZE_ERR;
    const XMLSize_t rest = static_cast<XMLSize_t>(text.GetLength()) - offset;
    part = DOMBTString(text, static_cast<long>(offset), static_cast<long>(count < rest ? count : rest));
    return part.GetUChar16();
}

void TextImpl::appendData(const XMLCh* text) {
    requireXmlChars(text);
    Kw::CheckedReads checked;
    textRef.SetTextValue(static_cast<int>(getLength()), DOMBTString(text));
}

void TextImpl::insertData(XMLSize_t offset, const XMLCh* text) {
    requireXmlChars(text);
    Kw::CheckedReads checked;
    const DOMBTString old = textRef.GetTextValue();
    if (offset > static_cast<XMLSize_t>(old.GetLength())) throw dom::Exceptions::INDEX_SIZE_ERR;
    if (splitsPair(old, offset)) throwDOMException(5);
    textRef.SetTextValue(static_cast<int>(offset), DOMBTString(text));
}

void TextImpl::deleteData(XMLSize_t offset, XMLSize_t count) {
    Kw::CheckedReads checked;
    const DOMBTString old = textRef.GetTextValue();
    const XMLSize_t n = editedCount(old, offset, count);
    textRef.DeleteTextValue(static_cast<int>(offset), static_cast<int>(n));
}

void TextImpl::replaceData(XMLSize_t offset, XMLSize_t count, const XMLCh* text) {
    requireXmlChars(text);
    Kw::CheckedReads checked;
    const DOMBTString old = textRef.GetTextValue();
    const XMLSize_t n = editedCount(old, offset, count);
    replaceRange(offset, n, old, text);
}

DOMText* TextImpl::splitText(XMLSize_t) { throwDOMException(9); }
bool TextImpl::getIsElementContentWhitespace() const { throwDOMException(-1); }

DOMText* TextImpl::replaceWholeText(const XMLCh* text) {
    if (!text || !*text) return nullptr;
    // The node handed back is made (its reference acquired) before the text changes.
    NodeGuard<DOMNode> result(new TextImpl(textRef, ownerDocument));
    setNodeValue(text);
    return static_cast<DOMText*>(result.release());
}

} // namespace domImpl
