// domkw: the command-line front end over the library and the reference host.
//
//   domkw query EXPR [--type any|number|string|boolean|nodes|first] [--doc FILE]
//   domkw save [EXPR] [--doc FILE]          saveToString of the document or the first node selected
//   domkw write [EXPR] [--doc FILE]         the same through the serializer, without the filter
//   domkw events [--type TYPE] [--doc FILE] listeners and a short series of changes, every delivery shown
//   domkw convert --from ENC --to ENC [--map FILE]   standard input to standard output
//   domkw mapcheck FILE                     a mapping file's error log and summary
//   domkw gen --elements N [--seed S]       a synthetic project
//
// Exit status: 0 done, 1 bad input (malformed XML, an invalid expression, invalid text), 2 bad usage.
#include "ToolSupport.hpp"

#include <DOMKw/bridge/Exceptions.hpp>
#include <DOMKw/xpath/XPathException.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/dom/DOMXPathException.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XercesVersion.hpp>
#include <xalanc/Include/XalanVersion.hpp>
#include <unicode/uvernum.h>

#include <cstring>
#include <new>
#include <functional>
#include <exception>
#include <map>
#include <string>

namespace {

using namespace domkw_tool;

const char* const kUsage =
    "usage: domkw COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  query EXPR [--type any|number|string|boolean|nodes|first]   evaluate an XPath expression\n"
    "  save [EXPR]             the document (or the first node EXPR selects) as saveToString writes it\n"
    "  write [EXPR]            the same through the serializer without the filter\n"
    "  events [--type TYPE]    listen, make a few changes, and show every delivery\n"
    "  convert --from ENC --to ENC [--map FILE]   convert standard input to standard output\n"
    "  mapcheck FILE           check a code-page mapping file\n"
    "  gen --elements N [--seed S]   write a synthetic project of about N elements\n"
    "\n"
    "Every command that reads a project takes --doc FILE; without it the bundled sample project is used.\n"
    "Run 'domkw COMMAND --help' for the details of one command.\n";

std::string failureText(std::exception_ptr failure) {
    using namespace XERCES_CPP_NAMESPACE;
    try {
        std::rethrow_exception(failure);
    } catch (const InputError& e) {
        return e.what();
    } catch (const kwhost::LoadError& e) {
        return e.what();
    } catch (const dom::xpath::XPathException& e) {
        return "XPath error " + std::to_string(e.code) +
               (e.code == dom::xpath::XPathException::TYPE_ERR ? " (type error)" : " (invalid expression)");
    } catch (const DOMXPathException& e) {
        return "XPath error " + std::to_string(e.code) + ": " + utf8(e.getMessage());
    } catch (const DOMException& e) {
        const std::string text = utf8(e.getMessage());
        return "DOM error " + std::to_string(e.code) + (text.empty() ? "" : ": " + text);
    } catch (const XMLException& e) {
        return "XML error: " + utf8(e.getMessage());
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (dom::Exceptions::KwErrorCodes code) {
        return "DOM error " + std::to_string(static_cast<int>(code));
    } catch (long status) {
        return "host status " + std::to_string(status);
    } catch (int status) {
        return "status " + std::to_string(status);
    } catch (...) {
        return "unexpected failure";
    }
}

struct Command {
    const char* help;
    std::function<int(Args&)> run;
};

const std::map<std::string, Command>& commands() {
    static const std::map<std::string, Command> table = {
        {"query", {"usage: domkw query EXPR [--type any|number|string|boolean|nodes|first] [--doc FILE]\n"
                   "Evaluates EXPR over the project. A number is written as XPath's string() writes it, a\n"
                   "string as it is, a boolean as true or false, a node-set one node per line: its location\n"
                   "path, a tab, and its string value with tabs and line ends escaped.\n",
                   runQuery}},
        {"save", {"usage: domkw save [EXPR] [--doc FILE]\n"
                  "Writes the document (or the first node EXPR selects) through saveToString, as UTF-8:\n"
                  "elements that hold neither text nor specified attributes are left out.\n",
                  runSave}},
        {"write", {"usage: domkw write [EXPR] [--doc FILE]\n"
                   "Writes the document (or the first node EXPR selects) through the serializer, as UTF-8.\n",
                   runWrite}},
        {"events", {"usage: domkw events [--type TYPE] [--doc FILE]\n"
                    "Registers listeners for TYPE (default: every mutation event) on the project, makes a short\n"
                    "series of changes through the DOM (insert an element, set an attribute, edit a text,\n"
                    "remove the element) and prints every delivery: type, phase, target, related node, values.\n",
                    runEvents}},
        {"convert", {"usage: domkw convert --from ENC --to ENC [--map FILE]\n"
                     "Converts standard input to standard output. ENC is an encoding identifier, its name\n"
                     "(windows-1252, UTF-8, ...), or 'map' for the mapping file given with --map. Unmappable\n"
                     "characters are substituted and reported; invalid input stops the conversion with its\n"
                     "byte offset.\n",
                     runConvert}},
        {"mapcheck", {"usage: domkw mapcheck FILE\n"
                      "Parses a code-page mapping file, builds its tables, prints the error log and a summary.\n"
                      "Exit status 1 when the log has errors (duplicate entries are warnings).\n",
                      runMapcheck}},
        {"gen", {"usage: domkw gen --elements N [--seed S]\n"
                 "Writes a synthetic project of about N elements with the sample's shape.\n",
                 runGen}},
    };
    return table;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && !std::strcmp(argv[1], "--version")) {
        std::printf("domkw %s (Xerces-C %s, Xalan-C %s, ICU %s)\n", DOMKW_VERSION, XERCES_FULLVERSIONDOT,
                    XALAN_FULLVERSIONDOT, U_ICU_VERSION);
        return 0;
    }
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    auto it = commands().find(argv[1]);
    if (it == commands().end()) {
        std::fprintf(stderr, "domkw: unknown command '%s' (try 'domkw --help')\n", argv[1]);
        return 2;
    }
    try {
        Args args(argc - 2, argv + 2);
        if (args.flag("--help") || args.flag("-h")) {
            std::fputs(it->second.help, stdout);
            if (it->first == "convert") std::fputs(("\n" + encodingList()).c_str(), stdout);
            return 0;
        }
        return it->second.run(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "domkw %s: %s\n", argv[1], e.what());
        return 2;
    } catch (...) {
        // Whatever a command meets ends as one line and status 1: the library's DOM and XPath
        // exceptions, the host's load errors, and anything else.
        std::fprintf(stderr, "domkw %s: %s\n", argv[1], failureText(std::current_exception()).c_str());
        return 1;
    }
}
