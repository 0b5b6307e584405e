// From the View click to the dialog shown and painted, on the virtual phone, offscreen.
// Run: build/bench/viewer/view_bench --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include "Fonts.h"
#include "GBPCtrl.h"
#include "ScriptedDialogs.h"
#include "Unit1.h"
#include "Unit2.h"
#include "VirtualPhone.h"

#include <QApplication>
#include <QComboBox>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

constexpr int kFullSlot = 21; // 18-20, filled to the capacity of a large section
constexpr int kGifSlot = 12;  // 18-11, the demonstration animation

struct Setup {
    QTemporaryDir dir;
    VirtualPhone phone{dir.path() + "/virtual-phone"};
    ScriptedDialogs dialogs;
    TForm1 form{phone, dialogs};
    TForm2 view{&form, form.icons(), dialogs};

    Setup() {
        phone.InitGBPMode(1);
        std::vector<uint8_t> full(kLargestSection);
        for (std::size_t i = 0; i < full.size(); ++i)
            full[i] = static_cast<uint8_t>(i * 7);
        phone.WriteNVMFile(18, 20, full.data(), kLargestSection);
        phone.EndGBPMode();
        form.setViewDialog(&view);
        form.show();
        form.findChild<QPushButton*>("reld")->click();
    }

    // One View: click, wait for the dialog's first painted picture, close it.
    void viewOnce(int slot) {
        {
            auto* list = form.findChild<QListView*>("Lista");
            list->setCurrentIndex(list->model()->index(slot, 0));
        }
        QTimer poll;
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!view.isVisible())
                return;
            poll.stop();
            QImage picture = view.grab().toImage();
            benchmark::DoNotOptimize(picture.bits());
            view.accept();
        });
        poll.start();
        form.findChild<QPushButton*>("btn2")->click();
    }
};

void ViewFullSectionBinaryMode(benchmark::State& state) {
    Setup setup;
    setup.view.findChild<QComboBox*>("tryb")->setCurrentIndex(1);
    for (auto _ : state)
        setup.viewOnce(kFullSlot);
    if (setup.view.viewLength() != kLargestSection)
        state.SkipWithError("the section was not read whole");
}
BENCHMARK(ViewFullSectionBinaryMode)->Unit(benchmark::kMillisecond);

void ViewDemoGif(benchmark::State& state) {
    Setup setup;
    for (auto _ : state)
        setup.viewOnce(kGifSlot);
}
BENCHMARK(ViewDemoGif)->Unit(benchmark::kMillisecond);

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
