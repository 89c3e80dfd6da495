// Reading project XML into the store, and writing a subtree back as XML.
#include "Store.hpp"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLString.hpp>

#include <algorithm>
#include <memory>
#include <sstream>

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
    void error(const SAXParseException& e) { fail(e); }
    void fatalError(const SAXParseException& e) { fail(e); }

private:
    [[noreturn]] void fail(const SAXParseException& e) {
        std::ostringstream msg;
        msg << systemId << ":" << e.getLineNumber() << ":" << e.getColumnNumber() << ": malformed XML: "
            << narrow(e.getMessage());
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
        while (i < list.size() && (list[i] == u' ' || list[i] == u'\t' || list[i] == u'\n' || list[i] == u'\r')) ++i;
        size_t j = i;
        while (j < list.size() && !(list[j] == u' ' || list[j] == u'\t' || list[j] == u'\n' || list[j] == u'\r')) ++j;
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
          hostNs(store.keys.intern(HOST_NAMESPACE)) {}

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

    void startElement(const XMLCh*, const XMLCh*, const XMLCh* qname, const Attributes& attrs) override {
        flushText();
        Object* parent = open.empty() ? nullptr : open.back();
        Object* obj = store.makeElement(key(qname), NO_KEY);
        if (parent) store.link(parent, obj, nullptr);
        else root = obj;
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
        // Namespaces resolve once the element's own declarations are in place.
        HostKey prefix, local;
        store.splitName(obj->tag, prefix, local);
        obj->ns = resolve(obj, prefix);
        for (Attribute& a : obj->attributes)
            if (a.ns == NO_KEY && a.prefix != NO_KEY) a.ns = resolve(obj, a.prefix);
        std::vector<Attribute> content, properties;
        for (Attribute& a : obj->attributes) {
            if (a.ns == hostNs)
                properties.push_back(std::move(a));
            else {
                if (a.ns == store.xmlnsUri && a.value == HOST_NAMESPACE) declaring.push_back(obj);
                content.push_back(std::move(a));
            }
        }
        obj->attributes = std::move(content);
        for (const Attribute& p : properties) applyProperty(obj, *store.keys.text(p.local), p.value);
    }

    void endElement(const XMLCh*, const XMLCh*, const XMLCh*) override {
        flushText();
        Object* obj = open.back();
        open.pop_back();
        HostKey prefix, local;
        store.splitName(obj->tag, prefix, local);
        if (obj->ns == hostNs && *store.keys.text(local) == u"header" && obj->parent) {
            // <host:header name="" value=""/> under the application element: a header attribute.
            if (header && !obj->parent->parent) {
                const Attribute* name = obj->attribute(store.keys.intern(u"name"));
                const Attribute* value = obj->attribute(store.keys.intern(u"value"));
                header->emplace_back(name ? name->value : u"", value ? value->value : u"");
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

    HostKey resolve(const Object* at, HostKey prefix) {
        HostKey ns = store.lookupNamespace(at, prefix);
        if (ns == NO_KEY && scope) ns = store.lookupNamespace(scope, prefix);
        return ns;
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
        if (name == u"amp") out += u'&';
        else if (name == u"lt") out += u'<';
        else if (name == u"gt") out += u'>';
        else if (name == u"quot") out += u'"';
        else if (name == u"apos") out += u'\'';
        else if (name.size() > 1 && name[0] == u'#') {
            const bool hex = name[1] == u'x';
            uint32_t code = 0;
            size_t digits = 0;
            for (size_t k = hex ? 2 : 1; k < name.size(); ++k, ++digits) {
                const char16_t d = name[k];
                uint32_t v;
                if (d >= u'0' && d <= u'9') v = d - u'0';
                else if (hex && d >= u'a' && d <= u'f') v = d - u'a' + 10;
                else if (hex && d >= u'A' && d <= u'F') v = d - u'A' + 10;
                else return false;
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

namespace {
void escape(const std::u16string& s, bool attr, std::u16string& out) {
    for (char16_t c : s) {
        switch (c) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        case u'"':
            if (attr) {
                out += u"&quot;";
                break;
            }
            [[fallthrough]];
        default: out += c;
        }
    }
}
} // namespace

void writeXml(const Store& store, const Object* obj, bool withImplied, std::u16string& out) {
    if (obj->kind == Object::Text) {
        escape(obj->text, false, out);
        return;
    }
    const std::u16string& tag = *store.keys.text(obj->tag);
    out += u'<';
    out += tag;
    for (const Attribute& a : obj->attributes) {
        if (a.implied && !withImplied) continue;
        out += u' ';
        out += *store.keys.text(a.name);
        out += u"=\"";
        escape(a.value, true, out);
        out += u'"';
    }
    if (!obj->firstChild) {
        out += u"/>";
        return;
    }
    out += u'>';
    for (const Object* c = obj->firstChild; c; c = c->next) writeXml(store, c, withImplied, out);
    out += u"</";
    out += tag;
    out += u'>';
}

} // namespace kwhost
