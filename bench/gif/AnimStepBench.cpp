// The cost of one animation step (compose the next frame, then paint it the way the animator does: key
// out the transparent colour, draw into an off-screen buffer) for each GIF in bench/data, stepping from
// the kept composition versus composing every frame from its start frame. Prints microseconds per step
// for both and the ratio from-start / kept.
#include "GifComposer.h"
#include "TGIFImage.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Animation {
    std::vector<uint8_t> bytes;
    int frames = 0;
    int width = 0, height = 0;
};

// Paints the composition as the animator does, into a buffer of the screen's size.
void paint(const GifComposer& composer, QImage& buffer) {
    const int w = composer.width(), h = composer.height();
    QImage picture(reinterpret_cast<const uchar*>(composer.pixels().data()), w, h, w * 4,
                   QImage::Format_RGB32);
    if (composer.transparentColor()) {
        const uint32_t key = GifComposer::argb(*composer.transparentColor());
        QImage masked(w, h, QImage::Format_ARGB32);
        for (int y = 0; y < h; ++y) {
            const auto* source = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
            auto* target = reinterpret_cast<uint32_t*>(masked.scanLine(y));
            for (int x = 0; x < w; ++x)
                target[x] = source[x] == key ? 0u : source[x];
        }
        picture = masked;
    }
    buffer.fill(Qt::transparent);
    QPainter painter(&buffer);
    painter.drawImage(0, 0, picture);
}

void step(benchmark::State& state, const Animation* animation, bool fromStart) {
    TGIFImage image;
    image.loadFromBytes(animation->bytes.data(), animation->bytes.size());
    GifComposer composer;
    QImage buffer(animation->width, animation->height, QImage::Format_ARGB32_Premultiplied);
    // Decode every frame first: the figures are for composing and painting, not decoding.
    for (int i = 0; i < image.frameCount(); ++i)
        composer.compose(image, i);
    int index = 0;
    for (auto _ : state) {
        index = (index + 1) % image.frameCount();
        if (fromStart)
            composer.invalidate();
        composer.compose(image, index);
        paint(composer, buffer);
        benchmark::DoNotOptimize(buffer.constBits());
    }
    state.SetItemsProcessed(state.iterations());
}

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                microseconds[run.run_name.function_name] =
                    run.GetAdjustedRealTime() * (run.time_unit == benchmark::kMicrosecond ? 1.0 : 1e-3);
    }
    std::map<std::string, double> microseconds;
};

} // namespace

int main(int argc, char** argv) {
    std::map<std::string, Animation> animations;
    for (const auto& entry : std::filesystem::directory_iterator(TARVEL_GIF_BENCH_DATA)) {
        if (entry.path().extension() != ".gif")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        Animation animation;
        animation.bytes = {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        TGIFImage image;
        image.loadFromBytes(animation.bytes.data(), animation.bytes.size());
        animation.frames = image.frameCount();
        animation.width = image.screenWidth();
        animation.height = image.screenHeight();
        if (animation.frames > 1)
            animations[entry.path().filename().string()] = std::move(animation);
    }
    for (auto& [name, animation] : animations) {
        benchmark::RegisterBenchmark(("kept/" + name).c_str(), step, &animation, false)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("fromStart/" + name).c_str(), step, &animation, true)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-24s %7s %9s %14s %14s %8s\n", "file", "frames", "screen", "kept us/step",
                "start us/step", "ratio");
    for (const auto& [name, animation] : animations) {
        const double kept = reporter.microseconds["kept/" + name];
        const double fromStart = reporter.microseconds["fromStart/" + name];
        const std::string screen = std::to_string(animation.width) + "x" + std::to_string(animation.height);
        if (kept > 0 && fromStart > 0)
            std::printf("%-24s %7d %9s %14.1f %14.1f %8.2f\n", name.c_str(), animation.frames, screen.c_str(),
                        kept, fromStart, fromStart / kept);
    }
    benchmark::Shutdown();
    return 0;
}
