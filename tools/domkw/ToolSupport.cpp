#include "ToolSupport.hpp"

#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/dom/Object.hpp>
#include <DOMKwHost/ReferenceHost.hpp>
#include <DOMKw/bridge/Exceptions.hpp>
#include <DOMKw/xpath/XPathException.hpp>

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/dom/DOMXPathException.hpp>
#include <xercesc/util/XMLException.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/TransService.hpp>

#include <algorithm>
#include <exception>
#include <new>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace XERCES_CPP_NAMESPACE;

namespace domkw_tool {

Args::Args(int argc, char** argv) {
    int i = 0;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) items.emplace_back(argv[i]);
    for (++i; i < argc; ++i) rest.emplace_back(argv[i]);
}

namespace {
bool isOption(const std::string& s) { return s.size() > 1 && s[0] == '-' && s[1] == '-'; }
} // namespace

bool Args::flag(const std::string& name) {
    auto it = std::find(items.begin(), items.end(), name);
    if (it == items.end()) return false;
    items.erase(it);
    return true;
}

std::string Args::option(const std::string& name, const std::string& fallback) {
    auto it = std::find(items.begin(), items.end(), name);
    if (it == items.end()) return fallback;
    if (it + 1 == items.end()) throw UsageError(name + " needs a value");
    std::string value = *(it + 1);
    items.erase(it, it + 2);
    return value;
}

std::vector<std::string> Args::options(const std::string& name) {
    std::vector<std::string> values;
    for (auto it = std::find(items.begin(), items.end(), name); it != items.end();
         it = std::find(items.begin(), items.end(), name)) {
        if (it + 1 == items.end()) throw UsageError(name + " needs a value");
        values.push_back(*(it + 1));
        items.erase(it, it + 2);
    }
    return values;
}

std::string Args::positional(const std::string& fallback) {
    for (auto it = items.begin(); it != items.end(); ++it) {
        if (isOption(*it)) continue;
        std::string value = *it;
        items.erase(it);
        return value;
    }
    if (!rest.empty()) {
        std::string value = rest.front();
        rest.erase(rest.begin());
        return value;
    }
    return fallback;
}

bool Args::hasPositional() const {
    return !rest.empty() || std::any_of(items.begin(), items.end(), [](const std::string& s) { return !isOption(s); });
}

void Args::done() const {
    if (!items.empty()) throw UsageError("unexpected argument '" + items.front() + "'");
    if (!rest.empty()) throw UsageError("unexpected argument '" + rest.front() + "'");
}

std::string samplePath() {
    // Next to an installed tool (share/domkw/samples), else the source tree this tool was built from.
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = 0;
        std::string dir(self);
        dir.resize(dir.rfind('/'));
        const std::string installed = dir + "/" DOMKW_INSTALLED_SAMPLES "/project.xml";
        if (access(installed.c_str(), R_OK) == 0) return installed;
    }
    return DOMKW_SOURCE_SAMPLES "/project.xml";
}

uint64_t parseNumber(const std::string& text, const std::string& what, uint64_t min, uint64_t max) {
    const std::string range = " (" + std::to_string(min) + " to " + std::to_string(max) + ")";
    if (text.empty() || text.size() > 20 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= '0' && c <= '9'; }))
        throw UsageError(what + " needs a whole number" + range + ", not '" + text + "'");
    errno = 0;
    const unsigned long long n = std::strtoull(text.c_str(), nullptr, 10);
    if (errno == ERANGE || n < min || n > max) throw UsageError(what + " is out of range" + range + ": " + text);
    return n;
}

void requireFile(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) throw InputError(path + ": cannot open the file (" + std::strerror(errno) + ")");
    if (S_ISDIR(info.st_mode)) throw InputError(path + ": is a directory");
}

std::string readBounded(const std::string& path, size_t limit) {
    FILE* in = stdin;
    if (path != "-") {
        requireFile(path);
        in = std::fopen(path.c_str(), "rb");
        if (!in) throw InputError(path + ": cannot open the file (" + std::strerror(errno) + ")");
    }
    std::string text;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
        if (text.size() + n > limit) {
            if (in != stdin) std::fclose(in);
            throw InputError((path == "-" ? std::string("standard input") : path) + ": larger than " +
                             std::to_string(limit >> 20) + " MiB, refused");
        }
        text.append(buffer, n);
    }
    const bool failed = std::ferror(in);
    if (in != stdin) std::fclose(in);
    if (failed) throw InputError(path + ": cannot read the file");
    return text;
}

Project::Project(Args& args) : Project(args.option("--doc", samplePath())) {}

Project::Project(const std::string& file) {
    kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
    try {
        if (file == "-") {
            host.loadString(readBounded("-", kMaxStdinProjectBytes), "standard input");
        } else {
            requireFile(file);
            host.loadFile(file);
        }
    } catch (const kwhost::LoadError& e) {
        throw InputError(e.what());
    }
    static const bool connected = (Kw::Connect(host.activateRec()), true);
    (void)connected;
    DOMImplementation* impl = DOMImplementationRegistry::getDOMImplementation(u"Tellam 6.0");
    doc.reset(impl ? impl->createDocument() : nullptr);
    if (!doc) throw InputError(file + ": the host has no application element");
}

std::vector<std::string> projectFiles(std::vector<std::string> files, Args& args) {
    while (args.hasPositional()) files.push_back(args.positional());
    if (files.empty()) files.push_back(samplePath());
    if (std::count(files.begin(), files.end(), "-") > 1) throw UsageError("standard input can be read once");
    return files;
}

std::string utf8(const XMLCh* text) {
    if (!text || !*text) return {};
    TranscodeToStr bytes(text, "UTF-8");
    return std::string(reinterpret_cast<const char*>(bytes.str()), bytes.length());
}

std::u16string utf16(const std::string& text) {
    TranscodeFromStr units(reinterpret_cast<const XMLByte*>(text.data()), text.size(), "UTF-8");
    return std::u16string(units.str(), units.length());
}

namespace {
// Position among the siblings of the same kind and name: 0 when the node is the only one.
int position(DOMNode* node) {
    auto same = [&](DOMNode* other) {
        return other->getNodeType() == node->getNodeType() &&
               (node->getNodeType() != DOMNode::ELEMENT_NODE || utf8(other->getNodeName()) == utf8(node->getNodeName()));
    };
    int before = 0, after = 0;
    for (dom::Owned<DOMNode> s(node->getPreviousSibling()); s; s.reset(s->getPreviousSibling()))
        if (same(s.get())) ++before;
    for (dom::Owned<DOMNode> s(node->getNextSibling()); s; s.reset(s->getNextSibling()))
        if (same(s.get())) ++after;
    return before + after == 0 ? 0 : before + 1;
}

} // namespace

std::string escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

std::string stringValue(DOMNode* node) {
    switch (node->getNodeType()) {
    case DOMNode::ELEMENT_NODE:
    case DOMNode::DOCUMENT_NODE: {
        std::string text;
        for (dom::Owned<DOMNode> c(node->getFirstChild()); c; c.reset(c->getNextSibling()))
            text += stringValue(c.get());
        return text;
    }
    default: return utf8(node->getNodeValue());
    }
}

std::string locationPath(DOMNode* node) {
    if (!node || node->getNodeType() == DOMNode::DOCUMENT_NODE) return "";
    if (node->getNodeType() == DOMNode::ATTRIBUTE_NODE) {
        dom::Owned<DOMElement> owner(static_cast<DOMAttr*>(node)->getOwnerElement());
        return locationPath(owner.get()) + "/@" + utf8(node->getNodeName());
    }
    std::string step = node->getNodeType() == DOMNode::TEXT_NODE ? "text()" : utf8(node->getNodeName());
    if (const int pos = position(node)) step += "[" + std::to_string(pos) + "]";
    dom::Owned<DOMNode> parent(node->getParentNode());
    return locationPath(parent.get()) + "/" + step;
}

std::string describeFailure(std::exception_ptr failure) {
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

} // namespace domkw_tool
