// Encoding speed: one 640x480 frame of 256 colours (a smooth picture with grain, as fitting makes) and a
// frame of 2 colours, written to memory by Tarvel's encoder and by giflib's EGifPutLine in the same run.
// The figure is bytes_per_second of indexes encoded; compare the two rows of each picture.
//   build/bench/gif/gif_encode_bench
#include "GifEncoder.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480;

std::vector<uint8_t> picture(int colours) {
    std::vector<uint8_t> indexes(static_cast<size_t>(kWidth) * kHeight);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = static_cast<int>(seed >> 29); // 0..7
            indexes[static_cast<size_t>(y) * kWidth + x] =
                static_cast<uint8_t>(((x + y) / 5 + grain) % colours);
        }
    return indexes;
}

std::vector<GifColor> palette(int colours) {
    std::vector<GifColor> table;
    for (int i = 0; i < colours; ++i)
        table.push_back(
            {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7)});
    return table;
}

void TarvelEncode(benchmark::State& state) {
    const int colours = static_cast<int>(state.range(0));
    GifEncodeImage image;
    image.width = kWidth;
    image.height = kHeight;
    image.globalColors = palette(colours);
    image.frames.push_back({0, 0, kWidth, kHeight, picture(colours), {}, 0, 0, -1});
    for (auto _ : state)
        benchmark::DoNotOptimize(encodeGif(image));
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight);
}

int appendTo(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

void GiflibEncode(benchmark::State& state) {
    const int colours = static_cast<int>(state.range(0));
    std::vector<uint8_t> indexes = picture(colours);
    const std::vector<GifColor> table = palette(colours);
    std::vector<GifColorType> map;
    for (const GifColor& c : table)
        map.push_back({c.r, c.g, c.b});
    for (auto _ : state) {
        std::vector<uint8_t> out;
        int error = 0;
        GifFileType* gif = EGifOpen(&out, appendTo, &error);
        ColorMapObject* colourMap = GifMakeMapObject(colours, map.data());
        if (gif == nullptr || colourMap == nullptr ||
            EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, colourMap) != GIF_OK ||
            EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr) != GIF_OK ||
            EGifPutLine(gif, indexes.data(), kWidth * kHeight) != GIF_OK ||
            EGifCloseFile(gif, &error) != GIF_OK)
            throw std::runtime_error("giflib could not encode");
        GifFreeMapObject(colourMap);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * kWidth * kHeight);
}

} // namespace

BENCHMARK(TarvelEncode)->Arg(256)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(GiflibEncode)->Arg(256)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
