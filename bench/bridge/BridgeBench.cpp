// The phone through gbp-bridge under Wine against the virtual phone in-process: a Reload of the 31
// sections and the Upload of a full large section (21504 bytes), through the window's handlers, the
// same content on both; then the bridge's start: the first one in a new Wine prefix, a later one with
// Wine idle, and one while Wine runs (the restart after a failure). Prints the medians and the ratios.
#include "ScriptedDialogs.h"
#include "Unit1.h"
#include "VirtualPhone.h"
#include "WineTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QListView>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <map>

using namespace WineTest;

namespace {

constexpr int kSlot = 10; // 18-09
constexpr int kFull = 21504;
const PeArch kArch = PeArch::X86_64;

// The phone's files, shared by both backends: the virtual phone fills its folder on first use and
// the stand-in library reads a copy of it.
struct Phones {
    QTemporaryDir virtualDir;
    QTemporaryDir standInDir;
    QTemporaryDir files;
    QString source = files.filePath("section.bin");

    Phones() {
        VirtualPhone filler(virtualDir.path());
        filler.InitGBPMode(1);
        filler.EndGBPMode();
        for (const QString& name : QDir(virtualDir.path()).entryList({"*.bin"}, QDir::Files))
            QFile::copy(virtualDir.filePath(name), standInDir.filePath(name));
        qputenv("TARVEL_STANDIN_DIR", BridgeLink::winePath(standInDir.path()).toLocal8Bit());
        QFile file(source);
        if (file.open(QIODevice::WriteOnly))
            for (int i = 0; i < kFull; ++i)
                file.putChar(static_cast<char>(i * 31 + 7));
    }
};

Phones& phones() {
    static Phones p;
    return p;
}

struct Window {
    ScriptedDialogs dialogs;
    std::unique_ptr<GBPCtrl> link;
    std::unique_ptr<TForm1> form;

    explicit Window(bool bridge) {
        if (bridge)
            link = std::make_unique<BridgeLink>(setupFor(standIn(kArch), kArch));
        else
            link = std::make_unique<VirtualPhone>(phones().virtualDir.path());
        form = std::make_unique<TForm1>(*link, dialogs);
        reload();
        {
            auto* list = form->findChild<QListView*>("Lista");
            list->setCurrentIndex(list->model()->index(kSlot, 0));
        }
    }
    bool reload() {
        form->findChild<QPushButton*>("reld")->click();
        return form->connectedPort() == 1;
    }
    bool upload() {
        dialogs.fileAnswers = {phones().source};
        dialogs.answers = {MsgResult::Yes};
        dialogs.messages.clear();
        form->findChild<QPushButton*>("btn1")->click();
        return !dialogs.messages.empty() && dialogs.messages.back().caption == "Upload to section";
    }
};

void BM_Reload(benchmark::State& state, bool bridge) {
    Window w(bridge);
    for (auto _ : state)
        if (!w.reload())
            state.SkipWithError("the Reload failed");
}

void BM_Upload(benchmark::State& state, bool bridge) {
    Window w(bridge);
    for (auto _ : state)
        if (!w.upload())
            state.SkipWithError("the Upload failed");
    state.SetBytesProcessed(state.iterations() * kFull);
}

void stopWine(const QString& prefix) {
    QProcess server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", prefix);
    server.setProcessEnvironment(env);
    server.start("wineserver", {"-k"});
    server.waitForFinished(30000);
    server.start("wineserver", {"-w"});
    server.waitForFinished(30000);
}

enum class Start { NewPrefix, WineIdle, WineRunning };

// Times BridgeLink::start() alone; the prefix lives in the build folder, beside the tests' one.
void BM_BridgeStart(benchmark::State& state, Start kind) {
    static const QString prefix = QDir(TARVEL_BENCH_WINE_DIR).filePath("bench-wine-prefix");
    for (auto _ : state) {
        if (kind == Start::NewPrefix) {
            stopWine(prefix);
            QDir(prefix).removeRecursively();
        } else if (kind == Start::WineIdle) {
            stopWine(prefix);
        }
        qputenv("WINEPREFIX", prefix.toLocal8Bit());
        BridgeLink link(setupFor(standIn(kArch), kArch));
        const auto begin = std::chrono::steady_clock::now();
        const bool started = link.start();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        if (!started)
            state.SkipWithError(link.lastError().toStdString().c_str());
    }
}

// The first Reload of a program that has just started, pressed 2 s after start-up with an existing prefix
// and Wine idle: with the bridge started in the background at start-up, or (as before) by the Reload.
void BM_FirstReload(benchmark::State& state, bool background) {
    static const QString prefix = QDir(TARVEL_BENCH_WINE_DIR).filePath("bench-wine-prefix");
    qputenv("WINEPREFIX", prefix.toLocal8Bit());
    if (!QFileInfo::exists(prefix + "/system.reg"))
        BridgeLink(setupFor(standIn(kArch), kArch)).start(); // makes the prefix
    for (auto _ : state) {
        stopWine(prefix);
        ScriptedDialogs dialogs;
        BridgeLink link(setupFor(standIn(kArch), kArch));
        TForm1 form(link, dialogs);
        if (background) {
            link.launch();
            form.setLinkStarting([&link] { return link.pollStart() == BridgeLink::StartState::Pending; });
        }
        QEventLoop idle;
        QTimer::singleShot(2000, &idle, &QEventLoop::quit);
        idle.exec();
        const auto begin = std::chrono::steady_clock::now();
        form.findChild<QPushButton*>("reld")->click();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        if (form.connectedPort() != 1)
            state.SkipWithError("the first Reload failed");
    }
}

// Keeps the median time of each benchmark, in milliseconds.
class MedianReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> medians;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    usePrefix();
    if (const std::optional<QString> why = cannotRun(kArch)) {
        std::printf("bridge_bench: %s\n", qPrintable(*why));
        return 0;
    }
    // Five repetitions each, compared by their medians: the machine may be busy with other work.
    for (bool bridge : {false, true}) {
        const std::string backend = bridge ? "bridge" : "virtual";
        benchmark::RegisterBenchmark(("Reload/" + backend).c_str(), BM_Reload, bridge)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(bridge ? 10 : 40)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
        benchmark::RegisterBenchmark(("Upload/" + backend).c_str(), BM_Upload, bridge)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(bridge ? 10 : 40)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    }
    const std::pair<const char*, Start> starts[] = {{"BridgeStart/new-prefix", Start::NewPrefix},
                                                    {"BridgeStart/wine-idle", Start::WineIdle},
                                                    {"BridgeStart/wine-running", Start::WineRunning}};
    for (const auto& [name, kind] : starts)
        benchmark::RegisterBenchmark(name, BM_BridgeStart, kind)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(kind == Start::NewPrefix ? 3 : 5)
            ->ReportAggregatesOnly(true);
    for (bool background : {true, false})
        benchmark::RegisterBenchmark(background ? "FirstReload/background-start"
                                                : "FirstReload/started-by-reload",
                                     BM_FirstReload, background)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-10s %14s %14s %8s\n", "median", "virtual ms", "bridge ms", "ratio");
    for (const char* op : {"Reload", "Upload"}) {
        const double local = reporter.medians[std::string(op) + "/virtual"];
        const double bridge = reporter.medians[std::string(op) + "/bridge"];
        if (local > 0 && bridge > 0)
            std::printf("%-10s %14.3f %14.3f %8.1f\n", op, local, bridge, bridge / local);
    }
    for (const auto& [name, kind] : starts)
        if (reporter.medians.count(name))
            std::printf("%-26s %10.0f ms\n", name, reporter.medians[name]);
    const double warm = reporter.medians["Reload/bridge"];
    for (const char* name : {"FirstReload/background-start", "FirstReload/started-by-reload"})
        if (warm > 0 && reporter.medians.count(name))
            std::printf("%-30s %8.0f ms, %5.2f x a warm Reload (%.0f ms)\n", name, reporter.medians[name],
                        reporter.medians[name] / warm, warm);
    benchmark::Shutdown();
    return 0;
}
