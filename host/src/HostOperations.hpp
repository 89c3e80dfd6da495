// The operations implemented outside Operations.cpp, which wires every operation into the table.
#pragma once

#include "HostState.hpp"

namespace kwhost {

// Operations.cpp: what InsertBeforeChild and RemoveChild check before they change anything, for those
// that must know beforehand whether the change will be made. `before` receives the reference child.
int32_t checkMove(Object* parent, Object* child, HostRef beforeRef, Object*& before);
int32_t checkRemoval(const Object* parent, const Object* child);

// ValueConversion.cpp
int32_t opConvertValue(void* out, int32_t mode, intptr_t x, intptr_t y, int32_t z);

// Transactions.cpp
int32_t opTransactionControl(void* handle, int32_t operation, int64_t argument);

// Schema.cpp
int32_t opRegisterNamespace(const DOMBTString* first, const DOMBTString* second, int32_t n,
                            const Kw::KWLIB::RegArgs* args);
int32_t opRegisterDeclaration(int32_t kind, const Kw::KWLIB::PrefixNamePair* name,
                              const Kw::KWLIB::DeclarationRecord* record, int32_t count,
                              const Kw::KWLIB::RegArgs* args);
int32_t opInitTypeDeclaration(const Kw::KWLIB::PrefixNamePair* name);
int32_t opRegisterSchemaEnumValue(const XMLCh* value, const Kw::KWLIB::PrefixNamePair* type, int32_t number);
int32_t opCreateBaseInstance(void** outInstance, const Kw::KWLIB::PrefixNamePair* type, const XMLCh* text,
                             void* context, const Kw::KWLIB::ValueMap* values);
int32_t opDeleteBaseInstance(const void* instance, const Kw::KWLIB::PrefixNamePair* type);
int32_t opValueMapAccess(void* out, int32_t operation, const Kw::KWLIB::ValueMap* map, intptr_t argument);
// The registered enumeration values, for ConvertValue.
int32_t enumNumber(const std::u16string& typeName, const std::u16string& text, int32_t& number);
int32_t enumText(const std::u16string& typeName, int32_t number, const std::u16string*& text);

// EventOperations.cpp
int32_t opSetTargetEventListener(Kw::HandleEventFn callback, int32_t remove, HostKey type, HostRef target,
                                 HostKey targetKey, void* listener, bool useCapture);
int32_t opSetTypeEventListener(Kw::HandleEventFn callback, int32_t remove, HostKey first, HostKey second,
                               void* listener, bool useCapture);
int32_t opDispatchEvent(HostRef target, HostKey targetKey, HostRef event, bool* out);
int32_t opControlEvent(HostRef event, int32_t what, int32_t zero);
int32_t opCreateEvent(HostRef* out, HostKey type);

// Trace.cpp: wraps every operation of a filled table when DOMKW_TRACE is set.
void installTrace(uint64_t table[]);

// Services.cpp
int32_t opValidateElement(HostRef ref, xercesc::DOMNode* node);
int32_t opImport(const XMLCh* path);
int32_t opGetDOMConfiguration(xercesc::DOMConfiguration** out);
int32_t opReleaseDocXPathCache(const void* document);

} // namespace kwhost
