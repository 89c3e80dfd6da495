// Memory the library keeps for later use (ended node slots, spare buffers) is off limits while it waits:
// under AddressSanitizer, whatever touches it is reported at once. Elsewhere these do nothing.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define DOMKW_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DOMKW_ASAN 1
#endif
#endif
#ifdef DOMKW_ASAN
#include <sanitizer/asan_interface.h>
#define DOMKW_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define DOMKW_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define DOMKW_POISON(p, n) ((void)(p), (void)(n))
#define DOMKW_UNPOISON(p, n) ((void)(p), (void)(n))
#endif
