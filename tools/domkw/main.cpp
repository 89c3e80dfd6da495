// domkw: the command-line front end over the library and the reference host. The commands, their
// options and exit statuses are in kUsage and the per-command help below.
#include "ToolSupport.hpp"

#include <DOMKw/bridge/Exceptions.hpp>
#include <DOMKw/xpath/XPathException.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/dom/DOMXPathException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XercesVersion.hpp>
#include <xalanc/Include/XalanVersion.hpp>
#include <unicode/uvernum.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <functional>
#include <exception>
#include <map>
#include <string>

namespace {

using namespace domkw_tool;

const char* const kUsage =
    "usage: domkw [--trace | --trace=summary] COMMAND [ARGS]\n"
    "       domkw --version | --help\n"
    "\n"
    "commands:\n"
    "  query EXPR [FILE...]    evaluate an XPath expression (--type, --xml, --format, --noout, --ns P=URI)\n"
    "  save [EXPR [FILE...]]   the document (or the first node EXPR selects) as saveToString writes it\n"
    "  write [EXPR [FILE...]]  the same through the serializer without the filter\n"
    "  events [--type TYPE]    listen, make a few changes, and show every delivery\n"
    "  convert --from ENC --to ENC [--map FILE]   convert standard input to standard output\n"
    "  mapcheck FILE           check a code-page mapping file\n"
    "  gen --elements N [--seed S]   write a synthetic project of about N elements\n"
    "  shell [FILE]            an interactive session: ls, cd, cat, xpath, set, rm, mv, edit, begin/commit/undo\n"
    "\n"
    "A project is read from each FILE (or --doc FILE; '-' is standard input), or the bundled sample project\n"
    "when none is given. '--' ends the options. --trace writes every call the library makes into the host\n"
    "to standard error, and a summary per operation (calls, failures, time, references taken and\n"
    "released); DOMKW_TRACE=1 or DOMKW_TRACE=summary does the same for any program on the reference host.\n"
    "\n"
    "Exit status: 0 done, 1 bad input (malformed XML, an invalid expression, a refused change),\n"
    "2 bad usage, 10 an XPath node-set was empty.\n"
    "Run 'domkw COMMAND --help' for the details of one command.\n";

struct Command {
    const char* help;
    std::function<int(Args&)> run;
};

const std::map<std::string, Command>& commands() {
    static const std::map<std::string, Command> table = {
        {"query", {"usage: domkw query EXPR [FILE...] [--type any|number|string|boolean|nodes|first] [--xml]\n"
                   "                  [--format] [--noout] [--ns PREFIX=URI]... [--doc FILE]...\n"
                   "Evaluates EXPR over each project. A number is written as XPath's string() writes it, a\n"
                   "string as it is, a boolean as true or false, a node-set one node per line: its location\n"
                   "path, a tab, and its string value with tabs and line ends escaped. --xml writes each node\n"
                   "as XML instead (an attribute as ' name=\"value\"'), --format indents it, --noout writes\n"
                   "nothing. --ns binds a prefix (the prefixes the project's root element declares are bound\n"
                   "too). An empty node-set prints \"XPath set is empty\" and exits with status 10. With several\n"
                   "files each line starts with the file name and a colon.\n",
                   runQuery}},
        {"save", {"usage: domkw save [EXPR [FILE...]] [--format] [--noout] [--ns PREFIX=URI]... [--doc FILE]...\n"
                  "Writes the document (or the first node EXPR selects) through saveToString, as UTF-8:\n"
                  "elements that hold neither text nor specified attributes are left out. --format indents.\n",
                  runSave}},
        {"write", {"usage: domkw write [EXPR [FILE...]] [--format] [--noout] [--ns PREFIX=URI]... [--doc FILE]...\n"
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
        {"shell", {"usage: domkw shell [FILE] [--doc FILE]\n"
                   "An interactive session over the project, with line editing and history on a terminal.\n"
                   "Commands:\n"
                   "  ls [PATH], cd [PATH], pwd, cat [PATH], xpath EXPR, set NAME VALUE, rm PATH, mv PATH DEST,\n"
                   "  edit TEXT, begin, commit, undo, save FILE, trace on|off, help, quit\n"
                   "PATH is XPath from the current element. A failed command prints one line; the session goes on.\n",
                   runShell}},
        {"gen", {"usage: domkw gen --elements N [--seed S]\n"
                 "Writes a synthetic project of about N elements with the sample's shape.\n",
                 runGen}},
    };
    return table;
}

} // namespace

namespace {
// --trace (or --trace=summary): the reference host's call trace, switched on through the environment
// before the library connects.
bool takeTrace(const char* arg) {
    if (std::strcmp(arg, "--trace") && std::strcmp(arg, "--trace=summary")) return false;
    setenv("DOMKW_TRACE", std::strcmp(arg, "--trace") ? "summary" : "1", 1);
    return true;
}
} // namespace

int main(int argc, char** argv) {
    while (argc >= 2 && takeTrace(argv[1])) {
        --argc;
        ++argv;
    }
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
        // Text conversion and messages need Xerces-C before any project is loaded.
        XERCES_CPP_NAMESPACE::XMLPlatformUtils::Initialize();
        Args args(argc - 2, argv + 2);
        if (args.flag("--trace")) takeTrace("--trace");
        if (args.flag("--trace=summary")) takeTrace("--trace=summary");
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
        std::fprintf(stderr, "domkw %s: %s\n", argv[1], describeFailure(std::current_exception()).c_str());
        return 1;
    }
}
