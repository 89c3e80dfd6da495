// Document services: element rules, importing a project file, the DOM configuration, and the XPath
// cache notices.
#include "HostOperations.hpp"
#include "XmlLoader.hpp"
#include "XmlWriter.hpp"

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMImplementation.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include <fstream>
#include <sstream>

namespace kwhost {

using namespace Kw::host;
using xercesc::DOMNode;

namespace {

Store& S() {
    return state().store;
}

bool canBeChild(DOMNode::NodeType type) {
    switch (type) {
    case DOMNode::ELEMENT_NODE:
    case DOMNode::TEXT_NODE:
    case DOMNode::CDATA_SECTION_NODE:
    case DOMNode::COMMENT_NODE:
    case DOMNode::PROCESSING_INSTRUCTION_NODE:
    case DOMNode::ENTITY_REFERENCE_NODE:
    case DOMNode::DOCUMENT_FRAGMENT_NODE:
        return true;
    default:
        return false;
    }
}

// RegisterElement(name, parent, type) with a parent: an element of that name goes only under such a parent.
bool allowedUnder(const Object* parent, const XMLCh* childName) {
    if (!childName) return true;
    HostKey prefix, local;
    S().splitName(S().keys.intern(childName), prefix, local);
    HostKey parentPrefix, parentLocal;
    S().splitName(parent->tag, parentPrefix, parentLocal);
    bool restricted = false;
    for (const DeclarationRegistration& d : state().schema.declarations) {
        if (d.kind != 5 || !d.hasRecord || d.name.prefix.value() != prefix ||
            d.name.localName.value() != local)
            continue;
        const Kw::KWLIB::PrefixNamePair& allowed = d.record.slots[0];
        if (allowed.localName.isNone()) continue;
        restricted = true;
        if (allowed.prefix.value() == parentPrefix && allowed.localName.value() == parentLocal) return true;
    }
    return !restricted;
}

} // namespace

int32_t opValidateElement(HostRef ref, DOMNode* node) {
    KWHOST_ENTER(ValidateElement);
    if (!node) return INVALID_ACCESS;
    Object* obj = S().get(ref);
    if (!obj) return NOT_FOUND;
    if (obj->kind != Object::Element || !canBeChild(node->getNodeType())) return HIERARCHY_REQUEST;
    if (readOnly(obj)) return NO_MODIFICATION;
    if (node->getNodeType() == DOMNode::ELEMENT_NODE && !allowedUnder(obj, node->getNodeName()))
        return VALIDATION;
    return OK;
}

int32_t opImport(const XMLCh* path) {
    KWHOST_ENTER(Import);
    if (!path) return INVALID_ACCESS;
    Object* app = S().application;
    if (!app) return INVALID_STATE;
    if (readOnly(app)) return NO_MODIFICATION;
    const std::string file = toUtf8(path);
    std::ifstream in(file, std::ios::binary);
    if (!in) return NOT_FOUND;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    Object* root = nullptr;
    try {
        // Parsed completely before the tree is touched: a malformed file changes nothing.
        root = parseXml(S(), bytes.str(), file, app, nullptr);
    } catch (const LoadError&) {
        return SYNTAX;
    }
    S().move(app, root, nullptr);
    return OK;
}

int32_t opGetDOMConfiguration(xercesc::DOMConfiguration** out) {
    KWHOST_ENTER(GetDOMConfiguration);
    if (!out) return INVALID_ACCESS;
    // Xerces-C's own implementation, not the registry's: the library adds itself to the registry. Made on
    // first request and intentionally never destroyed: a document may not outlive Xerces-C, which a
    // program may terminate before static destructors run.
    static xercesc::DOMDocument* const document =
        xercesc::DOMImplementation::getImplementation()->createDocument();
    *out = document->getDOMConfig();
    return OK;
}

int32_t opReleaseDocXPathCache(const void* document) {
    KWHOST_ENTER(ReleaseDocXPathCache);
    if (!document) return INVALID_ACCESS;
    ++state().schema.xpathReleases[document];
    return OK;
}

} // namespace kwhost
