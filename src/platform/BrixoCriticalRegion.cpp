#include <DOMKw/platform/BrixoCriticalRegion.hpp>

namespace Brixo {

void CriticalRegionHolder::Initialize() {
    if (!fSection) fSection = std::make_unique<CriticalSection>();
}

void CriticalRegionHolder::Delete() {
    fSection.reset();
}

} // namespace Brixo
