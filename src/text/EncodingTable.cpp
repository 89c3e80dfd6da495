#include "text/EncodingTable.hpp"

#include <DOMKw/text/TextConversion.hpp>

#include "platform/SystemLanguage.hpp"

#include <atomic>

namespace ZuText {

namespace {

// Identifier 20 stands for an encoding whose name is held in a variable that nothing sets, so it has no
// name; 21 (the system default) is resolved before a converter is made, and its entry is a single blank.
const char* gEncoding20Name = nullptr;

const char* const kEncodingNames[kIcuEncodingCount] = {
    "windows-1252",            // 0
    "mac",                     // 1
    "UTF-7",                   // 2
    "UTF-8",                   // 3
    "UTF-16 Big Endian",       // 4
    "UTF-16 Little Endian",    // 5
    "UTF-32 Big Endian",       // 6
    "UTF-32 Little Endian",    // 7
    "Shift_JIS",               // 8
    "EUC-JP",                  // 9
    "JIS",                     // 10
    "windows-932-2000",        // 11
    "x-mac-japanese",          // 12
    "ISO-8859-1",              // 13
    "x-mac-cyrillic",          // 14
    "windows-1251",            // 15
    "x-mac-centraleurroman",   // 16
    "windows-1250",            // 17
    "x-mac-greek",             // 18
    "windows-1253",            // 19
    nullptr,                   // 20, see gEncoding20Name
    " ",                       // 21
    "KSC_5601",                // 22
    "KOI8-R",                  // 23
    "ISO-8859-5",              // 24
    "ISO-8859-2",              // 25
    "ISO-8859-7",              // 26
    "ISO-8859-9",              // 27
    "x-mac-turkish",           // 28
    "windows-1254",            // 29
    "ISO-8859-6",              // 30
    "windows-1256",            // 31
    "ISO-8859-8",              // 32
    "windows-1255",            // 33
    "Apple_Symbols",           // 34
    "Apple_Dingbats",          // 35
    "Tellam_Legacy_Win_Latin", // 36
    "Tellam_Legacy_Mac_Roman", // 37
    "x-mac-romania",           // 38
    "x-mac-croatian",          // 39
    "windows-1257",            // 40
    "EUC-KR",                  // 41
    "windows-949-2000",        // 42
    "x-mac-korean",            // 43
    "Big5",                    // 44
    "Tellam_Big5HKSCS_2005",   // 45
    "x-mac-chinesetrad",       // 46
    "windows-950-2000",        // 47
    "GB2312",                  // 48
    "gb18030",                 // 49
    "x-mac-chinesesimp",       // 50
    "windows-936-2000",        // 51
};

// The system default encoding by primary language (Chinese, 4, depends on the sublanguage).
struct LanguageEncoding {
    uint8_t primary;
    uint8_t encoding;
};
constexpr LanguageEncoding kLanguageEncodings[] = {
    {1, 31},  {41, 31},                                                                       // windows-1256
    {2, 15},  {25, 15}, {26, 15}, {34, 15}, {44, 15}, {47, 15},                               // windows-1251
    {3, 17},  {5, 17},  {14, 17}, {21, 17}, {24, 17}, {27, 17}, {36, 17}, {37, 17}, {38, 17}, // windows-1250
    {6, 0},   {7, 0},   {9, 0},   {10, 0},  {11, 0},  {12, 0},                                // windows-1252
    {16, 0},  {19, 0},  {20, 0},  {22, 0},  {29, 0},                                          // windows-1252
    {8, 19},                                                                                  // windows-1253
    {13, 33},                                                                                 // windows-1255
    {17, 11}, // windows-932-2000
    {18, 42}, // windows-949-2000
    {31, 29}, // windows-1254
};

// 20 is "not yet determined": it can never be a system default itself.
constexpr uint32_t kUndetermined = 20;
std::atomic<uint32_t> gSystemDefault{kUndetermined};
std::atomic<bool> gSystemLanguageSupported{true};

} // namespace

const char* GetEncodingName(uint32_t id) {
    if (id == 20) return gEncoding20Name;
    return id < kIcuEncodingCount ? kEncodingNames[id] : nullptr;
}

uint32_t EncodingOfLanguage(uint16_t langId, bool& supported) {
    const uint32_t primary = langId & 0xFF;
    const uint32_t sub = langId >> 10;
    supported = true;
    if (primary == 4)
        return (sub == 1 || sub == 3 || sub == 5) ? 47 : 51; // Taiwan, Hong Kong, Macao: traditional
    for (const LanguageEncoding& e : kLanguageEncodings)
        if (e.primary == primary) return e.encoding;
    supported = false;
    return 0;
}

uint32_t GetSystemDefaultEncoding(bool* languageSupported) {
    uint32_t id = gSystemDefault.load();
    if (id == kUndetermined) {
        bool supported = true;
        id = EncodingOfLanguage(Kw::platform::GetSystemDefaultLangID(), supported);
        gSystemLanguageSupported.store(supported);
        gSystemDefault.store(id);
    }
    if (languageSupported) *languageSupported = gSystemLanguageSupported.load();
    return id;
}

void ResetSystemDefaultEncoding() {
    gSystemLanguageSupported.store(true);
    gSystemDefault.store(kUndetermined);
}

} // namespace ZuText
