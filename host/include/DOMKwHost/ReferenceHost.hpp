// The reference host: an in-memory host application that fills the library's callback table.
//
// Plug-in developers, the command-line tool, the benchmarks and the tests connect the library to it
// exactly as the desktop application would:
//
//     kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
//     host.loadFile("samples/project.xml");
//     Kw::Connect(host.activateRec());
//
// Project files are plain XML whose root element is the application element. Whitespace-only text
// between elements is not content and is dropped; comments and processing instructions are dropped.
// Properties that only the host knows are written in the reserved namespace HOST_NAMESPACE (any prefix,
// "host" by convention) and removed from the content by the loader:
//
//     host:readOnly="true"            on an element: the element and its text refuse changes (status 7)
//     host:implied="a b"              the named attributes of this element are implied (not specified)
//     host:default="a b"              the named attributes carry their default value
//     host:uncopyable="a b"           the named attributes are not copied with the element
//     <host:header name="N" value="V"/>   a child of the application element: one header attribute
//                                     (in file order) that the library writes on an outermost element
//
// The host is single-threaded, like the application it stands for: call it from one thread.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kwhost {

// The namespace of the loader's host-only properties.
constexpr const char16_t* HOST_NAMESPACE = u"urn:domkw:reference-host";

// Statuses the host answers; the low 16 bits are the matching DOMException code.
enum Status : int32_t {
    OK = 0,
    INDEX_SIZE = 1,          // a text position or index out of range
    HIERARCHY_REQUEST = 3,   // a child where it cannot go (into a text, under itself)
    NO_MODIFICATION = 7,     // a read-only element or text
    NOT_FOUND = 8,           // an unknown or freed handle, key, attribute or child
    NOT_SUPPORTED = 9,       // an operation this host does not provide
    INVALID_STATE = 11,      // a reference released more often than acquired; a transaction out of order
    SYNTAX = 12,             // malformed XML text given to InsertNewChild or Import
    INVALID_ACCESS = 15,     // a null argument where the operation needs one
    VALIDATION = 16,         // a value that cannot be converted or a child a rule forbids
};

// A project that could not be loaded; the previous project stays loaded.
class LoadError : public std::runtime_error {
public:
    LoadError(const std::string& message, uint64_t line, uint64_t column)
        : std::runtime_error(message), line(line), column(column) {}
    uint64_t line, column;
};

class ReferenceHost {
public:
    // The one host of the process.
    static ReferenceHost& instance();

    // Loads a project; throws LoadError with line and column on malformed XML. Objects of the previous
    // project that the library still references stay valid (out of the tree) until released.
    void loadFile(const std::string& path);
    void loadString(const std::string& xml, const std::string& systemId = "string");

    // The record to hand to Kw::Connect.
    const Kw::ActivateRec& activateRec() const;

    // The application element of the loaded project (-1 before any load).
    Kw::HostRef application() const;

    // The loaded tree (or the subtree at `root`) as XML, in the host's order. Host-only properties are
    // not written; implied attributes are written only when `withImplied` is set.
    std::string toXml(Kw::HostRef root = -1, bool withImplied = false) const;

    // Accounting, for tests: references the library holds (acquired minus released, counting the
    // reference that InsertNewChild hands over with a new child), live host objects, calls per selector.
    int64_t outstandingReferences() const;
    size_t liveObjects() const;
    uint64_t callCount(int selector) const;
    uint64_t totalCalls() const;
    void resetCallCounts();

    // Failure injection: the `nth` next call of `selector` answers `status` and does nothing else.
    void failAt(int selector, int32_t status, int nth = 1);
    bool failureArmed() const;
    void disarm();

    // Back to a clean accounting state: call counts cleared, failures disarmed. The tree stays.
    void reset();

    // Direct access for tests and tools (not counted as calls): keys and element lookup by a path of
    // tag names from the application element ("project/layout[2]/box").
    Kw::HostKey keyOf(const std::u16string& text);
    std::u16string textOf(Kw::HostKey key) const;
    Kw::HostRef find(const std::string& path) const;
    // References the library holds on one object.
    int64_t referencesOn(Kw::HostRef ref) const;
    bool exists(Kw::HostRef ref) const;

    ReferenceHost(const ReferenceHost&) = delete;
    ReferenceHost& operator=(const ReferenceHost&) = delete;

private:
    ReferenceHost();
    ~ReferenceHost();
};

} // namespace kwhost
