// An ACURITY journal of 1 000 000 lines (three measures per quarter-hour of 40 stores, 87
// days) converted into hourly sales tables, next to the floor of the same result: reading the
// journal, splitting every line into its fields, reading each day's table and replacing it
// atomically with the same bytes. Both run in the same rounds; the converter reports its time
// as a multiple of the floor in wall time ("x_floor") and CPU time ("cpu_x_floor").

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "common/text.h"
#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "platform/files.h"
#include "retail/fc_acurity.h"
#include "timing.h"

namespace {

constexpr int LineCount = 1000000;

std::string MakeJournal() {
    const char* const Measures[] = {"CUST", "STUK", "XOMZ"};
    std::string Text;
    Text.reserve(static_cast<std::size_t>(LineCount) * 36);
    int Line = 0;
    for (int Day = 0; Line < LineCount; ++Day) {
        const TDateParts Date = DecodeDate(EncodeDate(2009, 3, 1) + Day);
        for (int Slot = 0; Slot < 96 && Line < LineCount; ++Slot) {
            for (int Store = 0; Store < 40 && Line < LineCount; ++Store) {
                for (int M = 0; M < 3 && Line < LineCount; ++M, ++Line) {
                    const int Value = (Line * 7 + Store) % 50;
                    Text += Format("S%03d\t%d%s\t%s\t%2.2d/%2.2d/%4.4d %2.2d:%2.2d\r\n", Store,
                                   Value, M == 2 ? ".25" : "", Measures[M], Date.Day, Date.Month,
                                   Date.Year, Slot / 4, (Slot % 4) * 15);
                }
            }
        }
    }
    return Text;
}

struct TBench {
    std::string Dir;
    std::string Journal;
    std::vector<std::string> Tables;        // the paths the converter writes
    std::vector<std::string> TableContents; // and what it writes there

    TBench() {
        char Template[] = "/tmp/tarno-bench-XXXXXX";
        Dir = ::mkdtemp(Template);
        ForceDirectories(Dir + "/out");
        ForceDirectories(Dir + "/floor");
        Journal = Dir + "/journal.txt";
        WriteFileAtomically(Journal, MakeJournal());
        // One conversion tells which tables the floor must write, with which bytes.
        TConvParamsAcurity P;
        P.OutDir = Dir + "/out";
        ConvertAcurity(Journal, P);
        for (const auto& Entry : std::filesystem::directory_iterator(P.OutDir)) {
            Tables.push_back(Dir + "/floor/" + Entry.path().filename().string());
            TableContents.push_back(ReadFileBytes(Entry.path().string()));
            WriteFileAtomically(Tables.back(), TableContents.back());
        }
    }
    ~TBench() {
        std::error_code Ignored;
        std::filesystem::remove_all(Dir, Ignored);
    }
};

// The floor: the same reads and the same durable writes, with the least work between them.
void FloorPass(const TBench& B) {
    const std::string Text = ReadFileBytes(B.Journal);
    std::size_t Fields = 0;
    ForEachTextLine(Text, [&](std::string_view Line) {
        std::string_view F[4];
        SplitFields(Line, '\t', F, 4);
        Fields += F[3].size();
    });
    benchmark::DoNotOptimize(Fields);
    for (std::size_t I = 0; I < B.Tables.size(); ++I) {
        benchmark::DoNotOptimize(ReadFileBytes(B.Tables[I]));
        WriteFileAtomically(B.Tables[I], B.TableContents[I]);
    }
}

void BM_AcurityJournal(benchmark::State& State) {
    static TBench B;
    TConvParamsAcurity P;
    P.OutDir = B.Dir + "/out";
    double Floor = 0, Convert = 0, FloorCpu = 0, ConvertCpu = 0;
    for (auto _ : State) {
        State.PauseTiming();
        auto Start = std::chrono::steady_clock::now();
        double CpuStart = CpuSeconds();
        FloorPass(B);
        FloorCpu += CpuSeconds() - CpuStart;
        Floor += Seconds(Start);
        State.ResumeTiming();
        Start = std::chrono::steady_clock::now();
        CpuStart = CpuSeconds();
        benchmark::DoNotOptimize(ConvertAcurity(B.Journal, P));
        ConvertCpu += CpuSeconds() - CpuStart;
        Convert += Seconds(Start);
    }
    const auto N = static_cast<double>(State.iterations());
    State.counters["lines"] = LineCount;
    State.counters["tables"] = static_cast<double>(B.Tables.size());
    State.counters["floor_ms"] = 1000 * Floor / N;
    State.counters["x_floor"] = Convert / Floor;
    State.counters["cpu_x_floor"] = ConvertCpu / FloorCpu;
}

} // namespace

BENCHMARK(BM_AcurityJournal)->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK_MAIN();
