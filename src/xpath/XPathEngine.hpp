// The process-wide XPath engine: one Xalan-C XPath object that every evaluation compiles into, one
// execution context, one object factory. Evaluations run one at a time on the host's thread.
#pragma once

#include <xalanc/XPath/XObject.hpp>

#include <xercesc/util/XercesDefs.hpp>

#include <memory>
#include <vector>

namespace XALAN_CPP_NAMESPACE {
class DOMSupport;
class PrefixResolver;
class XalanNode;
class XercesWrapperNavigator;
class XPathEnvSupport;
class XPathExecutionContext;
} // namespace XALAN_CPP_NAMESPACE

namespace domImpl::xpathImpl {

// Expressions compiled for one document, kept for its next evaluations: at most `bound` of them, the
// least recently used one given up first. Each keeps its text, its compiled form with the strings that
// form points into, and the prefixes its compilation asked of the resolver with their answers; no
// resolver and nothing of the host tree.
class CompiledExpressions {
public:
    static constexpr size_t bound = 16;
    // Longer texts are compiled at each evaluation and not kept.
    static constexpr size_t longestKept = 1024;

    CompiledExpressions();
    ~CompiledExpressions();
    CompiledExpressions(const CompiledExpressions&) = delete;
    CompiledExpressions& operator=(const CompiledExpressions&) = delete;

    size_t size() const { return kept.size(); }

    struct Compiled;

private:
    friend class XPathEngine;
    // Most recently used last; shared with the evaluation running one, which may outlive the document.
    std::vector<std::shared_ptr<Compiled>> kept;
};

// The engine as the evaluations see it; the one implementation over Xalan-C lives in XPathEngine.cpp.
class XPathEngine {
public:
    virtual ~XPathEngine();

    // Compiles `expression` into the engine's XPath object, resolving prefixes with `resolver`. Throws
    // XPathException 51 for text that is not an expression.
    virtual void compile(const XMLCh* expression, const XALAN_CPP_NAMESPACE::PrefixResolver& resolver) = 0;
    // As above, through the expressions kept for a document: one compiled before from the same text,
    // whose prefixes `resolver` still resolves as they were then, is run again without compiling; a new
    // compilation is kept there.
    virtual void compile(const XMLCh* expression, const XALAN_CPP_NAMESPACE::PrefixResolver& resolver,
                         CompiledExpressions& kept) = 0;
    static constexpr size_t unlimited = ~size_t(0);
    // Runs the last compiled expression at `context`; the navigator maps Xalan nodes to DOM nodes for
    // document order (null over a document of the library, whose nodes answer it themselves). The value owns what it refers to apart from the nodes of a node-set. An evaluation
    // that asks more than `orderQuestions` questions of document order ends with NeedsDocumentOrder.
    // `treeNodes`: the nodes of the tree it runs over when they are known (a tree read up front), else
    // 0; the node lists of the evaluation are made that large before it starts.
    virtual XALAN_CPP_NAMESPACE::XObjectPtr execute(XALAN_CPP_NAMESPACE::XalanNode* context,
                                                    const XALAN_CPP_NAMESPACE::PrefixResolver& resolver,
                                                    XALAN_CPP_NAMESPACE::XercesWrapperNavigator* navigator,
                                                    size_t orderQuestions, size_t treeNodes = 0) = 0;
    // Whether the last compiled expression searches the whole tree from its root ("//name").
    virtual bool searchesFromTheRoot() const = 0;
    // Forgets the state of the last evaluation (context, resolver, navigator).
    virtual void clear() = 0;
    // Lets go of a kept expression the last compilation chose (at the end of every use).
    virtual void release() = 0;

    virtual XALAN_CPP_NAMESPACE::XPathExecutionContext& getExecutionContext() = 0;
    virtual const XALAN_CPP_NAMESPACE::XPathEnvSupport& getEnvSupport() const = 0;
    virtual const XALAN_CPP_NAMESPACE::DOMSupport& getDOMSupport() const = 0;

    // Marks the engine in use for the life of the object: the engine has one XPath object and one
    // execution context, so an evaluation started from within another (a resolver that evaluates)
    // is refused with DOMException 11 rather than let it overwrite the running one.
    class Use {
    public:
        explicit Use(XPathEngine& engine);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        XPathEngine& engine;
    };

protected:
    static std::vector<std::shared_ptr<CompiledExpressions::Compiled>>& keptOf(CompiledExpressions& c) {
        return c.kept;
    }
    bool busy = false;
};

// The one engine of the process, made on first use.
XPathEngine& engine();

} // namespace domImpl::xpathImpl
