// The five counting-data transforms over 1 000 files of 64 channels and 96 rows, next to the
// floor of the same input and output: reading each input and writing the very bytes the transform
// writes, each file through the atomic replacement the program uses (temporary file, fsync,
// rename), each directory synced once per pass as the service does, to the very paths the
// transform writes and in its order ("floor"). An in-place transform writes two files per input
// (the raw copy, which must be on disk before the input is replaced, and the new input), and so
// does its floor.
// A file a transform reads because what it writes depends on it (the output a merge merges into,
// the raw copy a correction checks its input against) is read by its floor too. Every timed pass,
// of a floor or of a transform, replaces the files of the pass before and starts after the page
// cache has been written back, so that none pays for another's writes.
// Each transform reports its time as a multiple of that floor in wall time ("x_floor") and CPU
// time ("cpu_x_floor"). Two older floors stay as extra columns: reading each input and writing a
// file of the same size, plainly ("x_plain") and atomically with a directory sync per file
// ("x_atomic"). The time column is one pass over the 1 000 files.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench_clock.h"
#include "bench_data.h"
#include "common/datetime.h"
#include "common/text.h"
#include "config/fcsconvparams.h"
#include "platform/dirsync.h"
#include "platform/files.h"
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

// The inputs live under the build directory and are kept between runs; "ready" is written last,
// so that inputs cut short by an interrupted run are made again. What a run writes (outputs,
// raw copies, the floor's files) is removed before and after it.
struct TBench {
    std::string Dir = std::string(TARNO_BENCH_HOMES) + "/vrk_transforms";
    std::vector<std::string> Inputs;
    std::vector<std::string> Contents;

    TBench() {
        const bool Ready = std::filesystem::exists(Dir + "/ready");
        if (!Ready) {
            std::error_code Ignored;
            std::filesystem::remove_all(Dir, Ignored);
        }
        RemoveWritten();
        ForceDirectories(Dir + "/in");
        ForceDirectories(Dir + "/out");
        ForceDirectories(Dir + "/floor");
        const TDateTime First = EncodeDate(2008, 1, 1);
        for (int I = 0; I < FileCount; ++I) {
            const TDateParts P = DecodeDate(First + I);
            Inputs.push_back(Dir + "/in/" + Format("%4.4d%2.2d%2.2d.vrk", P.Year, P.Month, P.Day));
            Contents.push_back(MakeFile(I, First + I));
        }
        if (Ready) {
            Restore(); // an interrupted run may have left inputs rewritten in place
        } else {
            for (std::size_t I = 0; I < Inputs.size(); ++I) {
                WriteFileAtomically(Inputs[I], Contents[I]);
            }
            WriteFileAtomically(Dir + "/ready", "");
        }
    }
    ~TBench() { RemoveWritten(); }
    void RemoveWritten() {
        std::error_code Ignored;
        for (const char* Sub : {"/out", "/floor", "/in/compteursbrut"}) {
            std::filesystem::remove_all(Dir + Sub, Ignored);
        }
    }
    std::string FloorPath(std::size_t I) const {
        return Dir + "/floor/" + std::filesystem::path(Inputs[I]).filename().string();
    }
    // Puts back the inputs that are not as they were (the in-place transforms rewrite them).
    void Restore() {
        for (std::size_t I = 0; I < Inputs.size(); ++I) {
            std::string Bytes;
            if (!TryReadFileBytes(Inputs[I], Bytes) || Bytes != Contents[I]) {
                WriteFileAtomically(Inputs[I], Contents[I]);
            }
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

// The regular files below Dir (the floor's own directory left out) and their inode numbers.
std::map<std::string, ino_t> Inodes(const TBench& B) {
    std::map<std::string, ino_t> Result;
    for (const auto& E : std::filesystem::recursive_directory_iterator(B.Dir)) {
        const std::string Path = E.path().string();
        struct stat St {};
        if (!Path.starts_with(B.Dir + "/floor") && ::lstat(Path.c_str(), &St) == 0 &&
            S_ISREG(St.st_mode)) {
            Result[Path] = St.st_ino;
        }
    }
    return Result;
}

bool IsRawCopy(const std::string& Path) {
    return Path.find("/compteursbrut/") != std::string::npos;
}

// What one untimed pass of the transform writes: every file it creates or replaces (an atomic
// replacement gives a new inode), as its path and its bytes, in the order the transform writes
// them. The floor writes the same bytes to the same paths: creating a file costs more in a
// directory where many were replaced shortly before (ext4 without a journal skips inodes freed
// in the last minute), so floor and transform must write into the same directories.
std::vector<std::pair<std::string, std::string>>
WrittenByTransform(TBench& B, TConvParams& Params,
                   bool (*Entry)(const std::string&, TConvParams&)) {
    const auto Before = Inodes(B);
    for (const std::string& Input : B.Inputs) {
        Entry(Input, Params);
    }
    std::vector<std::pair<std::string, std::string>> Written;
    for (const auto& [Path, Inode] : Inodes(B)) {
        const auto Old = Before.find(Path);
        if (Old == Before.end() || Old->second != Inode) {
            Written.emplace_back(Path, ReadFileBytes(Path));
        }
    }
    // In the order the transform writes them: input by input (their names are dates), a raw copy
    // before the input it keeps. The cost of a directory sync depends on what was written before
    // it, so the floor's order must be the transform's.
    const auto Key = [](const std::string& Path) {
        return std::pair(std::filesystem::path(Path).filename().string(), !IsRawCopy(Path));
    };
    std::stable_sort(Written.begin(), Written.end(),
                     [&](const auto& X, const auto& Y) { return Key(X.first) < Key(Y.first); });
    return Written;
}

// The files a transform reads besides its inputs, because what it writes depends on them: none,
// the output it merges into, or the raw copy it checks the input against.
enum class TAlsoReads { Nothing, Outputs, RawCopies };

// Writes back what earlier work left dirty in the page cache, so that a timed pass does not
// pay for another's writes: each pass starts from the same settled disk.
void SettleDisk() {
    ::sync();
}

// One pass of the honest floor: read every input and write every file the transform writes,
// atomically, in turn; a file the transform also reads before replacing it (AlsoReads) is read
// first. Cpu += its CPU time.
double HonestFloorPass(const TBench& B,
                       const std::vector<std::pair<std::string, std::string>>& Written,
                       TAlsoReads AlsoReads, double& Cpu) {
    SettleDisk();
    const auto Start = std::chrono::steady_clock::now();
    const double CpuStart = CpuSeconds();
    const std::size_t Steps = std::max(B.Inputs.size(), Written.size());
    std::size_t Read = 0, Wrote = 0;
    // One directory sync per directory and pass, as the service makes, timed with the pass.
    TDeferredDirectorySyncs Syncs;
    for (std::size_t I = 0; I < Steps; ++I) {
        // Inputs and outputs interleaved in proportion, as a transform reads and writes them.
        while (Read < B.Inputs.size() && Read * Steps <= I * B.Inputs.size()) {
            benchmark::DoNotOptimize(ReadFileBytes(B.Inputs[Read++]));
        }
        while (Wrote < Written.size() && Wrote * Steps <= I * Written.size()) {
            const std::string& Path = Written[Wrote].first;
            const bool RawCopy = IsRawCopy(Path);
            if ((AlsoReads == TAlsoReads::Outputs && !RawCopy) ||
                (AlsoReads == TAlsoReads::RawCopies && RawCopy)) {
                benchmark::DoNotOptimize(ReadFileBytes(Path));
            }
            WriteFileAtomically(Path, Written[Wrote].second);
            if (RawCopy) {
                // A raw copy is durable before its input is replaced.
                SyncDeferredDirectory(std::filesystem::path(Path).parent_path().string());
            }
            ++Wrote;
        }
    }
    Syncs.Sync();
    Cpu += CpuSeconds() - CpuStart;
    return Seconds(Start);
}

// One pass of the older floor: read every input, write a file of the same size. Cpu += its CPU
// time.
double FloorPass(TBench& B, bool Atomic, double& Cpu) {
    SettleDisk();
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

// Every timed pass of the transform is next to a pass of its honest floor, the transform first in
// every other round, after a pass of each older floor: the file system's cost of creating a file
// grows with the files deleted shortly before (ext4 without a journal skips inodes freed in the
// last minute), so neither may always come later than the other. The ratios compare the sums.
void RunTransform(benchmark::State& State, TConvParams& Params,
                  bool (*Entry)(const std::string&, TConvParams&), bool RewritesInput,
                  TAlsoReads AlsoReads = TAlsoReads::Nothing) {
    TBench& B = Bench();
    const auto Written = WrittenByTransform(B, Params, Entry);
    if (RewritesInput) {
        B.Restore();
    }
    double Honest = 0, Plain = 0, Atomic = 0, Transform = 0;
    double HonestCpu = 0, PlainCpu = 0, AtomicCpu = 0, TransformCpu = 0;
    const auto HonestPass = [&] {
        if (RewritesInput) {
            B.Restore(); // the floor reads the inputs as the transform finds them
        }
        Honest += HonestFloorPass(B, Written, AlsoReads, HonestCpu);
    };
    int Round = 0;
    for (auto _ : State) {
        State.PauseTiming();
        Plain += FloorPass(B, false, PlainCpu);
        Atomic += FloorPass(B, true, AtomicCpu);
        const bool FloorFirst = Round++ % 2 == 0;
        if (FloorFirst) {
            HonestPass();
        }
        if (RewritesInput) {
            B.Restore();
        }
        SettleDisk();
        State.ResumeTiming();
        const auto Start = std::chrono::steady_clock::now();
        const double CpuStart = CpuSeconds();
        {
            // The service syncs the output directories once per directory pass.
            TDeferredDirectorySyncs Syncs;
            for (const std::string& Input : B.Inputs) {
                benchmark::DoNotOptimize(Entry(Input, Params));
            }
        }
        TransformCpu += CpuSeconds() - CpuStart;
        Transform += Seconds(Start);
        State.PauseTiming();
        if (!FloorFirst) {
            HonestPass();
        }
        State.ResumeTiming();
    }
    const auto N = static_cast<double>(State.iterations());
    State.counters["floor_ms"] = 1000 * Honest / N;
    State.counters["x_floor"] = Transform / Honest;
    State.counters["cpu_x_floor"] = TransformCpu / HonestCpu;
    State.counters["files_written"] = static_cast<double>(Written.size());
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
    // Every pass merges into the files of the pass before, as a service does day after day: it
    // reads each of them, and so does the floor.
    RunTransform(State, P, &MergeFile, false, TAlsoReads::Outputs);
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
    // Every pass after the first finds the raw copies of the pass before and reads each of them
    // to see whether its input is already corrected; so does the floor.
    RunTransform(State, P, &CorrectFile, true, TAlsoReads::RawCopies);
}

} // namespace

BENCHMARK(BM_Summarize)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_Merge)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_Normalize)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_NormalizeInPlace)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_Simplify)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_Correction)->Unit(benchmark::kMillisecond)->Iterations(4);

BENCHMARK_MAIN();
