// Namespace resolvers: the library's own (made by createNSResolver, and the adapter an evaluation makes
// when it is given none), and the prefix resolvers the engine compiles with.
#pragma once

#include <DOMKw/xpath/XPathNSResolver.hpp>

#include <xalanc/PlatformSupport/PrefixResolver.hpp>
#include <xalanc/XalanDOM/XalanDOMString.hpp>

#include <deque>
#include <memory>

namespace domImpl::xpathImpl {

using XERCES_CPP_NAMESPACE::DOMNode;

class HostTree;

// Resolves the prefixes declared on the document element of the node's document, read live through
// that document's Xalan nodes. Each resolver owns what it reads through (its own prefix resolver, for a
// document of the library a tree of its own that asks the host at every question, and for a node object
// of the library a hand-out of its own), so resolvers made earlier stay usable whatever is made later.
class XPathNSResolverImpl : public virtual dom::xpath::XPathNSResolver {
public:
    // Null node: a resolver without prefix resolver (evaluations refuse it with XPathException 51).
    explicit XPathNSResolverImpl(const DOMNode* nodeResolver);
    ~XPathNSResolverImpl() override;

    const XALAN_CPP_NAMESPACE::PrefixResolver* getPrefixResolver() const override {
        return prefixResolver.get();
    }
    const DOMNode* getNode() const override { return node; }

    // The node's own lookupNamespaceURI when both members are set, else null.
    const XMLCh* lookupNamespaceURI(const XMLCh* prefix) const override;
    // Not provided: DOMException -1.
    const XMLCh* lookupPrefix(const XMLCh* uri) const override;
    void addNamespaceBinding(const XMLCh* prefix, const XMLCh* uri) override;
    // Ends the resolver (as delete does), with the node object it took for itself.
    void release() override;

protected:
    XPathNSResolverImpl(const DOMNode* nodeResolver, bool ownHandOut);

private:
    const DOMNode* node = nullptr;
    DOMNode* handOut = nullptr;
    std::shared_ptr<HostTree> tree;
    std::unique_ptr<XALAN_CPP_NAMESPACE::PrefixResolver> prefixResolver;
};

// The resolver an evaluation makes for its context node when the caller gives none; it lives for that
// evaluation only and takes no hand-out.
class NSResolverAdapter : public XPathNSResolverImpl {
public:
    explicit NSResolverAdapter(const DOMNode* contextNode) : XPathNSResolverImpl(contextNode, false) {}
    const XALAN_CPP_NAMESPACE::XalanDOMString*
    getNamespaceForPrefix(const XALAN_CPP_NAMESPACE::XalanDOMString& prefix) const;
};

// A caller's own DOMXPathNSResolver seen as a Xalan prefix resolver.
class ForeignPrefixResolver : public XALAN_CPP_NAMESPACE::PrefixResolver {
public:
    explicit ForeignPrefixResolver(const XERCES_CPP_NAMESPACE::DOMXPathNSResolver& resolver);
    ~ForeignPrefixResolver() override;
    const XALAN_CPP_NAMESPACE::XalanDOMString*
    getNamespaceForPrefix(const XALAN_CPP_NAMESPACE::XalanDOMString& prefix) const override;
    const XALAN_CPP_NAMESPACE::XalanDOMString& getURI() const override;

private:
    const XERCES_CPP_NAMESPACE::DOMXPathNSResolver& resolver;
    mutable std::deque<XALAN_CPP_NAMESPACE::XalanDOMString> answers; // stay valid for the compilation
    XALAN_CPP_NAMESPACE::XalanDOMString uri;
};

// Resolves every prefix (to a placeholder): for checking an expression that has no resolver yet.
class AnyPrefixResolver : public XALAN_CPP_NAMESPACE::PrefixResolver {
public:
    AnyPrefixResolver();
    ~AnyPrefixResolver() override;
    const XALAN_CPP_NAMESPACE::XalanDOMString*
    getNamespaceForPrefix(const XALAN_CPP_NAMESPACE::XalanDOMString& prefix) const override;
    const XALAN_CPP_NAMESPACE::XalanDOMString& getURI() const override;

private:
    XALAN_CPP_NAMESPACE::XalanDOMString placeholder;
    XALAN_CPP_NAMESPACE::XalanDOMString uri;
};

} // namespace domImpl::xpathImpl
