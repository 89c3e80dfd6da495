// Serializer tests: a serializer of the library, and every output it gives parsed back by Xerces-C.
#pragma once

#include "dom/DOMImplementationImpl.hpp"
#include "serialize/WriterImpl.hpp"

#include <xercesc/dom/impl/DOMLSOutputImpl.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/util/TransService.hpp>

#include <cstdlib>
#include <string>

#include "common/DomFixture.hpp"
#include "common/NativeDom.hpp"
#include "serialize/WriterFilterImpl.hpp"

namespace testing_support {

// A count or seed a random test takes from the environment, to replay or extend a run.
inline unsigned long fromEnv(const char* name, unsigned long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtoul(v, nullptr, 10) : fallback;
}

// Whether XML text, read as the content of an element (an attribute node's output: as the attributes of
// one, without namespaces, as it stands alone; a document's: whole), is namespace-well-formed to Xerces-C.
inline bool parsesBack(const std::u16string& xml, bool asAttributes = false, bool asDocument = false) {
    const std::u16string text = asDocument ? xml : asAttributes ? u"<w " + xml + u"/>" : u"<w>" + xml + u"</w>";
    return parseBack(text, !asAttributes) != nullptr;
}

// A caller's filter shown no kind of node, so never asked: its presence alone takes a write of host
// nodes node by node through the Xerces-C delegate instead of the writer's own walk over host handles.
class ShowsNothing : public DOMLSSerializerFilter {
public:
    FilterAction acceptNode(const DOMNode*) const override { return FILTER_ACCEPT; }
    ShowType getWhatToShow() const override { return 0; }
};

// The library's save filter taken for a caller's: a write asks it node by node.
class SaveFilterNodeByNode : public domImpl::WriterFilterImpl {};

using Serializer = dom::Owned<DOMLSSerializer>;

// Xerces-C's own serializer, the reference of the differential checks.
inline Serializer xercesSerializer() {
    return Serializer(DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createLSSerializer());
}

// writeToString as it comes, "(null)" for a failed write; nothing is parsed back.
inline std::u16string toString(DOMLSSerializer* w, const DOMNode* node) {
    XMLCh* text = w->writeToString(node);
    const std::u16string out = text ? std::u16string(text) : u"(null)";
    XMLPlatformUtils::fgMemoryManager->deallocate(text);
    return out;
}

// The bytes a serializer writes for a node to a byte stream, in `encoding` (null: none named); `ok` is
// what the write answered.
inline std::string toBytes(DOMLSSerializer* w, const DOMNode* node, const XMLCh* encoding, bool& ok) {
    MemBufFormatTarget target;
    DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
    output.setByteStream(&target);
    if (encoding) output.setEncoding(encoding);
    ok = w->write(node, &output);
    return std::string(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen());
}

class WriterTest : public DomTest {
protected:
    Serializer serializer() {
        return Serializer(DOMImplementationRegistry::getDOMImplementation(u"Tellam 6.0")
                              ->createLSSerializer(XMLPlatformUtils::fgMemoryManager));
    }
    // writeToString; "(null)" for a failed write. Whatever comes back is parsed back: a serializer test
    // fails on output that is not well-formed.
    std::u16string write(DOMLSSerializer* w, DOMNode* node) {
        const std::u16string result = toString(w, node);
        if (result == u"(null)") return result;
        EXPECT_TRUE(parsesBack(result, node->getNodeType() == DOMNode::ATTRIBUTE_NODE,
                               node->getNodeType() == DOMNode::DOCUMENT_NODE))
            << narrow(result);
        return result;
    }
    std::u16string write(DOMNode* node) { return write(serializer().get(), node); }
    // The document's save-to-string, parsed back the same way.
    std::u16string save(DOMNode* node) {
        const XMLCh* text = doc->saveToString(node);
        if (!text) return u"(null)";
        const std::u16string result(text);
        EXPECT_TRUE(parsesBack(result, node && node->getNodeType() == DOMNode::ATTRIBUTE_NODE,
                               node && node->getNodeType() == DOMNode::DOCUMENT_NODE))
            << narrow(result);
        return result;
    }
};

} // namespace testing_support
