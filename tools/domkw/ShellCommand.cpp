// shell: an interactive session over one project, as xmllint --shell users know it. Line editing and
// history come from libedit (BSD-licensed) when standard input is a terminal; otherwise lines are read
// plainly, so that scripts can drive it. A failed command prints one line and the session goes on.
#include <DOMKw/bridge/Transaction.hpp>
#include <DOMKw/dom/DocumentLS.hpp>
#include <DOMKw/dom/Owned.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <unistd.h>

#ifdef DOMKW_HAVE_LIBEDIT
#include <editline/readline.h>
#endif

#include "ToolSupport.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domkw_tool {

namespace {

const char* const kShellHelp =
    "  ls [PATH]            the children of the current node (or of PATH)\n"
    "  cd [PATH]            go to the element PATH selects (XPath from here; none: the root element)\n"
    "  pwd                  where you are\n"
    "  cat [PATH]           the node (or PATH) as XML\n"
    "  xpath EXPR           evaluate EXPR from here\n"
    "  set NAME VALUE       set an attribute of the current element\n"
    "  rm PATH              remove the node PATH selects\n"
    "  mv PATH DEST         move the node PATH selects to the end of the element DEST selects\n"
    "  edit TEXT            the text of the current element\n"
    "  begin | commit | undo   a host transaction: start, keep, or undo its changes\n"
    "  save FILE            the whole project as XML\n"
    "  trace on|off         every host call of the following commands\n"
    "  help | quit\n";

// "a 'b c' \"d\"" -> a, b c, d
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (char c : line) {
        if (quote) {
            if (c == quote) quote = 0;
            else word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) out.push_back(word), word.clear(), inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote) throw UsageError("a quote is not closed");
    if (inWord) out.push_back(word);
    return out;
}

std::string trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

using Result = dom::Owned<DOMXPathResult>;

class Shell {
public:
    explicit Shell(DOMDocument* doc) : doc(doc), current(doc->getDocumentElement()) {}

    int run() {
        interactive = isatty(0);
        for (std::string line; readLine(line);) {
            const std::string text = trimmed(line);
            if (text.empty()) continue;
            const size_t space = text.find_first_of(" \t");
            const std::string command = text.substr(0, space);
            const std::string rest = space == std::string::npos ? "" : trimmed(text.substr(space));
            if (command == "quit" || command == "exit") break;
            try {
                dispatch(command, rest);
            } catch (...) {
                std::printf("error: %s\n", describeFailure(std::current_exception()).c_str());
            }
            std::fflush(stdout);
        }
        if (transaction) std::printf("the open transaction was undone\n");
        return 0;
    }

private:
    bool readLine(std::string& line) {
        const std::string prompt = "domkw " + here() + " > ";
#ifdef DOMKW_HAVE_LIBEDIT
        if (interactive) {
            char* read = readline(prompt.c_str());
            if (!read) return false;
            line = read;
            if (!trimmed(line).empty()) add_history(read);
            std::free(read);
            return true;
        }
#endif
        if (interactive) {
            std::printf("%s", prompt.c_str());
            std::fflush(stdout);
        }
        return static_cast<bool>(std::getline(std::cin, line));
    }

    std::string here() const {
        return current ? locationPath(current.get()) : "/";
    }

    void dispatch(const std::string& command, const std::string& rest) {
        static const std::map<std::string, void (Shell::*)(const std::string&)> table = {
            {"ls", &Shell::ls},         {"cd", &Shell::cd},         {"pwd", &Shell::pwd},
            {"cat", &Shell::cat},       {"xpath", &Shell::xpath},   {"set", &Shell::set},
            {"rm", &Shell::rm},         {"mv", &Shell::mv},         {"edit", &Shell::edit},
            {"begin", &Shell::begin},   {"commit", &Shell::commit}, {"undo", &Shell::undo},
            {"save", &Shell::save},     {"trace", &Shell::trace},   {"help", &Shell::help},
        };
        auto it = table.find(command);
        if (it == table.end()) throw UsageError("unknown command '" + command + "' (try help)");
        (this->*it->second)(rest);
    }

    // The first node PATH selects from the current node.
    dom::Owned<DOMNode> select(const std::string& path) {
        if (path.empty()) throw UsageError("a path is needed");
        const std::u16string expr = utf16(path);
        Result r(doc->evaluate(expr.c_str(), current.get(), nullptr, DOMXPathResult::FIRST_ORDERED_NODE_TYPE,
                               nullptr));
        dom::Owned<DOMNode> node(r->getNodeValue());
        if (!node) throw InputError("'" + path + "' selects no node");
        return node;
    }
    // PATH's node, or a new hand-out of the current one.
    dom::Owned<DOMNode> target(const std::string& path) {
        return select(path.empty() ? "." : path);
    }

    void ls(const std::string& path) {
        dom::Owned<DOMNode> at = target(path);
        for (dom::Owned<DOMNode> c(at->getFirstChild()); c; c.reset(c->getNextSibling())) {
            if (c->getNodeType() == DOMNode::ELEMENT_NODE) {
                std::string line = utf8(c->getNodeName());
                if (DOMNamedNodeMap* attrs = c->getAttributes())
                    for (XMLSize_t i = 0; i < attrs->getLength(); ++i) {
                        dom::Owned<DOMNode> a(attrs->item(i));
                        line +=
                            " " + utf8(a->getNodeName()) + "=\"" + escaped(utf8(a->getNodeValue())) + "\"";
                    }
                std::printf("  %s\n", line.c_str());
            } else {
                std::printf("  #text \"%s\"\n", escaped(utf8(c->getNodeValue())).c_str());
            }
        }
    }

    void cd(const std::string& path) {
        dom::Owned<DOMNode> node =
            path.empty() ? dom::Owned<DOMNode>(doc->getDocumentElement()) : select(path);
        if (node->getNodeType() != DOMNode::ELEMENT_NODE)
            throw InputError("'" + path + "' is not an element");
        // "cd ." hands out the current element again: moving it in ends the old claim, not the element.
        current = std::move(node);
    }

    void pwd(const std::string&) { std::printf("%s\n", here().c_str()); }

    void cat(const std::string& path) {
        dom::Owned<DOMNode> node = target(path);
        dom::Owned<DOMLSSerializer> writer(doc->getImplementation()->createLSSerializer());
        XMLCh* out = writer->writeToString(node.get());
        if (!out) throw InputError("the serializer gave no output");
        const std::string text = utf8(out);
        XMLPlatformUtils::fgMemoryManager->deallocate(out);
        std::printf("%s\n", text.c_str());
    }

    void xpath(const std::string& expr) {
        if (expr.empty()) throw UsageError("xpath EXPR");
        const std::u16string text = utf16(expr);
        Result r(doc->evaluate(text.c_str(), current.get(), nullptr, DOMXPathResult::ANY_TYPE, nullptr));
        switch (r->getResultType()) {
        case DOMXPathResult::NUMBER_TYPE: {
            char number[64];
            std::snprintf(number, sizeof number, "%.15g", r->getNumberValue());
            std::printf("%s\n", number);
            return;
        }
        case DOMXPathResult::STRING_TYPE: std::printf("%s\n", utf8(r->getStringValue()).c_str()); return;
        case DOMXPathResult::BOOLEAN_TYPE: std::printf("%s\n", r->getBooleanValue() ? "true" : "false"); return;
        case DOMXPathResult::ANY_TYPE: throw InputError("'" + expr + "' gives no XPath value (an unbound variable?)");
        default: break;
        }
        Result nodes(doc->evaluate(text.c_str(), current.get(), nullptr,
                                   DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE, nullptr));
        if (nodes->getSnapshotLength() == 0) std::printf("XPath set is empty\n");
        for (XMLSize_t i = 0; nodes->snapshotItem(i); ++i) {
            dom::Owned<DOMNode> n(nodes->getNodeValue());
            std::printf("%s\t%s\n", locationPath(n.get()).c_str(), escaped(stringValue(n.get())).c_str());
        }
    }

    DOMElement* currentElement() {
        if (!current || current->getNodeType() != DOMNode::ELEMENT_NODE)
            throw InputError("not at an element");
        return static_cast<DOMElement*>(current.get());
    }

    void set(const std::string& rest) {
        const std::vector<std::string> w = words(rest);
        if (w.size() != 2) throw UsageError("set NAME VALUE");
        currentElement()->setAttribute(utf16(w[0]).c_str(), utf16(w[1]).c_str());
    }

    void rm(const std::string& path) {
        if (path.empty()) throw UsageError("rm PATH");
        dom::Owned<DOMNode> node = select(path);
        if (node->getNodeType() == DOMNode::ATTRIBUTE_NODE) {
            dom::Owned<DOMElement> owner(static_cast<DOMAttr*>(node.get())->getOwnerElement());
            owner->removeAttribute(node->getNodeName());
            return;
        }
        if (node->isSameNode(current.get()))
            throw InputError("cannot remove the current element; cd elsewhere first");
        dom::Owned<DOMNode> parent(node->getParentNode());
        if (!parent) throw InputError("'" + path + "' has no parent");
        dom::Owned<DOMNode> removed(parent->removeChild(node.get()));
    }

    void mv(const std::string& rest) {
        const std::vector<std::string> w = words(rest);
        if (w.size() != 2) throw UsageError("mv PATH DEST");
        dom::Owned<DOMNode> node = select(w[0]), destination = select(w[1]);
        if (destination->getNodeType() != DOMNode::ELEMENT_NODE)
            throw InputError("'" + w[1] + "' is not an element");
        dom::Owned<DOMNode> moved(destination->appendChild(node.get()));
    }

    void edit(const std::string& text) {
        DOMElement* element = currentElement();
        for (dom::Owned<DOMNode> c(element->getFirstChild()); c; c.reset(c->getNextSibling())) {
            if (c->getNodeType() == DOMNode::TEXT_NODE) {
                static_cast<DOMText*>(c.get())->setData(utf16(text).c_str());
                return;
            }
        }
        dom::Owned<DOMText> fresh(doc->createTextNode(utf16(text).c_str()));
        dom::Owned<DOMNode> added(element->appendChild(fresh.get()));
    }

    void begin(const std::string&) {
        if (transaction) throw InputError("a transaction is open already");
        auto t = std::make_unique<Kw::Transaction>();
        if (!t->Begin()) throw InputError("the host refused to begin a transaction");
        transaction = std::move(t);
        std::printf("transaction begun\n");
    }
    void commit(const std::string&) {
        if (!transaction) throw InputError("no transaction is open");
        if (!transaction->Commit()) throw InputError("the host refused the commit");
        transaction.reset();
        std::printf("committed\n");
    }
    void undo(const std::string&) {
        if (!transaction) throw InputError("no transaction is open");
        if (!transaction->Abort()) throw InputError("the host refused to undo");
        transaction.reset();
        std::printf("undone\n");
    }

    void save(const std::string& rest) {
        const std::vector<std::string> w = words(rest);
        if (w.size() != 1) throw UsageError("save FILE");
        dom::Owned<DOMElement> root(doc->getDocumentElement());
        dom::Owned<DOMLSSerializer> writer(doc->getImplementation()->createLSSerializer());
        XMLCh* out = writer->writeToString(root.get());
        if (!out) throw InputError("the serializer gave no output");
        const std::string text = utf8(out);
        XMLPlatformUtils::fgMemoryManager->deallocate(out);
        FILE* file = std::fopen(w[0].c_str(), "wb");
        if (!file) throw InputError(w[0] + ": cannot write the file");
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fputc('\n', file) != EOF;
        if (std::fclose(file) != 0 || !written) throw InputError(w[0] + ": cannot write the file");
        std::printf("saved %zu bytes to %s\n", text.size() + 1, w[0].c_str());
    }

    void trace(const std::string& rest) {
        if (rest != "on" && rest != "off") throw UsageError("trace on|off");
        setenv("DOMKW_TRACE", rest == "on" ? "1" : "off", 1);
    }

    void help(const std::string&) { std::fputs(kShellHelp, stdout); }

    DOMDocument* doc;
    dom::Owned<DOMNode> current; // the element the session is at
    std::unique_ptr<Kw::Transaction> transaction;
    bool interactive = false;
};

} // namespace

int runShell(Args& args) {
    std::vector<std::string> docs = args.options("--doc");
    const std::vector<std::string> files = projectFiles(std::move(docs), args);
    args.done();
    if (files.size() != 1) throw UsageError("the shell works on one project");
    // The trace is wired in when the library connects, silent until "trace on".
    if (!std::getenv("DOMKW_TRACE")) setenv("DOMKW_TRACE", "off", 1);
    Project project(files.front());
    return Shell(project.document()).run();
}

} // namespace domkw_tool
