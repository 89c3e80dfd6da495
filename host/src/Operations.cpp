// The host's side of the callback table: tree, attribute, text and key operations, and the wiring of
// every operation into the table. The changes of the tree, attributes and text are wired announced:
// the store's operation runs inside the announcer of its mutation events (MutationAnnouncer.hpp).
#include "HostOperations.hpp"
#include "MutationAnnouncer.hpp"
#include "XmlLoader.hpp"

#include <DOMKw/strings/DOMBTString.hpp>

#include <algorithm>
#include <cstring>

namespace kwhost {

using namespace Kw::host;

namespace {

Store& S() {
    return state().store;
}

#define ENTER KWHOST_ENTER

Object* element(HostRef ref) {
    Object* obj = S().get(ref);
    return obj && obj->kind == Object::Element ? obj : nullptr;
}

Object* textObject(HostRef ref) {
    Object* obj = S().get(ref);
    return obj && obj->kind == Object::Text ? obj : nullptr;
}

int32_t opStringToKey(HostKey* out, const XMLCh* text) {
    ENTER(StringToKey);
    if (!out || !text) return INVALID_ACCESS;
    *out = S().keys.intern(text);
    return OK;
}

int32_t opKeyToString(const XMLCh** out, HostKey key) {
    ENTER(KeyToString);
    if (!out) return INVALID_ACCESS;
    const std::u16string* text = S().keys.text(key);
    if (!text) return NOT_FOUND;
    *out = text->c_str();
    return OK;
}

int32_t readAttribute(const Attribute* a, const XMLCh** out, bool* isDefault) {
    if (!a) return NOT_FOUND;
    *out = a->value.c_str();
    if (isDefault) *isDefault = a->isDefault;
    return OK;
}

int32_t opGetAttributeValue(const XMLCh** out, HostRef ref, HostKey name, bool* isDefault) {
    ENTER(GetAttributeValue);
    Object* obj = element(ref);
    if (!out || !obj) return out ? NOT_FOUND : INVALID_ACCESS;
    return readAttribute(obj->attribute(name), out, isDefault);
}

int32_t opGetAttributeValueNS(const XMLCh** out, HostRef ref, HostKey ns, HostKey local, bool* isDefault) {
    ENTER(GetAttributeValueNS);
    Object* obj = element(ref);
    if (!out || !obj) return out ? NOT_FOUND : INVALID_ACCESS;
    return readAttribute(obj->attributeNS(ns, local), out, isDefault);
}

int32_t opSetAttributeValue(HostRef ref, HostKey name, const XMLCh* text) {
    ENTER(SetAttributeValue);
    Object* obj = element(ref);
    if (!obj || !S().keys.known(name)) return NOT_FOUND;
    if (!text) return INVALID_ACCESS;
    if (readOnly(obj)) return NO_MODIFICATION;
    if (Attribute* a = obj->attribute(name)) {
        S().writeAttribute(obj, *a, text);
        return OK;
    }
    if (obj->attributes.size() >= MAX_ATTRIBUTES) return INDEX_SIZE;
    Attribute a;
    a.name = name;
    S().splitName(name, a.prefix, a.local);
    const std::u16string& qname = *S().keys.text(name);
    if (qname == u"xmlns" || qname.rfind(u"xmlns:", 0) == 0)
        a.ns = S().xmlnsUri;
    else if (a.prefix != NO_KEY)
        a.ns = S().lookupNamespace(obj, a.prefix);
    a.value = text;
    S().addAttribute(obj, std::move(a));
    return OK;
}

int32_t opSetAttributeValueNS(HostRef ref, HostKey ns, HostKey local, const XMLCh* text) {
    ENTER(SetAttributeValueNS);
    Object* obj = element(ref);
    if (!obj || !S().keys.text(local)) return NOT_FOUND;
    if (!text) return INVALID_ACCESS;
    if (readOnly(obj)) return NO_MODIFICATION;
    if (Attribute* a = obj->attributeNS(ns, local)) {
        S().writeAttribute(obj, *a, text);
        return OK;
    }
    if (obj->attributes.size() >= MAX_ATTRIBUTES) return INDEX_SIZE;
    // A new attribute takes the prefix bound to its namespace here, if any.
    Attribute a;
    a.ns = ns;
    a.local = local;
    a.name = local;
    if (ns != NO_KEY) {
        for (const Object* at = obj; at && a.prefix == NO_KEY; at = at->parent)
            for (const Attribute& d : at->attributes)
                if (d.ns == S().xmlnsUri && d.prefix != NO_KEY && S().keys.intern(d.value) == ns) {
                    a.prefix = d.local;
                    a.name = S().keys.intern(*S().keys.text(d.local) + u":" + *S().keys.text(local));
                    break;
                }
    }
    a.value = text;
    S().addAttribute(obj, std::move(a));
    return OK;
}

int32_t opGetAttributeKeys(int32_t* outCount, HostRef ref, HostKey* keys, int32_t capacity) {
    ENTER(GetAttributeKeys);
    Object* obj = element(ref);
    if (!outCount || !keys) return INVALID_ACCESS;
    if (!obj) return NOT_FOUND;
    int32_t n = 0;
    for (const Attribute& a : obj->attributes) {
        if (n >= capacity) break;
        keys[n++] = a.name;
    }
    *outCount = n;
    return OK;
}

Object* firstByTag(Object* root, HostKey tag) {
    // Document order, without recursion.
    Object* node = root->firstChild;
    while (node) {
        if (node->kind == Object::Element && node->tag == tag) return node;
        if (node->firstChild) {
            node = node->firstChild;
            continue;
        }
        while (node && !node->next && node != root) node = node->parent;
        if (!node || node == root) return nullptr;
        node = node->next;
    }
    return nullptr;
}

int32_t opNavigateElement(HostRef* out, HostRef ref, int32_t direction, HostKey key, int32_t) {
    ENTER(NavigateElement);
    if (!out) return INVALID_ACCESS;
    if (direction == Application) {
        if (!S().application) return NOT_FOUND;
        *out = S().application->handle;
        return OK;
    }
    Object* obj = S().get(ref);
    if (!obj) return NOT_FOUND;
    Object* result = nullptr;
    switch (direction) {
    case FirstChild:
        result = obj->firstChild;
        break;
    case Parent:
        result = obj->parent;
        break;
    case NextSibling:
        result = obj->next;
        break;
    case PreviousSibling:
        result = obj->prev;
        break;
    case ByTag:
        result = firstByTag(obj, key);
        break;
    default:
        return NOT_SUPPORTED;
    }
    *out = result ? result->handle : -1;
    return OK;
}

int32_t opGetElementNameKey(HostKey* out, int32_t which, HostRef ref) {
    ENTER(GetElementNameKey);
    Object* obj = S().get(ref);
    if (!out) return INVALID_ACCESS;
    if (!obj) return NOT_FOUND;
    if (which != 0 && which != 1) return NOT_SUPPORTED;
    *out = which == 0 ? obj->tag : obj->ns;
    return OK;
}

int32_t opAdjustReference(HostRef ref, bool acquire) {
    if (int32_t injected = state().enter(AdjustReference)) {
        // A refused release leaves the reference held; tests settle it with settleRefusedReleases().
        if (!acquire && S().get(ref)) state().refusedReleases.push_back(ref);
        return injected;
    }
    Object* obj = S().get(ref);
    if (!obj) return NOT_FOUND;
    if (acquire) {
        ++obj->refs;
        ++S().outstanding;
        return OK;
    }
    if (obj->refs <= 0) return INVALID_STATE;
    --obj->refs;
    --S().outstanding;
    if (obj->refs == 0) S().collect(obj);
    return OK;
}

int32_t opGetNumChildren(int32_t* out, HostRef ref) {
    ENTER(GetNumChildren);
    Object* obj = S().get(ref);
    if (!out) return INVALID_ACCESS;
    if (!obj) return NOT_FOUND;
    *out = obj->childCount;
    return OK;
}

bool isAncestorOrSelf(const Object* candidate, const Object* of) {
    for (; of; of = of->parent)
        if (of == candidate) return true;
    return false;
}

// Checks that `child` may go under `parent` before `before`; the child may still be elsewhere.
int32_t checkInsertion(Object* parent, Object* child, HostRef beforeRef, Object*& before) {
    before = nullptr;
    if (beforeRef >= 0) {
        before = S().get(beforeRef);
        if (!before || before->parent != parent) return NOT_FOUND;
    }
    if (parent->kind != Object::Element) return HIERARCHY_REQUEST;
    if (child && isAncestorOrSelf(child, parent)) return HIERARCHY_REQUEST;
    if (readOnly(parent)) return NO_MODIFICATION;
    if (child && child->parent && readOnly(child->parent)) return NO_MODIFICATION;
    return OK;
}

// Levels of elements from `obj` up to the top of its tree, `obj` included.
size_t levelsDownTo(const Object* obj) {
    size_t levels = 0;
    for (; obj; obj = obj->parent) ++levels;
    return levels;
}

// Levels of elements in the subtree of `top`, `top` included (text counts as no level). A loop, not
// recursion: the subtree may be as deep as the tree allows.
size_t subtreeLevels(const Object* top) {
    if (top->kind != Object::Element) return 0;
    size_t deepest = 1, level = 1;
    const Object* at = top;
    for (;;) {
        const Object* down = at->firstChild;
        while (down && down->kind != Object::Element) down = down->next;
        if (down) {
            at = down;
            deepest = std::max(deepest, ++level);
            continue;
        }
        // Up to the next element sibling of this node or of an ancestor inside the subtree.
        for (;;) {
            if (at == top) return deepest;
            const Object* side = at->next;
            while (side && side->kind != Object::Element) side = side->next;
            if (side) {
                at = side;
                break;
            }
            at = at->parent;
            --level;
        }
    }
}

} // namespace

int32_t checkMove(Object* parent, Object* child, HostRef beforeRef, Object*& before) {
    if (int32_t s = checkInsertion(parent, child, beforeRef, before)) return s;
    if (before == child) return OK;
    // Files and inserted text are held to MAX_DEPTH levels; a move may not build a deeper tree either.
    if (levelsDownTo(parent) + subtreeLevels(child) > S().depthBound) return INDEX_SIZE;
    return OK;
}

int32_t checkRemoval(const Object* parent, const Object* child) {
    if (!parent || !child || child->parent != parent) return NOT_FOUND;
    if (readOnly(parent)) return NO_MODIFICATION;
    return OK;
}

namespace {

int32_t opInsertBeforeChild(HostRef parentRef, HostRef childRef, HostRef beforeRef) {
    ENTER(InsertBeforeChild);
    Object* parent = S().get(parentRef);
    Object* child = S().get(childRef);
    if (!parent || !child) return NOT_FOUND;
    Object* before = nullptr;
    if (int32_t s = checkMove(parent, child, beforeRef, before)) return s;
    if (before == child) return OK;
    S().move(parent, child, before);
    return OK;
}

int32_t opInsertNewChild(HostRef* out, HostRef parentRef, const XMLCh* text, HostRef beforeRef,
                         uint8_t flag) {
    ENTER(InsertNewChild);
    if (!out || !text) return INVALID_ACCESS;
    Object* parent = S().get(parentRef);
    if (!parent) return NOT_FOUND;
    Object* before = nullptr;
    if (int32_t s = checkInsertion(parent, nullptr, beforeRef, before)) return s;
    Object* child = nullptr;
    if (flag) {
        // Text arrives as XML character data: references are decoded, markup is refused.
        std::u16string content;
        if (!decodeCharacterData(text, content)) return SYNTAX;
        child = S().makeText(content);
    } else {
        try {
            child = parseXml(S(), std::u16string(text), parent);
        } catch (const LimitError&) {
            return INDEX_SIZE; // well-formed, but past the host's bounds
        } catch (const LoadError&) {
            return SYNTAX;
        }
    }
    S().move(parent, child, before);
    // The new child carries one reference for the caller.
    ++child->refs;
    ++S().outstanding;
    *out = child->handle;
    return OK;
}

int32_t opRemoveChild(HostRef parentRef, HostRef childRef) {
    ENTER(RemoveChild);
    Object* parent = S().get(parentRef);
    Object* child = S().get(childRef);
    if (int32_t s = checkRemoval(parent, child)) return s;
    S().remove(child);
    return OK;
}

int32_t opIsAttributeImplied(HostRef ref, HostKey name, bool* out) {
    ENTER(IsAttributeImplied);
    Object* obj = element(ref);
    if (!out) return INVALID_ACCESS;
    const Attribute* a = obj ? obj->attribute(name) : nullptr;
    if (!a) return NOT_FOUND;
    *out = a->implied;
    return OK;
}

int32_t opIsAttributeUncopyable(HostRef ref, HostKey name, int32_t* out) {
    ENTER(IsAttributeUncopyable);
    Object* obj = element(ref);
    if (!out) return INVALID_ACCESS;
    const Attribute* a = obj ? obj->attribute(name) : nullptr;
    if (!a) return NOT_FOUND;
    *out = a->uncopyable ? 1 : 0;
    return OK;
}

int32_t opGetXMLHeaderAttr(int32_t mode, int32_t* number, BTStringRef__** name, BTStringRef__** value) {
    ENTER(GetXMLHeaderAttr);
    if (!number) return INVALID_ACCESS;
    const auto& header = S().header;
    if (mode == 0) {
        *number = static_cast<int32_t>(header.size());
        return OK;
    }
    if (mode != 1) return NOT_SUPPORTED;
    if (*number < 1 || static_cast<size_t>(*number) > header.size()) return INDEX_SIZE;
    const auto& entry = header[static_cast<size_t>(*number - 1)];
    if (name) *name = DOMBTString(entry.first.c_str()).Release();
    if (value) *value = DOMBTString(entry.second.c_str()).Release();
    return OK;
}

int32_t opResolveAttributeName(HostKey out[4], HostRef ref, HostKey ns, HostKey name) {
    ENTER(ResolveAttributeName);
    Object* obj = element(ref);
    if (!out) return INVALID_ACCESS;
    if (!obj || !S().keys.known(name)) return NOT_FOUND;
    const Attribute* a = ns != NO_KEY ? obj->attributeNS(ns, name) : obj->attribute(name);
    if (a) {
        out[0] = a->ns, out[1] = a->name, out[2] = a->prefix, out[3] = a->local;
        return OK;
    }
    // Not there (yet): resolve from the name itself.
    HostKey prefix, local;
    S().splitName(name, prefix, local);
    out[0] = ns != NO_KEY ? ns : (prefix != NO_KEY ? S().lookupNamespace(obj, prefix) : NO_KEY);
    out[1] = name, out[2] = prefix, out[3] = local;
    return OK;
}

int32_t opGetTextValue(const XMLCh** out, HostRef ref) {
    ENTER(GetTextValue);
    if (!out) return INVALID_ACCESS;
    Object* obj = textObject(ref);
    if (!obj) return S().get(ref) ? NOT_SUPPORTED : NOT_FOUND;
    *out = obj->text.c_str();
    return OK;
}

int32_t opIsTextNode(bool* out, HostRef ref) {
    ENTER(IsTextNode);
    Object* obj = S().get(ref);
    if (!out) return INVALID_ACCESS;
    if (!obj) return NOT_FOUND;
    *out = obj->kind == Object::Text;
    return OK;
}

int32_t opSetTextValue(HostRef ref, int32_t position, const XMLCh* text) {
    ENTER(SetTextValue);
    Object* obj = textObject(ref);
    if (!text) return INVALID_ACCESS;
    if (!obj) return S().get(ref) ? NOT_SUPPORTED : NOT_FOUND;
    if (position < 0 || static_cast<size_t>(position) > obj->text.size()) return INDEX_SIZE;
    if (readOnly(obj)) return NO_MODIFICATION;
    S().insertText(obj, static_cast<size_t>(position), text);
    return OK;
}

int32_t opDeleteTextValue(HostRef ref, int32_t start, int32_t count) {
    ENTER(DeleteTextValue);
    Object* obj = textObject(ref);
    if (!obj) return S().get(ref) ? NOT_SUPPORTED : NOT_FOUND;
    if (start < 0 || count < 0 || static_cast<size_t>(start) > obj->text.size()) return INDEX_SIZE;
    if (readOnly(obj)) return NO_MODIFICATION;
    S().eraseText(obj, static_cast<size_t>(start), static_cast<size_t>(count));
    return OK;
}

int32_t opHasAttributeNS(bool* out, HostRef ref, HostKey ns, HostKey local) {
    ENTER(HasAttributeNS);
    Object* obj = element(ref);
    if (!out) return INVALID_ACCESS;
    if (!obj) return NOT_FOUND;
    *out = obj->attributeNS(ns, local) != nullptr;
    return OK;
}

int32_t opIsReadOnly(HostRef ref, bool* out) {
    ENTER(IsReadOnly);
    Object* obj = S().get(ref);
    if (!out) return INVALID_ACCESS;
    if (!obj) return NOT_FOUND;
    *out = readOnly(obj);
    return OK;
}

// Operations that later parts of the host provide answer NOT_SUPPORTED until then.
template <int Sel, class... Args> int32_t notYet(Args...) {
    ENTER(Sel);
    return NOT_SUPPORTED;
}

template <int Sel, class R, class... Args> void put(uint64_t table[], R (*)(Args...)) {
    table[Sel] = reinterpret_cast<uint64_t>(&notYet<Sel, Args...>);
}

template <class Fn> void set(uint64_t table[], int sel, Fn fn) {
    table[sel] = reinterpret_cast<uint64_t>(fn);
}

} // namespace

// The 43 entries. The changes of the tree, attributes and text (and Import) are the store's operations
// announced: announced<announceX, opX> runs opX inside the announcer of its mutation events.
int32_t getCallbacks(uint64_t table[], int count) {
    if (!table || count < SelectorCount) return INVALID_ACCESS;
    set(table, StringToKey, static_cast<StringToKeyFn>(&opStringToKey));
    set(table, KeyToString, static_cast<KeyToStringFn>(&opKeyToString));
    set(table, GetAttributeValue, static_cast<GetAttributeValueFn>(&opGetAttributeValue));
    set(table, SetAttributeValue,
        static_cast<SetAttributeValueFn>(&announced<announceSetAttributeValue, opSetAttributeValue>));
    set(table, GetAttributeKeys, static_cast<GetAttributeKeysFn>(&opGetAttributeKeys));
    set(table, NavigateElement, static_cast<NavigateElementFn>(&opNavigateElement));
    set(table, GetElementNameKey, static_cast<GetElementNameKeyFn>(&opGetElementNameKey));
    set(table, AdjustReference, static_cast<AdjustReferenceFn>(&opAdjustReference));
    set(table, GetNumChildren, static_cast<GetNumChildrenFn>(&opGetNumChildren));
    set(table, InsertBeforeChild,
        static_cast<InsertBeforeChildFn>(&announced<announceInsertBeforeChild, opInsertBeforeChild>));
    set(table, InsertNewChild,
        static_cast<InsertNewChildFn>(&announced<announceInsertNewChild, opInsertNewChild>));
    set(table, RemoveChild, static_cast<RemoveChildFn>(&announced<announceRemoveChild, opRemoveChild>));
    set(table, SetTargetEventListener, static_cast<SetTargetEventListenerFn>(&opSetTargetEventListener));
    set(table, SetTypeEventListener, static_cast<SetTypeEventListenerFn>(&opSetTypeEventListener));
    set(table, DispatchEvent, static_cast<DispatchEventFn>(&opDispatchEvent));
    set(table, ControlEvent, static_cast<ControlEventFn>(&opControlEvent));
    set(table, CreateEvent, static_cast<CreateEventFn>(&opCreateEvent));
    set(table, ConvertValue, static_cast<ConvertValueFn>(&opConvertValue));
    set(table, TransactionControl, static_cast<TransactionControlFn>(&opTransactionControl));
    set(table, RegisterNamespace, static_cast<RegisterNamespaceFn>(&opRegisterNamespace));
    set(table, RegisterDeclaration, static_cast<RegisterDeclarationFn>(&opRegisterDeclaration));
    set(table, ValueMapAccess, static_cast<ValueMapAccessFn>(&opValueMapAccess));
    set(table, IsAttributeImplied, static_cast<IsAttributeImpliedFn>(&opIsAttributeImplied));
    set(table, GetXMLHeaderAttr, static_cast<GetXMLHeaderAttrFn>(&opGetXMLHeaderAttr));
    put<Unused24>(table, Unused24Fn{});
    set(table, GetAttributeValueNS, static_cast<GetAttributeValueNSFn>(&opGetAttributeValueNS));
    set(table, SetAttributeValueNS,
        static_cast<SetAttributeValueNSFn>(&announced<announceSetAttributeValueNS, opSetAttributeValueNS>));
    set(table, ResolveAttributeName, static_cast<ResolveAttributeNameFn>(&opResolveAttributeName));
    set(table, InitTypeDeclaration, static_cast<InitTypeDeclarationFn>(&opInitTypeDeclaration));
    set(table, GetTextValue, static_cast<GetTextValueFn>(&opGetTextValue));
    set(table, IsTextNode, static_cast<IsTextNodeFn>(&opIsTextNode));
    set(table, SetTextValue, static_cast<SetTextValueFn>(&announced<announceSetTextValue, opSetTextValue>));
    set(table, HasAttributeNS, static_cast<HasAttributeNSFn>(&opHasAttributeNS));
    set(table, Import, static_cast<ImportFn>(&announced<announceImport, opImport>));
    set(table, GetDOMConfiguration, static_cast<GetDOMConfigurationFn>(&opGetDOMConfiguration));
    set(table, CreateBaseInstance, static_cast<CreateBaseInstanceFn>(&opCreateBaseInstance));
    set(table, DeleteBaseInstance, static_cast<DeleteBaseInstanceFn>(&opDeleteBaseInstance));
    set(table, DeleteTextValue,
        static_cast<DeleteTextValueFn>(&announced<announceDeleteTextValue, opDeleteTextValue>));
    set(table, IsAttributeUncopyable, static_cast<IsAttributeUncopyableFn>(&opIsAttributeUncopyable));
    set(table, IsReadOnly, static_cast<IsReadOnlyFn>(&opIsReadOnly));
    set(table, RegisterSchemaEnumValue, static_cast<RegisterSchemaEnumValueFn>(&opRegisterSchemaEnumValue));
    set(table, ValidateElement, static_cast<ValidateElementFn>(&opValidateElement));
    set(table, ReleaseDocXPathCache, static_cast<ReleaseDocXPathCacheFn>(&opReleaseDocXPathCache));
    // With DOMKW_TRACE set, every entry above is wrapped in its tracer (Trace.cpp); otherwise the table
    // holds exactly what is wired here.
    installTrace(table);
    return OK;
}

} // namespace kwhost
