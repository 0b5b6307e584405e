// `tarvel-cli backup` and `tarvel-cli restore` of a full virtual phone (all 31 sections filled to their
// capacity), each a whole process run from start to exit, in wall-clock time. A restore goes through the
// safe path for every section (a backup of what it holds, clear, write, verify).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct FullPhone {
    QTemporaryDir dir;
    QString phone = dir.filePath("phone");

    FullPhone() {
        QDir().mkpath(phone);
        for (int slot = 0; slot < 31; ++slot) {
            const int group = slot < 10 ? 2 : 18, number = slot < 10 ? slot + 10 : slot - 1;
            QFile file(QString("%1/%2-%3.bin")
                           .arg(phone)
                           .arg(group, 2, 10, QChar('0'))
                           .arg(number, 2, 10, QChar('0')));
            file.open(QIODevice::WriteOnly);
            QByteArray bytes(slot < 10 ? 2048 : 21504, '\0');
            for (qsizetype i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<char>(slot * 13 + i * 7);
            file.write(bytes);
        }
    }
    bool cli(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", dir.filePath("data"));
        p.setProcessEnvironment(env);
        p.setStandardErrorFile(QProcess::nullDevice());
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(TARVEL_CLI, QStringList{"--phone-dir", phone, "--yes"} + args);
        return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
};

void BM_CliBackupFullPhone(benchmark::State& state) {
    FullPhone p;
    int n = 0;
    for (auto _ : state)
        if (!p.cli({"backup", p.dir.filePath(QString("backup-%1").arg(n++))})) {
            state.SkipWithError("tarvel-cli backup failed");
            break;
        }
}

void BM_CliRestoreFullPhone(benchmark::State& state) {
    FullPhone p;
    if (!p.cli({"backup", p.dir.filePath("backup")})) {
        state.SkipWithError("tarvel-cli backup failed");
        return;
    }
    for (auto _ : state)
        if (!p.cli({"restore", p.dir.filePath("backup")})) {
            state.SkipWithError("tarvel-cli restore failed");
            break;
        }
}

void configure(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(5)
        ->Repetitions(9)
        ->ReportAggregatesOnly(true);
}

BENCHMARK(BM_CliBackupFullPhone)->Apply(configure);
BENCHMARK(BM_CliRestoreFullPhone)->Apply(configure);

} // namespace

BENCHMARK_MAIN();
