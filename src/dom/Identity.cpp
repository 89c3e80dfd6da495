#include "dom/Identity.hpp"

namespace domImpl::identity {

const XMLCh nodeImpl[] = u"DOMKw node";
const XMLCh disposable[] = u"DOMKw disposable";
const XMLCh document[] = u"DOMKw document";

} // namespace domImpl::identity
