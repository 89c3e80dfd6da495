// The process-wide host callback table, private to src/bridge (scripts/check-host-calls keeps it so):
// startBridge writes it during Connect, and only the bridge's named helpers read it through callbacks().
// Before Connect every entry answers a "not connected" status instead of jumping through null.
#pragma once

#include <DOMKw/bridge/HostCallbacks.hpp>

namespace Kw::host {

// Status every operation answers before the library is connected (low 16 bits: DOMException code 11,
// invalid state).
constexpr HostStatus NOT_CONNECTED = 0x7FFF000B;

struct CallbackTable {
    StringToKeyFn StringToKey;
    KeyToStringFn KeyToString;
    GetAttributeValueFn GetAttributeValue;
    SetAttributeValueFn SetAttributeValue;
    GetAttributeKeysFn GetAttributeKeys;
    NavigateElementFn NavigateElement;
    GetElementNameKeyFn GetElementNameKey;
    AdjustReferenceFn AdjustReference;
    GetNumChildrenFn GetNumChildren;
    InsertBeforeChildFn InsertBeforeChild;
    InsertNewChildFn InsertNewChild;
    RemoveChildFn RemoveChild;
    SetTargetEventListenerFn SetTargetEventListener;
    SetTypeEventListenerFn SetTypeEventListener;
    DispatchEventFn DispatchEvent;
    ControlEventFn ControlEvent;
    CreateEventFn CreateEvent;
    ConvertValueFn ConvertValue;
    TransactionControlFn TransactionControl;
    RegisterNamespaceFn RegisterNamespace;
    RegisterDeclarationFn RegisterDeclaration;
    ValueMapAccessFn ValueMapAccess;
    IsAttributeImpliedFn IsAttributeImplied;
    GetXMLHeaderAttrFn GetXMLHeaderAttr;
    Unused24Fn Unused24;
    GetAttributeValueNSFn GetAttributeValueNS;
    SetAttributeValueNSFn SetAttributeValueNS;
    ResolveAttributeNameFn ResolveAttributeName;
    InitTypeDeclarationFn InitTypeDeclaration;
    GetTextValueFn GetTextValue;
    IsTextNodeFn IsTextNode;
    SetTextValueFn SetTextValue;
    HasAttributeNSFn HasAttributeNS;
    ImportFn Import;
    GetDOMConfigurationFn GetDOMConfiguration;
    CreateBaseInstanceFn CreateBaseInstance;
    DeleteBaseInstanceFn DeleteBaseInstance;
    DeleteTextValueFn DeleteTextValue;
    IsAttributeUncopyableFn IsAttributeUncopyable;
    IsReadOnlyFn IsReadOnly;
    RegisterSchemaEnumValueFn RegisterSchemaEnumValue;
    ValidateElementFn ValidateElement;
    ReleaseDocXPathCacheFn ReleaseDocXPathCache;
};
static_assert(sizeof(CallbackTable) == SelectorCount * sizeof(void*), "one pointer per selector");

// The table the facade calls through (every host call reads it: inline).
extern CallbackTable installedTable;

// How many host calls that may change the host's tree the library has made (every operation but the
// reads a walk makes: names, keys, values, navigation, kinds and reference counting). What was read
// when this count had some value still holds while it keeps that value, as far as the library can
// change it; a read is not repeated for that. Counting costs a changing call one increment.
uint64_t changingCalls();
inline const CallbackTable& callbacks() { return installedTable; }

// Copies the 43 words the host filled in, selector by selector.
void installCallbacks(const uint64_t (&words)[SelectorCount]);

} // namespace Kw::host
