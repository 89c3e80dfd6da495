#include "text/ConverterCache.hpp"

#include <DOMKw/text/TextConversion.hpp>

namespace ZuText {

ConverterCache& ConverterCache::Instance() {
    static ConverterCache cache;
    return cache;
}

void ConverterCache::Discard(uint32_t id) {
    Brixo::CriticalRegionGuard guard(fLock.Get());
    uint32_t encoding = 0;
    if (fConverter && fConverter->GetEncoding(encoding) <= 0 && encoding == id) fConverter.reset();
}

IConverter* ConverterCache::lookup(uint32_t id, Direction direction) {
    if (fConverter) {
        uint32_t encoding = 0;
        Direction cachedDirection = Direction::toUnicode;
        fConverter->GetEncoding(encoding);
        fConverter->GetDirection(cachedDirection);
        if (encoding == id && cachedDirection == direction) return fConverter.get();
    }
    fConverter = CreateConverter(id, direction, false, true);
    return fConverter.get();
}

} // namespace ZuText
