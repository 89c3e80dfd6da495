// MappingRegistry: the process-wide record of registered mapping files and the tables built from them.
#pragma once

#include "text/BaseBConverterImpl.hpp"

#include <DOMKw/platform/BrixoCriticalRegion.hpp>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace ZuText {

class MappingRegistry {
public:
    static MappingRegistry& Instance();

    // Status codes as the public entry points document them.
    int32_t Register(uint32_t id, const char* text, size_t length);
    // Builds the tables of `id` now (when they are not built yet) and writes their errors into `log`; the
    // registry keeps no pointer to it.
    int32_t SetErrorLog(uint32_t id, std::string* log);
    int32_t Unregister(uint32_t id);
    // The tables of `id`, built on first demand; null when `id` is not registered or has no text.
    std::shared_ptr<const BaseBConverterImpl> Tables(uint32_t id);

private:
    MappingRegistry() = default;

    struct Record {
        std::string text;
        bool hasText = false;
        bool hasLog = false;
        std::shared_ptr<const BaseBConverterImpl> tables;
    };

    Brixo::CriticalRegionHolder fLock;
    std::map<uint32_t, Record> fRecords;
};

} // namespace ZuText
