// convert, mapcheck and gen.
#include <DOMKw/text/TextConversion.hpp>
#include <DOMKwHost/ProjectGenerator.hpp>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "ToolSupport.hpp"

namespace domkw_tool {

namespace {

// A mapping file is a few megabytes at most (a double-byte code page has some 24,000 lines); more is
// refused rather than read.
constexpr size_t kMaxMappingFileBytes = size_t(64) << 20;
// gen builds the project in memory before writing it (about 50 bytes an element).
constexpr uint64_t kMaxGeneratedElements = 10'000'000;
// convert reads standard input in pieces of this size, so any amount of input runs in bounded memory.
constexpr size_t kConvertChunkBytes = 64 * 1024;

std::string readMappingFile(const std::string& path) { return readBounded(path, kMaxMappingFileBytes); }

bool sameName(std::string a, std::string b) {
    auto lower = [](std::string& s) { std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); }); };
    lower(a), lower(b);
    return a == b;
}

// An encoding identifier, an encoding name, or "map" for the registered mapping file.
uint32_t encodingOf(const std::string& name, bool haveMap) {
    if (name.empty()) throw UsageError("--from and --to are needed");
    if (sameName(name, "map")) {
        if (!haveMap) throw UsageError("'map' needs --map FILE");
        return ZuText::kFirstMappingEncoding;
    }
    if (std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); })) {
        const unsigned long id = std::strtoul(name.c_str(), nullptr, 10);
        if (id > ZuText::kLastMappingEncoding) throw UsageError("no encoding identifier " + name);
        return static_cast<uint32_t>(id);
    }
    for (uint32_t id = 0; id < ZuText::kFirstMappingEncoding; ++id)
        if (const char* known = ZuText::GetEncodingName(id))
            if (sameName(known, name)) return id;
    throw UsageError("unknown encoding '" + name + "'");
}

std::unique_ptr<ZuText::IConverter> open(uint32_t id, ZuText::Direction direction, bool substitute) {
    auto c = ZuText::CreateConverter(id, direction, false, substitute);
    if (!c) throw InputError("encoding " + std::to_string(id) + " cannot be opened here");
    return c;
}

} // namespace

int runConvert(Args& args) {
    const std::string mapFile = args.option("--map");
    const std::string fromName = args.option("--from"), toName = args.option("--to");
    args.done();
    std::string mapText;
    if (!mapFile.empty()) {
        mapText = readMappingFile(mapFile);
        ZuText::UnregisterMapping(ZuText::kFirstMappingEncoding);
        ZuText::RegisterMapping(ZuText::kFirstMappingEncoding, mapText.data(), mapText.size());
    }
    const uint32_t from = encodingOf(fromName, !mapFile.empty()), to = encodingOf(toName, !mapFile.empty());
    // Into UTF-16, stopping at invalid input; out of UTF-16, substituting what the target cannot
    // represent. Both converters hold back a sequence cut at the end of a piece until the next one.
    auto decoder = open(from, ZuText::Direction::toUnicode, false);
    auto encoder = open(to, ZuText::Direction::fromUnicode, true);
    std::vector<char> input(kConvertChunkBytes);
    std::u16string units;
    std::string output;
    uint64_t offset = 0;
    bool substituted = false;
    for (bool last = false; !last;) {
        const size_t n = std::fread(input.data(), 1, input.size(), stdin);
        if (n == 0) {
            if (std::ferror(stdin)) throw InputError("cannot read standard input");
            last = true;
        }
        uint32_t capacity = 0;
        decoder->GetMaxOutputSize(static_cast<uint32_t>(n), capacity);
        units.resize(capacity + 1);
        uint32_t consumed = static_cast<uint32_t>(n), written = static_cast<uint32_t>(units.size());
        ZuText::Status status = decoder->ConvertBuffer(input.data(), consumed, &units[0], written, last);
        if (status == ZuText::kStopped)
            throw InputError(n == 0 ? "the input ends inside a character"
                                    : "invalid input at byte offset " + std::to_string(offset + consumed));
        if (!ZuText::Succeeded(status)) throw InputError("conversion failed (status " + std::to_string(status) + ")");
        offset += n;
        const uint32_t unitCount = written > 0 ? written - 1 : 0;

        encoder->GetMaxOutputSize(unitCount, capacity);
        output.resize(capacity + 1);
        consumed = unitCount;
        written = static_cast<uint32_t>(output.size());
        status = encoder->ConvertBuffer(units.data(), consumed, &output[0], written, last);
        if (!ZuText::Succeeded(status)) throw InputError("conversion failed (status " + std::to_string(status) + ")");
        substituted = substituted || status == ZuText::kSubstituted || status == ZuText::kSubstitutedPending;
        const size_t bytes = written > 0 ? written - 1 : 0;
        if (bytes && std::fwrite(output.data(), 1, bytes, stdout) != bytes) throw InputError("cannot write the output");
    }
    if (std::fflush(stdout) != 0) throw InputError("cannot write the output");
    if (substituted)
        std::fprintf(stderr, "domkw convert: characters that %s cannot represent were substituted\n", toName.c_str());
    return 0;
}

int runMapcheck(Args& args) {
    if (!args.hasPositional()) throw UsageError("a mapping file is needed");
    const std::string path = args.positional();
    args.done();
    const std::string text = readMappingFile(path);
    const uint32_t id = ZuText::kFirstMappingEncoding;
    ZuText::UnregisterMapping(id);
    ZuText::RegisterMapping(id, text.data(), text.size());
    std::string log;
    ZuText::SetMappingErrorLog(id, &log);
    // Building the tables of both directions reads the whole file.
    auto toUnicode = ZuText::CreateConverter(id, ZuText::Direction::toUnicode, false, true);
    auto fromUnicode = ZuText::CreateConverter(id, ZuText::Direction::fromUnicode, false, true);
    uint8_t minSize = 0, maxSize = 0, starters[256] = {};
    const bool tables = toUnicode && ZuText::Succeeded(toUnicode->GetCharSizeInfo(minSize, maxSize, starters));
    ZuText::UnregisterMapping(id);

    size_t errors = 0, warnings = 0;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::printf("%s\n", line.c_str());
        (line.rfind("Duplicate", 0) == 0 ? warnings : errors)++;
    }
    std::printf("%s: %zu error(s), %zu warning(s)", path.c_str(), errors, warnings);
    if (tables) std::printf("; characters of %u to %u bytes", minSize, maxSize);
    std::printf("\n");
    return errors || !tables ? 1 : 0;
}

int runGen(Args& args) {
    const std::string elements = args.option("--elements");
    const std::string seed = args.option("--seed", "1");
    args.done();
    if (elements.empty()) throw UsageError("--elements N is needed");
    const uint64_t n = parseNumber(elements, "--elements", 1, kMaxGeneratedElements);
    const uint64_t s = parseNumber(seed, "--seed", 0, UINT32_MAX);
    const std::string xml = kwhost::generateProject(static_cast<size_t>(n), static_cast<uint32_t>(s));
    std::fwrite(xml.data(), 1, xml.size(), stdout);
    return 0;
}

} // namespace domkw_tool
