// The incremental back-office exports CEGID and CYLANDE over 1 000 counting files of one store,
// one day each, converted in date order into one output directory, next to the floor of the same
// durable result: reading each file and appending, flushed to disk, the bytes the export appended
// for it ("floor_append"), and that plus one atomic replacement of a file of the index's size
// ("floor_durable", the least a crash-safe incremental export can write). Ratios in wall time
// ("x_...") and CPU time ("cpu_x_..."); the time column is one pass over the 1 000 files.
//
// BM_..._OneConversion/N: one conversion of a new day's file with an index of N lines already
// exported, to show how the cost of a conversion grows with the index (bounded at 1 024 lines).

#include <benchmark/benchmark.h>

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
#include "retail/exportfiles.h"
#include "retail/fc_cegid.h"
#include "retail/fc_cylande.h"

namespace {

constexpr int FileCount = 1000;

// A store of four doors (three entrances, one corridor) on eight channels, 96 quarter-hours.
std::string MakeFile(int Index, TDateTime Date) {
    std::string Text =
        "#TQMX\r\n# Shop name: Banc d'essai\r\n#M dernière mise à jour 01/01/2009 00:00\r\n"
        "#D1DNord\r\n#D2DSud\r\n#D3DQuai\r\n#D4CCouloir\r\n";
    for (int C = 1; C <= 8; ++C) {
        Text += Format("#C%dY%c%d\r\n", C, C % 2 == 0 ? 'X' : 'E', (C + 1) / 2);
    }
    Text += "#R1111111111111111\r\n#K1.000\r\n#F0\r\n#S\r\n";
    Text += CountingRows(Index, Date, 8);
    return Text;
}

int64_t SizeOf(const std::string& Path) {
    int64_t Size = 0;
    TDateTime Time = 0;
    return GetFileInfo(Path, Size, Time) ? Size : 0;
}

struct TInputs {
    std::string Dir;
    std::vector<std::string> Files;

    TInputs() {
        char Template[] = "/tmp/tarno-bench-XXXXXX";
        Dir = ::mkdtemp(Template);
        ForceDirectories(Dir + "/in");
        const TDateTime First = EncodeDate(2005, 1, 1);
        for (int I = 0; I < FileCount; ++I) {
            const TDateParts P = DecodeDate(First + I);
            Files.push_back(Dir + "/in/" + Format("%4.4d%2.2d%2.2d.vrk", P.Year, P.Month, P.Day));
            WriteFileAtomically(Files.back(), MakeFile(I, First + I));
        }
    }
    ~TInputs() {
        std::error_code Ignored;
        std::filesystem::remove_all(Dir, Ignored);
    }
};

TInputs& Inputs() {
    static TInputs I;
    return I;
}

struct TExport {
    const char* Name;
    bool (*Entry)(const std::string&, TConvParams&);
    std::unique_ptr<TConvParams> (*Params)(const std::string& OutDir);
    const char* IndexFile; // relative to OutDir
};

const TExport Cegid{"cegid", &ConvertCegid,
                    [](const std::string& OutDir) -> std::unique_ptr<TConvParams> {
                        auto P = std::make_unique<TConvParamsCegid>();
                        P->OutDir = OutDir;
                        return P;
                    },
                    "index/index_cegid.txt"};
const TExport Cylande{"cylande", &ConvertCylande,
                      [](const std::string& OutDir) -> std::unique_ptr<TConvParams> {
                          auto P = std::make_unique<TConvParamsCylande>();
                          P->OutDir = OutDir;
                          return P;
                      },
                      "index_cylande.txt"};

// What one conversion of each file durably leaves: the bytes it appended and the index size.
struct TCalibration {
    std::vector<int64_t> Appended;
    std::vector<int64_t> IndexSize;
};

TCalibration Calibrate(const TExport& E) {
    const std::string OutDir = Inputs().Dir + "/calibrate-" + E.Name;
    std::filesystem::remove_all(OutDir);
    auto P = E.Params(OutDir);
    TCalibration C;
    const std::string Output = OutDir + "/ZALMORET.TXT";
    for (const std::string& File : Inputs().Files) {
        const int64_t Before = SizeOf(Output);
        E.Entry(File, *P);
        C.Appended.push_back(SizeOf(Output) - Before);
        C.IndexSize.push_back(SizeOf(OutDir + "/" + E.IndexFile));
    }
    std::filesystem::remove_all(OutDir);
    return C;
}

// Reads every input; appends (flushed) what the export appended; with Index, also replaces a
// file of the index's size atomically.
double FloorPass(const TCalibration& C, const std::string& Dir, bool Index, double& Cpu) {
    std::filesystem::remove_all(Dir);
    ForceDirectories(Dir);
    const auto Start = std::chrono::steady_clock::now();
    const double CpuStart = CpuSeconds();
    const auto& Files = Inputs().Files;
    for (std::size_t I = 0; I < Files.size(); ++I) {
        benchmark::DoNotOptimize(ReadFileBytes(Files[I]));
        AppendToFileDurably(Dir + "/ZALMORET.TXT",
                            std::string(static_cast<std::size_t>(C.Appended[I]), 'x'));
        if (Index) {
            WriteFileAtomically(Dir + "/index.txt",
                                std::string(static_cast<std::size_t>(C.IndexSize[I]), 'x'));
        }
    }
    Cpu += CpuSeconds() - CpuStart;
    return Seconds(Start);
}

void RunExport(benchmark::State& State, const TExport& E) {
    const TCalibration C = Calibrate(E);
    const std::string OutDir = Inputs().Dir + "/out-" + E.Name;
    const std::string FloorDir = Inputs().Dir + "/floor";
    double Append = 0, Durable = 0, Export = 0;
    double AppendCpu = 0, DurableCpu = 0, ExportCpu = 0;
    for (auto _ : State) {
        State.PauseTiming();
        Append += FloorPass(C, FloorDir, false, AppendCpu);
        Durable += FloorPass(C, FloorDir, true, DurableCpu);
        std::filesystem::remove_all(OutDir);
        auto P = E.Params(OutDir);
        State.ResumeTiming();
        const auto Start = std::chrono::steady_clock::now();
        const double CpuStart = CpuSeconds();
        for (const std::string& File : Inputs().Files) {
            benchmark::DoNotOptimize(E.Entry(File, *P));
        }
        ExportCpu += CpuSeconds() - CpuStart;
        Export += Seconds(Start);
    }
    State.counters["floor_append_ms"] = 1000 * Append / static_cast<double>(State.iterations());
    State.counters["floor_durable_ms"] = 1000 * Durable / static_cast<double>(State.iterations());
    State.counters["x_append"] = Export / Append;
    State.counters["x_durable"] = Export / Durable;
    State.counters["cpu_x_append"] = ExportCpu / AppendCpu;
    State.counters["cpu_x_durable"] = ExportCpu / DurableCpu;
    int64_t Bytes = 0;
    for (const int64_t B : C.Appended) {
        Bytes += B;
    }
    State.counters["appended_kB"] = static_cast<double>(Bytes) / 1024;
}

// An index of Lines exported records of the quarter-hours before the converted day.
std::string ExportedIndex(const TExport& E, int Lines) {
    const TDateTime Day = EncodeDate(2005, 1, 1) + FileCount;
    std::string Text;
    for (int I = Lines; I > 0; --I) {
        const std::string Key = IndexKey(Day - I / 96.0);
        if (&E == &Cegid) {
            Text += "*\t-\t" + Key +
                    "\t000010101200500000001200012001\t000020101200500000000300003001"
                    "\t000030101200500000000400004001\r\n";
        } else {
            Text += "*\t-\t" + Key + "\t1\t12\t3\t2\t3\t4\t3\t4\t5\t4\t9\t9\r\n";
        }
    }
    return Text;
}

void RunOneConversion(benchmark::State& State, const TExport& E) {
    const int Lines = static_cast<int>(State.range(0));
    const std::string OutDir = Inputs().Dir + "/one-" + E.Name;
    const std::string File = Inputs().Dir + "/next.vrk";
    WriteFileAtomically(File, MakeFile(FileCount, EncodeDate(2005, 1, 1) + FileCount));
    const std::string Index = ExportedIndex(E, Lines);
    auto P = E.Params(OutDir);
    for (auto _ : State) {
        State.PauseTiming();
        std::filesystem::remove_all(OutDir);
        ForceDirectories(OutDir + "/index");
        WriteFileAtomically(OutDir + "/" + E.IndexFile, Index);
        State.ResumeTiming();
        benchmark::DoNotOptimize(E.Entry(File, *P));
    }
}

void BM_CegidThousandFiles(benchmark::State& State) {
    RunExport(State, Cegid);
}
void BM_CylandeThousandFiles(benchmark::State& State) {
    RunExport(State, Cylande);
}
void BM_CegidOneConversion(benchmark::State& State) {
    RunOneConversion(State, Cegid);
}
void BM_CylandeOneConversion(benchmark::State& State) {
    RunOneConversion(State, Cylande);
}

} // namespace

BENCHMARK(BM_CegidThousandFiles)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CylandeThousandFiles)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CegidOneConversion)->Unit(benchmark::kMicrosecond)->Arg(0)->Arg(100)->Arg(1024);
BENCHMARK(BM_CylandeOneConversion)->Unit(benchmark::kMicrosecond)->Arg(0)->Arg(100)->Arg(1024);

BENCHMARK_MAIN();
