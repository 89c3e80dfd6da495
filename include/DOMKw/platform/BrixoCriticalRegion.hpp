// Brixo locks: a critical region (recursive for its owning thread, as a Windows critical section is)
// and the scoped guard that enters it.
#pragma once

#include <memory>
#include <mutex>

namespace Brixo {

using CriticalSection = std::recursive_mutex;

// Owns one critical section, initialised on construction and deleted on destruction.
class CriticalRegionHolder {
public:
    CriticalRegionHolder() { Initialize(); }
    virtual ~CriticalRegionHolder() { Delete(); }
    CriticalRegionHolder(const CriticalRegionHolder&) = delete;
    CriticalRegionHolder& operator=(const CriticalRegionHolder&) = delete;

    // Creates the critical section when there is none.
    virtual void Initialize();
    // Destroys it; it must not be held.
    virtual void Delete();
    // The critical section, or null after Delete.
    virtual CriticalSection* Get() { return fSection.get(); }

private:
    std::unique_ptr<CriticalSection> fSection;
};

// Enters the given critical section for its lifetime; a null pointer makes it do nothing.
class CriticalRegionGuard {
public:
    explicit CriticalRegionGuard(CriticalSection* section) : fSection(section) {
        if (fSection) fSection->lock();
    }
    ~CriticalRegionGuard() {
        if (fSection) fSection->unlock();
    }
    CriticalRegionGuard(const CriticalRegionGuard&) = delete;
    CriticalRegionGuard& operator=(const CriticalRegionGuard&) = delete;

private:
    CriticalSection* fSection;
};

} // namespace Brixo
