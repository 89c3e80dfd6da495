// Mapping files: the parser and the table builder, then conversions both ways over the built tables.
#include <DOMKw/text/TextConversion.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t id = ZuText::kFirstMappingEncoding;
    ZuText::RegisterMapping(id, reinterpret_cast<const char*>(data), size);
    std::string log;
    ZuText::SetMappingErrorLog(id, &log);
    for (bool substitute : {true, false}) {
        auto in = ZuText::CreateConverter(id, ZuText::Direction::toUnicode, false, substitute);
        auto out = ZuText::CreateConverter(id, ZuText::Direction::fromUnicode, true, substitute);
        if (!in || !out) continue;
        // The file's own bytes and units as text to convert, into targets of a few sizes.
        for (uint32_t capacity : {1u, 7u, 256u}) {
            std::u16string units(capacity, u'\0');
            uint32_t consumed = static_cast<uint32_t>(size), written = capacity;
            in->ConvertBuffer(data, consumed, &units[0], written, true);
            std::string bytes(capacity, '\0');
            std::u16string source(size / 2, u'\0');
            std::memcpy(&source[0], data, source.size() * 2);
            consumed = static_cast<uint32_t>(source.size());
            written = capacity;
            out->ConvertBuffer(source.data(), consumed, &bytes[0], written, false);
            in->Reset();
            out->Reset();
        }
    }
    ZuText::UnregisterMapping(id);
    return 0;
}
