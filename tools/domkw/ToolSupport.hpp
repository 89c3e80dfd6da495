// What the domkw commands share: arguments, errors, the loaded project, and output.
#pragma once

#include <DOMKw/dom/Owned.hpp>

#include <xercesc/dom/DOMDocument.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace domkw_tool {

// Bad usage: exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// Bad input (malformed XML, an invalid expression, invalid text): exit status 1.
struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The arguments after the command. Options ("--name", "--name VALUE") are taken from anywhere before
// a "--"; everything after "--" is positional, even when it starts with "-". A lone "-" is positional
// (standard input).
class Args {
public:
    Args(int argc, char** argv);
    // Takes "--name" if present.
    bool flag(const std::string& name);
    // Takes "--name VALUE"; `fallback` when absent.
    std::string option(const std::string& name, const std::string& fallback = "");
    // Takes every "--name VALUE", in order.
    std::vector<std::string> options(const std::string& name);
    // Takes the next positional argument; `fallback` when none is left.
    std::string positional(const std::string& fallback = "");
    bool hasPositional() const;
    // Refuses anything not taken.
    void done() const;

private:
    std::vector<std::string> items; // before "--"
    std::vector<std::string> rest;  // after "--"
};

// Loads a project (a file, or standard input for "-"), connects the library once per process and opens
// a document. The document is released when the Project goes, so node guards must go before it.
class Project {
public:
    explicit Project(const std::string& file);
    // The project of --doc FILE, or the bundled sample.
    explicit Project(Args& args);
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;
    XERCES_CPP_NAMESPACE::DOMDocument* document() const { return doc.get(); }

private:
    dom::Owned<XERCES_CPP_NAMESPACE::DOMDocument> doc;
};

// The projects a command reads: the --doc FILE values (taken before any positional argument, so that a
// value is not read as one), then the positional arguments left; the bundled sample when there are none.
std::vector<std::string> projectFiles(std::vector<std::string> docs, Args& args);

// The largest project read from standard input.
constexpr size_t kMaxStdinProjectBytes = size_t(512) << 20;

// The bundled sample project.
std::string samplePath();

// A whole number from the command line, in [min, max]: digits only (no sign, no spaces), UsageError
// naming `what` otherwise. strtoull alone would take "-5" as a huge number and saturate on overflow.
uint64_t parseNumber(const std::string& text, const std::string& what, uint64_t min, uint64_t max);

// Refuses a path that is missing or a directory with an InputError naming it.
void requireFile(const std::string& path);
// The whole content of a file (or of standard input for "-"), refused past `limit` bytes so that a
// device like /dev/zero cannot grow memory without bound.
std::string readBounded(const std::string& path, size_t limit);

std::string utf8(const XMLCh* text);
std::u16string utf16(const std::string& text);

// Tabs, line ends and backslashes escaped, so that a value stays on one line.
std::string escaped(const std::string& s);
// A node's XPath string value, and its absolute location path as XML tools print it
// ("/application/project/layout[2]/box[3]", ".../@name", ".../text()").
std::string stringValue(XERCES_CPP_NAMESPACE::DOMNode* node);
std::string locationPath(XERCES_CPP_NAMESPACE::DOMNode* node);

// The first node EXPR selects (or none for no EXPR); InputError for an invalid expression or no match.
dom::Owned<XERCES_CPP_NAMESPACE::DOMNode> selectFirst(XERCES_CPP_NAMESPACE::DOMDocument* doc,
                                                      const std::string& expr);

// An encoding of convert: its identifier, and for UTF-16 and UTF-32 named without a byte order, that a
// byte-order mark is read (either order) and written (big-endian).
struct Encoding {
    uint32_t id;
    bool byteOrderMark;
};
// An identifier (21 resolved to the system default), a name or an ICU alias, or "map"; UsageError else.
Encoding encodingOf(const std::string& name, bool haveMap);
// The identifiers and names convert accepts, for its help.
std::string encodingList();

// One line for any failure a command raised: the tool's own errors, the library's DOM and XPath
// exceptions, the host's load errors, and anything else.
std::string describeFailure(std::exception_ptr failure);

int runQuery(Args& args);
int runSave(Args& args);
int runWrite(Args& args);
int runEvents(Args& args);
int runConvert(Args& args);
int runMapcheck(Args& args);
int runGen(Args& args);
int runShell(Args& args);

} // namespace domkw_tool
