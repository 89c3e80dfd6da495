#include "bridge/CallbackTable.hpp"

#include <cstring>

namespace Kw::host {
namespace {

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
    std::memcpy(static_cast<void*>(&t), filled, sizeof(t));
}

} // namespace Kw::host
