// The host-call trace: with DOMKW_TRACE set in the environment when the library connects, every
// operation of the table is wrapped so that each call the library makes is written to standard error
// (selector name, arguments, status, what it handed back, time), and a summary per operation (calls,
// failures, time, references taken and released) is written when the process ends.
//
//     DOMKW_TRACE=1        every call, then the summary
//     DOMKW_TRACE=summary  the summary only
//     DOMKW_TRACE=off      installed but silent until the variable changes (the shell's "trace on")
#include "HostOperations.hpp"

#include <DOMKwHost/ReferenceHost.hpp>

#include <array>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

namespace kwhost {

using namespace Kw::host;

namespace {

const char* const kSelectorNames[SelectorCount] = {
    "StringToKey",         "KeyToString",          "GetAttributeValue",       "SetAttributeValue",
    "GetAttributeKeys",    "NavigateElement",      "GetElementNameKey",       "AdjustReference",
    "GetNumChildren",      "InsertBeforeChild",    "InsertNewChild",          "RemoveChild",
    "SetTargetEventListener", "SetTypeEventListener", "DispatchEvent",        "ControlEvent",
    "CreateEvent",         "ConvertValue",         "TransactionControl",      "RegisterNamespace",
    "RegisterDeclaration", "ValueMapAccess",       "IsAttributeImplied",      "GetXMLHeaderAttr",
    "Unused24",            "GetAttributeValueNS",  "SetAttributeValueNS",     "ResolveAttributeName",
    "InitTypeDeclaration", "GetTextValue",         "IsTextNode",              "SetTextValue",
    "HasAttributeNS",      "Import",               "GetDOMConfiguration",     "CreateBaseInstance",
    "DeleteBaseInstance",  "DeleteTextValue",      "IsAttributeUncopyable",   "IsReadOnly",
    "RegisterSchemaEnumValue", "ValidateElement",  "ReleaseDocXPathCache",
};

struct PerOperation {
    uint64_t calls = 0, failed = 0;
    double micros = 0;
    int64_t taken = 0, released = 0;
};

struct Trace {
    uint64_t sequence = 0;
    std::array<PerOperation, SelectorCount> ops{};
};

Trace& trace() {
    static Trace t;
    return t;
}

std::string utf8(const XMLCh* text, size_t limit = 48) {
    if (!text) return "null";
    std::string out = "\"";
    size_t n = 0;
    for (; text[n] && n < limit; ++n) {
        const char16_t c = text[n];
        if (c == u'"' || c == u'\\') out += '\\', out += static_cast<char>(c);
        else if (c == u'\n') out += "\\n";
        else if (c == u'\t') out += "\\t";
        else if (c < 0x20) out += '?';
        else if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0x800) out += static_cast<char>(0xC0 | (c >> 6)), out += static_cast<char>(0x80 | (c & 0x3F));
        else if (c >= 0xD800 && c <= 0xDFFF) out += '?'; // half of a pair: not worth a decoder here
        else
            out += static_cast<char>(0xE0 | (c >> 12)), out += static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                out += static_cast<char>(0x80 | (c & 0x3F));
    }
    out += text[n] ? "\"..." : "\"";
    return out;
}

// Keys are the host's: shown with their text, read without counting a call.
std::string key(Kw::HostKey k) {
    if (k == Kw::NO_KEY) return "none";
    const std::u16string text = ReferenceHost::instance().textOf(k);
    return std::to_string(k) + (text.empty() ? "" : "=" + utf8(text.c_str(), 32));
}

template <class T> std::string show(T value) {
    if constexpr (std::is_same_v<T, bool>) return value ? "true" : "false";
    else if constexpr (std::is_same_v<T, Kw::HostKey>) return key(value);
    else if constexpr (std::is_integral_v<T>) return std::to_string(value);
    else if constexpr (std::is_same_v<T, const XMLCh*>) return utf8(value);
    else if constexpr (std::is_pointer_v<T>) {
        if (!value) return "null";
        char text[24];
        std::snprintf(text, sizeof text, "%p", reinterpret_cast<const void*>(value));
        return text;
    } else return "?";
}

// What an output argument holds after the call: a non-const pointer to a number, a flag, a key or a text.
template <class T> std::string shownOutput(T value) {
    if constexpr (std::is_pointer_v<T>) {
        using Pointee = std::remove_pointer_t<T>;
        if constexpr (!std::is_const_v<Pointee> &&
                      (std::is_arithmetic_v<Pointee> || std::is_same_v<Pointee, const XMLCh*>)) {
            return value ? show<Pointee>(*value) : std::string();
        }
    }
    return {};
}

// The setting is read on every call, so that a program (the shell's "trace on|off") can switch the
// lines on and off; "off" keeps counting without writing anything.
const char* setting() {
    const char* value = std::getenv("DOMKW_TRACE");
    return value ? value : "off";
}
bool printsEveryCall() {
    const char* value = setting();
    return std::strcmp(value, "summary") && std::strcmp(value, "off") && std::strcmp(value, "0") && *value;
}

template <int Sel, class Fn> struct Traced;

template <int Sel, class... Args> struct Traced<Sel, Kw::HostStatus (*)(Args...)> {
    static inline Kw::HostStatus (*original)(Args...) = nullptr;

    static Kw::HostStatus call(Args... args) {
        const int64_t before = ReferenceHost::instance().outstandingReferences();
        const auto start = std::chrono::steady_clock::now();
        const Kw::HostStatus status = original(args...);
        const double micros =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        const int64_t change = ReferenceHost::instance().outstandingReferences() - before;
        Trace& t = trace();
        PerOperation& op = t.ops[Sel];
        ++op.calls;
        op.failed += status != 0;
        op.micros += micros;
        (change > 0 ? op.taken : op.released) += change > 0 ? change : -change;
        if (printsEveryCall()) {
            std::string line;
            ((line += (line.empty() ? "" : ", ") + show(args)), ...);
            std::string outputs;
            if (status == 0)
                ((outputs += [&] {
                     const std::string o = shownOutput(args);
                     return o.empty() ? std::string() : (outputs.empty() ? " -> " : ", ") + o;
                 }()),
                 ...);
            std::fprintf(stderr, "trace %6" PRIu64 " %s(%s) = %d%s  %.1f us%s\n", ++t.sequence, kSelectorNames[Sel],
                         line.c_str(), status, outputs.c_str(), micros,
                         change ? (change > 0 ? "  +" + std::to_string(change) + " ref" : "  " + std::to_string(change) + " ref").c_str() : "");
        }
        return status;
    }
};

template <int Sel, class Fn> void wrap(uint64_t table[]) {
    Traced<Sel, Fn>::original = reinterpret_cast<Fn>(table[Sel]);
    table[Sel] = reinterpret_cast<uint64_t>(&Traced<Sel, Fn>::call);
}

void summary() {
    if (!std::strcmp(setting(), "off")) return;
    std::fflush(stdout); // what the program printed comes first
    const Trace& t = trace();
    uint64_t calls = 0;
    double micros = 0;
    int64_t taken = 0, released = 0;
    for (const PerOperation& op : t.ops) calls += op.calls, micros += op.micros, taken += op.taken, released += op.released;
    std::fprintf(stderr, "trace summary: %" PRIu64 " host calls, %.3f ms in the host\n", calls, micros / 1000);
    std::fprintf(stderr, "  %-24s %9s %7s %11s %7s %9s\n", "operation", "calls", "failed", "time (ms)", "refs +",
                 "refs -");
    for (int s = 0; s < SelectorCount; ++s) {
        const PerOperation& op = t.ops[s];
        if (op.calls == 0) continue;
        std::fprintf(stderr, "  %-24s %9" PRIu64 " %7" PRIu64 " %11.3f %7" PRId64 " %9" PRId64 "\n", kSelectorNames[s],
                     op.calls, op.failed, op.micros / 1000, op.taken, op.released);
    }
    std::fprintf(stderr, "  references: %" PRId64 " taken, %" PRId64 " released, %" PRId64 " held at exit%s\n", taken,
                 released, ReferenceHost::instance().outstandingReferences(),
                 ReferenceHost::instance().outstandingReferences() ? " (not given back: a leak, or a document not released)"
                                                                   : "");
}

} // namespace

void installTrace(uint64_t table[]) {
    const char* wanted = std::getenv("DOMKW_TRACE");
    if (!wanted || !*wanted || !std::strcmp(wanted, "0")) return;
    static bool installed = false;
    wrap<StringToKey, StringToKeyFn>(table);
    wrap<KeyToString, KeyToStringFn>(table);
    wrap<GetAttributeValue, GetAttributeValueFn>(table);
    wrap<SetAttributeValue, SetAttributeValueFn>(table);
    wrap<GetAttributeKeys, GetAttributeKeysFn>(table);
    wrap<NavigateElement, NavigateElementFn>(table);
    wrap<GetElementNameKey, GetElementNameKeyFn>(table);
    wrap<AdjustReference, AdjustReferenceFn>(table);
    wrap<GetNumChildren, GetNumChildrenFn>(table);
    wrap<InsertBeforeChild, InsertBeforeChildFn>(table);
    wrap<InsertNewChild, InsertNewChildFn>(table);
    wrap<RemoveChild, RemoveChildFn>(table);
    wrap<SetTargetEventListener, SetTargetEventListenerFn>(table);
    wrap<SetTypeEventListener, SetTypeEventListenerFn>(table);
    wrap<DispatchEvent, DispatchEventFn>(table);
    wrap<ControlEvent, ControlEventFn>(table);
    wrap<CreateEvent, CreateEventFn>(table);
    wrap<ConvertValue, ConvertValueFn>(table);
    wrap<TransactionControl, TransactionControlFn>(table);
    wrap<RegisterNamespace, RegisterNamespaceFn>(table);
    wrap<RegisterDeclaration, RegisterDeclarationFn>(table);
    wrap<ValueMapAccess, ValueMapAccessFn>(table);
    wrap<IsAttributeImplied, IsAttributeImpliedFn>(table);
    wrap<GetXMLHeaderAttr, GetXMLHeaderAttrFn>(table);
    wrap<GetAttributeValueNS, GetAttributeValueNSFn>(table);
    wrap<SetAttributeValueNS, SetAttributeValueNSFn>(table);
    wrap<ResolveAttributeName, ResolveAttributeNameFn>(table);
    wrap<InitTypeDeclaration, InitTypeDeclarationFn>(table);
    wrap<GetTextValue, GetTextValueFn>(table);
    wrap<IsTextNode, IsTextNodeFn>(table);
    wrap<SetTextValue, SetTextValueFn>(table);
    wrap<HasAttributeNS, HasAttributeNSFn>(table);
    wrap<Import, ImportFn>(table);
    wrap<GetDOMConfiguration, GetDOMConfigurationFn>(table);
    wrap<CreateBaseInstance, CreateBaseInstanceFn>(table);
    wrap<DeleteBaseInstance, DeleteBaseInstanceFn>(table);
    wrap<DeleteTextValue, DeleteTextValueFn>(table);
    wrap<IsAttributeUncopyable, IsAttributeUncopyableFn>(table);
    wrap<IsReadOnly, IsReadOnlyFn>(table);
    wrap<RegisterSchemaEnumValue, RegisterSchemaEnumValueFn>(table);
    wrap<ValidateElement, ValidateElementFn>(table);
    wrap<ReleaseDocXPathCache, ReleaseDocXPathCacheFn>(table);
    if (!installed) {
        installed = true;
        trace(); // made before the summary is registered, so that it outlives the summary
        std::atexit(summary);
    }
}

} // namespace kwhost
