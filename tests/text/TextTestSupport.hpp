// Helpers shared by the text conversion tests.
#pragma once

#include <DOMKw/text/TextConversion.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace ZuText::testing {

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string samplePath(const std::string& name) {
    return std::string(DOMKW_SAMPLES_DIR) + "/mappings/" + name;
}

// A header for small hand-written tables: ASCII single bytes, lead bytes 0x81-0x9f, trail bytes
// 0x40-0x7e and 0x80-0xfc, replacement "?".
inline const std::string kDbcsHeader = "(HeaderStart)\n"
                                       "ReplacementChar : 0x3F\n"
                                       "SingleByte : 0x00-0x7F\n"
                                       "DoubleByteLeadByte : 0x81-0x9F\n"
                                       "DoubleByteTrailByte : 0x40-0x7E;0x80-0xFC\n"
                                       "(HeaderEnd)\n";

// Registers a mapping text for the lifetime of the object.
class RegisteredMapping {
public:
    RegisteredMapping(uint32_t id, const std::string& text, std::string* log = nullptr) : fId(id) {
        EXPECT_EQ(RegisterMapping(id, text.data(), text.size()), 0);
        if (log) {
            EXPECT_EQ(SetMappingErrorLog(id, log), 0);
        }
    }
    ~RegisteredMapping() { UnregisterMapping(fId); }
    RegisteredMapping(const RegisteredMapping&) = delete;
    RegisteredMapping& operator=(const RegisteredMapping&) = delete;

private:
    uint32_t fId;
};

// Result of one whole conversion.
struct Converted {
    Status status;
    uint32_t consumed;
    std::u16string units; // to Unicode
    std::string bytes;    // from Unicode
};

inline Converted toUnicode(IConverter& converter, const std::string& bytes, bool flush = true,
                           uint32_t capacity = 0) {
    std::u16string out(capacity ? capacity : bytes.size() * 5 + 8, u'\xAAAA');
    uint32_t consumed = static_cast<uint32_t>(bytes.size());
    uint32_t written = static_cast<uint32_t>(out.size());
    const Status status = converter.ConvertBuffer(bytes.data(), consumed, out.data(), written, flush);
    Converted result{status, consumed, {}, {}};
    if (written > 0) {
        EXPECT_EQ(out[written - 1], u'\0') << "the output is terminated";
        result.units = out.substr(0, written - 1);
    }
    return result;
}

inline Converted fromUnicode(IConverter& converter, const std::u16string& units, bool flush = true,
                             uint32_t capacity = 0) {
    std::string out(capacity ? capacity : units.size() * 8 + 16, '\xAA');
    uint32_t consumed = static_cast<uint32_t>(units.size());
    uint32_t written = static_cast<uint32_t>(out.size());
    const Status status = converter.ConvertBuffer(units.data(), consumed, out.data(), written, flush);
    Converted result{status, consumed, {}, {}};
    if (written > 0) {
        EXPECT_EQ(out[written - 1], '\0') << "the output is terminated";
        result.bytes = out.substr(0, written - 1);
    }
    return result;
}

} // namespace ZuText::testing
