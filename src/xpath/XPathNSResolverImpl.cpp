#include "xpath/XPathNSResolverImpl.hpp"


#include <xalanc/Include/XalanMemoryManagement.hpp>
#include <xalanc/XPath/ElementPrefixResolverProxy.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>
#include <xercesc/dom/DOM.hpp>

#include "bridge/HostStatus.hpp"
#include "dom/AttrImpl.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "dom/TextImpl.hpp"
#include "xpath/DocumentWrappers.hpp"
#include "xpath/HostTree.hpp"
#include "xpath/XPathEngine.hpp"
#include "xpath/XPathStartup.hpp"

using namespace XERCES_CPP_NAMESPACE;
using XALAN_CPP_NAMESPACE::XalanDOMString;

namespace domImpl::xpathImpl {

namespace {

XALAN_CPP_NAMESPACE::MemoryManager& memory() {
    return XALAN_CPP_NAMESPACE::XalanMemMgrs::getDefaultXercesMemMgr();
}

// A hand-out of a node object of the library that the resolver ends itself (none for the document,
// which is never handed out, nor for nodes of other documents).
DOMNode* takeHandOut(const DOMNode* node) {
    if (!node || asDocumentImpl(node)) return nullptr;
    if (const NodeImpl* own = asNodeImpl(node))
        return NodeImpl::create_(own->ref(), node->getOwnerDocument());
    if (node->getNodeType() == DOMNode::ATTRIBUTE_NODE)
        if (const auto* attr = dynamic_cast<const AttrImpl*>(node))
            return new AttrImpl(attr->record(), attr->getOwnerDocument());
    return nullptr;
}

} // namespace

XPathNSResolverImpl::XPathNSResolverImpl(const DOMNode* nodeResolver)
    : XPathNSResolverImpl(nodeResolver, true) {}

XPathNSResolverImpl::XPathNSResolverImpl(const DOMNode* nodeResolver, bool ownHandOut) : node(nodeResolver) {
    if (!nodeResolver) return;
    startXPath();
    const WrappedDocument doc = wrapDocument(documentOf(nodeResolver));
    const XALAN_CPP_NAMESPACE::XalanElement* element = nullptr;
    if (doc.host) {
        // A tree of its own, read at every question.
        tree = std::make_shared<HostTree>(doc.host, false);
        tree->endEvaluation();
        HostChild* app = tree->application();
        if (app && !app->isTextNode()) element = static_cast<HostElement*>(app);
    } else if (doc.wrapper) {
        element = doc.wrapper->getDocumentElement();
    } else {
        return;
    }
    prefixResolver.reset(new XALAN_CPP_NAMESPACE::ElementPrefixResolverProxy(
        element, engine().getEnvSupport(), engine().getDOMSupport(), memory()));
    if (ownHandOut && tree) {
        handOut = takeHandOut(nodeResolver);
        if (handOut) node = handOut;
    }
}

XPathNSResolverImpl::~XPathNSResolverImpl() {
    prefixResolver.reset();
    // Once the document is gone, so is every node object it made, ours included.
    if (handOut && tree && tree->document().document()) dom::dispose(handOut);
}

const XMLCh* XPathNSResolverImpl::lookupNamespaceURI(const XMLCh* prefix) const {
    return node && prefixResolver ? node->lookupNamespaceURI(prefix) : nullptr;
}

const XMLCh* XPathNSResolverImpl::lookupPrefix(const XMLCh*) const {
    Kw::throwDOMException(-1);
}
void XPathNSResolverImpl::addNamespaceBinding(const XMLCh*, const XMLCh*) {
    Kw::throwDOMException(-1);
}
void XPathNSResolverImpl::release() {
    // Ends the resolver the way results and serializers end; delete stays as good.
    delete this;
}

const XalanDOMString* NSResolverAdapter::getNamespaceForPrefix(const XalanDOMString& prefix) const {
    const XALAN_CPP_NAMESPACE::PrefixResolver* resolver = getPrefixResolver();
    return resolver ? resolver->getNamespaceForPrefix(prefix) : nullptr;
}

ForeignPrefixResolver::ForeignPrefixResolver(const DOMXPathNSResolver& resolver)
    : resolver(resolver), uri(memory()) {}

ForeignPrefixResolver::~ForeignPrefixResolver() = default;

const XalanDOMString* ForeignPrefixResolver::getNamespaceForPrefix(const XalanDOMString& prefix) const {
    const XMLCh* found = resolver.lookupNamespaceURI(prefix.c_str());
    if (!found) return nullptr;
    answers.emplace_back(found, memory());
    return &answers.back();
}

const XalanDOMString& ForeignPrefixResolver::getURI() const {
    return uri;
}

AnyPrefixResolver::AnyPrefixResolver() : placeholder(u"urn:domkw:any-prefix", memory()), uri(memory()) {}

AnyPrefixResolver::~AnyPrefixResolver() = default;

const XalanDOMString* AnyPrefixResolver::getNamespaceForPrefix(const XalanDOMString&) const {
    return &placeholder;
}

const XalanDOMString& AnyPrefixResolver::getURI() const {
    return uri;
}

} // namespace domImpl::xpathImpl
