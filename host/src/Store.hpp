// The host's object store: elements, text objects and the key table.
#pragma once

#include <DOMKwHost/ReferenceHost.hpp>

#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kwhost {

using Kw::HostKey;
using Kw::HostRef;
using Kw::NO_KEY;

struct Attribute {
    HostKey name = NO_KEY;   // qualified name
    HostKey ns = NO_KEY;     // namespace URI
    HostKey prefix = NO_KEY;
    HostKey local = NO_KEY;
    std::u16string value;
    bool implied = false;
    bool isDefault = false;
    bool uncopyable = false;
};

struct Object {
    enum Kind { Element, Text };
    Kind kind = Element;
    HostRef handle = -1;
    int64_t refs = 0; // references the library holds
    HostKey tag = NO_KEY;
    HostKey ns = NO_KEY;
    bool readOnly = false;
    std::vector<Attribute> attributes;
    std::u16string text;
    Object* parent = nullptr;
    Object* firstChild = nullptr;
    Object* lastChild = nullptr;
    Object* prev = nullptr;
    Object* next = nullptr;
    int32_t childCount = 0;

    Attribute* attribute(HostKey name);
    Attribute* attributeNS(HostKey ns, HostKey local);
};

class Keys {
public:
    HostKey intern(const std::u16string& text);
    // Null for an unknown key.
    const std::u16string* text(HostKey key) const;

private:
    std::unordered_map<std::u16string, HostKey> byText;
    std::deque<std::u16string> texts; // stable addresses: the host hands out pointers into them
};

class Store {
public:
    Keys keys;
    HostKey textTag;  // "#text"
    HostKey xmlnsUri; // "http://www.w3.org/2000/xmlns/"
    HostKey xmlUri;   // "http://www.w3.org/XML/1998/namespace"

    Store();

    Object* get(HostRef ref) const;
    Object* makeElement(HostKey tag, HostKey ns);
    Object* makeText(const std::u16string& text);

    // Tree changes; they check nothing, callers validate first.
    void link(Object* parent, Object* child, Object* before);
    void unlink(Object* child);

    // Frees `obj` and its subtree when nothing keeps them: out of the application's tree and no
    // reference held by the library anywhere in the detached subtree.
    void collect(Object* obj);

    // The namespace URI bound to `prefix` (NO_KEY for the default namespace) in scope at `at`.
    HostKey lookupNamespace(const Object* at, HostKey prefix) const;
    // Splits a qualified name into prefix and local keys.
    void splitName(HostKey qname, HostKey& prefix, HostKey& local);

    Object* application = nullptr;
    std::vector<std::pair<std::u16string, std::u16string>> header;

    int64_t outstanding = 0;
    size_t live() const { return objects.size(); }

    // Replaces the project; the old tree is collected.
    void setApplication(Object* app, std::vector<std::pair<std::u16string, std::u16string>> headerAttrs);

private:
    void freeSubtree(Object* obj);

    std::unordered_map<HostRef, std::unique_ptr<Object>> objects;
    HostRef nextHandle = 1;
};

// Parses XML text into a detached subtree of the store (the loader and InsertNewChild share it).
// `scope` is the element under which the subtree will live, for namespace prefixes it does not declare.
// Throws LoadError. `header` receives the host:header entries when not null.
Object* parseXml(Store& store, const std::string& bytes, const std::string& systemId, const Object* scope,
                 std::vector<std::pair<std::u16string, std::u16string>>* header);
Object* parseXml(Store& store, const std::u16string& text, const Object* scope);

// Writes a subtree as XML (UTF-16).
void writeXml(const Store& store, const Object* obj, bool withImplied, std::u16string& out);

} // namespace kwhost
