// Upload and Extract of a full large section (21504 bytes) on the virtual phone, end to end through
// the window's handlers with the dialogs answered by script. Beside each, the same transfer made with
// the bare link calls and a plain file read or write, so the cost of the operation's checks (the
// read-back after a write, the flushed atomic replace of the target) shows as a ratio.
#include "ScriptedDialogs.h"
#include "Unit1.h"
#include "VirtualPhone.h"

#include <QApplication>
#include <QFile>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

constexpr int kSlot = 10; // 18-09, a large section
constexpr int kFull = 21504;

QByteArray fullSection() {
    QByteArray bytes(kFull, '\0');
    for (int i = 0; i < kFull; ++i)
        bytes[i] = static_cast<char>(i * 31 + 7);
    return bytes;
}

// A connected window over an empty virtual phone in a temporary folder, with section 18-09 selected.
struct Session {
    QTemporaryDir phoneDir;
    QTemporaryDir files;
    VirtualPhone phone{phoneDir.path()};
    ScriptedDialogs dialogs;
    TForm1 form{phone, dialogs};
    QString source = files.filePath("section.bin");
    QString target = files.filePath("extracted.bin");

    Session() {
        form.backupStore().setRoot(files.filePath("backups"));
        QFile file(source);
        if (file.open(QIODevice::WriteOnly))
            file.write(fullSection());
        file.close();
        form.findChild<QPushButton*>("reld")->click();
        {
            auto* list = form.findChild<QListView*>("Lista");
            list->setCurrentIndex(list->model()->index(kSlot, 0));
        }
    }
    void upload() {
        dialogs.fileAnswers = {source};
        dialogs.answers = {MsgResult::Yes};
        form.findChild<QPushButton*>("btn1")->click();
    }
    void extract() {
        dialogs.fileAnswers = {target};
        form.findChild<QPushButton*>("btn3")->click();
    }
    // True when the last operation ended with the message captioned caption.
    bool endedWith(const QString& caption) {
        const bool ok = !dialogs.messages.empty() && dialogs.messages.back().caption == caption;
        dialogs.messages.clear();
        return ok;
    }
};

void BM_UploadThroughHandler(benchmark::State& state) {
    Session s;
    for (auto _ : state) {
        s.upload();
        if (!s.endedWith("Upload to section")) {
            state.SkipWithError("the upload did not succeed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kFull);
}

void BM_UploadBareLink(benchmark::State& state) {
    Session s;
    std::vector<char> buffer(kTransferBufferSize);
    for (auto _ : state) {
        QFile file(s.source);
        if (!file.open(QIODevice::ReadOnly) || file.read(buffer.data(), kFull) != kFull) {
            state.SkipWithError("the file could not be read");
            break;
        }
        s.phone.InitGBPMode(1);
        s.phone.ClearNVMFile(18, 9);
        s.phone.WriteNVMFile(18, 9, buffer.data(), kFull);
        s.phone.EndGBPMode();
    }
    state.SetBytesProcessed(state.iterations() * kFull);
}

void BM_ExtractThroughHandler(benchmark::State& state) {
    Session s;
    s.upload();
    s.dialogs.messages.clear();
    for (auto _ : state) {
        s.extract();
        if (!s.endedWith("Extract section")) {
            state.SkipWithError("the extract did not succeed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kFull);
}

void BM_ExtractBareLink(benchmark::State& state) {
    Session s;
    s.upload();
    std::vector<char> buffer(kTransferBufferSize);
    for (auto _ : state) {
        s.phone.InitGBPMode(1);
        const int32_t count = s.phone.ReadNVMFile(18, 9, buffer.data(), 0);
        QFile file(s.target);
        if (count != kFull || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(buffer.data(), count) != count) {
            state.SkipWithError("the section could not be extracted");
            break;
        }
        file.close();
        s.phone.EndGBPMode();
    }
    state.SetBytesProcessed(state.iterations() * kFull);
}

void configure(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(5)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_UploadThroughHandler)->Apply(configure);
BENCHMARK(BM_UploadBareLink)->Apply(configure);
BENCHMARK(BM_ExtractThroughHandler)->Apply(configure);
BENCHMARK(BM_ExtractBareLink)->Apply(configure);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("TarvelBench");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
