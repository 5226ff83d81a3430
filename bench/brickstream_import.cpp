// Importing a BRICKSTREAM interval file of 1 000 000 lines (32 zones, one line per zone and
// quarter-hour, 326 days) into an empty output directory, next to the floor of reading the same
// bytes and splitting them into lines. The import reports its time as a multiple of the floor
// ("x_floor"); the target is at most 5. The files live in memory (/dev/shm, or the directory
// named by TARNO_BENCH_DIR) so that both sides are measured without the disk; a second run writes
// the day files to /tmp on the disk, where each of the 326 atomic replacements waits for its
// fsync.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_clock.h"
#include "common/datetime.h"
#include "common/text.h"
#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "importers/fc_brickstream.h"
#include "platform/files.h"
#include "timing.h"

namespace {

constexpr int LineCount = 1000000;
constexpr int Zones = 32;

// A new directory below Parent.
std::string MakeTempDir(const std::string& Parent) {
    std::string Template = Parent + "/tarno-bench-XXXXXX";
    if (::mkdtemp(Template.data()) == nullptr) {
        std::perror(Template.c_str());
        std::exit(1);
    }
    return Template;
}

std::string MemoryParent() {
    const char* Env = std::getenv("TARNO_BENCH_DIR");
    if (Env != nullptr && *Env != '\0') {
        return Env;
    }
    return std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
}

struct TBench {
    std::string Dir;     // input and day files in memory
    std::string DiskDir; // day files on the disk
    std::string Input;
    std::size_t Bytes = 0;
    double Floor = 0;          // seconds per read and split of the input
    double Import[2] = {0, 0}; // seconds per import, in memory and on the disk

    TBench() {
        Dir = MakeTempDir(MemoryParent());
        DiskDir = MakeTempDir("/tmp");
        ForceDirectories(Dir + "/in");
        Input = Dir + "/in/export.dat";
        std::string Text;
        Text.reserve(static_cast<std::size_t>(LineCount) * 72);
        const TDateTime First = EncodeDate(2008, 1, 1);
        for (int I = 0; I < LineCount; ++I) {
            const int Quarter = I / Zones + 1; // the stamp ends the quarter-hour
            const TDateParts D = DecodeDate(First + Quarter / 96);
            const int S = Quarter % 96;
            Text +=
                Format("%d|Site 4|Store 12|%d|Zone %2.2d|900|%2.2d/%2.2d/%4.4d %2.2d:%2.2d:00|%d|%d"
                       "\r\n",
                       I % 7, I % Zones, I % Zones + 1, D.Month, D.Day, D.Year, S / 4, (S % 4) * 15,
                       (I * 7) % 53, (I * 11) % 47);
        }
        Bytes = Text.size();
        WriteFileAtomically(Input, Text);
    }
    ~TBench() {
        std::error_code Ignored;
        std::filesystem::remove_all(Dir, Ignored);
        std::filesystem::remove_all(DiskDir, Ignored);
    }
    std::string NewOutDir(bool OnDisk) const {
        const std::string Out = (OnDisk ? DiskDir : Dir) + "/out";
        std::error_code Ignored;
        std::filesystem::remove_all(Out, Ignored);
        ForceDirectories(Out);
        return Out;
    }
};

TBench& Bench() {
    static TBench Instance;
    return Instance;
}

void BM_ReadAndSplitFloor(benchmark::State& State) {
    TBench& B = Bench();
    double Total = 0;
    for (auto _ : State) {
        const auto Start = std::chrono::steady_clock::now();
        const std::string Text = ReadFileBytes(B.Input);
        std::size_t Lines = 0;
        ForEachTextLine(Text, [&](std::string_view Line) {
            benchmark::DoNotOptimize(Line.data());
            ++Lines;
        });
        benchmark::DoNotOptimize(Lines);
        Total += Seconds(Start);
    }
    B.Floor = Total / static_cast<double>(State.iterations());
    State.SetBytesProcessed(static_cast<int64_t>(B.Bytes) * State.iterations());
}
BENCHMARK(BM_ReadAndSplitFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_ImportBrickstream(benchmark::State& State) {
    TBench& B = Bench();
    const bool OnDisk = State.range(0) != 0;
    TConvParamsBrickstream Params;
    double Total = 0;
    for (auto _ : State) {
        State.PauseTiming();
        Params.OutDir = B.NewOutDir(OnDisk);
        State.ResumeTiming();
        const auto Start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ImportBrickstream(B.Input, Params));
        Total += Seconds(Start);
    }
    const double PerImport = Total / static_cast<double>(State.iterations());
    State.SetBytesProcessed(static_cast<int64_t>(B.Bytes) * State.iterations());
    State.counters["x_floor"] = B.Floor > 0 ? PerImport / B.Floor : 0;
    State.counters["day_files"] = static_cast<double>(ListFiles(Params.OutDir, "vrk").size());
    B.Import[OnDisk ? 1 : 0] = PerImport;
}
BENCHMARK(BM_ImportBrickstream)
    ->ArgName("on_disk")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

} // namespace

int main(int Argc, char** Argv) {
    benchmark::Initialize(&Argc, Argv);
    if (benchmark::ReportUnrecognizedArguments(Argc, Argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const TBench& B = Bench();
    const char* Where[2] = {"day files in memory", "day files on the disk"};
    for (int I = 0; I < 2; ++I) {
        if (B.Floor > 0 && B.Import[I] > 0) {
            std::printf("Brickstream import of %d lines, %s: %.1f ms, floor %.1f ms, ratio %.2f "
                        "(target: at most 5)\n",
                        LineCount, Where[I], B.Import[I] * 1000, B.Floor * 1000,
                        B.Import[I] / B.Floor);
        }
    }
    return 0;
}
