#include "dom/DOMStartup.hpp"

#include <xercesc/dom/DOMImplementationRegistry.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <cwchar>
#include <string>

#include "bridge/HostStatus.hpp"
#include "dom/DOMImplementationImpl.hpp"
#include "dom/DOMImplementationSourceImpl.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domImpl {

namespace {

const char16_t* const kSourceFeatures = u"Tellam 6.0 Core 3.0 Events 3.0";

// wprintf takes wide characters: UTF-16 becomes code points.
std::wstring wide(const XMLCh* text) {
    std::wstring out;
    for (; text && *text; ++text) {
        uint32_t c = *text;
        if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (*++text - 0xDC00);
        out += static_cast<wchar_t>(c);
    }
    return out;
}

// Never destroyed: Xerces-C's registry keeps the address until the process ends (and an embedding
// application may look it up from its own static destructors, or after Terminate), and the registry
// offers no way to take a source back.
DOMImplementationSourceImpl& source() {
    static DOMImplementationSourceImpl& s = *new DOMImplementationSourceImpl(DOMBTString(kSourceFeatures));
    return s;
}

} // namespace

void startDOM() {
    try {
        XMLPlatformUtils::Initialize(XMLUni::fgXercescDefaultLocale, nullptr, nullptr, nullptr);
    } catch (const XMLException& e) {
        std::wprintf(L"Error during Xerces-c Initialization.\n  Exception message:%ls\n",
                     wide(e.getMessage()).c_str());
        Kw::throwDOMException(-1);
    } catch (...) {
        std::wprintf(L"Unknown error during Xerces-c Initialization.\n");
        Kw::throwDOMException(-1);
    }
    DOMImplementationRegistry::getDOMImplementation(u"");
    // Once per registry: a Xerces-C that was terminated and started again has a new, empty one.
    if (DOMImplementationRegistry::getDOMImplementation(u"Tellam") != DOMImplementationImpl::instance())
        DOMImplementationRegistry::addSource(&source());
}

} // namespace domImpl
