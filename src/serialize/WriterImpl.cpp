#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/serialize/WriterImpl.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/dom/impl/DOMLSOutputImpl.hpp>
#include <xercesc/framework/LocalFileFormatTarget.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/XMLFormatter.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLChar.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bridge/HostStatus.hpp"
#include "dom/DocumentImpl.hpp"
#include "dom/Identity.hpp"
#include "dom/NamespaceView.hpp"
#include "dom/NodeGuard.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl {

namespace {

// The process-wide delegate slot.
DOMLSSerializer*& delegateSlot() {
    static DOMLSSerializer* slot = nullptr;
    return slot;
}

DOMLSSerializer* delegate() {
    DOMLSSerializer*& slot = delegateSlot();
    if (!slot)
        slot = DOMImplementationRegistry::getDOMImplementation(u"Core LS")
                   ->createLSSerializer(XMLPlatformUtils::fgMemoryManager);
    return slot;
}

void dropDelegate() {
    DOMLSSerializer*& slot = delegateSlot();
    if (slot) slot->release();
    slot = nullptr;
}

// The identity of a node while a write runs: for one of ours the host handle behind it (the same host
// element can come back as another object), for any other node the object itself.
struct NodeKey {
    const void* object;
    Kw::HostRef handle;
    bool operator==(const NodeKey& other) const { return object == other.object && handle == other.handle; }
};

struct NodeKeyHash {
    size_t operator()(const NodeKey& key) const {
        return std::hash<const void*>()(key.object) ^ (std::hash<Kw::HostRef>()(key.handle) * 31);
    }
};

NodeKey keyOf(const DOMNode* node) {
    if (asNodeImpl(node)) return {nullptr, refOf(node).get()};
    return {node, -1};
}

// While a write runs on one of our nodes:
//  - node objects the delegate navigates are not released by it: what it hands out is tracked and ended
//    when the write is over;
//  - the nodes answer without namespace information (see NamespaceView.hpp);
//  - the delegate reads attribute values from an attribute's children when its "entities" parameter is
//    set; our attribute nodes hold their value without children (host trees have no entity
//    references), so the parameter is off for the write and put back afterwards.
class WriteScope {
public:
    WriteScope(const DOMNode* node, DOMLSSerializer* d)
        : config(asNodeImpl(node) ? d->getDomConfig() : nullptr) {
        if (config) {
            // Xerces-C answers a boolean parameter as the pointer value itself.
            entities = config->getParameter(XMLUni::fgDOMEntities) != nullptr;
            config->setParameter(XMLUni::fgDOMEntities, false);
            hidden = std::make_unique<HideNamespaceInfo>();
        }
        const DOMNode* doc =
            node && node->getNodeType() != DOMNode::DOCUMENT_NODE ? node->getOwnerDocument() : node;
        owner = asDocumentImpl(doc);
        if (owner && owner->isTracking()) owner = nullptr; // an outer scope ends them
        if (owner) scope = std::make_unique<DocumentImpl::TrackingScope>(*owner);
    }
    ~WriteScope() {
        if (config) config->setParameter(XMLUni::fgDOMEntities, entities);
        if (!owner) return;
        scope.reset();
        owner->disposeTracked();
    }
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;

private:
    DOMConfiguration* config;
    bool entities = true;
    std::unique_ptr<HideNamespaceInfo> hidden;
    DocumentImpl* owner = nullptr;
    std::unique_ptr<DocumentImpl::TrackingScope> scope;
};

} // namespace

WriterImpl::WriterImpl() {
    // A new serializer starts from a fresh delegate; the one there is released, not leaked.
    dropDelegate();
}

WriterImpl::~WriterImpl() {
    delete formatter;
    delegate(); // as the slot is emptied through the accessor, an empty slot is filled first
    dropDelegate();
}

void WriterImpl::setParameter(const XMLCh* name, bool value) {
    delegate()->getDomConfig()->setParameter(name, value);
}
void WriterImpl::setParameter(const XMLCh* name, const void* value) {
    delegate()->getDomConfig()->setParameter(name, value);
}
const void* WriterImpl::getParameter(const XMLCh* name) const {
    return delegate()->getDomConfig()->getParameter(name);
}
bool WriterImpl::canSetParameter(const XMLCh* name, bool value) const {
    return delegate()->getDomConfig()->canSetParameter(name, value);
}
bool WriterImpl::canSetParameter(const XMLCh* name, const void* value) const {
    return delegate()->getDomConfig()->canSetParameter(name, value);
}
const DOMStringList* WriterImpl::getParameterNames() const {
    return delegate()->getDomConfig()->getParameterNames();
}

void WriterImpl::setNewLine(const XMLCh* newLine) {
    delegate()->setNewLine(newLine);
}
const XMLCh* WriterImpl::getNewLine() const {
    return delegate()->getNewLine();
}
void WriterImpl::setFilter(DOMLSSerializerFilter* filter) {
    delegate()->setFilter(filter);
}
DOMLSSerializerFilter* WriterImpl::getFilter() const {
    return delegate()->getFilter();
}

namespace {

// Text XML 1.0 can hold: tab, line feed, carriage return, U+0020 to U+D7FF, U+E000 to U+FFFD, and
// surrogates only in pairs.
bool isXmlText(const XMLCh* text) {
    for (; text && *text; ++text) {
        const XMLCh c = *text;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (text[1] < 0xDC00 || text[1] > 0xDFFF) return false;
            ++text;
            continue;
        }
        if (c >= 0x20 ? (c >= 0xDC00 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF
                      : c != 0x9 && c != 0xA && c != 0xD)
            return false;
    }
    return true;
}

bool isXmlName(const XMLCh* name) {
    return name && *name && XMLChar1_0::isValidName(name);
}

// xsi:type, whose value is a QName: its prefix is bound like the prefix of a name.
bool isTypeAttribute(const XMLCh* name) {
    return name && std::u16string(name) == u"xsi:type";
}

// The prefix of a QName value ("kw" of "kw:ProcessColor"); empty when it has none or is no QName.
std::u16string valuePrefix(const XMLCh* value) {
    if (!value) return std::u16string();
    const std::u16string text(value);
    const size_t colon = text.find(u':');
    if (colon == std::u16string::npos || colon == 0) return std::u16string();
    std::u16string prefix = text.substr(0, colon);
    if (prefix == u"xml" || prefix == u"xmlns" || !XMLChar1_0::isValidNCName(prefix.c_str(), prefix.size()))
        return std::u16string();
    return prefix;
}

// A refusal the facade answered as "no node" or "" while the write ran: the output would be short, so
// the write fails with the host's status.
class RefusalWatch {
public:
    RefusalWatch() : before(Kw::unexaminedFailures().count) {}
    void check() const {
        const Kw::UnexaminedFailures& now = Kw::unexaminedFailures();
        if (now.count != before) Kw::checkStatus(now.last);
    }

private:
    uint64_t before;
};

using Attribute = std::pair<DOMBTString, DOMBTString>;

// Whether the delegate can write a node as it stands: it checks the characters of text, but writes
// element and attribute names, and (with its well-formed check off) values, as they come.
bool writable(const DOMNode* node) {
    switch (node->getNodeType()) {
    case DOMNode::ELEMENT_NODE:
        return isXmlName(node->getNodeName());
    case DOMNode::ATTRIBUTE_NODE:
        return isXmlName(node->getNodeName()) && isXmlText(node->getNodeValue());
    case DOMNode::TEXT_NODE:
    case DOMNode::CDATA_SECTION_NODE:
    case DOMNode::COMMENT_NODE:
    case DOMNode::PROCESSING_INSTRUCTION_NODE:
        return isXmlText(node->getNodeValue());
    default:
        return true;
    }
}

// The caller's decision on a node. Our own save filter reads the tree for the write: a refusal it meets
// fails the write like any other. What a filter of the caller's reads is its own business: a refusal it
// meets (an attribute it looks for and the element lacks, say) does not fail the write.
short decide(const DOMLSSerializerFilter* filter, const DOMNode* node) {
    if (dynamic_cast<const WriterFilterImpl*>(filter)) return filter->acceptNode(node);
    struct Restore {
        Kw::UnexaminedFailures saved = Kw::unexaminedFailures();
        ~Restore() { Kw::unexaminedFailures() = saved; }
    } restore;
    return filter->acceptNode(node);
}

// Stands in for the caller's filter while the delegate writes: every node and attribute the delegate
// meets is checked first; one it could not write well-formed is left out and remembered, and the write
// fails. The caller's filter decides the rest, as the delegate would ask it.
//
// It also keeps the nesting level: the delegate calls itself once per level, so a node deeper than
// WriterImpl::maxDepth below the node given to write is left out, before the delegate goes into it,
// and the write fails. The level comes from the path of nodes from that node down to the one asked
// about: the delegate asks in document order, so the new node's parent is on the path, and whatever
// stands below the parent there has been written already.
class GuardFilter : public DOMLSSerializerFilter {
public:
    // `root` is the node given to write: the delegate writes it or, when it is an element, its children.
    // Either way it starts the path at level 0 (the delegate does not ask about a document node itself;
    // when it asks about the root, the root's parent is not on the path and the path starts afresh).
    GuardFilter(DOMLSSerializerFilter* user, const DOMNode* root)
        : user(user), path{keyOf(root)}, tracking(asNodeImpl(root) || asDocumentImpl(root)) {}
    FilterAction acceptNode(const DOMNode* node) const override {
        const bool attribute = node->getNodeType() == DOMNode::ATTRIBUTE_NODE;
        const bool deep = !attribute && !withinDepth(node);
        FilterAction action = FILTER_ACCEPT;
        if (user) {
            const unsigned long bit = 1ul << (node->getNodeType() - 1);
            if (user->getWhatToShow() & bit) action = static_cast<FilterAction>(decide(user, node));
        }
        // What the caller's filter leaves out whole is neither written nor counted.
        if (action == FILTER_REJECT) return FILTER_REJECT;
        if (deep) {
            tooDeep = true;
            return FILTER_REJECT;
        }
        if (!writable(node)) {
            unwritable = true;
            return FILTER_REJECT;
        }
        if (tracking && action == FILTER_ACCEPT && (attribute || node->getNodeType() == DOMNode::ELEMENT_NODE)) {
            noteName(node->getNodeName(), attribute);
            if (attribute && isTypeAttribute(node->getNodeName())) noteValue(node->getNodeValue());
        }
        return action;
    }
    ShowType getWhatToShow() const override { return 0xFFFFFFFF; }
    bool failed() const { return unwritable || tooDeep; }

    // Puts a node the writer writes itself on the path (a document's element), as if the delegate had
    // asked about it; false when it lies past the nesting bound.
    bool enter(const DOMNode* node) {
        if (withinDepth(node)) return true;
        tooDeep = true;
        return false;
    }

    // The prefixes used in names the delegate wrote that no declaration it wrote around them binds:
    // they must be declared on the outermost start tag. The path is closed down to the node given to
    // write.
    std::vector<std::u16string> undeclared() const { return closed(&Scope::used, orphans); }
    // The same for the prefixes of xsi:type values (QNames): declared when the document binds them.
    std::vector<std::u16string> undeclaredInValues() const { return closed(&Scope::inValues, orphansInValues); }

private:
    // The declarations written on one element of the path and the prefixes used at or below it that
    // are not bound yet.
    struct Scope {
        std::vector<std::u16string> declared, used, inValues;
    };

    std::vector<std::u16string> closed(std::vector<std::u16string> Scope::*which,
                                       const std::vector<std::u16string>& orphaned) const {
        while (path.size() > 1) pop();
        std::vector<std::u16string> out(orphaned);
        if (!scopes.empty()) out.insert(out.end(), (scopes[0].*which).begin(), (scopes[0].*which).end());
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
        return out;
    }

    bool withinDepth(const DOMNode* node) const {
        const NodeGuard<DOMNode> parent(node->getParentNode());
        const NodeKey up = keyOf(parent.get());
        while (!path.empty() && !(path.back() == up)) pop();
        path.push_back(keyOf(node));
        scopes.emplace_back();
        return path.size() - 1 <= WriterImpl::maxDepth;
    }

    // Leaves the innermost element: what it used and did not declare goes up to its parent.
    void pop() const {
        Scope done = std::move(scopes.back());
        scopes.pop_back();
        path.pop_back();
        for (std::u16string& prefix : done.used) {
            if (std::find(done.declared.begin(), done.declared.end(), prefix) != done.declared.end()) continue;
            std::vector<std::u16string>& up = scopes.empty() ? orphans : scopes.back().used;
            if (std::find(up.begin(), up.end(), prefix) == up.end()) up.push_back(std::move(prefix));
        }
        for (std::u16string& prefix : done.inValues) {
            if (std::find(done.declared.begin(), done.declared.end(), prefix) != done.declared.end()) continue;
            std::vector<std::u16string>& up = scopes.empty() ? orphansInValues : scopes.back().inValues;
            if (std::find(up.begin(), up.end(), prefix) == up.end()) up.push_back(std::move(prefix));
        }
    }

    void noteValue(const XMLCh* value) const {
        if (scopes.empty()) return;
        std::u16string prefix = valuePrefix(value);
        std::vector<std::u16string>& in = scopes.back().inValues;
        if (!prefix.empty() && std::find(in.begin(), in.end(), prefix) == in.end()) in.push_back(std::move(prefix));
    }

    void noteName(const XMLCh* name, bool attribute) const {
        if (scopes.empty() || !name) return;
        const std::u16string text(name);
        const size_t colon = text.find(u':');
        Scope& scope = scopes.back();
        if (attribute && text.compare(0, 6, u"xmlns:") == 0) {
            scope.declared.push_back(text.substr(6));
            return;
        }
        if (colon == std::u16string::npos) return;
        std::u16string prefix = text.substr(0, colon);
        if (prefix == u"xml" || prefix == u"xmlns") return;
        if (std::find(scope.used.begin(), scope.used.end(), prefix) == scope.used.end())
            scope.used.push_back(std::move(prefix));
    }

    DOMLSSerializerFilter* user;
    mutable std::vector<NodeKey> path;
    mutable std::vector<Scope> scopes{1};
    mutable std::vector<std::u16string> orphans, orphansInValues;
    // Prefixes are followed for our nodes only: the delegate declares those of Xerces-C nodes itself,
    // from their namespace information.
    const bool tracking;
    mutable bool unwritable = false;
    mutable bool tooDeep = false;
};

// Installs the guard on the delegate for one write and gives the caller's filter back afterwards.
class Guarded {
public:
    Guarded(DOMLSSerializer* d, DOMLSSerializerFilter* user, const DOMNode* root)
        : d(d), user(user), guard(user, root) {
        d->setFilter(&guard);
    }
    ~Guarded() { d->setFilter(user); }
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;
    bool failed() const { return guard.failed(); }
    GuardFilter& filter() { return guard; }

private:
    DOMLSSerializer* d;
    DOMLSSerializerFilter* user;
    GuardFilter guard;
};

// An attribute value between double quotes: '&', '<' and '"' as entities (as Xerces-C writes them), and tab,
// line feed and carriage return as character references, so that a parser hands back the value unchanged
// instead of normalising them to spaces.
std::u16string escapedValue(const XMLCh* value) {
    std::u16string out;
    for (; value && *value; ++value) {
        switch (*value) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'"':
            out += u"&quot;";
            break;
        case u'\t':
            out += u"&#x9;";
            break;
        case u'\n':
            out += u"&#xA;";
            break;
        case u'\r':
            out += u"&#xD;";
            break;
        default:
            out += *value;
        }
    }
    return out;
}

} // namespace

namespace {

const XMLCh* nonEmpty(const XMLCh* text) {
    return text && *text ? text : nullptr;
}

// The encoding a destination that names none is written in, as Xerces-C's serializer chooses it: the
// document's input encoding, else its declared encoding, else UTF-8.
DOMBTString encodingFor(const DOMNode* node, DOMLSOutput* destination) {
    if (const XMLCh* named = nonEmpty(destination->getEncoding())) return DOMBTString(named);
    const DOMDocument* doc = node->getNodeType() == DOMNode::DOCUMENT_NODE
                                 ? static_cast<const DOMDocument*>(node)
                                 : node->getOwnerDocument();
    if (doc) {
        if (const XMLCh* input = nonEmpty(doc->getInputEncoding())) return DOMBTString(input);
        if (const XMLCh* declared = nonEmpty(doc->getXmlEncoding())) return DOMBTString(declared);
    }
    return DOMBTString(XMLUni::fgUTF8EncodingString);
}

// The byte order mark Xerces-C's serializer writes for a document in the encoding (only Unicode
// encodings have one; UTF-16 and UCS-4 without an order are written in the machine's).
std::string byteOrderMark(const XMLCh* encoding) {
    const bool little = XMLPlatformUtils::fgXMLChBigEndian == false;
    const char* const utf16 = little ? "\xFF\xFE" : "\xFE\xFF";
    const char* const ucs4 = little ? "\xFF\xFE\0\0" : "\0\0\xFE\xFF";
    const struct {
        const XMLCh* name;
        const char* mark;
        size_t size;
    } marks[] = {
        {XMLUni::fgUTF8EncodingString, "\xEF\xBB\xBF", 3},  {XMLUni::fgUTF8EncodingString2, "\xEF\xBB\xBF", 3},
        {XMLUni::fgUTF16LEncodingString, "\xFF\xFE", 2},    {XMLUni::fgUTF16LEncodingString2, "\xFF\xFE", 2},
        {XMLUni::fgUTF16BEncodingString, "\xFE\xFF", 2},    {XMLUni::fgUTF16BEncodingString2, "\xFE\xFF", 2},
        {XMLUni::fgUTF16EncodingString, utf16, 2},          {XMLUni::fgUTF16EncodingString2, utf16, 2},
        {XMLUni::fgUTF16EncodingString3, utf16, 2},         {XMLUni::fgUTF16EncodingString4, utf16, 2},
        {XMLUni::fgUTF16EncodingString5, utf16, 2},         {XMLUni::fgUTF16EncodingString6, utf16, 2},
        {XMLUni::fgUTF16EncodingString7, utf16, 2},         {XMLUni::fgUCS4LEncodingString, "\xFF\xFE\0\0", 4},
        {XMLUni::fgUCS4LEncodingString2, "\xFF\xFE\0\0", 4}, {XMLUni::fgUCS4BEncodingString, "\0\0\xFE\xFF", 4},
        {XMLUni::fgUCS4BEncodingString2, "\0\0\xFE\xFF", 4}, {XMLUni::fgUCS4EncodingString, ucs4, 4},
        {XMLUni::fgUCS4EncodingString2, ucs4, 4},           {XMLUni::fgUCS4EncodingString3, ucs4, 4},
    };
    for (const auto& m : marks)
        if (XMLString::compareIStringASCII(encoding, m.name) == 0) return std::string(m.mark, m.size);
    return std::string();
}

bool parameterOn(DOMLSSerializer* d, const XMLCh* name) {
    // Xerces-C answers a boolean parameter as the pointer value itself.
    return d->getDomConfig()->getParameter(name) != nullptr;
}

const XMLCh* const xsiNamespace = u"http://www.w3.org/2001/XMLSchema-instance";

// One write, with the destination resolved (a byte stream and an encoding).
class Run {
public:
    Run(DOMLSSerializer* d, XMLFormatter& out, DOMLSOutput& output, const RefusalWatch& watch,
        Guarded& guarded, DOMLSSerializerFilter* filter)
        : d(d), out(out), output(output), watch(watch), guarded(guarded), filter(filter) {}

    short decision(const DOMNode* node) const {
        if (!filter) return DOMNodeFilter::FILTER_ACCEPT;
        const unsigned long bit = 1ul << (node->getNodeType() - 1);
        return (filter->getWhatToShow() & bit) ? decide(filter, node)
                                                : static_cast<short>(DOMNodeFilter::FILTER_ACCEPT);
    }

    void attribute(const XMLCh* attrName, const XMLCh* value) {
        out << XMLFormatter::NoEscapes << attrName << u"=\"" << escapedValue(value).c_str() << u"\"";
    }

    // An element with the decision taken on it (accept or skip): its start tag, its children as the
    // delegate writes them, its end tag.
    bool element(const DOMNode* node, short decision);
    // Our document node: the XML declaration as the delegate's configuration asks, then its children.
    bool document(const DOMNode* node);

private:
    DOMLSSerializer* d;
    XMLFormatter& out;
    DOMLSOutput& output;
    const RefusalWatch& watch;
    Guarded& guarded;
    DOMLSSerializerFilter* filter;
};

bool Run::element(const DOMNode* node, short decision) {
    const bool accept = decision == DOMNodeFilter::FILTER_ACCEPT;
    const DOMBTString name(node->getNodeName());
    std::vector<Attribute> header, own;
    if (accept) {
        // Everything the start tag holds is read and checked before the first byte goes out: a refused
        // read, a name that is not an XML name, a repeated name or a character XML cannot hold fails
        // the write instead of giving malformed or short output.
        DOMNamedNodeMap* attrs = node->getAttributes();
        const XMLSize_t n = attrs ? attrs->getLength() : 0;
        for (XMLSize_t i = 0; i < n; ++i) {
            NodeGuard<DOMAttr> a(static_cast<DOMAttr*>(attrs->item(i)));
            if (a && a->getSpecified())
                own.emplace_back(DOMBTString(a->getNodeName()), DOMBTString(a->getNodeValue()));
        }
        // The header attributes; one of the same name as an element's own gives way to it.
        int count = 0;
        DOMBTString headerName, headerValue;
        Kw::checkStatus(
            static_cast<Kw::HostStatus>(Kw::ElementRef::GetXMLHeaderAttr(0, count, headerName, headerValue)));
        for (int i = 1; i <= count; ++i) {
            int index = i;
            Kw::checkStatus(static_cast<Kw::HostStatus>(
                Kw::ElementRef::GetXMLHeaderAttr(1, index, headerName, headerValue)));
            const bool shadowed = std::any_of(own.begin(), own.end(),
                                              [&](const Attribute& a) { return a.first == headerName; });
            if (!shadowed) header.emplace_back(headerName, headerValue);
        }
        watch.check();
        if (!isXmlName(name.GetUChar16())) return false;
        std::vector<const DOMBTString*> names;
        for (const std::vector<Attribute>* list : {&header, &own})
            for (const Attribute& a : *list) {
                if (!isXmlName(a.first.GetUChar16()) || !isXmlText(a.second.GetUChar16())) return false;
                names.push_back(&a.first);
            }
        for (size_t i = 0; i < names.size(); ++i)
            for (size_t j = i + 1; j < names.size(); ++j)
                if (*names[i] == *names[j]) return false;
    }

    // The children go to a buffer first, in the destination's encoding: the outermost start tag must
    // declare every prefix they use that nothing written binds, and they are known only once written.
    MemBufFormatTarget children(1023, XMLPlatformUtils::fgMemoryManager);
    DOMLSOutputImpl buffered(XMLPlatformUtils::fgMemoryManager);
    buffered.setByteStream(&children);
    buffered.setEncoding(output.getEncoding());
    NodeGuard<DOMNode> child(node->getFirstChild());
    watch.check();
    const bool any = static_cast<bool>(child);
    while (child) {
        // The delegate answers false for what it could not write (a refusal it met, a character XML
        // cannot hold); the output is then incomplete and so is the write.
        const bool written = d->write(child.get(), &buffered);
        watch.check();
        if (!written || guarded.failed()) return false;
        child.reset(child->getNextSibling());
        watch.check();
    }

    std::vector<Attribute> declarations;
    if (accept && asNodeImpl(node)) {
        // Prefixes used on this element or below it that no declaration in the output binds are
        // declared here, with the binding the document gives them (xsi, which the host keeps as a typed
        // attribute, always has its own); a prefix the document does not bind fails the write.
        std::vector<std::u16string> wanted = guarded.filter().undeclared();
        auto use = [&](const DOMBTString& qname) {
            const std::u16string text(qname.GetUChar16());
            const size_t colon = text.find(u':');
            if (colon == std::u16string::npos) return;
            const std::u16string prefix = text.substr(0, colon);
            if (prefix == u"xml" || prefix == u"xmlns") return;
            if (std::find(wanted.begin(), wanted.end(), prefix) == wanted.end()) wanted.push_back(prefix);
        };
        use(name);
        for (const std::vector<Attribute>* list : {&header, &own})
            for (const Attribute& a : *list) use(a.first);
        for (const std::u16string& prefix : wanted) {
            const DOMBTString declaration((u"xmlns:" + prefix).c_str());
            const bool declared = std::any_of(header.begin(), header.end(),
                                              [&](const Attribute& a) { return a.first == declaration; }) ||
                                  std::any_of(own.begin(), own.end(),
                                              [&](const Attribute& a) { return a.first == declaration; });
            if (declared) continue;
            DOMBTString uri(node->lookupNamespaceURI(prefix.c_str()));
            watch.check();
            if (uri.str().empty() && prefix == u"xsi") uri = DOMBTString(xsiNamespace);
            if (uri.str().empty() || !isXmlText(uri.GetUChar16())) return false;
            declarations.emplace_back(declaration, uri);
        }
        // The prefix of an xsi:type value is declared when the document binds it and nothing written
        // does; one the document does not bind is left as it stands (a value does not make XML
        // malformed).
        std::vector<std::u16string> inValues = guarded.filter().undeclaredInValues();
        for (const Attribute& a : own)
            if (isTypeAttribute(a.first.GetUChar16())) {
                const std::u16string prefix = valuePrefix(a.second.GetUChar16());
                if (!prefix.empty()) inValues.push_back(prefix);
            }
        for (const std::u16string& prefix : inValues) {
            const DOMBTString declaration((u"xmlns:" + prefix).c_str());
            auto same = [&](const Attribute& a) { return a.first == declaration; };
            if (std::any_of(header.begin(), header.end(), same) || std::any_of(own.begin(), own.end(), same) ||
                std::any_of(declarations.begin(), declarations.end(), same))
                continue;
            const DOMBTString uri(node->lookupNamespaceURI(prefix.c_str()));
            watch.check();
            if (!uri.str().empty() && isXmlText(uri.GetUChar16())) declarations.emplace_back(declaration, uri);
        }
    }
    if (accept) {
        out << XMLFormatter::NoEscapes << u"<" << name.GetUChar16();
        for (const std::vector<Attribute>* list : {&header, &own, &declarations})
            for (const Attribute& a : *list) {
                out << XMLFormatter::NoEscapes << u" ";
                attribute(a.first.GetUChar16(), a.second.GetUChar16());
            }
        out << XMLFormatter::NoEscapes << (any ? u">" : u"/>");
    }
    if (XMLFormatTarget* target = output.getByteStream(); children.getLen() > 0)
        target->writeChars(children.getRawBuffer(), children.getLen(), &out);
    if (accept && any) out << XMLFormatter::NoEscapes << u"</" << name.GetUChar16() << u">";
    return true;
}

bool Run::document(const DOMNode* node) {
    const auto* doc = static_cast<const DOMDocument*>(node);
    const XMLCh* encoding = output.getEncoding();
    const bool pretty = parameterOn(d, XMLUni::fgDOMWRTFormatPrettyPrint);
    const DOMBTString newLine(d->getNewLine());
    if (parameterOn(d, XMLUni::fgDOMWRTBOM)) {
        const std::string mark = byteOrderMark(encoding);
        if (!mark.empty()) out.writeBOM(reinterpret_cast<const XMLByte*>(mark.data()), mark.size());
    }
    if (parameterOn(d, XMLUni::fgDOMXMLDeclaration)) {
        // The document answers no standalone flag: it is written as Xerces-C writes a document that is
        // not standalone.
        const XMLCh* version = nonEmpty(doc->getXmlVersion());
        out << XMLFormatter::NoEscapes << u"<?xml version=\"" << (version ? version : u"1.0")
            << u"\" encoding=\"" << encoding << u"\" standalone=\"no\" ?>";
    }
    // The document element, through the library's own element path (the host's header attributes on
    // its start tag, as on every output); the host's document has no other children.
    NodeGuard<DOMElement> root(doc->getDocumentElement());
    watch.check();
    if (root) {
        const short decision = this->decision(root.get());
        watch.check();
        if (decision != DOMNodeFilter::FILTER_REJECT) {
            if (!guarded.filter().enter(root.get())) return false;
            if (pretty) out << XMLFormatter::NoEscapes << newLine.GetUChar16();
            if (!element(root.get(), decision)) return false;
        }
    }
    if (pretty) out << XMLFormatter::NoEscapes << newLine.GetUChar16();
    return true;
}

} // namespace

bool WriterImpl::write(const DOMNode* node, DOMLSOutput* destination) {
    if (!node || !destination) return false;
    XMLFormatTarget* const target = destination->getByteStream();
    if (!target) {
        // A destination named by its system ID alone: the file gets the whole output or nothing.
        const XMLCh* uri = nonEmpty(destination->getSystemId());
        if (!uri) return false;
        MemBufFormatTarget buffer(1023, XMLPlatformUtils::fgMemoryManager);
        DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
        output.setSystemId(uri);
        output.setByteStream(&buffer);
        output.setEncoding(destination->getEncoding());
        if (!write(node, &output)) return false;
        try {
            LocalFileFormatTarget file(uri, XMLPlatformUtils::fgMemoryManager);
            file.writeChars(buffer.getRawBuffer(), buffer.getLen(), nullptr);
            file.flush();
        } catch (const XMLException&) {
            return false;
        }
        return true;
    }

    DOMLSSerializer* d = delegate();
    // A copy: the delegate frees its old newline before it copies the new one.
    const XMLCh* current = d->getNewLine();
    const DOMBTString newLine(current && *current ? current : u"\n");
    d->setNewLine(newLine.GetUChar16());

    // The delegate and the formatter get the same, named, encoding.
    const DOMBTString encoding = encodingFor(node, destination);
    DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
    output.setByteStream(target);
    output.setSystemId(destination->getSystemId());
    output.setEncoding(encoding.GetUChar16());

    std::unique_ptr<XMLFormatter> owned(new XMLFormatter(encoding.GetUChar16(), target, XMLFormatter::NoEscapes,
                                                         XMLFormatter::UnRep_CharRef,
                                                         XMLPlatformUtils::fgMemoryManager));
    formatter = owned.get();
    struct ClearFormatter {
        XMLFormatter*& slot;
        ~ClearFormatter() { slot = nullptr; }
    } clear{formatter};
    WriteScope scope(node, d);
    const RefusalWatch watch;

    DOMLSSerializerFilter* const filter = d->getFilter();
    // Our save filter remembers what its searches found for this write only.
    std::unique_ptr<WriterFilterImpl::WriteSession> session;
    if (const auto* save = dynamic_cast<const WriterFilterImpl*>(filter))
        session = std::make_unique<WriterFilterImpl::WriteSession>(*save);
    Guarded guarded(d, filter, node);
    Run run(d, *formatter, output, watch, guarded, filter);
    const short decision = run.decision(node);
    watch.check();
    // An attribute node of ours is written as name="value", as Xerces-C writes its own.
    if (node->getNodeType() == DOMNode::ATTRIBUTE_NODE && asDisposable(node)) {
        if (decision == DOMNodeFilter::FILTER_REJECT) return true;
        const DOMBTString attrName(node->getNodeName()), value(node->getNodeValue());
        watch.check();
        if (!isXmlName(attrName.GetUChar16()) || !isXmlText(value.GetUChar16())) return false;
        run.attribute(attrName.GetUChar16(), value.GetUChar16());
        return true;
    }
    // Our document node: the delegate would ask it for a standalone flag it does not have.
    if (node->getNodeType() == DOMNode::DOCUMENT_NODE && asDocumentImpl(node)) return run.document(node);
    if (node->getNodeType() != DOMNode::ELEMENT_NODE) {
        const bool written = d->write(node, &output);
        watch.check();
        return written && !guarded.failed();
    }
    if (decision == DOMNodeFilter::FILTER_REJECT) return true;
    return run.element(node, decision);
}

XMLCh* WriterImpl::writeToString(const DOMNode* node, MemoryManager*) {
    // A string gets no byte order mark, as Xerces-C's own serializer gives none.
    DOMConfiguration* config = delegate()->getDomConfig();
    struct NoMark {
        DOMConfiguration* config;
        bool was = config->getParameter(XMLUni::fgDOMWRTBOM) != nullptr;
        ~NoMark() { config->setParameter(XMLUni::fgDOMWRTBOM, was); }
    } noMark{config};
    config->setParameter(XMLUni::fgDOMWRTBOM, false);
    MemBufFormatTarget target(1023, XMLPlatformUtils::fgMemoryManager);
    DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
    output.setByteStream(&target);
    output.setEncoding(XMLUni::fgUTF16EncodingString);
    try {
        if (!static_cast<DOMLSSerializer*>(this)->write(node, &output)) return nullptr;
    } catch (const DOMException&) {
        return nullptr;
    }
    return XMLString::replicate(reinterpret_cast<const XMLCh*>(target.getRawBuffer()),
                                XMLPlatformUtils::fgMemoryManager);
}

bool WriterImpl::writeToURI(const DOMNode* node, const XMLCh* uri) {
    // The whole output is made first, and the file opened for the system ID only when the write
    // succeeded: a failed write leaves whatever file was there as it was.
    MemBufFormatTarget buffer(1023, XMLPlatformUtils::fgMemoryManager);
    DOMLSOutputImpl output(XMLPlatformUtils::fgMemoryManager);
    output.setSystemId(uri);
    output.setByteStream(&buffer);
    output.setEncoding(XMLUni::fgUTF8EncodingString);
    if (!static_cast<DOMLSSerializer*>(this)->write(node, &output)) return false;
    try {
        LocalFileFormatTarget file(uri, XMLPlatformUtils::fgMemoryManager);
        file.writeChars(buffer.getRawBuffer(), buffer.getLen(), nullptr);
        file.flush();
    } catch (const XMLException&) {
        return false;
    }
    return true;
}

// The filter.

struct WriterFilterImpl::Answers {
    // true: the element has a text node or a specified attribute at or below it; false: it has none.
    std::unordered_map<NodeKey, bool, NodeKeyHash> known;
};

WriterFilterImpl::WriterFilterImpl() = default;
WriterFilterImpl::~WriterFilterImpl() = default;

WriterFilterImpl::WriteSession::WriteSession(const WriterFilterImpl& filter)
    : filter(filter), previous(std::move(filter.answers)) {
    filter.answers = std::make_unique<Answers>();
}

WriterFilterImpl::WriteSession::~WriteSession() {
    filter.answers = std::move(previous);
}

namespace {

enum class Found { Yes, No, Below };

// What a node shows by itself: text is kept, so is a node with a specified attribute; otherwise the
// answer lies below it (or is already known).
Found examine(const DOMNode* node, const WriterFilterImpl::Answers* answers) {
    if (node->getNodeType() == DOMNode::TEXT_NODE) return Found::Yes;
    if (answers) {
        auto it = answers->known.find(keyOf(node));
        if (it != answers->known.end()) return it->second ? Found::Yes : Found::No;
    }
    if (DOMNamedNodeMap* attrs = node->getAttributes()) {
        const XMLSize_t n = attrs->getLength();
        for (XMLSize_t i = 0; i < n; ++i) {
            NodeGuard<DOMAttr> a(static_cast<DOMAttr*>(attrs->item(i)));
            if (a && a->getSpecified()) return Found::Yes;
        }
    }
    return Found::Below;
}

} // namespace

DOMNodeFilter::FilterAction WriterFilterImpl::acceptNode(const DOMNode* node) const {
    // The delegate also asks about each attribute it writes; an attribute has no attribute map of its
    // own: it is kept when specified.
    if (node->getNodeType() == DOMNode::ATTRIBUTE_NODE)
        return static_cast<const DOMAttr*>(node)->getSpecified() ? FILTER_ACCEPT : FILTER_REJECT;
    Answers* const memo = answers.get();
    const Found self = examine(node, memo);
    if (self != Found::Below) return self == Found::Yes ? FILTER_ACCEPT : FILTER_REJECT;

    // Depth first, in document order, down to the first node that is kept, with the path there held in
    // a vector instead of the call stack. Once found, every element on the path is known to be kept;
    // an element whose subtree was searched to its end is known to be left out.
    struct Level {
        NodeKey key;
        NodeGuard<DOMNode> owned; // null for `node` itself, which is the caller's
        NodeGuard<DOMNode> child;
    };
    std::vector<Level> path;
    path.push_back({keyOf(node), NodeGuard<DOMNode>(), NodeGuard<DOMNode>(node->getFirstChild())});
    while (!path.empty()) {
        Level& level = path.back();
        if (!level.child) {
            if (memo) memo->known[level.key] = false;
            const NodeGuard<DOMNode> done(std::move(level.owned));
            path.pop_back();
            if (!path.empty()) path.back().child.reset(done->getNextSibling());
            continue;
        }
        const DOMNode* child = level.child.get();
        switch (examine(child, memo)) {
        case Found::Yes:
            if (memo)
                for (const Level& l : path) memo->known[l.key] = true;
            return FILTER_ACCEPT;
        case Found::No:
            level.child.reset(child->getNextSibling());
            break;
        case Found::Below: {
            NodeGuard<DOMNode> first(child->getFirstChild());
            const NodeKey key = keyOf(child);
            NodeGuard<DOMNode> owned(level.child.release());
            path.push_back({key, std::move(owned), std::move(first)});
            break;
        }
        }
    }
    return FILTER_REJECT;
}

} // namespace domImpl
