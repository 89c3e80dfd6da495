// Random sequences of DOM changes, decoded from the input bytes, applied to the library over the reference
// host and to a native Xerces-C DOM of the same start document. After every step the host's tree (as the
// host writes it, parsed back) and the native tree must be the same; a change the library refuses must
// leave the host's tree as it was; at the end the library holds no host reference.
#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/bridge/Exceptions.hpp>
#include <DOMKw/dom/Object.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include "bridge/CallbackTable.hpp"
#include "dom/DocumentImpl.hpp"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace {

const char* const kStart =
    "<application><a x=\"1\">t<b/></a><c y=\"2\" z=\"&amp;\"><d>u</d>v<e/></c></application>";
const char16_t* const kNames[] = {u"a", u"b", u"n", u"p:q", u"x", u"y"};
// Characters of every plane: text edits at any offset may split a surrogate pair, which the library
// refuses, leaving the text as it was.
const char16_t* const kTexts[] = {
    u"",           u"w",           u"&", u"<b>", u"\u00e9\u20ac", u" ", u"\"q\"", u"\u3000\uFFFD",
    u"\U0001F600", u"a\U00010400b"};
constexpr unsigned kTextCount = sizeof kTexts / sizeof *kTexts;

[[noreturn]] void find(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    __builtin_trap();
}

std::string narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::unique_ptr<XercesDOMParser> parse(const std::string& xml) {
    auto parser = std::make_unique<XercesDOMParser>();
    parser->setDoNamespaces(false);
    parser->setLoadExternalDTD(false);
    MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "tree");
    parser->parse(source);
    if (parser->getErrorCount() || !parser->getDocument()) {
        std::fprintf(stderr, "%s\n", xml.c_str());
        find("the host wrote XML that does not parse");
    }
    return parser;
}

// A text form that two equal trees share: attributes sorted, adjacent text joined, empty text dropped.
void canonical(const DOMNode* node, std::u16string& out) {
    std::vector<std::pair<std::u16string, std::u16string>> attributes;
    if (const DOMNamedNodeMap* map = node->getAttributes())
        for (XMLSize_t i = 0; i < map->getLength(); ++i)
            attributes.emplace_back(map->item(i)->getNodeName(), map->item(i)->getNodeValue());
    std::sort(attributes.begin(), attributes.end());
    out += u'<';
    out += node->getNodeName();
    for (const auto& a : attributes) out += u' ' + a.first + u"=[" + a.second + u']';
    out += u'>';
    std::u16string text;
    for (const DOMNode* c = node->getFirstChild(); c; c = c->getNextSibling()) {
        if (c->getNodeType() == DOMNode::TEXT_NODE) {
            text += c->getNodeValue();
            continue;
        }
        if (!text.empty()) out += u'{' + text + u'}';
        text.clear();
        if (c->getNodeType() == DOMNode::ELEMENT_NODE) canonical(c, out);
    }
    if (!text.empty()) out += u'{' + text + u'}';
    out += u"</>";
}

// The same text form of the host's tree, read straight through the host's operations (no XML between:
// a text the DOM may hold, such as half of a surrogate pair, compares as it is).
void hostCanonical(Kw::HostRef at, std::u16string& out) {
    const auto& cb = Kw::host::callbacks();
    auto textOf = [&](Kw::HostKey key) {
        const XMLCh* text = nullptr;
        return cb.KeyToString(&text, key) == 0 && text ? std::u16string(text) : std::u16string();
    };
    Kw::HostKey tag = Kw::NO_KEY;
    cb.GetElementNameKey(&tag, 0, at);
    Kw::HostKey keys[255];
    int32_t n = 0;
    cb.GetAttributeKeys(&n, at, keys, 255);
    std::vector<std::pair<std::u16string, std::u16string>> attributes;
    for (int32_t i = 0; i < n; ++i) {
        const XMLCh* value = nullptr;
        cb.GetAttributeValue(&value, at, keys[i], nullptr);
        attributes.emplace_back(textOf(keys[i]), value ? value : u"");
    }
    std::sort(attributes.begin(), attributes.end());
    out += u'<' + textOf(tag);
    for (const auto& a : attributes) out += u' ' + a.first + u"=[" + a.second + u']';
    out += u'>';
    std::u16string text;
    Kw::HostRef c = -1;
    cb.NavigateElement(&c, at, 1, Kw::NO_KEY, 0);
    while (c >= 0) {
        bool isText = false;
        cb.IsTextNode(&isText, c);
        if (isText) {
            const XMLCh* value = nullptr;
            cb.GetTextValue(&value, c);
            text += value ? value : u"";
        } else {
            if (!text.empty()) out += u'{' + text + u'}';
            text.clear();
            hostCanonical(c, out);
        }
        Kw::HostRef next = -1;
        cb.NavigateElement(&next, c, 3, Kw::NO_KEY, 0);
        c = next;
    }
    if (!text.empty()) out += u'{' + text + u'}';
    out += u"</>";
}

std::u16string canonical(const DOMNode* root) {
    std::u16string out;
    canonical(root, out);
    return out;
}

bool isText(const DOMNode* n) {
    return n->getNodeType() == DOMNode::TEXT_NODE && n->getNodeValue() && *n->getNodeValue();
}

// The number of elements (the root included), or of non-empty texts, in a tree. Nodes are addressed by
// their position in document order among these: an empty text node (which the library does not keep in
// the host) shifts nothing.
size_t count(const DOMNode* node, bool text) {
    size_t n = text ? 0 : 1;
    for (const DOMNode* c = node->getFirstChild(); c; c = c->getNextSibling()) {
        if (text && isText(c)) ++n;
        if (c->getNodeType() == DOMNode::ELEMENT_NODE) n += count(c, text);
    }
    return n;
}

// The node at a position: native nodes as they are, library nodes as node objects the caller ends
// (the root itself is handed back as given).
DOMNode* nth(DOMNode* root, bool text, size_t n, bool library) {
    if (!text && n == 0) return root;
    size_t seen = text ? 0 : 1;
    DOMNode* found = nullptr;
    std::function<bool(DOMNode*)> walk = [&](DOMNode* node) {
        for (DOMNode* c = node->getFirstChild(); c;) {
            const bool match = text ? isText(c) : c->getNodeType() == DOMNode::ELEMENT_NODE;
            if (match && seen++ == n) {
                found = c;
                return true;
            }
            if (c->getNodeType() == DOMNode::ELEMENT_NODE && walk(c)) {
                if (library) dom::dispose(c);
                return true;
            }
            DOMNode* next = c->getNextSibling();
            if (library) dom::dispose(c);
            c = next;
        }
        return false;
    };
    walk(root);
    return found;
}

bool insideOrSame(const DOMNode* inner, const DOMNode* outer) {
    for (; inner; inner = inner->getParentNode())
        if (inner == outer) return true;
    return false;
}

// Our document element for the step under way: a path to it hands out that same object, which is ended
// when the step is.
DOMNode* ourRoot = nullptr;

struct Ended {
    void operator()(DOMNode* n) const {
        if (n != ourRoot) dom::dispose(n);
    }
};
using Node = std::unique_ptr<DOMNode, Ended>;

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data(data), size(size) {}
    bool more() const { return at < size; }
    unsigned next() { return at < size ? data[at++] : 0; }

private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kwhost::ReferenceHost& host = fuzzing::connectedHost();
    host.loadString(kStart, "start");
    auto native = parse(kStart);
    DOMDocument* nativeDoc = native->getDocument();
    DOMDocument* doc = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    {
        DOMElement* theirs = nativeDoc->getDocumentElement();
        Bytes in(data, size);
        for (int step = 0; in.more() && step < 64; ++step) {
            ourRoot = doc->getDocumentElement();
            std::unique_ptr<DOMNode, void (*)(DOMNode*)> ours(ourRoot, [](DOMNode* n) { dom::dispose(n); });
            const size_t elements = count(theirs, false), texts = count(theirs, true);
            auto element = [&] { return in.next() % elements; };
            // Our node at a position of the native tree: both trees have it, or that is a find.
            auto ourNode = [&](bool text, size_t n) {
                DOMNode* found = nth(ours.get(), text, n, true);
                if (!found) {
                    std::fprintf(stderr, "step %d\n  host:   %s\n  native: %s\n", step, host.toXml().c_str(),
                                 narrow(canonical(theirs)).c_str());
                    find("a node of the native tree is not in ours");
                }
                return found;
            };
            auto theirNode = [&](bool text, size_t n) { return nth(theirs, text, n, false); };
            const std::string before = host.toXml();
            bool refused = false;
            // The library goes first; what it refuses, the native tree is not asked.
            auto ourStep = [&](auto&& f) {
                try {
                    f();
                } catch (const DOMException&) {
                    refused = true;
                } catch (dom::Exceptions::KwErrorCodes) {
                    refused = true; // the library's own refusals, thrown by value
                }
            };
            auto theirStep = [&](auto&& f) {
                if (refused) return;
                try {
                    f();
                } catch (const DOMException&) {
                    find("the library made a change the DOM refuses");
                }
            };
            switch (in.next() % 7) {
            case 0: { // a new element, with an attribute and a text, first or last under an element
                const size_t parent = element();
                const char16_t* name = kNames[in.next() % 6];
                const char16_t* value = kTexts[in.next() % kTextCount];
                const char16_t* text = kTexts[in.next() % kTextCount];
                const bool first = in.next() & 1;
                auto make = [&](DOMDocument* factory, DOMNode* p, bool library) {
                    DOMElement* e = factory->createElement(name);
                    e->setAttribute(u"v", value);
                    DOMNode* t = e->appendChild(factory->createTextNode(text));
                    DOMNode* ref = first ? p->getFirstChild() : nullptr;
                    DOMNode* inserted = p->insertBefore(e, ref);
                    if (library) {
                        dom::dispose(t);
                        dom::dispose(ref);
                        dom::dispose(inserted);
                        dom::dispose(e);
                    }
                };
                Node p(ourNode(false, parent));
                ourStep([&] { make(doc, p.get(), true); });
                theirStep([&] { make(nativeDoc, theirNode(false, parent), false); });
                break;
            }
            case 1: { // an element moved under another one that is not inside it
                const size_t from = element(), to = element();
                if (from == 0 || insideOrSame(theirNode(false, to), theirNode(false, from))) break;
                Node moved(ourNode(false, from)), target(ourNode(false, to));
                ourStep([&] { dom::dispose(target->appendChild(moved.get())); });
                theirStep([&] { theirNode(false, to)->appendChild(theirNode(false, from)); });
                break;
            }
            case 2: { // an element removed
                const size_t victim = element();
                if (victim == 0) break;
                Node child(ourNode(false, victim));
                Node parent(child->getParentNode());
                ourStep([&] { dom::dispose(parent->removeChild(child.get())); });
                theirStep([&] {
                    DOMNode* c = theirNode(false, victim);
                    c->getParentNode()->removeChild(c)->release();
                });
                break;
            }
            case 3: { // an attribute written
                const size_t target = element();
                const char16_t* name = kNames[in.next() % 6];
                const char16_t* value = kTexts[in.next() % kTextCount];
                Node e(ourNode(false, target));
                ourStep([&] { static_cast<DOMElement*>(e.get())->setAttribute(name, value); });
                theirStep(
                    [&] { static_cast<DOMElement*>(theirNode(false, target))->setAttribute(name, value); });
                break;
            }
            case 4: { // an attribute removed
                const size_t target = element();
                const char16_t* name = kNames[in.next() % 6];
                Node e(ourNode(false, target));
                ourStep([&] { static_cast<DOMElement*>(e.get())->removeAttribute(name); });
                theirStep([&] { static_cast<DOMElement*>(theirNode(false, target))->removeAttribute(name); });
                break;
            }
            case 5: { // a text edited
                if (texts == 0) break;
                const size_t target = in.next() % texts;
                const unsigned how = in.next() % 3, offset = in.next() % 8, length = in.next() % 8;
                const char16_t* text = kTexts[in.next() % kTextCount];
                auto edit = [&](DOMNode* n) {
                    auto* t = static_cast<DOMCharacterData*>(n);
                    if (how == 0) t->appendData(text);
                    if (how == 1) t->insertData(offset, text);
                    if (how == 2) t->deleteData(offset, length);
                };
                Node t(ourNode(true, target));
                ourStep([&] { edit(t.get()); });
                theirStep([&] { edit(theirNode(true, target)); });
                break;
            }
            case 6: { // a deep copy of an element appended to another
                const size_t from = element(), to = element();
                // Copies double the tree: a bounded tree keeps every input fast.
                if (elements > 400) break;
                Node source(ourNode(false, from)), target(ourNode(false, to));
                ourStep([&] {
                    // No copy is the library's way of refusing one (an uncopyable attribute, a text that
                    // XML cannot hold).
                    Node copy(source->cloneNode(true));
                    if (copy)
                        dom::dispose(target->appendChild(copy.get()));
                    else
                        refused = true;
                });
                theirStep(
                    [&] { theirNode(false, to)->appendChild(theirNode(false, from)->cloneNode(true)); });
                break;
            }
            }
            const std::string now = host.toXml();
            if (refused && now != before) find("a refused change left the host's tree changed");
            std::u16string hostForm;
            hostCanonical(host.application(), hostForm);
            const std::u16string nativeForm = canonical(theirs);
            if (hostForm != nativeForm) {
                std::fprintf(stderr, "step %d\n  host:   %s\n  native: %s\n", step, narrow(hostForm).c_str(),
                             narrow(nativeForm).c_str());
                find("the host's tree and the native tree differ");
            }
        }
    }
    ourRoot = nullptr;
    doc->release();
    if (host.outstandingReferences() != 0) find("the library still holds host references");
    return 0;
}
