// convert, mapcheck and gen.
#include <DOMKw/text/TextConversion.hpp>
#include <DOMKwHost/ProjectGenerator.hpp>

#include <unicode/ucnv.h>

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

// ICU's own name for an encoding name or alias ("latin1" -> "ISO-8859-1"), "" when ICU knows none.
std::string icuCanonical(const char* name) {
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name, &error);
    if (!converter || U_FAILURE(error)) {
        if (converter) ucnv_close(converter);
        return {};
    }
    std::string canonical = ucnv_getName(converter, &error);
    ucnv_close(converter);
    return U_FAILURE(error) ? std::string() : canonical;
}

// "ISO_2022,locale=ja,version=1" -> "ISO_2022,locale=ja": the family, for a second, looser match.
std::string withoutVersion(const std::string& canonical) {
    const size_t at = canonical.find(",version=");
    return at == std::string::npos ? canonical : canonical.substr(0, at);
}

bool opened(ZuText::IConverter* c);

bool isIcuIdentifier(uint32_t id) {
    return id < ZuText::kFirstMappingEncoding && id != 20 && id != ZuText::kSystemDefaultEncoding;
}

} // namespace

Encoding encodingOf(const std::string& name, bool haveMap) {
    if (name.empty()) throw UsageError("--from and --to are needed");
    if (sameName(name, "map")) {
        if (!haveMap) throw UsageError("'map' needs --map FILE");
        return {ZuText::kFirstMappingEncoding, false};
    }
    if (std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); })) {
        const auto id = static_cast<uint32_t>(parseNumber(name, "an encoding identifier", 0, ZuText::kLastMappingEncoding));
        // 21 stands for the system default: resolved here, so that it opens as what it stands for.
        return {id == ZuText::kSystemDefaultEncoding ? ZuText::GetSystemDefaultEncoding() : id, false};
    }
    for (uint32_t id = 0; id < ZuText::kFirstMappingEncoding; ++id)
        if (isIcuIdentifier(id))
            if (const char* known = ZuText::GetEncodingName(id))
                if (sameName(known, name)) return {id, false};
    // Through ICU's alias table: the name and each identifier's name compared by ICU's own name.
    const std::string wanted = icuCanonical(name.c_str());
    if (wanted.empty()) throw UsageError("unknown encoding '" + name + "' (see 'domkw convert --help')");
    // UTF-16 and UTF-32 without an order: big-endian with a byte-order mark, read either way.
    if (wanted == "UTF-16") return {4, true};
    if (wanted == "UTF-32") return {6, true};
    for (bool loose : {false, true})
        for (uint32_t id = 0; id < ZuText::kFirstMappingEncoding; ++id) {
            if (!isIcuIdentifier(id)) continue;
            const char* known = ZuText::GetEncodingName(id);
            const std::string canonical = known ? icuCanonical(known) : std::string();
            if (canonical.empty()) continue;
            if (loose ? withoutVersion(canonical) == withoutVersion(wanted) : canonical == wanted) return {id, false};
        }
    throw UsageError("'" + name + "' (" + wanted + " for ICU) has no encoding identifier here (see 'domkw convert --help')");
}

std::string encodingList() {
    std::string text = "Encodings (identifier, name). Any alias ICU knows for one of them works too (UTF8,\n"
                       "latin1, macintosh, cp1252, sjis, ISO-2022-JP for 10, ...); UTF-16 and UTF-32 are read\n"
                       "with or without a byte-order mark and written big-endian with one.\n";
    for (uint32_t id = 0; id < ZuText::kFirstMappingEncoding; ++id) {
        if (!isIcuIdentifier(id)) continue;
        const char* known = ZuText::GetEncodingName(id);
        const bool opens = opened(ZuText::CreateConverter(id, ZuText::Direction::toUnicode, false, true).get());
        text += "  " + std::to_string(id) + "\t" + (known ? known : "") + (opens ? "" : "   (not available here)") + "\n";
    }
    const uint32_t system = ZuText::GetSystemDefaultEncoding();
    const char* systemName = ZuText::GetEncodingName(system);
    text += "  21\tthe system default, from LC_ALL, LC_CTYPE or LANG (now " + std::to_string(system) + ", " +
            (systemName ? systemName : "?") + ")\n";
    text += "  52-58, map\ta code-page mapping file given with --map\n";
    return text;
}

namespace {

// A converter object is made even for an encoding ICU cannot open; its conversions then answer
// kNoConverter. An empty conversion tells.
bool opened(ZuText::IConverter* c) {
    if (!c) return false;
    char16_t target[2];
    uint32_t consumed = 0, written = 2;
    const bool ok = c->ConvertBuffer("", consumed, target, written, false) != ZuText::kNoConverter;
    c->Reset();
    return ok;
}

std::unique_ptr<ZuText::IConverter> open(uint32_t id, ZuText::Direction direction, bool substitute) {
    auto c = ZuText::CreateConverter(id, direction, false, substitute);
    const bool usable = direction == ZuText::Direction::toUnicode
                            ? opened(c.get())
                            : opened(ZuText::CreateConverter(id, ZuText::Direction::toUnicode, false, true).get());
    if (!usable) {
        const char* name = ZuText::GetEncodingName(id);
        throw InputError("encoding " + std::to_string(id) + (name ? std::string(" (") + name + ")" : std::string()) +
                         " cannot be opened here");
    }
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
    Encoding from = encodingOf(fromName, !mapFile.empty());
    const Encoding to = encodingOf(toName, !mapFile.empty());
    // Into UTF-16, stopping at invalid input; out of UTF-16, substituting what the target cannot
    // represent. Both converters hold back a sequence cut at the end of a piece until the next one.
    std::unique_ptr<ZuText::IConverter> decoder;
    auto encoder = open(to.id, ZuText::Direction::fromUnicode, true);
    std::vector<char> input(kConvertChunkBytes);
    std::u16string units;
    std::string output;
    uint64_t offset = 0;
    bool substituted = false;
    if (to.byteOrderMark) {
        static const char utf16[] = {'\xFE', '\xFF'}, utf32[] = {0, 0, '\xFE', '\xFF'};
        if (to.id == 4) std::fwrite(utf16, 1, sizeof utf16, stdout);
        else std::fwrite(utf32, 1, sizeof utf32, stdout);
    }
    for (bool last = false; !last;) {
        size_t n = std::fread(input.data(), 1, input.size(), stdin);
        if (n == 0) {
            if (std::ferror(stdin)) throw InputError("cannot read standard input");
            last = true;
        }
        size_t skip = 0;
        if (!decoder) {
            // The first piece holds the whole byte-order mark, if there is one.
            if (from.byteOrderMark) {
                const unsigned char* b = reinterpret_cast<const unsigned char*>(input.data());
                if (from.id == 4 && n >= 2 && b[0] == 0xFF && b[1] == 0xFE) from.id = 5, skip = 2;
                else if (from.id == 4 && n >= 2 && b[0] == 0xFE && b[1] == 0xFF) skip = 2;
                else if (from.id == 6 && n >= 4 && b[0] == 0xFF && b[1] == 0xFE && !b[2] && !b[3]) from.id = 7, skip = 4;
                else if (from.id == 6 && n >= 4 && !b[0] && !b[1] && b[2] == 0xFE && b[3] == 0xFF) skip = 4;
            }
            decoder = open(from.id, ZuText::Direction::toUnicode, false);
        }
        const char* source = input.data() + skip;
        n -= skip;
        offset += skip;
        uint32_t capacity = 0;
        decoder->GetMaxOutputSize(static_cast<uint32_t>(n), capacity);
        units.resize(capacity + 1);
        uint32_t consumed = static_cast<uint32_t>(n), written = static_cast<uint32_t>(units.size());
        ZuText::Status status = decoder->ConvertBuffer(source, consumed, &units[0], written, last);
        if (status == ZuText::kStopped)
            throw InputError(last ? "the input ends inside a character"
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
