// XPath expression text evaluated over the sample project, as every result type, on a thread with a
// 256 KiB stack: an expression the bounds let through must not run that stack out.
#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/dom/Object.hpp>
#include <DOMKw/xpath/XPathException.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <xercesc/dom/DOM.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.hpp"
#include "dom/DocumentImpl.hpp"

using namespace XERCES_CPP_NAMESPACE;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static DOMDocument* doc = [] {
        kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
        host.loadFile(DOMKW_SAMPLES_DIR "/project.xml");
        Kw::Connect(host.activateRec());
        return domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    }();
    if (size < 1) return 0;
    const auto type = static_cast<DOMXPathResult::ResultType>(data[0] % 10);
    // The rest up to the first 0: as UTF-16 when the first byte's top bit is clear, else one character
    // per byte (long runs of brackets and operators are cheaper to reach that way).
    std::u16string expression;
    if (data[0] & 0x80) {
        for (size_t i = 1; i < size && data[i]; ++i) expression += static_cast<char16_t>(data[i]);
    } else {
        for (size_t i = 1; i + 1 < size; i += 2) {
            const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
            if (!unit) break;
            expression += unit;
        }
    }
    fuzzing::onStackOf(256 * 1024, [&] {
        try {
            DOMXPathResult* r = doc->evaluate(expression.c_str(), doc, nullptr, type, nullptr);
            if (r->getResultType() >= DOMXPathResult::UNORDERED_NODE_SNAPSHOT_TYPE &&
                r->getResultType() <= DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE)
                for (XMLSize_t i = 0; r->snapshotItem(i) && i < 50; ++i) dom::dispose(r->getNodeValue());
            r->release();
        } catch (const dom::xpath::XPathException&) {
        } catch (const DOMXPathException&) {
        } catch (const DOMException&) {
        }
    });
    return 0;
}
