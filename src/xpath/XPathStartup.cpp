#include "xpath/XPathStartup.hpp"

#include <xalanc/Include/XalanMemoryManagement.hpp>
#include <xalanc/XPath/XPathEvaluator.hpp>

#include <mutex>

#include "bridge/HostStatus.hpp"
#include "xpath/XPathSupportImpl.hpp"

namespace domImpl::xpathImpl {

void startXPath() {
    // Both libraries count their initialisations; these are never undone, so everything they make
    // stays valid until the process ends.
    static std::once_flag once;
    std::call_once(once, [] {
        Kw::ensureXercesStarted();
        XALAN_CPP_NAMESPACE::XPathEvaluator::initialize(
            XALAN_CPP_NAMESPACE::XalanMemMgrs::getDefaultXercesMemMgr());
        // Stateless, and never destroyed: documents may evaluate until the process ends.
        static XPathSupportImpl* const support = new XPathSupportImpl;
        XPathSupport::install(*support);
    });
}

} // namespace domImpl::xpathImpl
