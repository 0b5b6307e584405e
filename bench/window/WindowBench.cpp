// Start-up, Reload and list painting of the main window, offscreen.
// Run: build/bench/window/window_bench --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include "Fonts.h"
#include "ScriptedDialogs.h"
#include "SectionIcons.h"
#include "SectionItemPainter.h"
#include "Unit1.h"
#include "VirtualPhone.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// Creating the window up to its first painted picture.
void StartupToFirstPaint(benchmark::State& state) {
    QTemporaryDir dir;
    VirtualPhone phone(dir.path() + "/virtual-phone");
    ScriptedDialogs dialogs;
    for (auto _ : state) {
        TForm1 form(phone, dialogs);
        form.show();
        QImage picture = form.grab().toImage();
        benchmark::DoNotOptimize(picture.bits());
    }
}
BENCHMARK(StartupToFirstPaint)->Unit(benchmark::kMillisecond);

// One Reload of the 31 sections of the virtual phone with its demonstration content.
void ReloadVirtualPhone(benchmark::State& state) {
    QTemporaryDir dir;
    VirtualPhone phone(dir.path() + "/virtual-phone");
    ScriptedDialogs dialogs;
    TForm1 form(phone, dialogs);
    form.show();
    QPushButton* reload = form.findChild<QPushButton*>("reld");
    for (auto _ : state)
        reload->click();
    if (form.connectedPort() != 1)
        state.SkipWithError("the virtual phone did not answer");
}
BENCHMARK(ReloadVirtualPhone)->Unit(benchmark::kMillisecond);

SectionTable demoTable() {
    SectionTable table = makeSectionTable();
    for (int slot = 0; slot < kSectionCount; ++slot) {
        SectionRecord& r = table[slot];
        r.Size = slot % 4 == 3 ? -1 : (slot * 977) % r.Capacity;
        r.Kind = static_cast<ContentKind>(slot % 4);
        r.TargetFirmware = "5.1.4/4";
        r.Name = "Application " + std::to_string(slot);
    }
    return table;
}

void PaintWholeList(benchmark::State& state) {
    const SectionTable table = demoTable();
    const SectionIcons icons;
    QImage canvas(260, 40 * kSectionCount, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&canvas);
        for (int slot = 0; slot < kSectionCount; ++slot)
            SectionItemPainter::paint(painter, icons, table[slot], QRect(0, slot * 40, 260, 40), slot == 5);
    }
}
BENCHMARK(PaintWholeList)->Unit(benchmark::kMicrosecond);

void PaintOneItem(benchmark::State& state) {
    const SectionTable table = demoTable();
    const SectionIcons icons;
    QImage canvas(260, 40, QImage::Format_RGB32);
    QPainter painter(&canvas);
    for (auto _ : state)
        SectionItemPainter::paint(painter, icons, table[10], QRect(0, 0, 260, 40), false);
}
BENCHMARK(PaintOneItem)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Fonts::load();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
