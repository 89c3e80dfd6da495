#include "bridge/CallbackTable.hpp"

#include <atomic>
#include <cstring>

namespace Kw::host {
namespace {

// What the host filled in; the installed table calls the changing operations through it, counted.
CallbackTable hostTable;
std::atomic<uint64_t> changes{0};

template <class Fn, Fn CallbackTable::*Entry> struct Counted;
template <class R, class... Args, R (*CallbackTable::*Entry)(Args...)> struct Counted<R (*)(Args...), Entry> {
    static R call(Args... args) {
        changes.fetch_add(1, std::memory_order_relaxed);
        return (hostTable.*Entry)(args...);
    }
};
#define DOMKW_COUNTED(entry) t.entry = &Counted<decltype(t.entry), &CallbackTable::entry>::call

// Every operation but the plain reads of the tree goes through the counter, whether it changes anything
// or not: counting one too many only costs a read again.
void countChanges(CallbackTable& t) {
    DOMKW_COUNTED(SetAttributeValue), DOMKW_COUNTED(InsertBeforeChild), DOMKW_COUNTED(InsertNewChild);
    DOMKW_COUNTED(RemoveChild), DOMKW_COUNTED(SetTargetEventListener), DOMKW_COUNTED(SetTypeEventListener);
    DOMKW_COUNTED(DispatchEvent), DOMKW_COUNTED(ControlEvent), DOMKW_COUNTED(CreateEvent);
    DOMKW_COUNTED(ConvertValue), DOMKW_COUNTED(TransactionControl), DOMKW_COUNTED(RegisterNamespace);
    DOMKW_COUNTED(RegisterDeclaration), DOMKW_COUNTED(ValueMapAccess), DOMKW_COUNTED(Unused24);
    DOMKW_COUNTED(SetAttributeValueNS), DOMKW_COUNTED(InitTypeDeclaration), DOMKW_COUNTED(SetTextValue);
    DOMKW_COUNTED(Import), DOMKW_COUNTED(GetDOMConfiguration), DOMKW_COUNTED(CreateBaseInstance);
    DOMKW_COUNTED(DeleteBaseInstance), DOMKW_COUNTED(DeleteTextValue), DOMKW_COUNTED(RegisterSchemaEnumValue);
    DOMKW_COUNTED(ValidateElement), DOMKW_COUNTED(ReleaseDocXPathCache);
}
#undef DOMKW_COUNTED

template <class... Args> HostStatus notConnected(Args...) { return NOT_CONNECTED; }

template <class R, class... Args> constexpr void stub(R (*&slot)(Args...)) { slot = &notConnected<Args...>; }

constexpr CallbackTable makeUnconnected() {
    CallbackTable t{};
    stub(t.StringToKey), stub(t.KeyToString), stub(t.GetAttributeValue), stub(t.SetAttributeValue);
    stub(t.GetAttributeKeys), stub(t.NavigateElement), stub(t.GetElementNameKey), stub(t.AdjustReference);
    stub(t.GetNumChildren), stub(t.InsertBeforeChild), stub(t.InsertNewChild), stub(t.RemoveChild);
    stub(t.SetTargetEventListener), stub(t.SetTypeEventListener), stub(t.DispatchEvent), stub(t.ControlEvent);
    stub(t.CreateEvent), stub(t.ConvertValue), stub(t.TransactionControl), stub(t.RegisterNamespace);
    stub(t.RegisterDeclaration), stub(t.ValueMapAccess), stub(t.IsAttributeImplied), stub(t.GetXMLHeaderAttr);
    stub(t.Unused24), stub(t.GetAttributeValueNS), stub(t.SetAttributeValueNS), stub(t.ResolveAttributeName);
    stub(t.InitTypeDeclaration), stub(t.GetTextValue), stub(t.IsTextNode), stub(t.SetTextValue);
    stub(t.HasAttributeNS), stub(t.Import), stub(t.GetDOMConfiguration), stub(t.CreateBaseInstance);
    stub(t.DeleteBaseInstance), stub(t.DeleteTextValue), stub(t.IsAttributeUncopyable), stub(t.IsReadOnly);
    stub(t.RegisterSchemaEnumValue), stub(t.ValidateElement), stub(t.ReleaseDocXPathCache);
    return t;
}

} // namespace

// Filled at compile time: a call made before Connect, even from another file's static initialisation,
// finds the stubs.
CallbackTable installedTable = makeUnconnected();

void installCallbacks(const uint64_t (&words)[SelectorCount]) {
    CallbackTable& t = installedTable;
    static_assert(sizeof(words) == sizeof(t), "the table is the host's words, in selector order");
    const CallbackTable unconnected = makeUnconnected();
    uint64_t filled[SelectorCount];
    std::memcpy(filled, &unconnected, sizeof(filled));
    // A word that still holds a selector number (or 0) was not filled by the host: keep the stub there
    // rather than jump to it later.
    for (int i = 0; i < SelectorCount; ++i)
        if (words[i] >= static_cast<uint64_t>(SelectorCount)) filled[i] = words[i];
    std::memcpy(static_cast<void*>(&hostTable), filled, sizeof(t));
    CallbackTable counted = hostTable;
    countChanges(counted);
    changes.fetch_add(1, std::memory_order_relaxed); // another host: nothing read before holds
    t = counted;
}

uint64_t changingCalls() { return changes.load(std::memory_order_relaxed); }

} // namespace Kw::host
