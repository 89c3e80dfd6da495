// query, save and write: XPath over the project, and its XML.
#include <DOMKw/dom/DocumentLS.hpp>
#include <DOMKw/dom/Object.hpp>
#include <DOMKw/serialize/WriterImpl.hpp>
#include <DOMKw/xpath/XPathException.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xalanc/PlatformSupport/DOMStringHelper.hpp>

#include <algorithm>
#include <memory>

#include "ToolSupport.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domkw_tool {

namespace {

struct ResultDeleter {
    void operator()(DOMXPathResult* r) const { r->release(); }
};
using Result = std::unique_ptr<DOMXPathResult, ResultDeleter>;

Result evaluate(DOMDocument* doc, const std::string& expr, DOMXPathResult::ResultType type) {
    const std::u16string text = utf16(expr);
    Owned context(doc->getDocumentElement());
    try {
        return Result(doc->evaluate(text.c_str(), doc, nullptr, type, nullptr));
    } catch (const dom::xpath::XPathException& e) {
        throw InputError(std::string(e.code == dom::xpath::XPathException::TYPE_ERR ? "type error in '" : "invalid expression '") +
                         expr + "'");
    } catch (const DOMXPathException& e) {
        throw InputError("invalid expression '" + expr + "': " + utf8(e.getMessage()));
    } catch (const DOMException& e) {
        throw InputError("cannot evaluate '" + expr + "': " + utf8(e.getMessage()));
    }
}

std::string numberText(double value) {
    xalanc::XalanDOMString text;
    xalanc::NumberToDOMString(value, text);
    return utf8(text.c_str());
}

// Prints a node a result handed out, and ends it.
void printNode(DOMNode* node) {
    Owned owned(node);
    std::printf("%s\t%s\n", locationPath(node).c_str(), escaped(stringValue(node)).c_str());
}

} // namespace

DOMNode* selectFirst(DOMDocument* doc, const std::string& expr) {
    if (expr.empty()) return nullptr;
    Result r = evaluate(doc, expr, DOMXPathResult::FIRST_ORDERED_NODE_TYPE);
    DOMNode* node = r->getNodeValue();
    if (!node) throw InputError("'" + expr + "' selects no node");
    return node;
}

int runQuery(Args& args) {
    const std::string type = args.option("--type", "any");
    Project project(args);
    if (!args.hasPositional()) throw UsageError("an XPath expression is needed");
    const std::string expr = args.positional();
    args.done();
    static const std::pair<const char*, DOMXPathResult::ResultType> types[] = {
        {"any", DOMXPathResult::ANY_TYPE},          {"number", DOMXPathResult::NUMBER_TYPE},
        {"string", DOMXPathResult::STRING_TYPE},    {"boolean", DOMXPathResult::BOOLEAN_TYPE},
        {"nodes", DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE}, {"first", DOMXPathResult::FIRST_ORDERED_NODE_TYPE},
    };
    const auto* chosen = std::find_if(std::begin(types), std::end(types), [&](const auto& t) { return type == t.first; });
    if (chosen == std::end(types)) throw UsageError("--type is one of any, number, string, boolean, nodes, first");
    DOMXPathResult::ResultType wanted = chosen->second;
    if (wanted == DOMXPathResult::ANY_TYPE) {
        // Node-sets come back in document order, like the other XML tools print them.
        const DOMXPathResult::ResultType natural = evaluate(project.document(), expr, wanted)->getResultType();
        // A value of no XPath type: what Xalan-C makes of a variable nobody bound.
        if (natural == DOMXPathResult::ANY_TYPE)
            throw InputError("'" + expr + "' gives no XPath value (an unbound variable?)");
        if (natural >= DOMXPathResult::UNORDERED_NODE_ITERATOR_TYPE) wanted = DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE;
        else wanted = natural;
    }
    Result r;
    try {
        r = evaluate(project.document(), expr, wanted);
    } catch (const InputError&) {
        throw InputError("'" + expr + "' does not give a " + type);
    }
    switch (r->getResultType()) {
    case DOMXPathResult::NUMBER_TYPE: std::printf("%s\n", numberText(r->getNumberValue()).c_str()); break;
    case DOMXPathResult::STRING_TYPE: std::printf("%s\n", utf8(r->getStringValue()).c_str()); break;
    case DOMXPathResult::BOOLEAN_TYPE: std::printf("%s\n", r->getBooleanValue() ? "true" : "false"); break;
    case DOMXPathResult::FIRST_ORDERED_NODE_TYPE:
    case DOMXPathResult::ANY_UNORDERED_NODE_TYPE:
        if (DOMNode* node = r->getNodeValue()) printNode(node);
        break;
    case DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE:
    case DOMXPathResult::UNORDERED_NODE_SNAPSHOT_TYPE:
        for (XMLSize_t i = 0; r->snapshotItem(i); ++i) printNode(r->getNodeValue());
        break;
    default: throw InputError("'" + expr + "' gives no value to print");
    }
    return 0;
}

namespace {
int writeOut(Args& args, bool filtered) {
    Project project(args);
    const std::string expr = args.positional();
    args.done();
    DOMDocument* doc = project.document();
    Owned selected(selectFirst(doc, expr));
    DOMNode* node = selected.node;
    std::string text;
    if (filtered) {
        auto* ls = dynamic_cast<dom::ls::DocumentLS*>(doc);
        const XMLCh* saved = ls ? ls->saveToString(node) : nullptr;
        if (!saved) throw InputError("the document could not be saved");
        text = utf8(saved);
    } else {
        DOMLSSerializer* writer = doc->getImplementation()->createLSSerializer();
        Owned root(node ? nullptr : doc->getDocumentElement());
        XMLCh* out = writer->writeToString(node ? node : root.node);
        text = utf8(out);
        XMLPlatformUtils::fgMemoryManager->deallocate(out);
        writer->release();
    }
    std::printf("%s\n", text.c_str());
    return 0;
}
} // namespace

int runSave(Args& args) { return writeOut(args, true); }
int runWrite(Args& args) { return writeOut(args, false); }

} // namespace domkw_tool
