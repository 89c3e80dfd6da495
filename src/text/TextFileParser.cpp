#include "text/TextFileParser.hpp"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace ZuText {

namespace {

const char* const kModule = "src\\MappingFileParser";

bool isBlank(unsigned char c) {
    return c == 9 || c == 11 || c == 12 || (c >= 28 && c <= 32);
}

// Parts of `text` between separators; empty parts are dropped.
std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// "0x" and 1 to 8 hexadecimal digits (the line is already lower-cased), never above `max`.
bool parseHex(std::string_view text, uint32_t max, uint32_t& value) {
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || text[1] != 'x') return false;
    uint64_t v = 0;
    for (size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else
            return false;
        v = v * 16 + digit;
        if (v > max) return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

// A header line without blanks and without its comment.
std::string reduced(const std::string& line) {
    std::string out;
    for (char c : line) {
        if (c == '#') break;
        if (c != ' ') out += c;
    }
    return out;
}

} // namespace

IMappingFileParser::~IMappingFileParser() = default;

TextFileParser::Exception::Exception(int32_t code, uint32_t sourceLine)
    : Brixo::TellamBaseException(code, kModule, sourceLine, MessageOf(code)) {}

TextFileParser::Exception::~Exception() = default;

const char* TextFileParser::Exception::what() const noexcept {
    return MessageOf(GetErrorCode());
}

const char* TextFileParser::MessageOf(int32_t code) {
    switch (code) {
    case HeaderIncomplete:
        return "Header entries not complete : Last Processed Line ";
    case HeaderStartExpected:
        return "The Header start was expected : Last Processed Line ";
    case BadReplacementChar:
        return "The Replacement Character Entry is invalid  : Line No ";
    case BadStateEntry:
        return "The Header state entry is incorrect : Line No ";
    case HeaderEndExpected:
        return "The Header end was expected : Last Processed Line ";
    case BadFieldCount:
        return "No of fields of the mapping entry is incorrect : Line No ";
    case BadMbcsValue:
        return "The MBCS Value is incorrect : Line No ";
    case BadUnicodeValue:
        return "The UniCode Value is incorrect : Line No ";
    case BadFallbackIndicator:
        return "The FallBack indicator value is incorrect : Line No ";
    default:
        return "Unknown Error!";
    }
}

TextFileParser::TextFileParser(const char* text, size_t length, std::string* log)
    : fText(text), fLength(text ? length : 0), fOwnLog(log), fLog(fOwnLog) {}

TextFileParser::TextFileParser(const char* text, size_t length, MappingLog& log)
    : fText(text), fLength(text ? length : 0), fOwnLog(nullptr), fLog(log) {}

TextFileParser::~TextFileParser() = default;

bool TextFileParser::readPhysicalLine(std::string& line) {
    line.clear();
    if (fPos >= fLength) return false;
    bool inBlank = false;
    while (fPos < fLength) {
        const unsigned char c = static_cast<unsigned char>(fText[fPos++]);
        if (c == '\n') break;
        if (c == '\r') {
            if (fPos < fLength && fText[fPos] == '\n') ++fPos;
            break;
        }
        if (isBlank(c)) {
            if (!inBlank) line += ' ';
            inBlank = true;
            continue;
        }
        inBlank = false;
        line += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return true;
}

bool TextFileParser::readLogicalLine(std::string& line) {
    while (readPhysicalLine(line)) {
        if (fLine != UINT32_MAX) ++fLine;
        const size_t first = line.find_first_not_of(' ');
        if (first != std::string::npos && line[first] != '#') return true;
    }
    return false;
}

void TextFileParser::logError(int32_t code) {
    char number[16];
    std::snprintf(number, sizeof number, "%" PRIu32, fLine);
    fLog.Line(std::string(MessageOf(code)) + number);
}

bool TextFileParser::ParseHeader(MappingHeader& header) {
    header.byteClasses.reset(new uint8_t[256]());
    header.replacementLength = 0;
    try {
        std::string line;
        if (!readLogicalLine(line)) throw Exception(HeaderIncomplete, __LINE__);
        if (reduced(line) != "(headerstart)") throw Exception(HeaderStartExpected, __LINE__);

        if (!readLogicalLine(line)) throw Exception(HeaderIncomplete, __LINE__);
        {
            const std::string text = reduced(line);
            const auto parts = split(text, ':');
            uint32_t value = 0;
            if (parts.size() != 2 || parts[0] != "replacementchar" || !parseHex(parts[1], 0xFFFF, value))
                throw Exception(BadReplacementChar, __LINE__);
            if (value < 256) {
                header.replacement[0] = static_cast<uint8_t>(value);
                header.replacement[1] = 0;
                header.replacementLength = 1;
            } else {
                header.replacement[0] = static_cast<uint8_t>(value >> 8);
                header.replacement[1] = static_cast<uint8_t>(value & 0xFF);
                header.replacementLength = 2;
            }
        }

        static const struct {
            const char* keyword;
            uint8_t bit;
        } kStateLines[] = {{"singlebyte", kSingleByte},
                           {"doublebyteleadbyte", kLeadByte},
                           {"doublebytetrailbyte", kTrailByte}};
        for (const auto& state : kStateLines) {
            if (!readLogicalLine(line)) throw Exception(HeaderIncomplete, __LINE__);
            const std::string text = reduced(line);
            const auto parts = split(text, ':');
            if (parts.size() != 2 || parts[0] != state.keyword) throw Exception(BadStateEntry, __LINE__);
            for (std::string_view range : split(parts[1], ';')) {
                const auto bounds = split(range, '-');
                uint32_t first = 0, last = 0;
                if (bounds.empty() || bounds.size() > 2 || !parseHex(bounds[0], 0xFF, first))
                    throw Exception(BadStateEntry, __LINE__);
                last = first;
                if (bounds.size() == 2 && !parseHex(bounds[1], 0xFF, last))
                    throw Exception(BadStateEntry, __LINE__);
                for (uint32_t b = first; b <= last; ++b) header.byteClasses[b] |= state.bit;
            }
        }

        if (!readLogicalLine(line)) throw Exception(HeaderIncomplete, __LINE__);
        if (reduced(line) != "(headerend)") throw Exception(HeaderEndExpected, __LINE__);
        for (int b = 0; b < 256; ++b) {
            fClasses[b] = header.byteClasses[b];
            if (fClasses[b] & kSingleByte) fClasses[b] &= static_cast<uint8_t>(~kLeadByte);
        }
        fHaveClasses = true;
        return true;
    } catch (const Exception& e) {
        logError(e.GetErrorCode());
        header.byteClasses.reset();
        header.replacementLength = 0;
        return false;
    }
}

void TextFileParser::parseEntry(const std::string& line, MappingEntry& entry) const {
    std::vector<std::string_view> fields;
    for (std::string_view field : split(line, ' ')) {
        if (field[0] == '#') break; // a trailing comment
        fields.push_back(field);
    }
    if (fields.size() != 3) throw Exception(BadFieldCount, __LINE__);

    uint32_t bytes = 0;
    if (!parseHex(fields[0], 0xFFFF, bytes)) throw Exception(BadMbcsValue, __LINE__);
    if (bytes > 0xFF) {
        entry.bytes[0] = static_cast<uint8_t>(bytes >> 8);
        entry.bytes[1] = static_cast<uint8_t>(bytes & 0xFF);
        entry.byteLength = 2;
    } else {
        entry.bytes[0] = static_cast<uint8_t>(bytes);
        entry.byteLength = 1;
    }
    // A sequence the header's byte classes never let a decoder read (0x80 outside the single bytes,
    // 0x01FF without a lead byte) would only ever be produced, never read back.
    if (fHaveClasses) {
        const bool readable = entry.byteLength == 1 ? (fClasses[entry.bytes[0]] & kSingleByte) != 0
                                                    : (fClasses[entry.bytes[0]] & kLeadByte) &&
                                                          (fClasses[entry.bytes[1]] & kTrailByte);
        if (!readable) throw Exception(BadMbcsValue, __LINE__);
    }

    const auto values = split(fields[1], '+');
    if (values.empty()) throw Exception(BadUnicodeValue, __LINE__);
    uint8_t units = 0;
    for (std::string_view text : values) {
        uint32_t cp = 0;
        if (!parseHex(text, 0x10FFFF, cp)) throw Exception(BadUnicodeValue, __LINE__);
        if (cp <= 0xFFFF) {
            if (units + 1 > kMaxMappingUnits) throw Exception(BadUnicodeValue, __LINE__);
            entry.unicode[units++] = static_cast<char16_t>(cp);
        } else {
            if (units + 2 > kMaxMappingUnits) throw Exception(BadUnicodeValue, __LINE__);
            entry.unicode[units++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            entry.unicode[units++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    entry.unicodeLength = units;
    // A surrogate must be half of a pair: a lone one (0xD800) is no character in any Unicode text.
    for (uint8_t i = 0; i < units; ++i) {
        const char16_t u = entry.unicode[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && entry.unicode[i + 1] >= 0xDC00 &&
            entry.unicode[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if (u >= 0xD800 && u <= 0xDFFF) throw Exception(BadUnicodeValue, __LINE__);
    }

    const std::string_view fallback = fields[2];
    if (fallback.size() != 2 || fallback[0] != '|' || fallback[1] < '0' || fallback[1] > '2')
        throw Exception(BadFallbackIndicator, __LINE__);
    entry.fallback = static_cast<uint8_t>(fallback[1] - '0');
}

std::unique_ptr<MappingEntry> TextFileParser::ParseNextEntry() {
    std::string line;
    while (readLogicalLine(line)) {
        auto entry = std::make_unique<MappingEntry>();
        try {
            parseEntry(line, *entry);
            return entry;
        } catch (const Exception& e) {
            logError(e.GetErrorCode());
        }
    }
    if (&fLog == &fOwnLog) fLog.Finish(); // a shared log is finished by its owner
    return nullptr;
}

} // namespace ZuText
