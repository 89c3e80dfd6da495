#include "text/MappingRegistry.hpp"

namespace ZuText {

MappingRegistry& MappingRegistry::Instance() {
    static MappingRegistry registry; // created on first use, destroyed at exit
    return registry;
}

int32_t MappingRegistry::Register(uint32_t id, const char* text, size_t length) {
    Brixo::CriticalRegionGuard guard(fLock.Get());
    if (fRecords.count(id)) return 3;
    Record& record = fRecords[id];
    if (text) {
        record.text.assign(text, length); // our own copy: the caller's buffer may go away
        record.hasText = true;
    }
    return 0;
}

int32_t MappingRegistry::SetErrorLog(uint32_t id, std::string* log) {
    Brixo::CriticalRegionGuard guard(fLock.Get());
    auto it = fRecords.find(id);
    if (it == fRecords.end() || !it->second.hasText) return 4;
    Record& record = it->second;
    if (record.hasLog) return 3;
    if (!log) return 0;
    record.hasLog = true;
    // The log is the caller's and may be gone once this returns: the tables are built now, while it is
    // alive, rather than on the first conversion. Tables built before a log was given wrote none.
    if (!record.tables)
        record.tables = BaseBConverterImpl::Build(record.text.data(), record.text.size(), log);
    return 0;
}

int32_t MappingRegistry::Unregister(uint32_t id) {
    Brixo::CriticalRegionGuard guard(fLock.Get());
    auto it = fRecords.find(id);
    if (it == fRecords.end()) return 2;
    fRecords.erase(it); // converters still holding the tables keep them alive
    return 0;
}

std::shared_ptr<const BaseBConverterImpl> MappingRegistry::Tables(uint32_t id) {
    Brixo::CriticalRegionGuard guard(fLock.Get());
    auto it = fRecords.find(id);
    if (it == fRecords.end() || !it->second.hasText) return nullptr;
    Record& record = it->second;
    if (!record.tables)
        record.tables = BaseBConverterImpl::Build(record.text.data(), record.text.size(), nullptr);
    return record.tables;
}

} // namespace ZuText
