// charmap2map: converts a C library character map (the POSIX charmap format, plain or gzip-compressed)
// into a DOMKw code-page mapping file.
//
//   charmap2map [-r 0xHH|0xHHHH] [-o output] charmap[.gz]|-
//
// Only mappings of one or two bytes are kept, since the mapping-file format holds no longer byte
// sequences; everything skipped is counted on standard error. "%IRREVERSIBLE%" mappings become
// to-Unicode-only entries (fallback indicator 2), so that the Unicode value keeps its round-trip bytes.
#if CHARMAP2MAP_ZLIB
#include <zlib.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Mapping {
    uint32_t bytes = 0; // 1 or 2 bytes, high byte first
    int byteCount = 0;
    std::vector<uint32_t> codePoints;
    bool irreversible = false;
    std::string comment;
};

struct Charmap {
    std::string name;
    std::vector<Mapping> mappings;
    unsigned long skippedLong = 0;      // byte sequences longer than two bytes
    unsigned long skippedMalformed = 0; // lines we could not read
};

// The whole input: a file (gzip or plain) or, for "-", standard input.
bool readAll(const char* path, std::string& out) {
    char buffer[1 << 16];
#if CHARMAP2MAP_ZLIB
    if (std::strcmp(path, "-") != 0) {
        gzFile file = gzopen(path, "rb"); // reads uncompressed files transparently
        if (!file) return false;
        int n;
        while ((n = gzread(file, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
        const bool ok = n == 0;
        gzclose(file);
        return ok;
    }
#endif
    FILE* file = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "rb");
    if (!file) return false;
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
    const bool ok = !std::ferror(file);
    if (file != stdin) std::fclose(file);
    return ok;
}

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    const size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// "<U20AC>" or "<U304B><U309A>": the code points of a symbolic name, false when it is no <U...> name.
bool parseSymbols(const std::string& s, std::vector<uint32_t>& out) {
    out.clear();
    size_t i = 0;
    while (i < s.size()) {
        if (s.compare(i, 2, "<U") != 0) return false;
        const size_t close = s.find('>', i);
        if (close == std::string::npos) return false;
        const std::string hex = s.substr(i + 2, close - i - 2);
        if (hex.empty() || hex.size() > 8 ||
            hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        out.push_back(static_cast<uint32_t>(std::strtoul(hex.c_str(), nullptr, 16)));
        i = close + 1;
    }
    return !out.empty();
}

// "/x81/x40", "/d129", "/201": the bytes of a byte sequence, written with the map's escape character:
// x and two hexadecimal digits, d and two or three decimal digits, or two or three octal digits.
bool parseBytes(const std::string& s, char escape, std::vector<uint8_t>& out) {
    out.clear();
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] != escape || i + 1 >= s.size()) return false;
        ++i;
        int base = 8;
        size_t minDigits = 2, maxDigits = 3;
        if (s[i] == 'x' || s[i] == 'X') {
            base = 16, maxDigits = 2, ++i;
        } else if (s[i] == 'd' || s[i] == 'D') {
            base = 10, ++i;
        }
        unsigned long value = 0;
        size_t digits = 0;
        while (i < s.size() && digits < maxDigits) {
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
            int digit = -1;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            if (digit < 0 || digit >= base) break;
            value = value * static_cast<unsigned long>(base) + static_cast<unsigned long>(digit);
            ++i, ++digits;
        }
        if (digits < minDigits || value > 0xFF) return false;
        out.push_back(static_cast<uint8_t>(value));
    }
    return !out.empty();
}

void addMapping(Charmap& map, const std::vector<uint8_t>& bytes, std::vector<uint32_t> codePoints,
                bool irreversible, std::string comment) {
    if (bytes.size() > 2) {
        ++map.skippedLong;
        return;
    }
    for (uint32_t cp : codePoints) {
        if (cp > 0x10FFFF) {
            ++map.skippedMalformed;
            return;
        }
    }
    Mapping m;
    m.byteCount = static_cast<int>(bytes.size());
    m.bytes = m.byteCount == 1 ? bytes[0] : (static_cast<uint32_t>(bytes[0]) << 8) | bytes[1];
    m.codePoints = std::move(codePoints);
    m.irreversible = irreversible;
    m.comment = std::move(comment);
    map.mappings.push_back(std::move(m));
}

bool parseCharmap(const std::string& text, Charmap& map) {
    char comment = '#', escape = '\\';
    bool inCharmap = false, ended = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (!inCharmap) {
            if (line.rfind("<code_set_name>", 0) == 0)
                map.name = trim(line.substr(15));
            else if (line.rfind("<comment_char>", 0) == 0 && trim(line.substr(14)).size() == 1)
                comment = trim(line.substr(14))[0];
            else if (line.rfind("<escape_char>", 0) == 0 && trim(line.substr(13)).size() == 1)
                escape = trim(line.substr(13))[0];
            else if (line == "CHARMAP")
                inCharmap = true;
            continue;
        }
        if (line.rfind("END CHARMAP", 0) == 0) {
            ended = true;
            break;
        }
        bool irreversible = false;
        static const std::string kIrreversible = "%IRREVERSIBLE%";
        if (line.rfind(kIrreversible, 0) == 0) {
            irreversible = true;
            line = line.substr(kIrreversible.size());
        } else if (line.empty() || line[0] == comment) {
            continue;
        }
        // <symbol>[..<symbol>] bytes [comment]
        const size_t symEnd = line.find_first_of(" \t");
        if (symEnd == std::string::npos) {
            ++map.skippedMalformed;
            continue;
        }
        const std::string symbols = line.substr(0, symEnd);
        std::string rest = trim(line.substr(symEnd));
        const size_t bytesEnd = rest.find_first_of(" \t");
        const std::string byteText = rest.substr(0, bytesEnd);
        const std::string note = bytesEnd == std::string::npos ? "" : trim(rest.substr(bytesEnd));
        std::vector<uint8_t> bytes;
        if (!parseBytes(byteText, escape, bytes)) {
            ++map.skippedMalformed;
            continue;
        }
        const size_t dots = symbols.find("..");
        std::vector<uint32_t> first, last;
        if (dots == std::string::npos) {
            if (!parseSymbols(symbols, first)) {
                ++map.skippedMalformed;
                continue;
            }
            addMapping(map, bytes, first, irreversible, note);
            continue;
        }
        // A range: consecutive code points, the last byte of the sequence counting up with them.
        if (!parseSymbols(symbols.substr(0, dots), first) || !parseSymbols(symbols.substr(dots + 2), last) ||
            first.size() != 1 || last.size() != 1 || last[0] < first[0] ||
            last[0] - first[0] > 0xFFu - bytes.back()) {
            ++map.skippedMalformed;
            continue;
        }
        for (uint32_t cp = first[0]; cp <= last[0]; ++cp) {
            addMapping(map, bytes, {cp}, irreversible, note);
            ++bytes.back();
        }
    }
    // A map that stops inside its CHARMAP section was cut short: its last line cannot be trusted.
    return ended;
}

std::string hex(uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%0*X", digits, value);
    return buffer;
}

// "0x00-0x7F;0x81;0xA1-0xFE", or ";" when no byte has the class (an empty list marks nothing).
std::string ranges(const bool (&set)[256]) {
    std::string out;
    for (int b = 0; b < 256;) {
        if (!set[b]) {
            ++b;
            continue;
        }
        int e = b;
        while (e + 1 < 256 && set[e + 1]) ++e;
        if (!out.empty()) out += ';';
        out += hex(static_cast<uint32_t>(b), 2);
        if (e > b) out += "-" + hex(static_cast<uint32_t>(e), 2);
        b = e + 1;
    }
    return out.empty() ? ";" : out;
}

int usage() {
    std::fprintf(stderr, "usage: charmap2map [-r 0xHH|0xHHHH] [-o output] charmap[.gz]|-\n");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    unsigned long replacement = 0x3F;
    const char* outputPath = nullptr;
    const char* inputPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-r") == 0 && i + 1 < argc) {
            char* end = nullptr;
            errno = 0;
            replacement = std::strtoul(argv[++i], &end, 16);
            if (errno || !end || *end || replacement > 0xFFFF) return usage();
        } else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            outputPath = argv[++i];
        } else if ((argv[i][0] == '-' && argv[i][1] != '\0') || inputPath) {
            return usage();
        } else {
            inputPath = argv[i];
        }
    }
    if (!inputPath) return usage();

    std::string text;
    if (!readAll(inputPath, text)) {
        std::fprintf(stderr, "charmap2map: cannot read %s\n", inputPath);
        return 2;
    }
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0x1F &&
        static_cast<unsigned char>(text[1]) == 0x8B) {
        std::fprintf(
            stderr, "charmap2map: %s is compressed and this build has no zlib: use zcat %s | charmap2map -\n",
            inputPath, inputPath);
        return 2;
    }
    Charmap map;
    if (!parseCharmap(text, map)) {
        std::fprintf(stderr, "charmap2map: %s has no complete CHARMAP ... END CHARMAP section\n", inputPath);
        return 2;
    }

    bool single[256] = {}, lead[256] = {}, trail[256] = {};
    for (const Mapping& m : map.mappings) {
        if (m.byteCount == 1) {
            single[m.bytes] = true;
        } else {
            lead[m.bytes >> 8] = true;
            trail[m.bytes & 0xFF] = true;
        }
    }
    for (int b = 0; b < 256; ++b)
        if (single[b] && lead[b])
            std::fprintf(stderr, "charmap2map: byte %s is both a character and a lead byte\n",
                         hex(static_cast<uint32_t>(b), 2).c_str());

    std::sort(map.mappings.begin(), map.mappings.end(), [](const Mapping& a, const Mapping& b) {
        return a.byteCount != b.byteCount ? a.byteCount < b.byteCount : a.bytes < b.bytes;
    });

    FILE* out = outputPath ? std::fopen(outputPath, "wb") : stdout;
    if (!out) {
        std::fprintf(stderr, "charmap2map: cannot write %s\n", outputPath);
        return 2;
    }
    const char* base = std::strrchr(inputPath, '/');
    std::fprintf(out, "# %s: generated by charmap2map from the C library character map %s\n",
                 map.name.empty() ? "unnamed" : map.name.c_str(), base ? base + 1 : inputPath);
    std::fprintf(out, "# Fallback indicator: |0 both directions, |2 to Unicode only (irreversible).\n");
    std::fprintf(out, "(HeaderStart)\n");
    std::fprintf(out, "ReplacementChar : %s\n",
                 hex(static_cast<uint32_t>(replacement), replacement > 0xFF ? 4 : 2).c_str());
    std::fprintf(out, "SingleByte : %s\n", ranges(single).c_str());
    std::fprintf(out, "DoubleByteLeadByte : %s\n", ranges(lead).c_str());
    std::fprintf(out, "DoubleByteTrailByte : %s\n", ranges(trail).c_str());
    std::fprintf(out, "(HeaderEnd)\n");
    for (const Mapping& m : map.mappings) {
        std::string unicode;
        for (uint32_t cp : m.codePoints) {
            if (!unicode.empty()) unicode += '+';
            unicode += hex(cp, 4);
        }
        std::fprintf(out, "%s %s |%d", hex(m.bytes, m.byteCount * 2).c_str(), unicode.c_str(),
                     m.irreversible ? 2 : 0);
        if (!m.comment.empty()) std::fprintf(out, " # %s", m.comment.c_str());
        std::fputc('\n', out);
    }
    const bool writeOk = std::fflush(out) == 0 && !std::ferror(out);
    if (outputPath) std::fclose(out);
    if (!writeOk) {
        std::fprintf(stderr, "charmap2map: write error\n");
        return 2;
    }
    std::fprintf(stderr, "charmap2map: %zu mappings written", map.mappings.size());
    if (map.skippedLong) std::fprintf(stderr, ", %lu longer than two bytes skipped", map.skippedLong);
    if (map.skippedMalformed) std::fprintf(stderr, ", %lu unreadable lines skipped", map.skippedMalformed);
    std::fputc('\n', stderr);
    return 0;
}
