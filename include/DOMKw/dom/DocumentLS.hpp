// Loading into and saving from a document.
#pragma once

#include <DOMKw/dom/Object.hpp>

namespace dom::ls {

class DocumentLS : public virtual dom::Object {
public:
    virtual bool getAsync() const = 0;
    virtual void setAsync(bool async) = 0;
    virtual void abort() = 0;
    // Asks the host to import the file; false when the host refuses.
    virtual bool load(const XMLCh* source) = 0;
    virtual bool loadXML(const XMLCh* text) = 0;
    // The node (the document element for null) as XML; the buffer stays valid until the next call.
    virtual const XMLCh* saveToString(XERCES_CPP_NAMESPACE::DOMNode* node) = 0;
};

} // namespace dom::ls
