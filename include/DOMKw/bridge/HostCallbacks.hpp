// The host callback table: the 43 operations through which the library reaches the host's objects.
// A host fills the table when the library calls the GetCallbacks function of its ActivateRec.
//
// Conventions for every operation:
//  - the result is a 32-bit status, 0 on success;
//  - a host reference is a signed 64-bit handle, negative meaning none;
//  - a key is an unsigned 32-bit value, 0xFFFFFFFF meaning none;
//  - text is NUL-terminated UTF-16; text the host gives out stays the host's and is copied at once;
//  - out-parameters come first where the operation has one, preset by the caller.
#pragma once

#include <cstddef>
#include <cstdint>

#include <xercesc/util/XercesDefs.hpp>

XERCES_CPP_NAMESPACE_BEGIN
class DOMConfiguration;
class DOMNode;
XERCES_CPP_NAMESPACE_END

class DOMBTString;
struct BTStringRef__;

namespace Kw {

using HostRef = int64_t;
using HostKey = uint32_t;
using HostStatus = int32_t;

constexpr HostKey NO_KEY = 0xFFFFFFFFu;

namespace KWLIB {
struct PrefixNamePair;
struct DeclarationRecord;
struct RegArgs;
class ValueMap;
} // namespace KWLIB

// The delivery entry the library hands to the host with every listener registration.
using HandleEventFn = long (*)(void* listenerObject, int unused, void* hostEvent);

namespace host {

enum Selector : int {
    StringToKey = 0,
    KeyToString = 1,
    GetAttributeValue = 2,
    SetAttributeValue = 3,
    GetAttributeKeys = 4,
    NavigateElement = 5,
    GetElementNameKey = 6,
    AdjustReference = 7,
    GetNumChildren = 8,
    InsertBeforeChild = 9,
    InsertNewChild = 10,
    RemoveChild = 11,
    SetTargetEventListener = 12,
    SetTypeEventListener = 13,
    DispatchEvent = 14,
    ControlEvent = 15,
    CreateEvent = 16,
    ConvertValue = 17,
    TransactionControl = 18,
    RegisterNamespace = 19,
    RegisterDeclaration = 20,
    ValueMapAccess = 21,
    IsAttributeImplied = 22,
    GetXMLHeaderAttr = 23,
    Unused24 = 24,
    GetAttributeValueNS = 25,
    SetAttributeValueNS = 26,
    ResolveAttributeName = 27,
    InitTypeDeclaration = 28,
    GetTextValue = 29,
    IsTextNode = 30,
    SetTextValue = 31,
    HasAttributeNS = 32,
    Import = 33,
    GetDOMConfiguration = 34,
    CreateBaseInstance = 35,
    DeleteBaseInstance = 36,
    DeleteTextValue = 37,
    IsAttributeUncopyable = 38,
    IsReadOnly = 39,
    RegisterSchemaEnumValue = 40,
    ValidateElement = 41,
    ReleaseDocXPathCache = 42,
    SelectorCount = 43
};

// NavigateElement directions.
enum Direction : int32_t { Application = 0, FirstChild = 1, Parent = 2, NextSibling = 3, PreviousSibling = 4, ByTag = 5 };

// ConvertValue modes.
enum ConvertMode : int32_t { FixedToText = 0, EnumToText = 1, TextToFixed = 2, TextToEnum = 3 };

// TransactionControl operations.
enum TransactionOp : int32_t {
    Begin = 0, Commit = 1, Abort = 2, Rollback = 7, Destroy = 8, Validate = 9, Create = 10,
    RegisterHandler = 11, UnregisterHandler = 12
};

// ValueMapAccess operations.
enum ValueMapOp : int32_t { GetValue = 0, GetKey = 1, GetKeyCount = 2 };

// The typed signature of every operation, in selector order.
using StringToKeyFn = HostStatus (*)(HostKey* outKey, const XMLCh* text);
using KeyToStringFn = HostStatus (*)(const XMLCh** outText, HostKey key);
using GetAttributeValueFn = HostStatus (*)(const XMLCh** outText, HostRef ref, HostKey name, bool* isDefault);
using SetAttributeValueFn = HostStatus (*)(HostRef ref, HostKey name, const XMLCh* text);
using GetAttributeKeysFn = HostStatus (*)(int32_t* outCount, HostRef ref, HostKey* keys, int32_t capacity);
using NavigateElementFn = HostStatus (*)(HostRef* out, HostRef ref, int32_t direction, HostKey key, int32_t zero);
using GetElementNameKeyFn = HostStatus (*)(HostKey* outKey, int32_t which, HostRef ref);
using AdjustReferenceFn = HostStatus (*)(HostRef ref, bool acquire);
using GetNumChildrenFn = HostStatus (*)(int32_t* outCount, HostRef ref);
using InsertBeforeChildFn = HostStatus (*)(HostRef parent, HostRef newChild, HostRef before);
using InsertNewChildFn = HostStatus (*)(HostRef* out, HostRef parent, const XMLCh* text, HostRef before, uint8_t flag);
using RemoveChildFn = HostStatus (*)(HostRef parent, HostRef child);
using SetTargetEventListenerFn = HostStatus (*)(HandleEventFn callback, int32_t remove, HostKey type, HostRef target,
                                                HostKey targetKey, void* listener, bool useCapture);
using SetTypeEventListenerFn = HostStatus (*)(HandleEventFn callback, int32_t remove, HostKey first, HostKey second,
                                              void* listener, bool useCapture);
using DispatchEventFn = HostStatus (*)(HostRef target, HostKey targetKey, HostRef event, bool* out);
using ControlEventFn = HostStatus (*)(HostRef event, int32_t what, int32_t zero);
using CreateEventFn = HostStatus (*)(HostRef* out, HostKey type);
// x and y carry either a number or a text pointer, by mode.
using ConvertValueFn = HostStatus (*)(void* out, int32_t mode, intptr_t x, intptr_t y, int32_t z);
using TransactionControlFn = HostStatus (*)(void* handle, int32_t operation, int64_t argument);
using RegisterNamespaceFn = HostStatus (*)(const DOMBTString* first, const DOMBTString* second, int32_t n,
                                           const KWLIB::RegArgs* args);
using RegisterDeclarationFn = HostStatus (*)(int32_t kind, const KWLIB::PrefixNamePair* name,
                                             const KWLIB::DeclarationRecord* record, int32_t count,
                                             const KWLIB::RegArgs* args);
using ValueMapAccessFn = HostStatus (*)(void* out, int32_t operation, const KWLIB::ValueMap* map, intptr_t argument);
using IsAttributeImpliedFn = HostStatus (*)(HostRef ref, HostKey name, bool* out);
using GetXMLHeaderAttrFn = HostStatus (*)(int32_t mode, int32_t* number, BTStringRef__** name, BTStringRef__** value);
using Unused24Fn = HostStatus (*)();
using GetAttributeValueNSFn = HostStatus (*)(const XMLCh** outText, HostRef ref, HostKey ns, HostKey local,
                                             bool* isDefault);
using SetAttributeValueNSFn = HostStatus (*)(HostRef ref, HostKey ns, HostKey local, const XMLCh* text);
// out: namespace URI key, qualified name key, prefix key, local name key.
using ResolveAttributeNameFn = HostStatus (*)(HostKey out[4], HostRef ref, HostKey ns, HostKey name);
using InitTypeDeclarationFn = HostStatus (*)(const KWLIB::PrefixNamePair* name);
using GetTextValueFn = HostStatus (*)(const XMLCh** outText, HostRef ref);
using IsTextNodeFn = HostStatus (*)(bool* out, HostRef ref);
using SetTextValueFn = HostStatus (*)(HostRef ref, int32_t position, const XMLCh* text);
using HasAttributeNSFn = HostStatus (*)(bool* out, HostRef ref, HostKey ns, HostKey local);
using ImportFn = HostStatus (*)(const XMLCh* path);
using GetDOMConfigurationFn = HostStatus (*)(XERCES_CPP_NAMESPACE::DOMConfiguration** out);
using CreateBaseInstanceFn = HostStatus (*)(void** outInstance, const KWLIB::PrefixNamePair* type, const XMLCh* text,
                                            void* context, const KWLIB::ValueMap* values);
using DeleteBaseInstanceFn = HostStatus (*)(const void* instance, const KWLIB::PrefixNamePair* type);
using DeleteTextValueFn = HostStatus (*)(HostRef ref, int32_t start, int32_t count);
using IsAttributeUncopyableFn = HostStatus (*)(HostRef ref, HostKey name, int32_t* out);
using IsReadOnlyFn = HostStatus (*)(HostRef ref, bool* out);
using RegisterSchemaEnumValueFn = HostStatus (*)(const XMLCh* value, const KWLIB::PrefixNamePair* type, int32_t number);
using ValidateElementFn = HostStatus (*)(HostRef ref, XERCES_CPP_NAMESPACE::DOMNode* node);
// The argument is the XalanDocument the library evaluated over.
using ReleaseDocXPathCacheFn = HostStatus (*)(const void* xalanDocument);

} // namespace host

// The record a host hands to Connect. The library reads only the fifth field.
using GetCallbacksFn = int32_t (*)(uint64_t table[], int count);
struct ActivateRec {
    void* reserved[4];
    GetCallbacksFn GetCallbacks;
    void* more[3];
};
static_assert(offsetof(ActivateRec, GetCallbacks) == 32, "GetCallbacks is the fifth pointer-sized field");

} // namespace Kw
