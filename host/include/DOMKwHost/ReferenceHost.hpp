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
//
// Besides the document, the host provides what a plug-in's schema and editing code rely on:
//
// Measurements (ConvertValue modes 0 and 2; Kw::FixedToString, Kw::StringToFixed). A measurement is a
// 32-bit fixed-point number of points, 16.16 (FIXED_ONE is one point). The unit numbers are the
// constants of kwhost::units below; each is written with its suffix:
//
//     POINTS          0  "pt"  1 pt
//     INCHES          1  "\""  72 pt
//     DECIMAL_INCHES  2  "in"  72 pt
//     PICAS           3  "p"   12 pt (compound: picas and points)
//     MILLIMETRES     4  "mm"  72 / 25.4 pt
//     CENTIMETRES     5  "cm"  72 / 2.54 pt
//     CICEROS         6  "c"   12 Didot points of 0.376065 mm (compound: ciceros and Didot points)
//     AGATES          7  "ag"  72 / 14 pt
//     Q               8  "q"   0.25 mm
//     PIXELS          9  "px"  1 pt (72 pixels an inch)
//
//  - FixedToString(unit, value, n) writes the value in the unit with n decimals (0 to 8), then the suffix:
//    "12.50pt", "1.000in". Picas and ciceros are written whole units, the suffix, then the rest in points
//    or Didot points with n decimals: "3p6" (3 picas 6 points), "-1c2.5".
//  - StringToFixed(unit, text, n) reads a number with an optional sign, decimals and suffix (letters in
//    any case, spaces around the number allowed): "12.5pt", "1in", "1.5\"", "3p6", "p6", "2c", "-4mm".
//    Text without a suffix is in `unit`. The result is rounded to the nearest 1/65536 point; n is not used.
//  - Refusals: an unknown unit number answers NOT_SUPPORTED; text that is not a measurement, a value
//    beyond the 16.16 range or n outside 0 to 8 answers VALIDATION.
//
// Enumerations (ConvertValue modes 1 and 3; Kw::EnumToString, Kw::StringToEnum) are the values registered
// with RegisterSchemaEnumValue: a type name (split at its first ':' like KWLIB::seperatePrefixName), a
// text and a number. Registering a text again for a type changes its number; a number written as text
// gives the first text registered with it. An unknown type answers NOT_FOUND, an unknown text or number
// VALIDATION.
//
// Transactions (TransactionControl; Kw::Transaction). Two models:
//     LOGGED (0)      every change made through the host operations (attribute writes, text edits,
//                     insertions, moves, removals, imports) between begin and its end goes to an undo log.
//                     Commit keeps the changes; abort undoes them, newest first, and ends the transaction;
//                     rollback undoes them and leaves the transaction active for more changes.
//     UNLOGGED (1)    changes are made at once and not logged: commit ends the transaction, abort and
//                     rollback answer NOT_SUPPORTED.
//  Another model number is refused with NOT_SUPPORTED at creation. Order rules, answered INVALID_STATE:
//  begin on an active transaction, or while another transaction is active (one at a time); commit, abort or
//  rollback on a transaction that is not active. Destroying an active transaction aborts it. An unknown
//  handle answers NOT_FOUND. A removed element stays alive while the log can still put it back. Loading a
//  project forgets the log of the active transaction (its changes can no longer be undone). Handlers
//  (register, unregister) and validators (Transaction::Validate) are recorded, never called; a null
//  address is refused with INVALID_ACCESS, registering a handler twice with INVALID_STATE.
//
// Schema registration (RegisterNamespace, RegisterDeclaration, InitTypeDeclaration,
// RegisterSchemaEnumValue): the host keeps every registration it accepts, in order, exactly as it arrived
// (keys, record fields, RegArgs copied); tests read them back with namespaces(), declarations(),
// initializedTypes() and enumValues(). Kinds 0 to 4 declare complex types, 5 elements, 6 attributes,
// 7 default elements. A namespace registration binds a prefix (first text) to a URI (second text); core
// documents use DomSchemaConstants::kBaseNamespaceUriRC, plug-ins kBaseNamespaceUriKw. Refusals:
//  - a null argument: INVALID_ACCESS;
//  - a declaration kind outside 0 to 7: NOT_SUPPORTED;
//  - a name without a local part, a key the host never issued, an empty namespace URI: VALIDATION;
//  - a count below 0 or above MAX_REG_ARGS: INDEX_SIZE;
//  - a prefix bound already to another URI: INVALID_STATE (the first binding stays);
//  - InitTypeDeclaration and CreateBaseInstance of a type that no kind 0 to 4 declared: NOT_FOUND.
//
// Element rules (ValidateElement): a child is refused under a read-only element (NO_MODIFICATION), under a
// text (HIERARCHY_REQUEST), and when RegisterElement(name, parent, type) named a parent for the child's
// name and the element is not one (VALIDATION). A node that cannot be a child at all (document, attribute)
// is refused with HIERARCHY_REQUEST.
//
// Base instances (CreateBaseInstance, DeleteBaseInstance) are host records of a registered type: the
// text, the context pointer and a copy of the value map given. Value maps are kwhost::ValueMap objects;
// ValueMapAccess answers for a live one and NOT_FOUND for any other address.
//
// Import(path) loads a project file and appends its root element to the application element (journaled).
// A null path INVALID_ACCESS, a file that cannot be read NOT_FOUND, malformed XML SYNTAX, a read-only
// application element NO_MODIFICATION; a refused import changes nothing.
//
// GetDOMConfiguration hands out the configuration of a Xerces-C document the host owns (one for the
// process). ReleaseDocXPathCache counts the releases per document (xpathCacheReleases); the host keeps
// no XPath cache of its own.
//
// Events (CreateEvent, SetTargetEventListener, SetTypeEventListener, DispatchEvent, ControlEvent). An event
// object is a host object outside the tree whose properties are attributes, read and written with the
// attribute operations like an element's. The host's own writes to an event (below) bypass the undo log;
// writes through SetAttributeValue are logged like any attribute write while a transaction is active.
//  - CreateEvent(type) makes one of any non-empty type name; the handle is borrowed (the caller acquires
//    its own reference) and the event lives while references to it are held. The type's interface part
//    (before the first ',', or the whole name) decides the attributes it starts with: every event
//    "eventType" (the name), "canBubble" and "cancelable" "false", "eventPhase" "0", "target" and
//    "currentTarget" "-1/N" (no node; N is the key of "null"); UIEvent, MouseEvent and TextEvent "detail"
//    "0"; MouseEvent "ScreenX", "ScreenY", "ClientX", "ClientY", "modifiers", "Button" "0" and
//    "relatedTarget" "null"; TextEvent "OutputString" "", "keyVal", "VirtKeyVal", "modifiers" "0",
//    "VisibleOutputGenerated", "numPad" "false"; MutationEvent "relatedNode" "null", "prevValue",
//    "newValue", "attrName" "", "attrChange", "mutationState" "0"; SlugEvent "slugID" and the two binary
//    attributes "". The empty name is refused with NOT_SUPPORTED, an unknown key with NOT_FOUND.
//  - Node references are written "handle/key": an element or text handle and an attribute key, the key
//    of "null" standing for the node itself.
//  - Listeners on a node (SetTargetEventListener) are keyed by target (element or text handle, and the
//    attribute key or the key of "null"), type key, callback, listener and capture flag; listeners by
//    names (SetTypeEventListener) by the first name, the second name, callback, listener and capture
//    flag. The first name is an event type; the second is the name of the nodes the listener hears (an
//    element's tag name, "#text", an attribute's name), or "" (or no key) for every node. Adding a
//    registration that exists is a no-op; removing one that does not answers NOT_FOUND. Adding a null
//    listener does nothing. A callback of null answers INVALID_ACCESS, an unknown key or target (an event
//    object is not a target) NOT_FOUND, an operation other than 0 (add) or 1 (remove) NOT_SUPPORTED.
//    Registrations stay when a project is loaded (targets of the old project never match again); tests
//    read them with listeners() and drop them with clearListeners().
//  - DispatchEvent(target, key, event) runs the DOM event flow. The path is the target's ancestors, root
//    first; an attribute has none (only its own listeners hear its events). Capture: each ancestor from
//    the root down, capture listeners only (phase 1). At target: the target's listeners of both kinds
//    (phase 2). Bubble, only when "canBubble" reads "true" (or "1"): each ancestor from the parent up,
//    non-capture listeners only (phase 3). At every node the node's own listeners run first, then the
//    listeners by names that hear it, each group in registration order. Before each call the host writes
//    "eventPhase", "target" and "currentTarget", then calls callback(listener, phase, event handle). A
//    listener removed during the dispatch is not called any more; one added for a node already visited
//    is not called. ControlEvent 0 (stop propagation) ends the flow once the current node's listeners
//    have run; 1 (prevent default) is remembered when "cancelable" reads "true". Each dispatch starts
//    afresh; the output flag is true unless the default was prevented. The event and the nodes on the
//    path are kept alive until the dispatch ends. Refusals: a null flag INVALID_ACCESS; an unknown event
//    or target NOT_FOUND; an event without a type, or one already being dispatched, INVALID_STATE.
//    ControlEvent outside a dispatch does nothing; an operation other than 0 or 1 answers NOT_SUPPORTED.
//    deliveryCount() and lastDeliveryResult() count the callback calls and keep the last result.
//  - Mutation events. While anyone listens for a "MutationEvent,..." type, changes made through the host
//    operations raise it, once the change is made, with cancelable "false":
//      InsertNewChild, InsertBeforeChild, Import: "DOMNodeInserted" at the new child (bubbles;
//        relatedNode the parent), "DOMNodeInsertedIntoDocument" at it and each node below it when it
//        entered the application's tree (no bubbling), then "DOMSubtreeModified" at the parent (bubbles).
//      RemoveChild, and a move by InsertBeforeChild first: before the node leaves (it is still under its
//        parent and among its parent's children), "DOMNodeRemoved" at the child (bubbles; relatedNode the
//        parent) and, when it is in the application's tree, "DOMNodeRemovedFromDocument" at it and each
//        node below it; once it has left, "DOMSubtreeModified" at the old parent. Nothing is announced
//        for a removal the host is going to refuse. The removed node stays alive until its events are over.
//      SetAttributeValue, SetAttributeValueNS: "DOMAttrModified" at the element (bubbles; relatedNode the
//        attribute, attrName its qualified name, prevValue, newValue, attrChange 1 modification or
//        2 addition), then "DOMSubtreeModified" at the element.
//      SetTextValue, DeleteTextValue: "DOMCharacterDataModified" at the text (bubbles; prevValue,
//        newValue), then "DOMSubtreeModified" at the text.
//    relatedNode is "null" where none is named; "mutationState" is "0". A write that leaves the value
//    as it was, changes to event objects, and changes undone by a transaction raise nothing.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>
#include <DOMKw/bridge/KWLIB.hpp>
#include <DOMKw/bridge/Transaction.hpp>
#include <DOMKw/strings/SimpleType.hpp>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// The arguments of a namespace or declaration registration, as this host defines them: extra facets of
// the declaration, a name and a value each (null reads as "").
struct Kw::KWLIB::RegArgs {
    const XMLCh* name = nullptr;
    const XMLCh* value = nullptr;
};

namespace kwhost {

// The namespace of the loader's host-only properties.
constexpr const char16_t* HOST_NAMESPACE = u"urn:domkw:reference-host";

// The most attributes one element may carry: the library reads an element's attribute names into an
// array of this many, so a further one would be invisible to it and lost when the element is saved.
// A file or inserted text past it is refused; SetAttributeValue(NS) answers INDEX_SIZE for a new one.
constexpr size_t MAX_ATTRIBUTES = 255;
// The deepest nesting of elements (the application element is level 1) a file may have, or a text
// inserted with InsertNewChild may reach, or a move with InsertBeforeChild may build; deeper ones are
// refused (both operations answer INDEX_SIZE and change nothing).
// Saving a subtree costs stack per level (the serializer recurses): at this depth a save needs well under
// half a MiB of stack, even in a sanitized build.
constexpr size_t MAX_DEPTH = 1000;

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

// Measurement units (see the top of this file).
namespace units {
constexpr XSD::Measurement::Enum POINTS{0}, INCHES{1}, DECIMAL_INCHES{2}, PICAS{3}, MILLIMETRES{4},
    CENTIMETRES{5}, CICEROS{6}, AGATES{7}, Q{8}, PIXELS{9};
} // namespace units
constexpr int32_t FIXED_ONE = 0x10000; // one point in 16.16

// Transaction models (see the top of this file).
constexpr Kw::Transaction::Model LOGGED{0}, UNLOGGED{1};

// The most arguments one declaration may carry.
constexpr int32_t MAX_REG_ARGS = 1024;

struct RegArgsCopy {
    std::u16string name, value;
};

struct NamespaceRegistration {
    std::u16string prefix, uri;
    int32_t number = 0;
    RegArgsCopy args;
};

struct DeclarationRegistration {
    int32_t kind = -1;
    Kw::KWLIB::PrefixNamePair name;
    bool hasRecord = false;
    Kw::KWLIB::DeclarationRecord record;
    int32_t count = 0;
    std::vector<RegArgsCopy> args; // `count` entries when arguments were given
};

struct EnumValue {
    Kw::KWLIB::PrefixNamePair type;
    std::u16string text;
    int32_t number = 0;
};

struct BaseInstance {
    Kw::KWLIB::PrefixNamePair type;
    std::u16string text;
    bool hasText = false;
    void* context = nullptr;
    std::vector<std::pair<std::u16string, std::u16string>> values; // the value map's entries, copied
};

// A value map the host owns: plug-ins receive its address as a KWLIB::ValueMap. The host answers for it
// from the moment it is made until it is destroyed.
class ValueMap : public Kw::KWLIB::ValueMap {
public:
    ValueMap();
    ~ValueMap();
    // Adds the key, or changes its value.
    void set(const std::u16string& key, const std::u16string& value);
    const std::vector<std::pair<std::u16string, std::u16string>>& entries() const { return fEntries; }

private:
    std::vector<std::pair<std::u16string, std::u16string>> fEntries;
};

// One listener registration (see the top of this file).
struct ListenerRegistration {
    bool byNames = false;
    Kw::HostRef target = -1;           // on a node: element or text handle
    Kw::HostKey targetKey = Kw::NO_KEY; // on a node: attribute key, or the key of "null" for the node
    Kw::HostKey type = Kw::NO_KEY;      // on a node: the event type
    Kw::HostKey first = Kw::NO_KEY, second = Kw::NO_KEY; // by names
    Kw::HandleEventFn callback = nullptr;
    void* listener = nullptr;
    bool useCapture = false;
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
    // A release refused by an injected failure leaves the reference held (the caller cannot tell). This
    // performs the refused releases now, so that the accounting can go on, and answers how many there were.
    size_t settleRefusedReleases();

    // Back to a clean accounting state: call counts cleared, failures disarmed, the depth bound MAX_DEPTH
    // again. The tree stays.
    void reset();
    // The deepest nesting accepted from now on (loads, inserted text, moves), for tests of what a host
    // without the bound hands the library; reset() puts MAX_DEPTH back.
    void setDepthBound(size_t levels);

    // Direct access for tests and tools (not counted as calls): keys and element lookup by a path of
    // tag names from the application element ("project/layout[2]/box").
    Kw::HostKey keyOf(const std::u16string& text);
    std::u16string textOf(Kw::HostKey key) const;
    Kw::HostRef find(const std::string& path) const;
    // References the library holds on one object.
    int64_t referencesOn(Kw::HostRef ref) const;
    bool exists(Kw::HostRef ref) const;

    // Registrations, in the order they were accepted.
    const std::vector<NamespaceRegistration>& namespaces() const;
    const std::vector<DeclarationRegistration>& declarations() const;
    const std::vector<Kw::KWLIB::PrefixNamePair>& initializedTypes() const;
    const std::vector<EnumValue>& enumValues() const;
    // The live base instance at the address CreateBaseInstance stored (null when there is none).
    const BaseInstance* baseInstance(const void* instance) const;
    size_t baseInstanceCount() const;
    uint64_t xpathCacheReleases(const void* document) const;
    // Forgets every registration, base instance and XPath release count (a plug-in's schema lives for
    // the process otherwise, across project loads).
    void clearRegistrations();

    // Transactions: how many exist, and the state of one (by its handle, Transaction::GetImpl).
    size_t transactionCount() const;
    bool transactionActive(const void* handle) const;
    std::vector<const void*> transactionHandlers(const void* handle) const;
    const std::vector<const void*>& validators() const;
    void clearValidators();
    // Changes the active transaction can still undo.
    size_t undoLogLength() const;

    // Events: the registrations in force, in registration order; dropping them all; the callback calls
    // made by dispatches and the last one's result; the host event objects alive.
    std::vector<ListenerRegistration> listeners() const;
    void clearListeners();
    uint64_t deliveryCount() const;
    long lastDeliveryResult() const;
    size_t liveEvents() const;

    ReferenceHost(const ReferenceHost&) = delete;
    ReferenceHost& operator=(const ReferenceHost&) = delete;

private:
    ReferenceHost();
    ~ReferenceHost();
};

} // namespace kwhost
