#include "platform/SystemLanguage.hpp"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

namespace Kw::platform {

namespace {

std::atomic<int32_t> gOverride{-1};

constexpr uint16_t makeLangId(uint16_t primary, uint16_t sub) {
    return static_cast<uint16_t>((sub << 10) | primary);
}

struct Language {
    const char* code; // ISO 639
    uint16_t primary; // Windows primary language
};

// Windows primary language identifiers (winnt.h LANG_*) of the ISO 639 codes a locale may carry.
constexpr Language kLanguages[] = {
    {"ar", 0x01}, {"bg", 0x02},  {"ca", 0x03},  {"zh", 0x04}, {"cs", 0x05},  {"da", 0x06}, {"de", 0x07},
    {"el", 0x08}, {"en", 0x09},  {"es", 0x0A},  {"fi", 0x0B}, {"fr", 0x0C},  {"he", 0x0D}, {"iw", 0x0D},
    {"hu", 0x0E}, {"is", 0x0F},  {"it", 0x10},  {"ja", 0x11}, {"ko", 0x12},  {"nl", 0x13}, {"nb", 0x14},
    {"nn", 0x14}, {"no", 0x14},  {"pl", 0x15},  {"pt", 0x16}, {"rm", 0x17},  {"ro", 0x18}, {"ru", 0x19},
    {"hr", 0x1A}, {"sr", 0x1A},  {"bs", 0x1A},  {"sk", 0x1B}, {"sq", 0x1C},  {"sv", 0x1D}, {"th", 0x1E},
    {"tr", 0x1F}, {"ur", 0x20},  {"id", 0x21},  {"uk", 0x22}, {"be", 0x23},  {"sl", 0x24}, {"et", 0x25},
    {"lv", 0x26}, {"lt", 0x27},  {"tg", 0x28},  {"fa", 0x29}, {"vi", 0x2A},  {"hy", 0x2B}, {"az", 0x2C},
    {"eu", 0x2D}, {"hsb", 0x2E}, {"dsb", 0x2E}, {"mk", 0x2F}, {"st", 0x30},  {"ts", 0x31}, {"tn", 0x32},
    {"ve", 0x33}, {"xh", 0x34},  {"zu", 0x35},  {"af", 0x36}, {"ka", 0x37},  {"fo", 0x38}, {"hi", 0x39},
    {"mt", 0x3A}, {"se", 0x3B},  {"ga", 0x3C},  {"ms", 0x3E}, {"kk", 0x3F},  {"ky", 0x40}, {"sw", 0x41},
    {"tk", 0x42}, {"uz", 0x43},  {"tt", 0x44},  {"bn", 0x45}, {"pa", 0x46},  {"gu", 0x47}, {"or", 0x48},
    {"ta", 0x49}, {"te", 0x4A},  {"kn", 0x4B},  {"ml", 0x4C}, {"as", 0x4D},  {"mr", 0x4E}, {"sa", 0x4F},
    {"mn", 0x50}, {"bo", 0x51},  {"cy", 0x52},  {"km", 0x53}, {"lo", 0x54},  {"gl", 0x56}, {"si", 0x5B},
    {"am", 0x5E}, {"ne", 0x61},  {"fy", 0x62},  {"ps", 0x63}, {"fil", 0x64}, {"yo", 0x6A},
};

struct Sublanguage {
    uint16_t primary;
    const char* territory; // ISO 3166, or "" for the language without a territory
    uint16_t sub;
};

// Sublanguages (winnt.h SUBLANG_*) where the territory matters; everything else is SUBLANG_DEFAULT (1).
constexpr Sublanguage kSublanguages[] = {
    {0x04, "TW", 0x01}, {0x04, "CN", 0x02}, {0x04, "", 0x02},   {0x04, "HK", 0x03}, {0x04, "SG", 0x04},
    {0x04, "MO", 0x05}, {0x09, "GB", 0x02}, {0x09, "AU", 0x03}, {0x09, "CA", 0x04}, {0x09, "NZ", 0x05},
    {0x09, "IE", 0x06}, {0x09, "ZA", 0x07}, {0x09, "IN", 0x10}, {0x09, "SG", 0x12}, {0x07, "CH", 0x02},
    {0x07, "AT", 0x03}, {0x07, "LU", 0x04}, {0x0C, "BE", 0x02}, {0x0C, "CA", 0x03}, {0x0C, "CH", 0x04},
    {0x0C, "LU", 0x05}, {0x16, "PT", 0x02}, {0x13, "BE", 0x02}, {0x1D, "FI", 0x02}, {0x0A, "MX", 0x02},
    {0x0A, "ES", 0x03}, {0x0A, "", 0x03},
};

// Serbian and Bosnian share Croatian's primary language; their sublanguage tells them apart.
uint16_t sublanguageOfSharedPrimary(const std::string& language, const std::string& modifier) {
    if (language == "sr") return modifier == "latin" ? 0x02 : 0x03;
    if (language == "bs") return modifier == "cyrillic" ? 0x08 : 0x05;
    return 0x01;
}

} // namespace

uint16_t langIdFromLocaleName(const char* name) {
    std::string text = name ? name : "";
    if (text.empty() || text == "C" || text == "POSIX" || text.rfind("C.", 0) == 0)
        return makeLangId(0x09, 0x01);

    // language[_territory][.codeset][@modifier]
    std::string modifier;
    if (const size_t at = text.find('@'); at != std::string::npos) {
        modifier = text.substr(at + 1);
        text.erase(at);
    }
    if (const size_t dot = text.find('.'); dot != std::string::npos) text.erase(dot);
    std::string territory;
    if (const size_t bar = text.find_first_of("_-"); bar != std::string::npos) {
        territory = text.substr(bar + 1);
        text.erase(bar);
    }
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (char& c : territory)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');

    uint16_t primary = 0;
    for (const Language& l : kLanguages)
        if (text == l.code) primary = l.primary;
    if (primary == 0) return 0;

    if (primary == 0x1A && text != "hr")
        return makeLangId(primary, sublanguageOfSharedPrimary(text, modifier));
    for (const Sublanguage& s : kSublanguages)
        if (s.primary == primary && territory == s.territory) return makeLangId(primary, s.sub);
    return makeLangId(primary, 0x01);
}

uint16_t GetSystemDefaultLangID() {
    if (const int32_t forced = gOverride.load(); forced >= 0) return static_cast<uint16_t>(forced);
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return langIdFromLocaleName(value);
    }
    return langIdFromLocaleName(nullptr);
}

void overrideSystemLangID(int32_t langId) {
    gOverride.store(langId < 0 ? -1 : (langId & 0xFFFF));
}

} // namespace Kw::platform
