#include "XmlWriter.hpp"

namespace kwhost {

std::string toUtf8(const std::u16string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

namespace {
void escape(const std::u16string& s, bool attr, std::u16string& out) {
    for (char16_t c : s) {
        switch (c) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'"':
            if (attr) {
                out += u"&quot;";
                break;
            }
            [[fallthrough]];
        default:
            out += c;
        }
    }
}
} // namespace

void writeXml(const Store& store, const Object* root, bool withImplied, std::u16string& out) {
    // Document order without recursion: a subtree may be as deep as the loader accepts.
    const Object* obj = root;
    while (obj) {
        if (obj->kind == Object::Text) {
            escape(obj->text, false, out);
        } else {
            out += u'<';
            out += *store.keys.text(obj->tag);
            for (const Attribute& a : obj->attributes) {
                if (a.implied && !withImplied) continue;
                out += u' ';
                out += *store.keys.text(a.name);
                out += u"=\"";
                escape(a.value, true, out);
                out += u'"';
            }
            if (obj->firstChild) {
                out += u'>';
                obj = obj->firstChild;
                continue;
            }
            out += u"/>";
        }
        // Up to the next sibling, closing every element left on the way.
        while (obj != root && !obj->next) {
            obj = obj->parent;
            out += u"</";
            out += *store.keys.text(obj->tag);
            out += u'>';
        }
        obj = obj == root ? nullptr : obj->next;
    }
}

} // namespace kwhost
