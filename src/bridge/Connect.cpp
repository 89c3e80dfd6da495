#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/bridge/StringKey.hpp>

#include "bridge/CallbackTable.hpp"
#include "bridge/StartupSteps.hpp"

namespace Kw {

void Connect(const ActivateRec& rec) {
    // 1-3: the host replaces each selector by the address of its operation.
    uint64_t words[host::SelectorCount];
    for (int i = 0; i < host::SelectorCount; ++i) words[i] = static_cast<uint64_t>(i);
    if (rec.GetCallbacks) rec.GetCallbacks(words, host::SelectorCount);
    host::installCallbacks(words);

    // 4: the key constants, in table order; the first failure ends Connect and leaves the failing
    // constant named but unregistered, the later ones untouched.
    const RegisteredKeyEntry* keys = registeredKeys();
    for (int i = 0; i < REGISTERED_KEY_COUNT; ++i) keys[i].constant->Register(DOMBTString(keys[i].name));

    // 5 and 6.
    startup::registerDOMImplementation();
    startup::fillEventFactoryTable();
}

} // namespace Kw
