// Decodes every frame of each GIF in bench/data from memory with our decoder and with giflib in the same
// run, and prints megapixels per second for both and the ratio ours/giflib.
#include "TGIFImage.h"
#include "support/GiflibMemoryReader.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

int64_t decodeWithGiflib(const std::vector<uint8_t>& bytes) {
    MemoryReader reader{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, readFromMemory, &error);
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK)
        throw std::runtime_error("giflib cannot read a benchmark file");
    int64_t pixels = 0;
    for (int i = 0; i < gif->ImageCount; ++i)
        pixels += int64_t{gif->SavedImages[i].ImageDesc.Width} * gif->SavedImages[i].ImageDesc.Height;
    DGifCloseFile(gif, &error);
    return pixels;
}

int64_t decodeWithOurs(const std::vector<uint8_t>& bytes) {
    TGIFImage image;
    image.loadFromBytes(bytes.data(), bytes.size());
    int64_t pixels = 0;
    for (int i = 0; i < image.frameCount(); ++i) {
        const GifBitmap& bitmap = image.frameBitmap(i);
        benchmark::DoNotOptimize(bitmap.pixels.data());
        pixels += int64_t{bitmap.width} * bitmap.height;
    }
    return pixels;
}

void runDecoder(benchmark::State& state, const std::vector<uint8_t>* bytes, bool ours) {
    int64_t pixels = 0;
    for (auto _ : state)
        pixels += ours ? decodeWithOurs(*bytes) : decodeWithGiflib(*bytes);
    state.SetItemsProcessed(pixels);
    state.counters["MP/s"] =
        benchmark::Counter(static_cast<double>(pixels) / 1e6, benchmark::Counter::kIsRate);
}

// Keeps the median megapixels per second of each benchmark so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median")
                continue;
            auto it = run.counters.find("MP/s");
            if (it != run.counters.end())
                rates[run.run_name.function_name] = it->second.value;
        }
    }
    std::map<std::string, double> rates;
};

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> names;
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(TARVEL_GIF_BENCH_DATA)) {
        if (entry.path().extension() != ".gif")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] = {std::istreambuf_iterator<char>(in),
                                                   std::istreambuf_iterator<char>()};
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    // Five short repetitions each, compared by their medians: the machine may be busy with other work.
    for (const std::string& name : names) {
        for (bool ours : {true, false}) {
            const std::string label = (ours ? "ours/" : "giflib/") + name;
            benchmark::RegisterBenchmark(label.c_str(), runDecoder, &files[name], ours)
                ->MinTime(0.3)
                ->Repetitions(5)
                ->ReportAggregatesOnly(true);
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-24s %12s %12s %8s\n", "file", "ours MP/s", "giflib MP/s", "ratio");
    for (const std::string& name : names) {
        double ours = reporter.rates["ours/" + name];
        double giflib = reporter.rates["giflib/" + name];
        if (ours > 0 && giflib > 0)
            std::printf("%-24s %12.1f %12.1f %8.2f\n", name.c_str(), ours, giflib, ours / giflib);
    }
    benchmark::Shutdown();
    return 0;
}
