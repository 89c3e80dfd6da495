// query, save and write: XPath over the project, and its XML.
#include <DOMKw/dom/DocumentLS.hpp>
#include <DOMKw/dom/Owned.hpp>
#include <DOMKw/xpath/XPathException.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLChar.hpp>
#include <xalanc/PlatformSupport/DOMStringHelper.hpp>

#include <algorithm>
#include <memory>

#include "ToolSupport.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domkw_tool {

namespace {

// The value of an expression cannot be had as the type asked for.
struct TypeError : InputError {
    using InputError::InputError;
};

using Result = dom::Owned<DOMXPathResult>;

// The prefixes bound with --ns PREFIX=URI, then those the project's root element declares.
class Bindings : public DOMXPathNSResolver {
public:
    explicit Bindings(const std::vector<std::string>& texts) {
        for (const std::string& text : texts) {
            const size_t eq = text.find('=');
            const std::u16string prefix = utf16(text.substr(0, eq == std::string::npos ? 0 : eq));
            if (eq == std::string::npos || prefix.empty() || !XMLChar1_0::isValidNCName(prefix.c_str(), prefix.size()))
                throw UsageError("--ns needs PREFIX=URI, not '" + text + "'");
            bindings.emplace_back(prefix, utf16(text.substr(eq + 1)));
        }
    }
    bool empty() const { return bindings.empty(); }
    // The document's own resolver, asked for what --ns does not bind.
    void fallBackTo(DOMXPathNSResolver* resolver) { fallback.reset(resolver); }

    const XMLCh* lookupNamespaceURI(const XMLCh* prefix) const override {
        const std::u16string wanted = prefix ? prefix : u"";
        for (const auto& [p, uri] : bindings)
            if (p == wanted) return uri.c_str();
        return fallback ? fallback->lookupNamespaceURI(prefix) : nullptr;
    }
    const XMLCh* lookupPrefix(const XMLCh* uri) const override {
        for (const auto& [p, u] : bindings)
            if (uri && u == uri) return p.c_str();
        return nullptr;
    }
    void addNamespaceBinding(const XMLCh* prefix, const XMLCh* uri) override {
        bindings.emplace_back(prefix ? prefix : u"", uri ? uri : u"");
    }
    void release() override {}

private:
    std::vector<std::pair<std::u16string, std::u16string>> bindings;
    dom::Owned<DOMXPathNSResolver> fallback;
};

// What query, save and write share: the prefixes, and how nodes are printed.
struct OutputOptions {
    explicit OutputOptions(Args& args)
        : bindings(args.options("--ns")), format(args.flag("--format")), noout(args.flag("--noout")) {}
    Bindings bindings;
    bool format, noout;
};

const DOMXPathNSResolver* resolverFor(DOMDocument* doc, OutputOptions& options) {
    if (options.bindings.empty()) return nullptr;
    dom::Owned<DOMElement> root(doc->getDocumentElement());
    options.bindings.fallBackTo(doc->createNSResolver(root.get()));
    return &options.bindings;
}

Result evaluate(DOMDocument* doc, const std::string& expr, DOMXPathResult::ResultType type,
                const DOMXPathNSResolver* resolver) {
    const std::u16string text = utf16(expr);
    try {
        return Result(doc->evaluate(text.c_str(), doc, resolver, type, nullptr));
    } catch (const dom::xpath::XPathException& e) {
        if (e.code == dom::xpath::XPathException::TYPE_ERR) throw TypeError("type error in '" + expr + "'");
        throw InputError("invalid expression '" + expr + "'");
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

std::string escapedXml(const std::string& text, bool inAttribute) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const unsigned char byte = static_cast<unsigned char>(c);
        // What XML 1.0 cannot hold (a project loaded as XML 1.1 may): refused rather than printed as XML.
        const bool nonCharacter = byte == 0xEF && i + 2 < text.size() && text[i + 1] == '\xBF' &&
                                  (text[i + 2] == '\xBE' || text[i + 2] == '\xBF');
        if ((byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || nonCharacter)
            throw InputError("the value holds a character XML 1.0 cannot represent");
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += inAttribute ? "&quot;" : "\""; break;
        // In an attribute value these would be read back as spaces.
        case '\t': out += inAttribute ? "&#9;" : "\t"; break;
        case '\n': out += inAttribute ? "&#10;" : "\n"; break;
        case '\r': out += "&#13;"; break;
        default: out += c;
        }
    }
    return out;
}

// XML text indented by Xerces-C's own serializer, after parsing it back (as xmllint --format does).
std::string pretty(const std::string& xml) {
    DOMImplementation* ls = DOMImplementationRegistry::getDOMImplementation(u"LS");
    dom::Owned<DOMLSParser> parser(ls->createLSParser(DOMImplementationLS::MODE_SYNCHRONOUS, nullptr));
    // Saved subtrees use prefixes declared on elements above them: read them as plain names.
    parser->getDomConfig()->setParameter(XMLUni::fgDOMNamespaces, false);
    MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "output");
    source.setEncoding(u"UTF-8");
    Wrapper4InputSource input(&source, false);
    DOMDocument* parsed = nullptr;
    try {
        parsed = parser->parse(&input);
    } catch (...) {
        parsed = nullptr;
    }
    if (!parsed || !parsed->getDocumentElement())
        throw InputError("the output is not well-formed XML and cannot be formatted");
    dom::Owned<DOMLSSerializer> writer(ls->createLSSerializer());
    writer->getDomConfig()->setParameter(XMLUni::fgDOMWRTFormatPrettyPrint, true);
    writer->getDomConfig()->setParameter(XMLUni::fgDOMXMLDeclaration, false);
    XMLCh* out = writer->writeToString(parsed);
    std::string text = utf8(out);
    XMLPlatformUtils::fgMemoryManager->deallocate(out);
    // Xerces-C puts an empty line before every element it indents; drop lines with nothing on them.
    std::string lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        if (line.find_first_not_of(" \t\r") != std::string::npos) lines += (lines.empty() ? "" : "\n") + line;
        at = end + 1;
    }
    return lines;
}

// A node as XML: an element through the library's serializer, an attribute as ` name="value"` and a text
// as its escaped characters, as xmllint prints matches.
std::string xmlOf(DOMDocument* doc, DOMNode* node, bool format) {
    switch (node->getNodeType()) {
    case DOMNode::ATTRIBUTE_NODE:
        return " " + utf8(node->getNodeName()) + "=\"" + escapedXml(utf8(node->getNodeValue()), true) + "\"";
    case DOMNode::ELEMENT_NODE: {
        dom::Owned<DOMLSSerializer> writer(doc->getImplementation()->createLSSerializer());
        XMLCh* out = writer->writeToString(node);
        if (!out) throw InputError("the serializer gave no output");
        std::string text = utf8(out);
        XMLPlatformUtils::fgMemoryManager->deallocate(out);
        return format ? pretty(text) : text;
    }
    default: return escapedXml(utf8(node->getNodeValue()), false);
    }
}

// Exit status of a query whose node-set is empty, as xmllint answers it.
constexpr int kEmptySet = 10;

int queryOne(DOMDocument* doc, const std::string& expr, const std::string& type, bool asXml, OutputOptions& options,
             const std::string& linePrefix) {
    static const std::pair<const char*, DOMXPathResult::ResultType> types[] = {
        {"any", DOMXPathResult::ANY_TYPE},          {"number", DOMXPathResult::NUMBER_TYPE},
        {"string", DOMXPathResult::STRING_TYPE},    {"boolean", DOMXPathResult::BOOLEAN_TYPE},
        {"nodes", DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE}, {"first", DOMXPathResult::FIRST_ORDERED_NODE_TYPE},
    };
    const auto* chosen = std::find_if(std::begin(types), std::end(types), [&](const auto& t) { return type == t.first; });
    if (chosen == std::end(types)) throw UsageError("--type is one of any, number, string, boolean, nodes, first");
    const DOMXPathNSResolver* resolver = resolverFor(doc, options);
    DOMXPathResult::ResultType wanted = chosen->second;
    if (wanted == DOMXPathResult::ANY_TYPE) {
        // Node-sets come back in document order, like the other XML tools print them.
        const DOMXPathResult::ResultType natural = evaluate(doc, expr, wanted, resolver)->getResultType();
        // A value of no XPath type: what Xalan-C makes of a variable nobody bound.
        if (natural == DOMXPathResult::ANY_TYPE)
            throw InputError("'" + expr + "' gives no XPath value (an unbound variable?)");
        if (natural >= DOMXPathResult::UNORDERED_NODE_ITERATOR_TYPE) wanted = DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE;
        else wanted = natural;
    }
    Result r;
    try {
        r = evaluate(doc, expr, wanted, resolver);
    } catch (const TypeError&) {
        throw InputError("'" + expr + "' does not give a value of type " + type);
    }
    auto line = [&](const std::string& text) {
        if (!options.noout) std::printf("%s%s\n", linePrefix.c_str(), text.c_str());
    };
    auto node = [&](DOMNode* handedOut) {
        dom::Owned<DOMNode> n(handedOut);
        line(asXml ? xmlOf(doc, n.get(), options.format)
                   : locationPath(n.get()) + "\t" + escaped(stringValue(n.get())));
    };
    switch (r->getResultType()) {
    case DOMXPathResult::NUMBER_TYPE: line(numberText(r->getNumberValue())); return 0;
    case DOMXPathResult::STRING_TYPE: line(utf8(r->getStringValue())); return 0;
    case DOMXPathResult::BOOLEAN_TYPE: line(r->getBooleanValue() ? "true" : "false"); return 0;
    case DOMXPathResult::FIRST_ORDERED_NODE_TYPE:
    case DOMXPathResult::ANY_UNORDERED_NODE_TYPE:
        if (DOMNode* n = r->getNodeValue()) {
            node(n);
            return 0;
        }
        return kEmptySet;
    case DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE:
    case DOMXPathResult::UNORDERED_NODE_SNAPSHOT_TYPE:
        for (XMLSize_t i = 0; r->snapshotItem(i); ++i) node(r->getNodeValue());
        return r->getSnapshotLength() == 0 ? kEmptySet : 0;
    default: throw InputError("'" + expr + "' gives no value to print");
    }
}

// Runs `one` over every project file. Several files: errors are reported per file and the others still
// run; the status is 1 when any failed, else 10 when any query found nothing, else 0.
template <class F> int overFiles(const std::vector<std::string>& files, const char* command, F one) {
    int worst = 0;
    for (const std::string& file : files) {
        try {
            Project project(file);
            const int status = one(project.document(), files.size() > 1 ? file + ":" : std::string());
            if (status == kEmptySet) std::fprintf(stderr, "%sXPath set is empty\n", files.size() > 1 ? (file + ": ").c_str() : "");
            if (worst != 1 && status != 0) worst = status;
        } catch (const InputError& e) {
            if (files.size() == 1) throw;
            std::fprintf(stderr, "domkw %s: %s\n", command, e.what());
            worst = 1;
        }
    }
    return worst;
}

} // namespace

dom::Owned<DOMNode> selectFirst(DOMDocument* doc, const std::string& expr) {
    if (expr.empty()) return {};
    Result r = evaluate(doc, expr, DOMXPathResult::FIRST_ORDERED_NODE_TYPE, nullptr);
    dom::Owned<DOMNode> node(r->getNodeValue());
    if (!node) throw InputError("'" + expr + "' selects no node");
    return node;
}

int runQuery(Args& args) {
    const std::string type = args.option("--type", "any");
    const bool asXml = args.flag("--xml");
    OutputOptions options(args);
    std::vector<std::string> docs = args.options("--doc");
    if (!args.hasPositional()) throw UsageError("an XPath expression is needed");
    const std::string expr = args.positional();
    const std::vector<std::string> files = projectFiles(std::move(docs), args);
    args.done();
    return overFiles(files, "query", [&](DOMDocument* doc, const std::string& prefix) {
        return queryOne(doc, expr, type, asXml, options, prefix);
    });
}

namespace {
// The library writes a string in UTF-16 and says so in its declaration; the tool prints UTF-8, so the
// declaration it prints says UTF-8 too (a reader would refuse the bytes otherwise).
std::string printedAsUtf8(std::string text) {
    if (text.rfind("<?xml", 0) != 0) return text;
    const size_t end = text.find("?>");
    for (const char* label : {"encoding=\"UTF-16\"", "encoding='UTF-16'"}) {
        const size_t at = text.find(label);
        if (at != std::string::npos && at < end) text.replace(at + 10, 6, "UTF-8");
    }
    return text;
}

int writeOut(Args& args, bool filtered) {
    OutputOptions options(args);
    std::vector<std::string> docs = args.options("--doc");
    const std::string expr = args.positional();
    const std::vector<std::string> files = projectFiles(std::move(docs), args);
    args.done();
    return overFiles(files, filtered ? "save" : "write", [&](DOMDocument* doc, const std::string&) {
        dom::Owned<DOMNode> selected;
        if (!expr.empty()) {
            Result r = evaluate(doc, expr, DOMXPathResult::FIRST_ORDERED_NODE_TYPE, resolverFor(doc, options));
            selected.reset(r->getNodeValue());
            if (!selected) throw InputError("'" + expr + "' selects no node");
        }
        DOMNode* node = selected.get();
        std::string text;
        if (filtered) {
            auto* ls = dynamic_cast<dom::ls::DocumentLS*>(doc);
            const XMLCh* saved = ls ? ls->saveToString(node) : nullptr;
            if (!saved) throw InputError("the document could not be saved");
            text = printedAsUtf8(utf8(saved));
        } else {
            dom::Owned<DOMLSSerializer> writer(doc->getImplementation()->createLSSerializer());
            dom::Owned<DOMElement> root(node ? nullptr : doc->getDocumentElement());
            XMLCh* out = writer->writeToString(node ? node : root.get());
            if (!out) throw InputError("the serializer gave no output");
            text = printedAsUtf8(utf8(out));
            XMLPlatformUtils::fgMemoryManager->deallocate(out);
        }
        // Only an element (or the whole project) is a document that can be indented; an attribute or a
        // text written alone is printed as it is.
        const bool indentable = !node || node->getNodeType() == DOMNode::ELEMENT_NODE ||
                                node->getNodeType() == DOMNode::DOCUMENT_NODE;
        if (options.format && indentable && !text.empty()) text = pretty(text);
        if (!options.noout) std::printf("%s\n", text.c_str());
        return 0;
    });
}
} // namespace

int runSave(Args& args) { return writeOut(args, true); }
int runWrite(Args& args) { return writeOut(args, false); }

} // namespace domkw_tool
