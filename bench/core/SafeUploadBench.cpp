// The safe Upload of a full large section (21504 bytes) over a full one on the virtual phone, against
// the plain Upload the window made before: clear, write and the read-back check, with no backup.
// The difference is the backup: the whole read of the old content, its flushed file and the flushed
// note of the change.
#include "BackupStore.h"
#include "GBPSession.h"
#include "SectionOps.h"
#include "VirtualPhone.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

namespace {

constexpr int kSlot = 10; // 18-09

std::vector<uint8_t> content(uint8_t seed) {
    std::vector<uint8_t> bytes(kLargestSection);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 31);
    return bytes;
}

struct Phone {
    QTemporaryDir dir;
    VirtualPhone phone{dir.filePath("phone")};
    BackupStore backups{dir.filePath("backups")};
    const std::vector<uint8_t> a = content(1), b = content(2);

    Phone() {
        GBPSession session(phone, 1);
        phone.WriteNVMFile(18, 9, a.data(), kLargestSection);
    }
};

void BM_SafeUpload(benchmark::State& state) {
    Phone p;
    bool flip = false;
    for (auto _ : state) {
        const std::vector<uint8_t>& next = (flip = !flip) ? p.b : p.a;
        GBPSession session(p.phone, 1);
        if (!SectionOps::replaceSection(p.phone, p.backups, kSlot, next.data(), kLargestSection).ok()) {
            state.SkipWithError("the upload failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kLargestSection);
}

void BM_PlainUpload(benchmark::State& state) {
    Phone p;
    bool flip = false;
    std::vector<uint8_t> back(kTransferBufferSize);
    for (auto _ : state) {
        const std::vector<uint8_t>& next = (flip = !flip) ? p.b : p.a;
        GBPSession session(p.phone, 1);
        p.phone.ClearNVMFile(18, 9);
        p.phone.WriteNVMFile(18, 9, next.data(), kLargestSection);
        if (p.phone.ReadNVMFile(18, 9, back.data(), 0) != kLargestSection ||
            std::memcmp(back.data(), next.data(), kLargestSection) != 0) {
            state.SkipWithError("the upload failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kLargestSection);
}

void configure(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Iterations(30)->Repetitions(9)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_SafeUpload)->Apply(configure);
BENCHMARK(BM_PlainUpload)->Apply(configure);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
