// Notices a refusal the facade answered quietly while a write ran.
#pragma once

#include <cstdint>

#include "bridge/HostStatus.hpp"

namespace domImpl::serializeImpl {

// A refusal the facade answered as "no node" or "" while the write ran: the output would be short, so
// the write fails with the host's status.
class RefusalWatch {
public:
    RefusalWatch() : before(Kw::unexaminedFailures().count) {}
    void check() const {
        const Kw::UnexaminedFailures& now = Kw::unexaminedFailures();
        if (now.count != before) Kw::checkStatus(now.last);
    }

private:
    uint64_t before;
};

} // namespace domImpl::serializeImpl
