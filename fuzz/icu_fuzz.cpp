// ICU converters of every identifier, both directions, stop and substitute modes, with random capacities.
#include <DOMKw/text/TextConversion.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint32_t id = data[0] % ZuText::kFirstMappingEncoding;
    const bool substitute = data[1] & 1, flush = data[1] & 2, fallback = data[1] & 4;
    const uint32_t capacity = data[2];
    // Aligned copies of the rest: bytes for the to-Unicode direction, units for the other.
    const std::string bytes(reinterpret_cast<const char*>(data + 3), size - 3);
    std::u16string units(bytes.size() / 2, u'\0');
    std::memcpy(&units[0], bytes.data(), units.size() * 2);
    for (ZuText::Direction direction : {ZuText::Direction::toUnicode, ZuText::Direction::fromUnicode}) {
        auto c = ZuText::CreateConverter(id, direction, fallback, substitute);
        if (!c) continue;
        // The target is exactly `capacity` units: anything written past it is caught by the sanitizer.
        const size_t unit = direction == ZuText::Direction::toUnicode ? 2 : 1;
        std::vector<uint8_t> target(capacity * unit + (capacity ? 0 : 1));
        const bool toUnicode = direction == ZuText::Direction::toUnicode;
        const void* source = toUnicode ? static_cast<const void*>(bytes.data()) : units.data();
        const uint32_t length = static_cast<uint32_t>(toUnicode ? bytes.size() : units.size());
        uint32_t consumed = length;
        uint32_t written = capacity;
        c->ConvertBuffer(source, consumed, target.data(), written, flush);
        uint32_t more = 0;
        c->GetMaxOutputSize(length, more);
        char invalid[ZuText::kMaxInvalidChars * 2];
        uint32_t invalidLength = ZuText::kMaxInvalidChars;
        c->GetInvalidChars(invalid, invalidLength);
        if (length) {
            void* allocated = nullptr;
            uint32_t one = 1, out = 0;
            if (ZuText::Succeeded(c->ConvertAllocating(source, one, allocated, out, true)))
                std::free(allocated);
        }
    }
    return 0;
}
