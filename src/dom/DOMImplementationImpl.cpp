#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKw/dom/DOMImplementationImpl.hpp>
#include <DOMKw/dom/DocumentImpl.hpp>
#include <DOMKw/serialize/WriterImpl.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLStringTokenizer.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <cwchar>
#include <string>

#include "bridge/HostStatus.hpp"
#include "bridge/StartupSteps.hpp"
#include "xpath/XPathStartup.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl {

namespace {

DOMImplementation* xercesImplementation() { return DOMImplementationRegistry::getDOMImplementation(u"Core LS"); }

bool equalsIgnoringCase(const XMLCh* a, const char16_t* b) {
    for (; *a && *b; ++a, ++b) {
        XMLCh x = *a, y = *b;
        if (x >= u'a' && x <= u'z') x = static_cast<XMLCh>(x - 32);
        if (y >= u'a' && y <= u'z') y = static_cast<XMLCh>(y - 32);
        if (x != y) return false;
    }
    return *a == 0 && *b == 0;
}

// wprintf takes wide characters: UTF-16 becomes code points.
std::wstring wide(const XMLCh* text) {
    std::wstring out;
    for (; text && *text; ++text) {
        uint32_t c = *text;
        if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) c = 0x10000 + ((c - 0xD800) << 10) + (*++text - 0xDC00);
        out += static_cast<wchar_t>(c);
    }
    return out;
}

// The list this source answers: its implementation, or nothing.
class ImplementationList : public DOMImplementationList {
public:
    explicit ImplementationList(DOMImplementation* impl) : impl(impl) {}
    DOMImplementation* item(XMLSize_t index) const override { return index == 0 ? impl : nullptr; }
    XMLSize_t getLength() const override { return impl ? 1 : 0; }
    void release() override { delete this; }

private:
    DOMImplementation* impl;
};

const char16_t* const kSourceFeatures = u"Tellam 6.0 Core 3.0 Events 3.0";

} // namespace

DOMImplementationImpl* DOMImplementationImpl::instance() {
    static DOMImplementationImpl impl;
    return &impl;
}

bool DOMImplementationImpl::hasFeature(const XMLCh* feature, const XMLCh* version) const {
    if (!feature) return false;
    const std::u16string v = version ? version : u"";
    static const struct {
        const char16_t* name;
        const char16_t* versions[2];
    } table[] = {
        {u"XML", {u"1.0", nullptr}},  {u"Core", {u"3.0", u"2.0"}},  {u"Events", {u"3.0", u"2.0"}},
        {u"Tellam", {u"7.0", u"6.0"}}, {u"XPath", {u"3.0", u"2.0"}},
    };
    for (const auto& row : table) {
        if (!equalsIgnoringCase(feature, row.name)) continue;
        if (v.empty()) return true;
        for (const char16_t* accepted : row.versions)
            if (accepted && v == accepted) return true;
        return false;
    }
    return false;
}

DOMDocument* DOMImplementationImpl::createDocument(MemoryManager*) {
    // A host with no project loaded has no application element: no document, and no exception.
    Kw::ElementRef application;
    try {
        application = Kw::ElementRef::get_Application();
    } catch (const DOMException& e) {
        if (e.code != DOMException::NOT_FOUND_ERR) throw;
        return nullptr;
    }
    return DocumentImpl::create(application);
}

DOMDocument* DOMImplementationImpl::createDocument(const XMLCh*, const XMLCh*, DOMDocumentType*, MemoryManager* m) {
    return createDocument(m);
}

DOMDocumentType* DOMImplementationImpl::createDocumentType(const XMLCh*, const XMLCh*, const XMLCh*) {
    Kw::throwDOMException(9);
}

DOMLSSerializer* DOMImplementationImpl::createLSSerializer(MemoryManager*) { return new WriterImpl(); }

DOMLSParser* DOMImplementationImpl::createLSParser(DOMImplementationLSMode mode, const XMLCh* schemaType,
                                                   MemoryManager* manager, XMLGrammarPool* pool) {
    DOMLSParser* parser = xercesImplementation()->createLSParser(mode, schemaType, manager, pool);
    parser->getDomConfig()->setParameter(XMLUni::fgDOMNamespaces, false);
    return parser;
}

DOMLSInput* DOMImplementationImpl::createLSInput(MemoryManager* manager) {
    return xercesImplementation()->createLSInput(manager);
}

DOMLSOutput* DOMImplementationImpl::createLSOutput(MemoryManager* manager) {
    return xercesImplementation()->createLSOutput(manager);
}

void* DOMImplementationImpl::getFeature(const XMLCh* feature, const XMLCh*) const {
    if (hasFeature(feature, nullptr)) return const_cast<DOMImplementationImpl*>(this);
    return DOMImplementationRegistry::getDOMImplementation(feature);
}

DOMImplementation* DOMImplementationSourceImpl::getDOMImplementation(const XMLCh* list) const {
    DOMImplementationImpl* impl = DOMImplementationImpl::instance();
    XMLStringTokenizer tokens(list ? list : u"");
    // A token that starts with a digit is the version of the feature before it.
    const XMLCh* feature = nullptr;
    while (tokens.hasMoreTokens()) {
        const XMLCh* token = tokens.nextToken();
        const bool isVersion = feature && token[0] >= u'0' && token[0] <= u'9';
        if (isVersion) {
            if (!impl->hasFeature(feature, token)) return nullptr;
            feature = nullptr;
            continue;
        }
        if (feature && !impl->hasFeature(feature, nullptr)) return nullptr;
        feature = token;
    }
    if (feature && !impl->hasFeature(feature, nullptr)) return nullptr;
    return impl;
}

DOMImplementationList* DOMImplementationSourceImpl::getDOMImplementationList(const XMLCh* features) const {
    // The registry builds its list by asking every source, this one included, and releases what each
    // answers: going back through the registry from here would ask this source again, without end.
    // This source's share is its own implementation, when it has the features.
    return new ImplementationList(getDOMImplementation(features));
}

void registerImplementationSource() {
    try {
        XMLPlatformUtils::Initialize(XMLUni::fgXercescDefaultLocale, nullptr, nullptr, nullptr);
    } catch (const XMLException& e) {
        std::wprintf(L"Error during Xerces-c Initialization.\n  Exception message:%ls\n", wide(e.getMessage()).c_str());
        Kw::throwDOMException(-1);
    } catch (...) {
        std::wprintf(L"Unknown error during Xerces-c Initialization.\n");
        Kw::throwDOMException(-1);
    }
    DOMImplementationRegistry::getDOMImplementation(u"");
    static DOMImplementationSourceImpl* source = [] {
        static DOMImplementationSourceImpl s{DOMBTString(kSourceFeatures)};
        DOMImplementationRegistry::addSource(&s);
        return &s;
    }();
    (void)source;
}

} // namespace domImpl

namespace Kw::startup {
void registerDOMImplementation() {
    domImpl::registerImplementationSource();
    // Xalan-C's XPath classes need their own one-time start-up.
    domImpl::xpathImpl::startXPath();
}
} // namespace Kw::startup

DOMImplementation* DOMImplementationRegistryGet(const XMLCh* features) {
    const DOMBTString copy(features);
    return DOMImplementationRegistry::getDOMImplementation(copy.GetUChar16());
}
