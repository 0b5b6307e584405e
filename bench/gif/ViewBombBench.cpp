// The View dialog's GIF panel (449 x 225, the animator filling it, centred) on a 4.6 kB bomb: 200 frames of
// 8192 x 8191 on an 8192 x 8192 screen, each taken off again after showing (disposal 3), 10 ms apart.
// Measures one animation step (the next frame composed and painted) and closing the dialog (which frees
// the composition and the decoded frames), with the process's resident memory while shown and after.
// Run: build/bench/gif/gif_view_bomb_bench --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include "GifErrors.h"
#include "TGIFAnimator.h"
#include "support/HostileGifs.h"

#include <QApplication>
#include <QDialog>
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <unistd.h>

namespace {

double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

struct Panel {
    QDialog dialog;
    TGIFAnimator* gif = new TGIFAnimator(&dialog);

    Panel() {
        dialog.resize(449, 225);
        gif->setAlign(TAlign::alClient);
        gif->setCenter(true);
        const std::vector<uint8_t> bomb = hostile::gif(hostile::Kind::PreviousAtTheCap, 200);
        try {
            gif->loadImageFromBytes(bomb.data(), bomb.size());
        } catch (const EInvalidGraphicOperation&) {
            // "Image is too large": the frames within the image limit stay and play.
        }
        show();
    }
    void show() {
        dialog.show();
        QApplication::processEvents(); // the window is exposed, so repaint() paints at once
        gif->repaint();
    }
};

void step(benchmark::State& state) {
    Panel panel;
    int index = 0;
    const int64_t drawn = panel.gif->composer().framesDrawn();
    for (auto _ : state) {
        index = (index + 1) % panel.gif->image().frameCount();
        panel.gif->setFrameIndex(index);
        panel.gif->repaint();
    }
    state.counters["frames"] = panel.gif->image().frameCount();
    state.counters["drawn per step"] = static_cast<double>(panel.gif->composer().framesDrawn() - drawn) /
                                       static_cast<double>(state.iterations());
    state.counters["shown RSS MB"] = residentMegabytes();
}

void close(benchmark::State& state) {
    Panel panel;
    double shown = 0;
    for (auto _ : state) {
        state.PauseTiming();
        panel.show();
        panel.gif->setFrameIndex((panel.gif->frameIndex() + 1) % panel.gif->image().frameCount());
        panel.gif->repaint();
        shown = residentMegabytes();
        state.ResumeTiming();
        panel.dialog.hide();
    }
    state.counters["shown RSS MB"] = shown;
    state.counters["closed RSS MB"] = residentMegabytes();
}

} // namespace

BENCHMARK(step)->Unit(benchmark::kMicrosecond);
BENCHMARK(close)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
