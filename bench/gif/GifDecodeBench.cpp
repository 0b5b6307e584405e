// Decodes every frame of each GIF in bench/data to palette indexes, from memory, with giflib (DGifSlurp)
// and with Tarvel's decoder in the same run, in interleaved rounds so that a busy machine slows both
// alike. Prints, for each file, the median time per decoding of each and giflib's time divided by
// Tarvel's (higher is faster), beside the ratio the fastest memory-safe decoder we know reached on a
// file of that kind; then the median ratio over the files.
//
//   build/bench/gif/gif_decode_bench [--rounds N] [--round-ms M] [FILE...]
//   (defaults: 15 rounds of about 40 ms for each decoder, every .gif in bench/data)
#include "TGIFImage.h"
#include "support/GiflibMemoryReader.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

[[gnu::noinline]] int64_t decodeWithGiflib(const std::vector<uint8_t>& bytes) {
    MemoryReader reader{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, readFromMemory, &error);
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK)
        throw std::runtime_error("giflib cannot read a benchmark file");
    int64_t pixels = 0;
    for (int i = 0; i < gif->ImageCount; ++i) {
        benchmark::DoNotOptimize(gif->SavedImages[i].RasterBits);
        pixels += int64_t{gif->SavedImages[i].ImageDesc.Width} * gif->SavedImages[i].ImageDesc.Height;
    }
    DGifCloseFile(gif, &error);
    return pixels;
}

[[gnu::noinline]] int64_t decodeWithTarvel(const std::vector<uint8_t>& bytes) {
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

// Seconds per decoding, over as many decodings as fill about roundMs.
double timeRound(const std::function<int64_t()>& decode, int repetitions) {
    const auto start = Clock::now();
    for (int i = 0; i < repetitions; ++i)
        decode();
    return std::chrono::duration<double>(Clock::now() - start).count() / repetitions;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// giflib's time over the fastest memory-safe decoder's on a file of the same kind, as measured side by
// side in one run elsewhere; 0 when no such figure exists.
struct Kind {
    const char* prefix;
    const char* description;
    double peer;
};
const Kind kKinds[] = {
    {"photo-640x480", "640x480 photo, 256 colours", 2.93},
    {"photo-dithered", "640x480 dithered photo", 2.93},
    {"photo-interlaced", "640x480 interlaced photo", 2.19},
    {"rose", "real photograph 70x46", 2.68},
    {"icon-36x28", "36x28 interlaced image", 2.19},
    {"anim-30x20", "15-frame 30x20 animation", 2.21},
    {"phone-100x80", "16-frame 100x80 animation", 5.65},
    {"anim-200x200", "50-frame 200x200 full frames", 2.51},
    {"anim-400x300", "24-frame 400x300 full frames", 2.51},
    {"sprite", "50-frame sprite animation", 7.10},
};

const Kind* kindOf(const std::string& name) {
    for (const Kind& kind : kKinds)
        if (name.rfind(kind.prefix, 0) == 0)
            return &kind;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    // By default the C library hands freed memory back to the system at once and maps large blocks
    // afresh each time; two decoders taking turns then keep finding the other's freed memory gone and
    // pay to have it mapped in again, which neither would in a program of its own. Keep freed memory in
    // the heap for both, so that the figures compare decoding.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    int rounds = 15;
    double roundMs = 40;
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--round-ms" && i + 1 < argc)
            roundMs = std::max(1.0, std::atof(argv[++i]));
        else
            paths.emplace_back(arg);
    }
    if (paths.empty())
        for (const auto& entry : std::filesystem::directory_iterator(TARVEL_GIF_BENCH_DATA))
            if (entry.path().extension() == ".gif")
                paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());

    std::printf("%-32s %-30s %11s %11s %7s %6s\n", "file", "kind", "giflib us", "Tarvel us", "ratio", "peer");
    std::vector<double> ratios;
    for (const auto& path : paths) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        const std::function<int64_t()> giflib = [&] { return decodeWithGiflib(bytes); };
        const std::function<int64_t()> tarvel = [&] { return decodeWithTarvel(bytes); };
        if (giflib() != tarvel())
            throw std::runtime_error(path.string() + ": the decoders disagree on the pixel count");
        // Repetitions per round from a first measurement of each.
        const auto repetitionsFor = [&](const std::function<int64_t()>& decode) {
            return std::max(1, static_cast<int>(roundMs / 1000 / timeRound(decode, 3)));
        };
        const int giflibRepetitions = repetitionsFor(giflib), tarvelRepetitions = repetitionsFor(tarvel);
        std::vector<double> giflibTimes, tarvelTimes;
        for (int round = 0; round < rounds; ++round) {
            if (round % 2 == 0) {
                giflibTimes.push_back(timeRound(giflib, giflibRepetitions));
                tarvelTimes.push_back(timeRound(tarvel, tarvelRepetitions));
            } else {
                tarvelTimes.push_back(timeRound(tarvel, tarvelRepetitions));
                giflibTimes.push_back(timeRound(giflib, giflibRepetitions));
            }
        }
        const double giflibTime = median(giflibTimes), tarvelTime = median(tarvelTimes);
        const double ratio = giflibTime / tarvelTime;
        ratios.push_back(ratio);
        const Kind* kind = kindOf(path.filename().string());
        char peer[16] = "-";
        if (kind && kind->peer > 0)
            std::snprintf(peer, sizeof peer, "%.2f", kind->peer);
        std::printf("%-32s %-30s %11.1f %11.1f %7.2f %6s\n", path.filename().string().c_str(),
                    kind ? kind->description : "", giflibTime * 1e6, tarvelTime * 1e6, ratio, peer);
        std::fflush(stdout);
    }
    if (!ratios.empty())
        std::printf("median ratio over %zu files: %.2f\n", ratios.size(), median(ratios));
    return 0;
}
