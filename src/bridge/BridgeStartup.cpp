#include "bridge/BridgeStartup.hpp"

#include <DOMKw/bridge/StringKey.hpp>

#include "bridge/CallbackTable.hpp"

namespace Kw {

void startBridge(const ActivateRec& rec) {
    // The host replaces each selector by the address of its operation.
    uint64_t words[host::SelectorCount];
    for (int i = 0; i < host::SelectorCount; ++i) words[i] = static_cast<uint64_t>(i);
    if (rec.GetCallbacks) rec.GetCallbacks(words, host::SelectorCount);
    host::installCallbacks(words);

    // The key constants, in table order.
    const RegisteredKeyEntry* keys = registeredKeys();
    for (int i = 0; i < REGISTERED_KEY_COUNT; ++i) keys[i].constant->Register(DOMBTString(keys[i].name));
}

} // namespace Kw
