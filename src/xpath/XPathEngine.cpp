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
class QuietConstructionContext : public XPathConstructionContextDefault {
public:
    QuietConstructionContext() : XPathConstructionContextDefault(memory()) {}
    void problem(eSource, eClassification classification, const XalanDOMString& message,
                 const Locator* locator, const XalanNode*) override {
        if (classification == eError) throw XalanXPathException(message, memory(), locator);
    }
    void problem(eSource source, eClassification classification, const XalanDOMString& message,
                 const XalanNode* node) override {
        problem(source, classification, message, nullptr, node);
    }
};

XPathConstructionContextDefault& constructionContext() {
    static QuietConstructionContext context;
    return context;
}

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

class XalanXPathEngine : public XPathEngine {
public:
    // Every part is owned, so a failure while the later ones are made frees the earlier ones.
    XalanXPathEngine()
        : envSupport(memory()), objectFactory(memory(), 10, 10, 10, 5),
          domSupport(std::make_unique<TellamXalanSupport>()),
          executionContext(std::make_unique<EngineContext>(envSupport, *domSupport, objectFactory)),
          xpath(xpathFactory().create()) {}

    void compile(const XMLCh* expression, const PrefixResolver& resolver) override {
        // Xalan's parser and evaluator recurse: what would run the stack out never reaches them.
        checkExpressionBounds(expression);
        try {
            // The construction context only pools what one compilation needs.
            constructionContext().reset();
            const XalanDOMString text(expression, memory());
            processor().initXPath(*xpath, constructionContext(), text, resolver, nullptr, true, true);
        } catch (const XSLException&) {
            throw dom::xpath::XPathException(dom::xpath::XPathException::INVALID_EXPRESSION_ERR);
        } catch (const XERCES_CPP_NAMESPACE::XMLException&) {
            throw dom::xpath::XPathException(dom::xpath::XPathException::INVALID_EXPRESSION_ERR);
        }
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
            XObjectPtr value = standalone(xpath->execute(context, resolver, *executionContext));
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
        // A look through the compiled operations for a step from the root and a descendant axis; a value
        // that only looks like one costs time, never a wrong answer.
        const XPathExpression& ops = xpath->getExpression();
        bool root = false, down = false;
        for (XPathExpression::OpCodeMapSizeType i = 0; i < ops.opCodeMapSize(); ++i) {
            const int op = ops.getOpCodeMapValue(i);
            root = root || op == XPathExpression::eFROM_ROOT;
            down = down || op == XPathExpression::eFROM_DESCENDANTS ||
                   op == XPathExpression::eFROM_DESCENDANTS_OR_SELF;
        }
        return root && down;
    }

    XPathExecutionContext& getExecutionContext() override { return *executionContext; }
    const XPathEnvSupport& getEnvSupport() const override { return envSupport; }
    const DOMSupport& getDOMSupport() const override { return *domSupport; }

private:
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
};

} // namespace

XPathEngine::~XPathEngine() = default;

XPathEngine::Use::Use(XPathEngine& engine) : engine(engine) {
    if (engine.busy) Kw::throwDOMException(XERCES_CPP_NAMESPACE::DOMException::INVALID_STATE_ERR);
    engine.busy = true;
}

XPathEngine::Use::~Use() {
    engine.busy = false;
}

XPathEngine& engine() {
    startXPath();
    static XalanXPathEngine theEngine;
    return theEngine;
}

} // namespace domImpl::xpathImpl
