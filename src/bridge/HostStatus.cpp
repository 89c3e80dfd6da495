#include "bridge/HostStatus.hpp"

namespace Kw {

UnexaminedFailures& unexaminedFailures() {
    static UnexaminedFailures failures;
    return failures;
}

} // namespace Kw
