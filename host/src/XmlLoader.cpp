// Reading project XML into the store.
#include "XmlLoader.hpp"

#include "XmlWriter.hpp"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLChar.hpp>
#include <xercesc/util/XMLString.hpp>

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <unordered_map>

namespace kwhost {

using namespace xercesc;

namespace {

std::string narrow(const XMLCh* text) {
    char* s = XMLString::transcode(text);
    std::string r = s ? s : "";
    XMLString::release(&s);
    return r;
}

class ThrowingErrorHandler {
public:
    explicit ThrowingErrorHandler(std::string systemId) : systemId(std::move(systemId)) {}
    const std::string& source() const { return systemId; }
    void error(const SAXParseException& e) { fail(e); }
    void fatalError(const SAXParseException& e) { fail(e); }

private:
    [[noreturn]] void fail(const SAXParseException& e) {
        std::ostringstream msg;
        msg << systemId << ":" << e.getLineNumber() << ":" << e.getColumnNumber()
            << ": malformed XML: " << narrow(e.getMessage());
        throw LoadError(msg.str(), e.getLineNumber(), e.getColumnNumber());
    }
    std::string systemId;
};

bool isWhitespace(const std::u16string& s) {
    for (char16_t c : s)
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r') return false;
    return true;
}

// Splits a whitespace-separated list of names.
std::vector<std::u16string> names(const std::u16string& list) {
    std::vector<std::u16string> out;
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() &&
               (list[i] == u' ' || list[i] == u'\t' || list[i] == u'\n' || list[i] == u'\r'))
            ++i;
        size_t j = i;
        while (j < list.size() &&
               !(list[j] == u' ' || list[j] == u'\t' || list[j] == u'\n' || list[j] == u'\r'))
            ++j;
        if (j > i) out.push_back(list.substr(i, j - i));
        i = j;
    }
    return out;
}

// Builds the subtree from SAX events: attributes keep their order in the file, and deep nesting costs
// no recursion.
class Builder : public DefaultHandler {
public:
    Builder(Store& store, const Object* scope, std::vector<std::pair<std::u16string, std::u16string>>* header,
            bool keepWhitespace)
        : store(store), scope(scope), header(header), keepWhitespace(keepWhitespace),
          hostNs(store.keys.intern(HOST_NAMESPACE)) {
        for (const Object* at = scope; at; at = at->parent) ++levelsAbove;
    }

    ~Builder() override {
        // A parse that failed half-way leaves a detached, unreferenced subtree behind: free it.
        if (root && !done) store.collect(root);
    }

    // The subtree, once the declarations of the host namespace (needed while parsing) are dropped.
    Object* result() {
        done = true;
        for (Object* obj : declaring) {
            auto& attrs = obj->attributes;
            attrs.erase(std::remove_if(attrs.begin(), attrs.end(),
                                       [&](const Attribute& a) {
                                           return a.ns == store.xmlnsUri && a.value == HOST_NAMESPACE;
                                       }),
                        attrs.end());
        }
        return root;
    }

    void setDocumentLocator(const Locator* const at) override { locator = at; }

    // Project files need no DTD. Entities and attribute defaults would let a small file expand into
    // gigabytes, so a document type that declares either is refused where it does.
    void internalEntityDecl(const XMLCh* const name, const XMLCh* const) override {
        refuse("entity declarations are not accepted (" + narrow(name) + ")");
    }
    void externalEntityDecl(const XMLCh* const name, const XMLCh* const, const XMLCh* const) override {
        refuse("entity declarations are not accepted (" + narrow(name) + ")");
    }
    void attributeDecl(const XMLCh* const element, const XMLCh* const, const XMLCh* const, const XMLCh* const,
                       const XMLCh* const) override {
        refuse("attribute-list declarations are not accepted (" + narrow(element) + ")");
    }

    void startElement(const XMLCh*, const XMLCh*, const XMLCh* qname, const Attributes& attrs) override {
        flushText();
        if (levelsAbove + open.size() + 1 > store.depthBound)
            refuse("elements nested deeper than " + std::to_string(store.depthBound) + " levels", true);
        Object* parent = open.empty() ? nullptr : open.back();
        Object* obj = store.makeElement(key(qname), NO_KEY);
        if (parent)
            store.link(parent, obj, nullptr);
        else
            root = obj;
        open.push_back(obj);
        for (XMLSize_t i = 0; i < attrs.getLength(); ++i) {
            Attribute attr;
            attr.name = key(attrs.getQName(i));
            store.splitName(attr.name, attr.prefix, attr.local);
            attr.value = attrs.getValue(i);
            const std::u16string& name = *store.keys.text(attr.name);
            if (name == u"xmlns" || name.rfind(u"xmlns:", 0) == 0) attr.ns = store.xmlnsUri;
            obj->attributes.push_back(std::move(attr));
        }
        // The element's own declarations come into scope first; they leave it with the element.
        size_t declared = 0;
        for (const Attribute& a : obj->attributes) {
            if (a.ns != store.xmlnsUri) continue;
            // xmlns="..." binds the default namespace, xmlns:p="..." binds p; "" undeclares.
            const HostKey bound = a.prefix == NO_KEY ? NO_KEY : a.local;
            bindings[bound].push_back(a.value.empty() ? NO_KEY : store.keys.intern(a.value));
            declaredPrefixes.push_back(bound);
            ++declared;
        }
        declaredCounts.push_back(declared);
        HostKey prefix, local;
        store.splitName(obj->tag, prefix, local);
        obj->ns = resolve(prefix);
        for (Attribute& a : obj->attributes)
            if (a.ns == NO_KEY && a.prefix != NO_KEY) a.ns = resolve(a.prefix);
        std::vector<Attribute> content, properties;
        size_t kept = 0; // what stays on the element once the host's own declarations are dropped
        for (Attribute& a : obj->attributes) {
            if (a.ns == hostNs)
                properties.push_back(std::move(a));
            else {
                if (a.ns == store.xmlnsUri && a.value == HOST_NAMESPACE)
                    declaring.push_back(obj);
                else
                    ++kept;
                content.push_back(std::move(a));
            }
        }
        // The library reads at most this many attribute names of an element: more would be lost unseen.
        if (kept > MAX_ATTRIBUTES)
            refuse("an element with more than " + std::to_string(MAX_ATTRIBUTES) + " attributes", true);
        obj->attributes = std::move(content);
        for (const Attribute& p : properties) applyProperty(obj, *store.keys.text(p.local), p.value);
    }

    void endElement(const XMLCh*, const XMLCh*, const XMLCh*) override {
        flushText();
        Object* obj = open.back();
        open.pop_back();
        for (size_t n = declaredCounts.back(); n > 0; --n) {
            bindings[declaredPrefixes.back()].pop_back();
            declaredPrefixes.pop_back();
        }
        declaredCounts.pop_back();
        HostKey prefix, local;
        store.splitName(obj->tag, prefix, local);
        if (obj->ns == hostNs && *store.keys.text(local) == u"header" && obj->parent) {
            // <host:header name="" value=""/> under the application element: a header attribute.
            if (header && !obj->parent->parent) {
                const Attribute* name = obj->attribute(store.keys.intern(u"name"));
                const Attribute* value = obj->attribute(store.keys.intern(u"value"));
                // A header attribute is written into every saved subtree as it stands: it must be a name,
                // and only once.
                const std::u16string headerName = name ? name->value : u"";
                if (!XMLChar1_0::isValidName(headerName.c_str()))
                    refuse("the header name \"" + toUtf8(headerName) + "\" is not an XML name");
                if (!headerNames.insert(headerName).second)
                    refuse("the header name \"" + toUtf8(headerName) + "\" repeats");
                header->emplace_back(headerName, value ? value->value : u"");
            }
            store.unlink(obj);
            store.collect(obj);
        }
    }

    void characters(const XMLCh* chars, const XMLSize_t length) override { text.append(chars, length); }
    void ignorableWhitespace(const XMLCh*, const XMLSize_t) override {}

    void fatalError(const SAXParseException& e) override { errors.fatalError(e); }
    void error(const SAXParseException& e) override { errors.error(e); }

    ThrowingErrorHandler errors{""};

private:
    HostKey key(const XMLCh* text) { return store.keys.intern(text ? text : u""); }

    // The namespace of a prefix at the element being built: from the declarations in scope in the
    // subtree (a stack per prefix, so deep nesting costs no walk up the ancestors), else from where the
    // subtree will live.
    HostKey resolve(HostKey prefix) {
        if (prefix != NO_KEY) {
            const std::u16string* p = store.keys.text(prefix);
            if (p && *p == u"xml") return store.xmlUri;
            if (p && *p == u"xmlns") return store.xmlnsUri;
        }
        auto in = bindings.find(prefix);
        if (in != bindings.end() && !in->second.empty()) return in->second.back();
        if (!scope) return NO_KEY;
        auto known = outside.find(prefix);
        if (known == outside.end())
            known = outside.emplace(prefix, store.lookupNamespace(scope, prefix)).first;
        return known->second;
    }

    // `limit`: refused for one of the host's bounds, not for what the text says.
    [[noreturn]] void refuse(const std::string& what, bool limit = false) {
        const uint64_t line = locator ? locator->getLineNumber() : 0;
        const uint64_t column = locator ? locator->getColumnNumber() : 0;
        std::ostringstream msg;
        msg << errors.source() << ":" << line << ":" << column << ": " << what;
        if (limit) throw LimitError(msg.str(), line, column);
        throw LoadError(msg.str(), line, column);
    }

    // Adjacent text and CDATA make one text object; whitespace-only text between elements is dropped.
    void flushText() {
        // A project file's whitespace between elements is layout; text a client inserts is content.
        const bool content = keepWhitespace || !isWhitespace(text);
        if (!text.empty() && !open.empty() && content) store.link(open.back(), store.makeText(text), nullptr);
        text.clear();
    }

    void applyProperty(Object* obj, const std::u16string& property, const std::u16string& value) {
        if (property == u"readOnly") {
            obj->readOnly = value == u"true" || value == u"1";
            return;
        }
        for (const std::u16string& name : names(value)) {
            Attribute* a = obj->attribute(store.keys.intern(name));
            if (!a) continue;
            if (property == u"implied") a->implied = true;
            if (property == u"default") a->isDefault = true;
            if (property == u"uncopyable") a->uncopyable = true;
        }
    }

    Store& store;
    const Object* scope;
    std::vector<std::pair<std::u16string, std::u16string>>* header;
    bool keepWhitespace;
    HostKey hostNs;
    Object* root = nullptr;
    bool done = false;
    std::vector<Object*> open;
    std::vector<Object*> declaring; // elements that declare a prefix for the host namespace
    std::u16string text;
    const Locator* locator = nullptr;
    size_t levelsAbove = 0; // levels of the tree above the subtree: `scope` and its ancestors
    // Namespace declarations in scope: per prefix (NO_KEY: the default namespace) a stack of URIs.
    std::unordered_map<HostKey, std::vector<HostKey>> bindings;
    std::vector<HostKey> declaredPrefixes;        // in declaration order, to take them out again
    std::vector<size_t> declaredCounts;           // per open element, how many it declared
    std::unordered_map<HostKey, HostKey> outside; // prefixes resolved at `scope`
    std::set<std::u16string> headerNames;
};

Object* parseSource(Store& store, const InputSource& source, const std::string& systemId, const Object* scope,
                    std::vector<std::pair<std::u16string, std::u16string>>* header, bool keepWhitespace) {
    std::unique_ptr<SAX2XMLReader> parser(XMLReaderFactory::createXMLReader());
    parser->setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
    parser->setFeature(XMLUni::fgSAX2CoreValidation, false);
    parser->setFeature(XMLUni::fgXercesLoadExternalDTD, false);
    parser->setFeature(XMLUni::fgXercesDisableDefaultEntityResolution, true);
    SecurityManager limits; // bounds entity expansion in hostile input
    parser->setProperty(XMLUni::fgXercesSecurityManager, &limits);
    Builder builder(store, scope, header, keepWhitespace);
    builder.errors = ThrowingErrorHandler(systemId);
    parser->setContentHandler(&builder);
    parser->setErrorHandler(&builder);
    parser->setDeclarationHandler(&builder);
    try {
        parser->parse(source);
    } catch (const XMLException& e) {
        throw LoadError(systemId + ": " + narrow(e.getMessage()), 0, 0);
    }
    Object* root = builder.result();
    if (!root) throw LoadError(systemId + ": no root element", 0, 0);
    return root;
}

} // namespace

Object* parseXml(Store& store, const std::string& bytes, const std::string& systemId, const Object* scope,
                 std::vector<std::pair<std::u16string, std::u16string>>* header) {
    MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(), systemId.c_str());
    return parseSource(store, source, systemId, scope, header, false);
}

Object* parseXml(Store& store, const std::u16string& text, const Object* scope) {
    MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size() * sizeof(char16_t),
                             "inserted text");
    source.setEncoding(u"UTF-16LE");
    return parseSource(store, source, "inserted text", scope, nullptr, true);
}

bool decodeCharacterData(const std::u16string& text, std::u16string& out) {
    out.clear();
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'<') return false;
        if (c != u'&') {
            out += c;
            continue;
        }
        const size_t semi = text.find(u';', i);
        if (semi == std::u16string::npos) return false;
        const std::u16string name = text.substr(i + 1, semi - i - 1);
        i = semi;
        if (name == u"amp")
            out += u'&';
        else if (name == u"lt")
            out += u'<';
        else if (name == u"gt")
            out += u'>';
        else if (name == u"quot")
            out += u'"';
        else if (name == u"apos")
            out += u'\'';
        else if (name.size() > 1 && name[0] == u'#') {
            const bool hex = name[1] == u'x';
            uint32_t code = 0;
            size_t digits = 0;
            for (size_t k = hex ? 2 : 1; k < name.size(); ++k, ++digits) {
                const char16_t d = name[k];
                uint32_t v;
                if (d >= u'0' && d <= u'9')
                    v = d - u'0';
                else if (hex && d >= u'a' && d <= u'f')
                    v = d - u'a' + 10;
                else if (hex && d >= u'A' && d <= u'F')
                    v = d - u'A' + 10;
                else
                    return false;
                code = code * (hex ? 16 : 10) + v;
                if (code > 0x10FFFF) return false;
            }
            if (digits == 0 || code == 0 || (code >= 0xD800 && code < 0xE000)) return false;
            if (code >= 0x10000) {
                code -= 0x10000;
                out += static_cast<char16_t>(0xD800 + (code >> 10));
                out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
            } else {
                out += static_cast<char16_t>(code);
            }
        } else {
            return false;
        }
    }
    return true;
}

} // namespace kwhost
