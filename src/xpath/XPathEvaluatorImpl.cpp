#include "xpath/XPathEvaluatorImpl.hpp"

#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/xpath/XPathException.hpp>
#include <DOMKw/xpath/XPathResultImpl.hpp>

#include <xalanc/Include/XalanMemoryManagement.hpp>
#include <xalanc/XPath/NodeRefListBase.hpp>
#include <xalanc/XalanDOM/XalanDocument.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>
#include <xalanc/XercesParserLiaison/XercesWrapperNavigator.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include <memory>

#include "bridge/HostStatus.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "xpath/DocumentWrappers.hpp"
#include "xpath/DocumentXPathState.hpp"
#include "xpath/HostTree.hpp"
#include "xpath/TellamXalanSupport.hpp"
#include "xpath/XPathEngine.hpp"
#include "xpath/XPathExpressionImpl.hpp"
#include "xpath/XPathNSResolverImpl.hpp"

using XALAN_CPP_NAMESPACE::PrefixResolver;
using XALAN_CPP_NAMESPACE::XalanNode;
using XALAN_CPP_NAMESPACE::XercesDocumentWrapper;
using XALAN_CPP_NAMESPACE::XercesWrapperNavigator;
using XALAN_CPP_NAMESPACE::XObject;
using XALAN_CPP_NAMESPACE::XObjectPtr;

namespace domImpl::xpathImpl {

namespace {

using dom::xpath::XPathException;

[[noreturn]] void invalid() {
    throw XPathException(XPathException::INVALID_EXPRESSION_ERR);
}

// The questions of document order an evaluation over a tree read node by node may ask before it runs over
// a tree read whole up front (the answers cost a few steps each; a node-set of n nodes asks about n*n/2).
constexpr size_t orderQuestions = 4096;

// The text checks made before compiling: there must be a text, and a path of two or more characters
// may not end with "/" (a lone "/" is the root).
void checkText(const XMLCh* text) {
    if (!text) invalid();
    size_t length = 0;
    while (text[length]) ++length;
    if (length >= 2 && text[length - 1] == u'/') invalid();
}

// The prefixes of the context node's document, for an evaluation given no resolver: the adapter that
// reads them is made the first time a prefix is asked, which most expressions never do.
class ContextPrefixes : public PrefixResolver {
public:
    explicit ContextPrefixes(const DOMNode* contextNode)
        : node(contextNode), none(XALAN_CPP_NAMESPACE::XalanMemMgrs::getDefaultXercesMemMgr()) {}

    const XALAN_CPP_NAMESPACE::XalanDOMString*
    getNamespaceForPrefix(const XALAN_CPP_NAMESPACE::XalanDOMString& prefix) const override {
        const PrefixResolver* prefixes = resolver();
        return prefixes ? prefixes->getNamespaceForPrefix(prefix) : nullptr;
    }
    const XALAN_CPP_NAMESPACE::XalanDOMString& getURI() const override {
        const PrefixResolver* prefixes = resolver();
        return prefixes ? prefixes->getURI() : none;
    }

private:
    const PrefixResolver* resolver() const {
        if (!adapter) adapter.reset(new NSResolverAdapter(node));
        return adapter->getPrefixResolver();
    }

    const DOMNode* node;
    mutable std::unique_ptr<NSResolverAdapter> adapter;
    const XALAN_CPP_NAMESPACE::XalanDOMString none;
};

// The resolver an evaluation compiles and runs with: the caller's (the library's own, or any other
// DOMXPathNSResolver, asked prefix by prefix), or the prefixes of the context node's document.
class Resolution {
public:
    Resolution(const DOMXPathNSResolver* given, const DOMNode* contextNode) {
        if (!given) {
            if (!contextNode) return;
            context.reset(new ContextPrefixes(contextNode));
            node = contextNode;
            prefixes = context.get();
        } else if (const auto* own = dynamic_cast<const dom::xpath::XPathNSResolver*>(given)) {
            node = own->getNode();
            prefixes = own->getPrefixResolver();
        } else {
            foreign.reset(new ForeignPrefixResolver(*given));
            node = contextNode;
            prefixes = foreign.get();
        }
    }

    const DOMNode* node = nullptr;
    const PrefixResolver* prefixes = nullptr;

private:
    std::unique_ptr<ContextPrefixes> context;
    std::unique_ptr<ForeignPrefixResolver> foreign;
};

void compileWith(XPathEngine& xp, const XMLCh* text, const PrefixResolver& prefixes) {
    xp.compile(text, prefixes);
}

// Ends every evaluation that got as far as running: the host may drop what it cached for the document,
// and the engine forgets the evaluation.
class EvaluationEnd {
public:
    // `document`: the Xalan document the evaluation runs over.
    EvaluationEnd(XPathEngine& xp, const XALAN_CPP_NAMESPACE::XalanDocument* document)
        : xp(xp), document(document) {}
    ~EvaluationEnd() {
        Kw::KWLIB::ReleaseDocXPathCache(document);
        xp.clear();
    }
    EvaluationEnd(const EvaluationEnd&) = delete;
    EvaluationEnd& operator=(const EvaluationEnd&) = delete;

private:
    XPathEngine& xp;
    const XALAN_CPP_NAMESPACE::XalanDocument* document;
};

// Ends the evaluation of the trees read for it, whatever way it leaves: from then on they answer from
// the host.
class TreesInUse {
public:
    TreesInUse() = default;
    TreesInUse(const TreesInUse&) = delete;
    TreesInUse& operator=(const TreesInUse&) = delete;
    ~TreesInUse() {
        for (const auto& t : trees) t->endEvaluation();
    }
    std::shared_ptr<HostTree> take(std::shared_ptr<HostTree> tree) {
        trees.push_back(tree);
        return tree;
    }

private:
    std::vector<std::shared_ptr<HostTree>> trees;
};

} // namespace

void XPathEvaluatorImpl::check(const XMLCh* expression, const DOMXPathNSResolver* resolver) {
    XPathEngine& xp = engine();
    XPathEngine::Use inUse(xp);
    checkText(expression);
    if (!resolver) {
        // The prefixes of an expression made without a resolver are resolved at each evaluation, against
        // the context node's document; here only the syntax can be checked.
        const AnyPrefixResolver anyPrefix;
        xp.compile(expression, anyPrefix);
        return;
    }
    const Resolution how(resolver, nullptr);
    if (!how.node || !how.prefixes) invalid();
    compileWith(xp, expression, *how.prefixes);
}

DOMXPathResult* XPathEvaluatorImpl::run(const XMLCh* expression, const DOMNode* contextNode,
                                        const DOMXPathNSResolver* resolver, DOMXPathResult::ResultType type,
                                        DOMXPathResult* result) {
    XPathEngine& xp = engine();
    XPathEngine::Use inUse(xp);
    // A host read refused while the expression compiles or runs (a navigation, a name, an element's
    // attribute names, a value) reads as "nothing there" to Xalan; the evaluation notices it afterwards and
    // fails with the host's status instead of answering from a tree with parts missing.
    const uint64_t refusedBefore = Kw::unexaminedFailures().count;

    // The resolver, the checks and the compilation.
    const Resolution how(resolver, contextNode);
    checkText(expression);
    if (!how.node || !how.prefixes || !contextNode) invalid();
    // Over a document of the library, through the expressions it keeps.
    const XERCES_CPP_NAMESPACE::DOMDocument* owner = documentOf(contextNode);
    if (DocumentImpl* own = asDocumentImpl(owner))
        xp.compile(expression, *how.prefixes, compiledExpressions(*own));
    else
        compileWith(xp, expression, *how.prefixes);

    const WrappedDocument wrapped = wrapDocument(owner);
    if (!wrapped.host && !wrapped.wrapper) invalid();
    auto* reusable = dynamic_cast<XPathResultImpl*>(result);
    XObjectPtr value;
    XercesWrapperNavigator* navigator = nullptr;
    std::unique_ptr<XercesWrapperNavigator> made;
    std::shared_ptr<HostTree> tree;

    if (wrapped.host) {
        // A document of the library: a tree of its own for this evaluation. It reads only what the
        // expression reaches while it needs few questions of document order. One that needs many (Xalan
        // keeps a node-set in order by comparing each new node with every node already in it) runs over a
        // tree read whole up front instead, whose nodes are numbered: at once when the expression searches
        // the whole tree from the root, else once the questions pass a budget.
        HostDocument& host = *wrapped.host;
        TreesInUse inUse;
        const EvaluationEnd end(xp, &host);
        auto runNumbered = [&]() -> bool {
            std::shared_ptr<HostTree> whole = inUse.take(host.newTree(true));
            XalanNode* numbered = whole->nodeOf(contextNode);
            if (!numbered) return false; // a context outside the tree (a node the host has taken out)
            tree = whole;
            value = xp.execute(numbered, *how.prefixes, nullptr, XPathEngine::unlimited, whole->size());
            return true;
        };
        auto runLazily = [&](size_t questions) {
            tree = inUse.take(host.newTree(false));
            XalanNode* context = tree->nodeOf(contextNode);
            if (!context) invalid();
            value = xp.execute(context, *how.prefixes, nullptr, questions);
        };
        if (!xp.searchesFromTheRoot() || !runNumbered()) {
            try {
                runLazily(orderQuestions);
            } catch (const NeedsDocumentOrder&) {
                xp.clear();
                if (!runNumbered()) runLazily(XPathEngine::unlimited);
            }
        }
    } else {
        // Any other Xerces-C document: over its wrapper, with a navigator for it (the reused result's own
        // when it has one for it).
        XercesDocumentWrapper* wrapper = wrapped.wrapper;
        XalanNode* context = wrapper->mapNode(contextNode);
        if (!context) invalid();
        navigator = reusable ? reusable->getWrapperNavigator() : nullptr;
        if (!navigator || navigator->getOwnerDocument() != wrapper) {
            made.reset(new XercesWrapperNavigator(wrapper));
            navigator = made.get();
        }
        const EvaluationEnd end(xp, wrapper);
        value = xp.execute(context, *how.prefixes, navigator, XPathEngine::unlimited);
    }

    if (Kw::unexaminedFailures().count != refusedBefore)
        Kw::throwDOMException(static_cast<short>(Kw::unexaminedFailures().last & 0xFFFF));

    const bool nodeSet =
        value->getType() == XObject::eTypeNodeSet || value->getType() == XObject::eTypeNodeSetNodeProxy;
    if (nodeSet && tree) {
        // The nodes handed out later stay valid while the result lives: one host reference for each.
        tree->pin(value->nodeset());
    } else if (nodeSet && navigator) {
        // Nodes of another document than the context node's are mapped through their own wrapper.
        const XALAN_CPP_NAMESPACE::NodeRefListBase& nodes = value->nodeset();
        if (nodes.getLength() > 0) {
            XalanNode* first = nodes.item(0);
            XALAN_CPP_NAMESPACE::XalanDocument* owner =
                first->getNodeType() == XalanNode::DOCUMENT_NODE
                    ? static_cast<XALAN_CPP_NAMESPACE::XalanDocument*>(first)
                    : first->getOwnerDocument();
            if (owner != navigator->getOwnerDocument())
                if (auto* other = dynamic_cast<XercesDocumentWrapper*>(owner)) {
                    made.reset(new XercesWrapperNavigator(other));
                    navigator = made.get();
                }
        }
    }

    // The result: the reused one or a new one. A type the value cannot be had as throws 52 and leaves a
    // reused result as it was.
    if (reusable) {
        reusable->SetResult(value, navigator, type);
        made.release();
        reusable->keepAlive(std::move(tree));
        return result;
    }
    std::unique_ptr<XPathResultImpl> answer(new XPathResultImpl(value, navigator, type));
    made.release();
    answer->keepAlive(std::move(tree));
    return answer.release();
}

dom::xpath::XPathExpression* XPathEvaluatorImpl::makeExpression(const XMLCh* expression,
                                                                const DOMXPathNSResolver* resolver) {
    return new XPathExpressionImpl(expression, resolver);
}

dom::xpath::XPathNSResolver* XPathEvaluatorImpl::makeResolver(const DOMNode* nodeResolver) {
    return new XPathNSResolverImpl(nodeResolver);
}

dom::xpath::XPathExpression* XPathEvaluatorImpl::createExpression(const XMLCh* expression,
                                                                  dom::xpath::XPathNSResolver* resolver) {
    return makeExpression(expression, resolver);
}

dom::xpath::XPathNSResolver* XPathEvaluatorImpl::createNSResolver(DOMNode* nodeResolver) {
    return makeResolver(nodeResolver);
}

DOMXPathResult* XPathEvaluatorImpl::evaluate(const XMLCh* expression, DOMNode* contextNode,
                                             dom::xpath::XPathNSResolver* resolver,
                                             DOMXPathResult::ResultType type,
                                             dom::xpath::XPathResult* result) {
    return run(expression, contextNode, resolver, type, result);
}

} // namespace domImpl::xpathImpl

dom::xpath::XPathEvaluator* dom::xpath::XPathEvaluator::create() {
    return new domImpl::xpathImpl::XPathEvaluatorImpl();
}
