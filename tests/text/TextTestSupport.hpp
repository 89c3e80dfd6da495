// Helpers shared by the text conversion tests.
#pragma once

#include <DOMKw/text/TextConversion.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

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

// ASCII single bytes, lead bytes 0x81-0x9f, trail bytes 0x40-0x7e and 0x80-0xfc, replacement "?".
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

private:
    uint32_t fId;
};

// Result of one whole conversion.
struct Converted {
    Status status;
    uint32_t consumed;
    std::u16string units; // to Unicode
    std::string bytes;    // from Unicode

    template <class Out> const Out& text() const { return std::get<const Out&>(std::tie(units, bytes)); }
};

// Converts `in` whole into `capacity` units (0: room enough); the output must come back terminated.
template <class Out, class In>
Converted convert(IConverter& converter, const In& in, bool flush, uint32_t capacity) {
    Out out(capacity ? capacity : in.size() * 8 + 16, static_cast<typename Out::value_type>(0xAAAA));
    uint32_t consumed = static_cast<uint32_t>(in.size());
    uint32_t written = static_cast<uint32_t>(out.size());
    Converted result{
        converter.ConvertBuffer(in.data(), consumed, out.data(), written, flush), consumed, {}, {}};
    if (written > 0) {
        EXPECT_EQ(out[written - 1], 0) << "the output is terminated";
        std::get<Out&>(std::tie(result.units, result.bytes)) = out.substr(0, written - 1);
    }
    return result;
}

// What one call gave: its status, what it wrote (units to Unicode, bytes from it) and the input it took.
inline void expectGave(const Converted& r, Status status, const std::u16string& units,
                       const std::string& bytes, uint32_t consumed) {
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.units, units);
    EXPECT_EQ(r.bytes, bytes);
    EXPECT_EQ(r.consumed, consumed);
}

inline Converted toUnicode(IConverter& c, const std::string& bytes, bool flush = true,
                           uint32_t capacity = 0) {
    return convert<std::u16string>(c, bytes, flush, capacity);
}

inline Converted fromUnicode(IConverter& c, const std::u16string& units, bool flush = true,
                             uint32_t capacity = 0) {
    return convert<std::string>(c, units, flush, capacity);
}

} // namespace ZuText::testing
