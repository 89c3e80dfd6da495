// The system's language as a Windows language identifier (primary language in the low 10 bits,
// sublanguage from bit 10 up), derived from the POSIX locale.
#pragma once

#include <cstdint>

namespace Kw::platform {

// The language of the process locale: LC_ALL, then LC_CTYPE, then LANG (the first one set and not
// empty). "C", "POSIX" and no locale at all count as English (United States), 0x0409; a language this
// table does not know gives 0 (neutral). An override set by overrideSystemLangID wins.
uint16_t GetSystemDefaultLangID();

// The Windows language identifier of one POSIX locale name ("ja_JP.UTF-8" gives 0x0411,
// "zh_TW" 0x0404, "sr_RS@latin" 0x081A). Null or empty counts as "C".
uint16_t langIdFromLocaleName(const char* name);

// Makes GetSystemDefaultLangID answer `langId`; a negative value returns to the locale.
void overrideSystemLangID(int32_t langId);

} // namespace Kw::platform
