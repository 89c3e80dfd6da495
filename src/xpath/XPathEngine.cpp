#include "xpath/XPathEngine.hpp"

#include <DOMKw/xpath/XPathException.hpp>

#include <xalanc/Include/XalanMemoryManagement.hpp>
#include <xalanc/PlatformSupport/XSLException.hpp>
#include <xalanc/XPath/XObjectFactoryDefault.hpp>
#include <xalanc/XPath/XPath.hpp>
#include <xalanc/XPath/XPathConstructionContextDefault.hpp>
#include <xalanc/XPath/XPathEnvSupportDefault.hpp>
#include <xalanc/XPath/XPathEvaluator.hpp>
#include <xalanc/XPath/XPathExecutionContextDefault.hpp>
#include <xalanc/XPath/XPathFactoryDefault.hpp>
#include <xalanc/XPath/XPathProcessorImpl.hpp>
#include <xalanc/XPath/XalanXPathException.hpp>
#include <xalanc/XalanDOM/XalanDOMException.hpp>
#include <xalanc/XalanDOM/XalanDOMString.hpp>
#include <xercesc/dom/DOMException.hpp>
#include <xercesc/util/XMLException.hpp>

#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

#include "bridge/HostStatus.hpp"
#include "xpath/ExpressionBounds.hpp"
#include "xpath/TellamXalanSupport.hpp"
#include "xpath/XPathStartup.hpp"

using namespace XALAN_CPP_NAMESPACE;

namespace domImpl::xpathImpl {

namespace {

MemoryManager& memory() {
    return XalanMemMgrs::getDefaultXercesMemMgr();
}

// The three process-wide Xalan objects every compilation uses.
XPathFactoryDefault& xpathFactory() {
    static XPathFactoryDefault factory(memory());
    return factory;
}

// Compilation problems become exceptions without a word on the console: the library does no logging.
template <class Base> class Quiet : public Base {
public:
    using Base::Base;
    void problem(XPathConstructionContext::eSource, XPathConstructionContext::eClassification classification,
                 const XalanDOMString& message, const Locator* locator, const XalanNode*) override {
        if (classification == XPathConstructionContext::eError)
            throw XalanXPathException(message, memory(), locator);
    }
    void problem(XPathConstructionContext::eSource source,
                 XPathConstructionContext::eClassification classification, const XalanDOMString& message,
                 const XalanNode* node) override {
        problem(source, classification, message, nullptr, node);
    }
};

XPathConstructionContextDefault& constructionContext() {
    static Quiet<XPathConstructionContextDefault> context(memory());
    return context;
}

// The strings a kept compilation points into: the strings its compilation pooled, each kept once. The
// scratch strings a compilation borrows come from the process-wide construction context.
class KeptStrings : public Quiet<XPathConstructionContext> {
public:
    KeptStrings() : Quiet(memory()) {}
    void reset() override { pooled.clear(); }
    const XalanDOMString& getPooledString(const XalanDOMString& text) override {
        return getPooledString(text.c_str(), text.length());
    }
    const XalanDOMString& getPooledString(const XalanDOMChar* text,
                                          XalanDOMString::size_type length) override {
        if (!text) length = 0;
        if (length == XalanDOMString::npos) length = XalanDOMString::length(text);
        for (const XalanDOMString& s : pooled)
            if (s.length() == length && XalanDOMString::equals(s.c_str(), length, text, length)) return s;
        pooled.emplace_back(text, memory(), length);
        return pooled.back();
    }
    XalanDOMString& getCachedString() override { return constructionContext().getCachedString(); }
    bool releaseCachedString(XalanDOMString& text) override {
        return constructionContext().releaseCachedString(text);
    }

private:
    std::deque<XalanDOMString> pooled; // addresses that never move
};

// The execution context of every evaluation.
//
// No evaluation binds variables: a reference to one is refused when the evaluation reaches it, instead of
// going on with a value of no type.
//
// The node lists Xalan borrows while it runs come from a pool of our own, each made large enough up front
// for a node-set of the whole tree the evaluation runs over. Xalan appends a step's nodes to a list a few
// at a time, and its vector grows to exactly the size asked for on each such append: a list that has not
// been that large before is copied whole at every append, which made a whole-tree search several times
// slower whenever a list new to that role took it (the first evaluations of a process, and again whenever
// the order in which the lists are handed out changed). Once an evaluation is over, the large lists are
// given back to the heap, so the engine keeps nothing the size of a tree between evaluations.
class EngineContext : public XPathExecutionContextDefault {
public:
    using XPathExecutionContextDefault::XPathExecutionContextDefault;

    ~EngineContext() override {
        for (auto& [list, room] : lists) delete list;
    }

    const XObjectPtr getVariable(const XalanQName&, const Locator* locator) override {
        throw XalanXPathException(XalanDOMString("unbound variable", memory()), memory(), locator);
    }

    MutableNodeRefList* borrowMutableNodeRefList() override {
        MutableNodeRefList* list = nullptr;
        if (available.empty()) {
            // Room for every list to come back, so that taking one back never allocates.
            available.reserve(lists.size() + 1);
            std::unique_ptr<MutableNodeRefList> made(new MutableNodeRefList(memory()));
            lists.emplace(made.get(), 0);
            list = made.release();
        } else {
            list = available.back();
            available.pop_back();
        }
        size_t& room = lists.find(list)->second;
        if (room < listRoom) {
            try {
                list->reserve(listRoom);
                room = listRoom;
            } catch (...) {
                available.push_back(list);
                throw;
            }
        }
        return list;
    }

    bool returnMutableNodeRefList(MutableNodeRefList* list) override {
        auto it = lists.find(list);
        if (it == lists.end()) return false;
        list->clear();
        // One that comes back from a node-set handed out, after its evaluation, gives its room back now.
        if (listRoom == 0) shrink(*list, it->second);
        available.push_back(list);
        return true;
    }

    // A list of the pool handed out in a node-set, its room cut down to its nodes.
    void fit(NodeRefListBase& held) {
        auto* list = dynamic_cast<MutableNodeRefList*>(&held);
        auto it = list ? lists.find(list) : lists.end();
        if (it == lists.end() || it->second <= keptRoom) return;
        MutableNodeRefList exact(*list, memory());
        list->swap(exact);
        it->second = list->getLength();
    }

    // The room every borrowed list gets up front: the nodes of the tree the next evaluation runs over.
    void makeRoom(size_t nodes) { listRoom = nodes; }

    // Gives back to the heap the room made for the evaluation that ended; lists still held (by a node-set
    // handed out) keep theirs until they come back.
    void giveBackRoom() {
        listRoom = 0;
        for (MutableNodeRefList* list : available) shrink(*list, lists.find(list)->second);
    }

private:
    static void shrink(MutableNodeRefList& list, size_t& room) {
        if (room <= keptRoom) return;
        MutableNodeRefList empty(memory());
        list.swap(empty);
        room = 0;
    }

    // Lists up to this size stay as they are between evaluations.
    static constexpr size_t keptRoom = 1024;
    std::unordered_map<MutableNodeRefList*, size_t> lists; // every list of the pool and the room made in it
    std::vector<MutableNodeRefList*> available;
    size_t listRoom = 0;
};

XPathProcessorImpl& processor() {
    static XPathProcessorImpl processor(memory());
    return processor;
}

// Whether a compiled expression searches the whole tree from its root: a step from the root and a
// descendant axis among its operations. A value that only looks like one costs time, never a wrong answer.
bool searchesFromRoot(const XPath& xpath) {
    const XPathExpression& ops = xpath.getExpression();
    bool root = false, down = false;
    for (XPathExpression::OpCodeMapSizeType i = 0; i < ops.opCodeMapSize(); ++i) {
        const int op = ops.getOpCodeMapValue(i);
        root = root || op == XPathExpression::eFROM_ROOT;
        down = down || op == XPathExpression::eFROM_DESCENDANTS ||
               op == XPathExpression::eFROM_DESCENDANTS_OR_SELF;
    }
    return root && down;
}

} // namespace

// One kept compilation. Everything the compiled form points into is its own: the text, the pooled
// strings of its construction context and the namespaces its prefixes were given.
struct CompiledExpressions::Compiled {
    // A prefix the compilation asked about and what it was given (`found` false for no namespace).
    struct Answer {
        XalanDOMString prefix, uri;
        bool found;
    };

    explicit Compiled(const XMLCh* expression) : text(expression, memory()), uri(memory()), xpath(memory()) {}

    // Whether `resolver` gives every answer the compilation was given: then compiling again with it would
    // make the same expression.
    bool stillResolves(const PrefixResolver& resolver) const {
        for (const Answer& a : answers) {
            const XalanDOMString* now = resolver.getNamespaceForPrefix(a.prefix);
            if ((now != nullptr) != a.found || (now && !(*now == a.uri))) return false;
        }
        return !uriAsked || resolver.getURI() == uri;
    }

    XalanDOMString text;
    KeptStrings strings;
    std::deque<Answer> answers; // stable addresses: the compiled form may point at the namespaces
    bool uriAsked = false;
    XalanDOMString uri;
    bool fromRoot = false;
    XPath xpath; // declared last, ended first
};

CompiledExpressions::CompiledExpressions() = default;
CompiledExpressions::~CompiledExpressions() = default;

namespace {

// A resolver passed through while an expression compiles for keeping: each question and its answer are
// noted in the compilation, and the answer handed on is the noted copy.
class NotingResolver : public PrefixResolver {
public:
    NotingResolver(const PrefixResolver& given, CompiledExpressions::Compiled& compiled)
        : given(given), compiled(compiled) {}

    const XalanDOMString* getNamespaceForPrefix(const XalanDOMString& prefix) const override {
        const XalanDOMString* found = given.getNamespaceForPrefix(prefix);
        compiled.answers.push_back({XalanDOMString(prefix, memory()),
                                    found ? XalanDOMString(*found, memory()) : XalanDOMString(memory()),
                                    found != nullptr});
        return found ? &compiled.answers.back().uri : nullptr;
    }

    const XalanDOMString& getURI() const override {
        compiled.uri = given.getURI();
        compiled.uriAsked = true;
        return compiled.uri;
    }

private:
    const PrefixResolver& given;
    CompiledExpressions::Compiled& compiled;
};

class XalanXPathEngine : public XPathEngine {
public:
    // Every part is owned, so a failure while the later ones are made frees the earlier ones.
    XalanXPathEngine()
        : envSupport(memory()), objectFactory(memory(), 10, 10, 10, 5),
          domSupport(std::make_unique<TellamXalanSupport>()),
          executionContext(std::make_unique<EngineContext>(envSupport, *domSupport, objectFactory)),
          xpath(xpathFactory().create()) {}

    void compile(const XMLCh* expression, const PrefixResolver& resolver) override {
        release();
        // Xalan's parser and evaluator recurse: what would run the stack out never reaches them.
        checkExpressionBounds(expression);
        // The construction context only pools what one compilation needs.
        constructionContext().reset();
        const XalanDOMString text(expression, memory());
        initXPath(*xpath, constructionContext(), text, resolver);
    }

    void compile(const XMLCh* expression, const PrefixResolver& resolver,
                 CompiledExpressions& kept) override {
        release();
        std::vector<std::shared_ptr<CompiledExpressions::Compiled>>& list = keptOf(kept);
        const XalanDOMString::size_type length = expression ? XalanDOMString::length(expression) : 0;
        for (auto it = list.begin(); it != list.end(); ++it) {
            const XalanDOMString& text = (*it)->text;
            if (text.length() != length || !XalanDOMString::equals(text.c_str(), length, expression, length))
                continue;
            std::shared_ptr<CompiledExpressions::Compiled> found = *it;
            const bool same = found->stillResolves(resolver);
            list.erase(it);
            if (!same) break; // a prefix now means something else: compiled again below
            list.push_back(found);
            run(std::move(found));
            return;
        }
        checkExpressionBounds(expression);
        auto made = std::make_shared<CompiledExpressions::Compiled>(expression);
        const NotingResolver noting(resolver, *made);
        initXPath(made->xpath, made->strings, made->text, noting);
        made->xpath.shrink();
        made->fromRoot = searchesFromRoot(made->xpath);
        if (length <= CompiledExpressions::longestKept) {
            if (list.size() >= CompiledExpressions::bound) list.erase(list.begin());
            list.push_back(made);
        }
        run(std::move(made));
    }

    XObjectPtr execute(XalanNode* context, const PrefixResolver& resolver, XercesWrapperNavigator* navigator,
                       size_t orderQuestions, size_t treeNodes) override {
        domSupport->navigator = navigator;
        domSupport->questionsLeft = orderQuestions;
        struct Room {
            EngineContext& context;
            Room(EngineContext& context, size_t nodes) : context(context) { context.makeRoom(nodes); }
            ~Room() { context.giveBackRoom(); }
        } room(*executionContext, treeNodes);
        try {
            XObjectPtr value = standalone(running->execute(context, resolver, *executionContext));
            // A node-set handed out keeps its list until it is released: no more room than its nodes.
            if (value->getType() == XObject::eTypeNodeSet && treeNodes > 0)
                executionContext->fit(const_cast<NodeRefListBase&>(value->nodeset()));
            return value;
        } catch (const XalanDOMException& e) {
            Kw::throwDOMException(static_cast<short>(e.getExceptionCode()));
        } catch (const XSLException&) {
            // An expression that parsed but cannot run here (a function given the wrong kind of value).
            throw dom::xpath::XPathException(dom::xpath::XPathException::INVALID_EXPRESSION_ERR);
        }
    }

    void clear() override {
        domSupport->navigator = nullptr;
        domSupport->questionsLeft = unlimited;
        executionContext->setPrefixResolver(nullptr);
    }

    bool searchesFromTheRoot() const override {
        return runningKept ? runningKept->fromRoot : searchesFromRoot(*running);
    }

    void release() override {
        runningKept.reset();
        running = xpath.get();
    }

    XPathExecutionContext& getExecutionContext() override { return *executionContext; }
    const XPathEnvSupport& getEnvSupport() const override { return envSupport; }
    const DOMSupport& getDOMSupport() const override { return *domSupport; }

private:
    static void initXPath(XPath& into, XPathConstructionContext& strings, const XalanDOMString& text,
                          const PrefixResolver& resolver) {
        try {
            processor().initXPath(into, strings, text, resolver, nullptr, true, true);
        } catch (const XSLException&) {
            throw dom::xpath::XPathException(dom::xpath::XPathException::INVALID_EXPRESSION_ERR);
        } catch (const XERCES_CPP_NAMESPACE::XMLException&) {
            throw dom::xpath::XPathException(dom::xpath::XPathException::INVALID_EXPRESSION_ERR);
        }
    }

    // Runs a kept compilation from now on; the evaluation holds it while it lasts.
    void run(std::shared_ptr<CompiledExpressions::Compiled> compiled) {
        running = &compiled->xpath;
        runningKept = std::move(compiled);
    }

    // A scalar value that no longer points into the compiled expression (literals are handed out as
    // adapters over its tokens) or into strings owned elsewhere: the next compilation replaces those.
    XObjectPtr standalone(const XObjectPtr& value) {
        switch (value->getType()) {
        case XObject::eTypeXTokenNumberAdapter:
            return objectFactory.createNumber(value->num(*executionContext));
        case XObject::eTypeStringReference:
        case XObject::eTypeStringAdapter:
        case XObject::eTypeXTokenStringAdapter:
            return objectFactory.createString(XalanDOMString(value->str(*executionContext), memory()));
        default:
            return value;
        }
    }

    XPathEnvSupportDefault envSupport;
    XObjectFactoryDefault objectFactory;
    std::unique_ptr<TellamXalanSupport> domSupport;
    std::unique_ptr<EngineContext> executionContext;
    // Made by the process-wide factory, which takes it back.
    struct ReturnToFactory {
        void operator()(XPath* x) const { xpathFactory().returnObject(x); }
    };
    std::unique_ptr<XPath, ReturnToFactory> xpath;
    // What execute runs: the engine's own XPath object or a kept compilation (held while it runs).
    XPath* running = xpath.get();
    std::shared_ptr<CompiledExpressions::Compiled> runningKept;
};

} // namespace

XPathEngine::~XPathEngine() = default;

XPathEngine::Use::Use(XPathEngine& engine) : engine(engine) {
    if (engine.busy) Kw::throwDOMException(XERCES_CPP_NAMESPACE::DOMException::INVALID_STATE_ERR);
    engine.busy = true;
}

XPathEngine::Use::~Use() {
    engine.release();
    engine.busy = false;
}

XPathEngine& engine() {
    startXPath();
    static XalanXPathEngine theEngine;
    return theEngine;
}

} // namespace domImpl::xpathImpl
