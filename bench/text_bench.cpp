// Text conversion against ICU, in one run:
//  - the mapping-table converter (Shift_JIS sample table) against ICU's Shift_JIS converter, a few
//    megabytes each way, over characters on which the two tables agree;
//  - DOMBTString::GetUChar (windows-1252 through the converter cache) against a direct ucnv_fromUChars
//    into a buffer allocated the same way, over a few megabytes of short strings: a first view of each
//    string, and the same strings asked again.
#include <DOMKw/strings/DOMBTString.hpp>
#include <DOMKw/text/TextConversion.hpp>

#include <unicode/ucnv.h>

#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.hpp"

namespace {

constexpr uint32_t kMappingId = 52;

struct Corpus {
    std::u16string text;              // about 2 M UTF-16 units of Japanese with ASCII
    std::string sjis;                 // the same as Shift_JIS
    std::vector<DOMBTString> strings; // about 4 M units of western text in 200-unit strings
    size_t stringUnits = 0;

    Corpus() {
        std::ifstream in(std::string(DOMKW_SAMPLES_DIR) + "/mappings/SHIFT_JIS.map", std::ios::binary);
        std::ostringstream file;
        file << in.rdbuf();
        const std::string table = file.str();
        if (table.empty() || ZuText::RegisterMapping(kMappingId, table.data(), table.size()) != 0)
            std::abort();

        // Characters both tables map alike: decode every double-byte code with both and keep agreements.
        UErrorCode error = U_ZERO_ERROR;
        UConverter* icu = ucnv_open("Shift_JIS", &error);
        ucnv_setToUCallBack(icu, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
        auto ours = ZuText::CreateConverter(kMappingId, ZuText::Direction::toUnicode, false, false);
        std::vector<char16_t> pool;
        for (uint32_t code = 0x8140; code <= 0xEAFC; ++code) {
            const char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
            UChar a[4];
            UErrorCode e = U_ZERO_ERROR;
            const int32_t n = ucnv_toUChars(icu, a, 4, bytes, 2, &e);
            char16_t b[4];
            uint32_t consumed = 2, written = 4;
            if (U_SUCCESS(e) && n == 1 && ours->ConvertBuffer(bytes, consumed, b, written, true) == 0 &&
                written == 2 && b[0] == a[0])
                pool.push_back(b[0]);
        }
        ucnv_close(icu);

        std::mt19937 random(1252);
        while (text.size() < 2'000'000) {
            if (random() % 4 == 0)
                text += u"ASCII text 0123 ";
            else
                text += pool[random() % pool.size()];
        }
        icu = ucnv_open("Shift_JIS", &error);
        sjis.resize(text.size() * 2 + 1);
        sjis.resize(
            static_cast<size_t>(ucnv_fromUChars(icu, sjis.data(), static_cast<int32_t>(sjis.size()),
                                                text.data(), static_cast<int32_t>(text.size()), &error)));
        ucnv_close(icu);

        const std::u16string western =
            u"Caf\u00E9 cr\u00E8me \u00E0 la fa\u00E7on \u2013 \u201Cna\u00EFve\u201D "
            u"\u20AC12 M\u00FCller Stra\u00DFe \u00C5ngstr\u00F6m ";
        std::u16string s;
        while (stringUnits < 4'000'000) {
            s.clear();
            while (s.size() < 200) s += western[random() % western.size()];
            strings.emplace_back(s.data(), 0, static_cast<long>(s.size()));
            stringUnits += s.size();
        }
    }
};

Corpus& corpus() {
    static Corpus c;
    return c;
}

void BConverterToUnicode(benchmark::State& state) {
    Corpus& c = corpus();
    auto converter = ZuText::CreateConverter(kMappingId, ZuText::Direction::toUnicode, false, true);
    std::u16string out(c.sjis.size() + 1, u'\0');
    for (auto _ : state) {
        uint32_t consumed = static_cast<uint32_t>(c.sjis.size()), written = static_cast<uint32_t>(out.size());
        converter->ConvertBuffer(c.sjis.data(), consumed, out.data(), written, true);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.sjis.size()));
}

void IcuToUnicode(benchmark::State& state) {
    Corpus& c = corpus();
    UErrorCode error = U_ZERO_ERROR;
    UConverter* icu = ucnv_open("Shift_JIS", &error);
    std::u16string out(c.sjis.size() + 1, u'\0');
    for (auto _ : state) {
        error = U_ZERO_ERROR;
        ucnv_resetToUnicode(icu);
        UChar* target = out.data();
        const char* source = c.sjis.data();
        ucnv_toUnicode(icu, &target, target + out.size() - 1, &source, source + c.sjis.size(), nullptr, true,
                       &error);
        benchmark::DoNotOptimize(target);
    }
    ucnv_close(icu);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.sjis.size()));
}

void BConverterFromUnicode(benchmark::State& state) {
    Corpus& c = corpus();
    auto converter = ZuText::CreateConverter(kMappingId, ZuText::Direction::fromUnicode, false, true);
    std::string out(c.text.size() * 2 + 1, '\0');
    for (auto _ : state) {
        uint32_t consumed = static_cast<uint32_t>(c.text.size()), written = static_cast<uint32_t>(out.size());
        converter->ConvertBuffer(c.text.data(), consumed, out.data(), written, true);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.text.size() * 2));
}

void IcuFromUnicode(benchmark::State& state) {
    Corpus& c = corpus();
    UErrorCode error = U_ZERO_ERROR;
    UConverter* icu = ucnv_open("Shift_JIS", &error);
    std::string out(c.text.size() * 2 + 1, '\0');
    for (auto _ : state) {
        error = U_ZERO_ERROR;
        ucnv_resetFromUnicode(icu);
        char* target = out.data();
        const UChar* source = c.text.data();
        ucnv_fromUnicode(icu, &target, target + out.size() - 1, &source, source + c.text.size(), nullptr,
                         true, &error);
        benchmark::DoNotOptimize(target);
    }
    ucnv_close(icu);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.text.size() * 2));
}

// A string keeps its view until its text changes, so each round works on fresh copies (made outside the
// timing): every call builds a view, as the first call on a string does.
void GetUChar(benchmark::State& state) {
    Corpus& c = corpus();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<DOMBTString> fresh(c.strings);
        state.ResumeTiming();
        for (const DOMBTString& s : fresh) benchmark::DoNotOptimize(s.GetUChar());
        state.PauseTiming();
        fresh.clear();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.stringUnits * 2));
}

// The same strings asked again: the view built before is handed out.
void GetUCharAgain(benchmark::State& state) {
    Corpus& c = corpus();
    for (const DOMBTString& s : c.strings) s.GetUChar();
    for (auto _ : state)
        for (const DOMBTString& s : c.strings) benchmark::DoNotOptimize(s.GetUChar());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.stringUnits * 2));
}

// What GetUChar would do calling ICU itself: a new view of L + 1 bytes per string, converted in one call.
void IcuFromUCharsWindows1252(benchmark::State& state) {
    Corpus& c = corpus();
    UErrorCode error = U_ZERO_ERROR;
    UConverter* icu = ucnv_open("windows-1252", &error);
    std::vector<std::unique_ptr<char[]>> views(c.strings.size());
    for (auto _ : state) {
        for (size_t i = 0; i < c.strings.size(); ++i) {
            const DOMBTString& s = c.strings[i];
            const int32_t length = static_cast<int32_t>(s.GetLength());
            views[i].reset(new char[static_cast<size_t>(length) + 1]);
            error = U_ZERO_ERROR;
            ucnv_fromUChars(icu, views[i].get(), length + 1, s.GetBuffer(), length, &error);
            benchmark::DoNotOptimize(views[i].get());
        }
    }
    ucnv_close(icu);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.stringUnits * 2));
}

BENCHMARK(BConverterToUnicode)->Unit(benchmark::kMillisecond);
BENCHMARK(IcuToUnicode)->Unit(benchmark::kMillisecond);
BENCHMARK(BConverterFromUnicode)->Unit(benchmark::kMillisecond);
BENCHMARK(IcuFromUnicode)->Unit(benchmark::kMillisecond);
BENCHMARK(GetUChar)->Unit(benchmark::kMillisecond);
BENCHMARK(GetUCharAgain)->Unit(benchmark::kMillisecond);
BENCHMARK(IcuFromUCharsWindows1252)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return bench_support::runWithRatios(argc, argv,
                                        {{"BConverterToUnicode", "IcuToUnicode"},
                                         {"BConverterFromUnicode", "IcuFromUnicode"},
                                         {"GetUChar", "IcuFromUCharsWindows1252"},
                                         {"GetUCharAgain", "IcuFromUCharsWindows1252"}});
}
