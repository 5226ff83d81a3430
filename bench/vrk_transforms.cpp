// The five counting-data transforms over 1 000 files of 64 channels and 96 rows, next to the
// floor of the same input and output: reading each file and writing a file of the same size,
// plainly ("floor_plain") and through the atomic replacement (fsync, rename) that every transform
// uses ("floor_atomic"). Each transform reports its time as a multiple of both ("x_plain",
// "x_atomic") in wall time, and in CPU time ("cpu_x_..."); the time column is one pass over the
// 1 000 files.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "bench_data.h"
#include "common/datetime.h"
#include "common/text.h"
#include "config/fcsconvparams.h"
#include "platform/files.h"
#include "timing.h"
#include "transforms/fc_correction.h"
#include "transforms/fc_vrkmerge.h"
#include "transforms/fc_vrknorm.h"
#include "transforms/fc_vrksimplif.h"
#include "transforms/fc_vrksummarize.h"

namespace {

constexpr int FileCount = 1000;
constexpr int Channels = 64;

// A "QMX" file: 32 doors of two entry and two exit channels, 96 rows of 64 counts.
std::string MakeFile(int Index, TDateTime Date) {
    std::string Text =
        "#TQMX\r\n# Shop name: Banc d'essai\r\n#M dernière mise à jour 01/01/2009 00:00\r\n";
    for (int D = 1; D <= 32; ++D) {
        Text += Format("#D%d%cPorte %d\r\n", D, D % 5 == 0 ? 'C' : 'D', D);
    }
    for (int C = 1; C <= Channels; ++C) {
        Text += Format("#C%dY%c%d\r\n", C, C > 32 ? 'X' : 'E', (C - 1) % 32 + 1);
    }
    Text += "#R2222111111111111\r\n#K1.000\r\n#F0\r\n#S\r\n";
    Text += CountingRows(Index, Date, Channels);
    return Text;
}

struct TBench {
    std::string Dir;
    std::vector<std::string> Inputs;
    std::vector<std::string> Contents;
    double PlainFloor = 0; // seconds per pass of 1 000 files
    double AtomicFloor = 0;

    TBench() {
        char Template[] = "/tmp/tarno-bench-XXXXXX";
        Dir = ::mkdtemp(Template);
        ForceDirectories(Dir + "/in");
        ForceDirectories(Dir + "/out");
        ForceDirectories(Dir + "/floor");
        const TDateTime First = EncodeDate(2008, 1, 1);
        for (int I = 0; I < FileCount; ++I) {
            const TDateParts P = DecodeDate(First + I);
            const std::string Path =
                Dir + "/in/" + Format("%4.4d%2.2d%2.2d.vrk", P.Year, P.Month, P.Day);
            Contents.push_back(MakeFile(I, First + I));
            WriteFileAtomically(Path, Contents.back());
            Inputs.push_back(Path);
        }
    }
    ~TBench() {
        std::error_code Ignored;
        std::filesystem::remove_all(Dir, Ignored);
    }
    std::string FloorPath(std::size_t I) const {
        return Dir + "/floor/" + std::filesystem::path(Inputs[I]).filename().string();
    }
    // Puts the inputs back as they were (the in-place transforms rewrite them).
    void Restore() {
        for (std::size_t I = 0; I < Inputs.size(); ++I) {
            WriteFileAtomically(Inputs[I], Contents[I]);
        }
    }
};

TBench& Bench() {
    static TBench B;
    return B;
}

void PlainWrite(const std::string& Path, const std::string& Bytes) {
    const int Fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (Fd < 0 || ::write(Fd, Bytes.data(), Bytes.size()) != static_cast<ssize_t>(Bytes.size())) {
        std::abort();
    }
    ::close(Fd);
}

// One pass of the floor: read every input, write a file of the same size. Cpu += its CPU time.
double FloorPass(TBench& B, bool Atomic, double& Cpu) {
    const auto Start = std::chrono::steady_clock::now();
    const double CpuStart = CpuSeconds();
    for (std::size_t I = 0; I < B.Inputs.size(); ++I) {
        const std::string Bytes = ReadFileBytes(B.Inputs[I]);
        const std::string Path = B.FloorPath(I);
        if (Atomic) {
            WriteFileAtomically(Path, std::string(Bytes.size(), 'x'));
        } else {
            PlainWrite(Path, std::string(Bytes.size(), 'x'));
        }
    }
    Cpu += CpuSeconds() - CpuStart;
    return Seconds(Start);
}

// Every timed pass of the transform follows an untimed pass of each floor, so that both see the
// same load of the shared disk; the ratios compare the sums.
void RunTransform(benchmark::State& State, TConvParams& Params,
                  bool (*Entry)(const std::string&, TConvParams&), bool RewritesInput) {
    TBench& B = Bench();
    double Plain = 0, Atomic = 0, Transform = 0;
    double PlainCpu = 0, AtomicCpu = 0, TransformCpu = 0;
    for (auto _ : State) {
        State.PauseTiming();
        Plain += FloorPass(B, false, PlainCpu);
        Atomic += FloorPass(B, true, AtomicCpu);
        if (RewritesInput) {
            B.Restore();
        }
        State.ResumeTiming();
        const auto Start = std::chrono::steady_clock::now();
        const double CpuStart = CpuSeconds();
        for (const std::string& Input : B.Inputs) {
            benchmark::DoNotOptimize(Entry(Input, Params));
        }
        TransformCpu += CpuSeconds() - CpuStart;
        Transform += Seconds(Start);
    }
    const auto N = static_cast<double>(State.iterations());
    State.counters["floor_plain_ms"] = 1000 * Plain / N;
    State.counters["floor_atomic_ms"] = 1000 * Atomic / N;
    State.counters["x_plain"] = Transform / Plain;
    State.counters["x_atomic"] = Transform / Atomic;
    State.counters["cpu_x_plain"] = TransformCpu / PlainCpu;
    State.counters["cpu_x_atomic"] = TransformCpu / AtomicCpu;
    if (RewritesInput) {
        B.Restore();
    }
}

void BM_Summarize(benchmark::State& State) {
    TConvParamsVrkSummarize P;
    P.OutDir = Bench().Dir + "/out";
    P.DoorOnly = false;
    P.ZeroExits = false;
    RunTransform(State, P, &SummarizeFile, false);
}

void BM_Merge(benchmark::State& State) {
    TConvParamsVrkMerge P;
    P.OutDir = Bench().Dir + "/out";
    // Every pass merges into the files of the pass before, as a service does day after day.
    RunTransform(State, P, &MergeFile, false);
}

void BM_Normalize(benchmark::State& State) {
    TConvParamsVrkNormalize P;
    P.OutDir = Bench().Dir + "/out";
    P.StaffRemoval = true;
    P.StaffCoeffs = {20, 20, 20, 20, 20, 20, 20};
    P.EXMerge = true;
    RunTransform(State, P, &NormalizeFile, false);
}

void BM_NormalizeInPlace(benchmark::State& State) {
    TConvParamsVrkNormalize P;
    P.EXMerge = true;
    RunTransform(State, P, &NormalizeFile, true);
}

void BM_Simplify(benchmark::State& State) {
    TConvParamsVrkSimplif P;
    P.OutDir = Bench().Dir + "/out";
    RunTransform(State, P, &SimplifyFile, false);
}

void BM_Correction(benchmark::State& State) {
    TConvParamsCorrection P;
    P.Correction = {0.9, 1.1, 1.2, 0.8, 1.0, 1.5, 0.5};
    RunTransform(State, P, &CorrectFile, true);
}

} // namespace

BENCHMARK(BM_Summarize)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Merge)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Normalize)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_NormalizeInPlace)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Simplify)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Correction)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
