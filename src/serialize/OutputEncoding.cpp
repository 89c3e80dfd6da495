#include "serialize/OutputEncoding.hpp"

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "serialize/XmlChecks.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl::serializeImpl {

// The encoding a destination that names none is written in, as Xerces-C's serializer chooses it: the
// document's input encoding, else its declared encoding, else UTF-8.
DOMBTString encodingFor(const DOMNode* node, DOMLSOutput* destination) {
    if (const XMLCh* named = nonEmpty(destination->getEncoding())) return DOMBTString(named);
    const DOMDocument* doc = node->getNodeType() == DOMNode::DOCUMENT_NODE
                                 ? static_cast<const DOMDocument*>(node)
                                 : node->getOwnerDocument();
    if (doc) {
        if (const XMLCh* input = nonEmpty(doc->getInputEncoding())) return DOMBTString(input);
        if (const XMLCh* declared = nonEmpty(doc->getXmlEncoding())) return DOMBTString(declared);
    }
    return DOMBTString(XMLUni::fgUTF8EncodingString);
}

// The byte order mark Xerces-C's serializer writes for a document in the encoding (only Unicode
// encodings have one; UTF-16 and UCS-4 without an order are written in the machine's).
std::string byteOrderMark(const XMLCh* encoding) {
    const bool little = XMLPlatformUtils::fgXMLChBigEndian == false;
    const char* const utf16 = little ? "\xFF\xFE" : "\xFE\xFF";
    const char* const ucs4 = little ? "\xFF\xFE\0\0" : "\0\0\xFE\xFF";
    const struct {
        const XMLCh* name;
        const char* mark;
        size_t size;
    } marks[] = {
        {XMLUni::fgUTF8EncodingString, "\xEF\xBB\xBF", 3},
        {XMLUni::fgUTF8EncodingString2, "\xEF\xBB\xBF", 3},
        {XMLUni::fgUTF16LEncodingString, "\xFF\xFE", 2},
        {XMLUni::fgUTF16LEncodingString2, "\xFF\xFE", 2},
        {XMLUni::fgUTF16BEncodingString, "\xFE\xFF", 2},
        {XMLUni::fgUTF16BEncodingString2, "\xFE\xFF", 2},
        {XMLUni::fgUTF16EncodingString, utf16, 2},
        {XMLUni::fgUTF16EncodingString2, utf16, 2},
        {XMLUni::fgUTF16EncodingString3, utf16, 2},
        {XMLUni::fgUTF16EncodingString4, utf16, 2},
        {XMLUni::fgUTF16EncodingString5, utf16, 2},
        {XMLUni::fgUTF16EncodingString6, utf16, 2},
        {XMLUni::fgUTF16EncodingString7, utf16, 2},
        {XMLUni::fgUCS4LEncodingString, "\xFF\xFE\0\0", 4},
        {XMLUni::fgUCS4LEncodingString2, "\xFF\xFE\0\0", 4},
        {XMLUni::fgUCS4BEncodingString, "\0\0\xFE\xFF", 4},
        {XMLUni::fgUCS4BEncodingString2, "\0\0\xFE\xFF", 4},
        {XMLUni::fgUCS4EncodingString, ucs4, 4},
        {XMLUni::fgUCS4EncodingString2, ucs4, 4},
        {XMLUni::fgUCS4EncodingString3, ucs4, 4},
    };
    for (const auto& m : marks)
        if (XMLString::compareIStringASCII(encoding, m.name) == 0) return std::string(m.mark, m.size);
    return std::string();
}

} // namespace domImpl::serializeImpl
