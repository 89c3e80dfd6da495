// ConverterCache: the one converter kept for the conversion entry points, replaced whenever another
// (encoding, direction) pair is asked for.
#pragma once

#include <DOMKw/platform/BrixoCriticalRegion.hpp>
#include <DOMKw/text/IConverter.hpp>

#include <memory>

namespace ZuText {

class ConverterCache {
public:
    static ConverterCache& Instance();

    // Runs `use` on the cached converter of (`id`, direction), creating it first when the cached one is for
    // another pair; `use` gets null when no converter exists for `id`. The lock is held until `use`
    // returns, so a converter is never replaced or used by two threads at once.
    template <typename Use> auto With(uint32_t id, Direction direction, Use use) {
        Brixo::CriticalRegionGuard guard(fLock.Get());
        return use(lookup(id, direction));
    }

    // Drops the cached converter when it converts `id`: its mapping was unregistered.
    void Discard(uint32_t id);

private:
    ConverterCache() = default;
    IConverter* lookup(uint32_t id, Direction direction);

    Brixo::CriticalRegionHolder fLock;
    std::unique_ptr<IConverter> fConverter;
};

} // namespace ZuText
