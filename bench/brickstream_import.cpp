// Importing a BRICKSTREAM interval file of 1 000 000 lines (32 zones, one line per zone and
// quarter-hour, 326 days) into an empty output directory, next to the floor of any import of it:
// a streaming read of the same bytes in blocks, split into lines and the lines into fields, timed
// in the same rounds as the import. The import reports its time as a multiple of that floor in
// wall ("x_floor") and CPU time ("cpu_x_floor"). The floor splits lines and fields in one pass
// over the bytes, the fastest way known here; "x_search_split" is the ratio to the same read that
// searches each line end and then each field end, the floor before, and "x_whole_read" the ratio
// to the older floor that reads the file into one string and splits it into lines. The input lives
// under the build directory (homes/brickstream) and is kept for the next run; both sides read it
// from the page cache. The day files go to memory (/dev/shm, or the directory named by
// TARNO_BENCH_DIR) so that the import is measured without the disk, and in a second run to the disk
// beside the input, where each of the 326 atomic replacements waits for its fsync. As in the
// service, the output directory is synced once, after the last day file (timed with the import).
// "x_floor_writes" is the ratio to the least work of the whole import: that floor, followed by
// the atomic writes of the same day files (the same bytes, names and order) into another empty
// directory beside the import's.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench_clock.h"
#include "common/datetime.h"
#include "common/text.h"
#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "importers/fc_brickstream.h"
#include "platform/dirsync.h"
#include "platform/files.h"

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
    std::string Home = std::string(TARNO_BENCH_HOMES) + "/brickstream";
    std::string Input = Home + "/in/export.dat";
    std::string MemoryDir; // day files in memory, removed at the end
    std::size_t Bytes = 0;
    double Floor[2] = {0, 0};  // seconds per streaming read and split, in each benchmark's rounds
    double Import[2] = {0, 0}; // seconds per import, in memory and on the disk

    TBench() {
        // "ready" is written last: an input cut short by an interrupted run is made again.
        if (!FileExists(Home + "/ready")) {
            MakeInput();
        }
        int64_t Size = 0;
        TDateTime Time = 0;
        GetFileInfo(Input, Size, Time);
        Bytes = static_cast<std::size_t>(Size);
        MemoryDir = MakeTempDir(MemoryParent());
    }
    ~TBench() {
        std::error_code Ignored;
        std::filesystem::remove_all(MemoryDir, Ignored);
    }
    void MakeInput() const {
        std::error_code Ignored;
        std::filesystem::remove_all(Home, Ignored);
        ForceDirectories(Home + "/in");
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
        WriteFileAtomically(Input, Text);
        WriteFileAtomically(Home + "/ready", "");
    }
    std::string NewOutDir(bool OnDisk, const char* Name = "out") const {
        const std::string Out = (OnDisk ? Home : MemoryDir) + "/" + Name;
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

// Splits Line at '|' with one search a field and touches every field.
void SplitFieldsBySearch(std::string_view Line, std::size_t& Fields) {
    std::size_t Start = 0;
    for (;;) {
        const std::size_t Bar = Line.find('|', Start);
        benchmark::DoNotOptimize(Line.data() + Start);
        ++Fields;
        if (Bar == std::string_view::npos) {
            return;
        }
        Start = Bar + 1;
    }
}

// Reads Path in blocks of 64 KiB and hands Split the whole lines of each (a line cut by a
// block's end is carried over, the last line may lack its end). Answers what Split counted.
template <class F>
std::size_t StreamWholeLines(const std::string& Path, F&& Split) {
    const int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0) {
        std::abort();
    }
    std::vector<char> Buffer(1 << 16);
    std::size_t Kept = 0, Fields = 0;
    for (;;) {
        if (Kept == Buffer.size()) {
            Buffer.resize(Buffer.size() * 2); // a line longer than the buffer
        }
        const ssize_t Got = ::read(Fd, Buffer.data() + Kept, Buffer.size() - Kept);
        if (Got < 0) {
            std::abort();
        }
        const std::string_view Data(Buffer.data(), Kept + static_cast<std::size_t>(Got));
        const std::size_t Pos = Got == 0 ? Data.size() : Data.rfind('\n') + 1; // npos + 1 == 0
        Split(Data.substr(0, Pos), Fields);
        if (Got == 0) {
            break;
        }
        Kept = Data.size() - Pos;
        std::memmove(Buffer.data(), Buffer.data() + Pos, Kept);
    }
    ::close(Fd);
    return Fields;
}

// The floor: the streaming read, its lines split and the lines' fields in one pass over the
// bytes (ForEachLineFields, as the import splits them), every field touched.
std::size_t StreamingReadAndSplit(const std::string& Path) {
    return StreamWholeLines(Path, [](std::string_view Lines, std::size_t& Fields) {
        ForEachLineFields<16>(Lines, '|', NoFieldLimit,
                              [&](std::string_view, auto Views, std::size_t Count) {
                                  for (std::size_t I = 0; I < Count; ++I) {
                                      benchmark::DoNotOptimize(Views[I].data());
                                  }
                                  Fields += Count;
                              });
    });
}

// The floor as it was before the one-pass splitter: a search for each line end, then for each
// field's end.
std::size_t StreamingReadAndSearch(const std::string& Path) {
    return StreamWholeLines(Path, [](std::string_view Lines, std::size_t& Fields) {
        std::size_t Pos = 0;
        while (Pos < Lines.size()) {
            std::size_t Eol = Lines.find('\n', Pos);
            Eol = Eol == std::string_view::npos ? Lines.size() : Eol;
            std::string_view Line = Lines.substr(Pos, Eol - Pos);
            if (!Line.empty() && Line.back() == '\r') {
                Line.remove_suffix(1);
            }
            SplitFieldsBySearch(Line, Fields);
            Pos = Eol + 1;
        }
    });
}

// The older floor: the whole file read into one string and split into lines.
std::size_t WholeReadAndSplit(const std::string& Path) {
    const std::string Text = ReadFileBytes(Path);
    std::size_t Lines = 0;
    ForEachTextLine(Text, [&](std::string_view Line) {
        benchmark::DoNotOptimize(Line.data());
        ++Lines;
    });
    return Lines;
}

// The day files an import of the input writes into Dir, by name (the order they are written
// in), with their bytes.
std::vector<std::pair<std::string, std::string>> DayFilesOf(const std::string& Dir) {
    std::vector<std::pair<std::string, std::string>> Files;
    for (const TFileEntry& File : ListFiles(Dir, "vrk")) {
        Files.emplace_back(File.Name, ReadFileBytes(Dir + "/" + File.Name));
    }
    std::sort(Files.begin(), Files.end());
    return Files;
}

// Each round times the floors, then the import; the ratios compare the sums.
void BM_ImportBrickstream(benchmark::State& State) {
    TBench& B = Bench();
    const bool OnDisk = State.range(0) != 0;
    TConvParamsBrickstream Params;
    // One import ahead of the rounds, for the day files the floor with writes writes.
    Params.OutDir = B.NewOutDir(OnDisk);
    ImportBrickstream(B.Input, Params);
    const auto DayFiles = DayFilesOf(Params.OutDir);
    double Floor = 0, FloorCpu = 0, FloorWrites = 0, Search = 0, Whole = 0, Total = 0, TotalCpu = 0;
    for (auto _ : State) {
        State.PauseTiming();
        Params.OutDir = B.NewOutDir(OnDisk);
        const std::string FloorOut = B.NewOutDir(OnDisk, "floor-out");
        auto Start = std::chrono::steady_clock::now();
        double CpuStart = CpuSeconds();
        benchmark::DoNotOptimize(StreamingReadAndSplit(B.Input));
        FloorCpu += CpuSeconds() - CpuStart;
        Floor += Seconds(Start);
        {
            TDeferredDirectorySyncs Syncs;
            for (const auto& [Name, Bytes] : DayFiles) {
                WriteFileAtomically(FloorOut + "/" + Name, Bytes);
            }
        }
        FloorWrites += Seconds(Start);
        // Removed at once, so that the next round's floor does not start by freeing its memory.
        std::error_code Ignored;
        std::filesystem::remove_all(FloorOut, Ignored);
        Start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(StreamingReadAndSearch(B.Input));
        Search += Seconds(Start);
        Start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(WholeReadAndSplit(B.Input));
        Whole += Seconds(Start);
        State.ResumeTiming();
        Start = std::chrono::steady_clock::now();
        CpuStart = CpuSeconds();
        {
            // The service syncs the output directory once per status list, after the import's
            // last rename, as it does here.
            TDeferredDirectorySyncs Syncs;
            benchmark::DoNotOptimize(ImportBrickstream(B.Input, Params));
        }
        TotalCpu += CpuSeconds() - CpuStart;
        Total += Seconds(Start);
    }
    const double Rounds = static_cast<double>(State.iterations());
    State.SetBytesProcessed(static_cast<int64_t>(B.Bytes) * State.iterations());
    State.counters["floor_ms"] = 1000 * Floor / Rounds;
    State.counters["x_floor"] = Total / Floor;
    State.counters["floor_writes_ms"] = 1000 * FloorWrites / Rounds;
    State.counters["x_floor_writes"] = Total / FloorWrites;
    State.counters["cpu_x_floor"] = TotalCpu / FloorCpu;
    State.counters["x_search_split"] = Total / Search;
    State.counters["x_whole_read"] = Total / Whole;
    State.counters["day_files"] = static_cast<double>(ListFiles(Params.OutDir, "vrk").size());
    B.Import[OnDisk ? 1 : 0] = Total / Rounds;
    B.Floor[OnDisk ? 1 : 0] = Floor / Rounds;
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
        if (B.Floor[I] > 0 && B.Import[I] > 0) {
            std::printf("Brickstream import of %d lines, %s: %.1f ms, streaming read and split "
                        "%.1f ms, ratio %.2f\n",
                        LineCount, Where[I], B.Import[I] * 1000, B.Floor[I] * 1000,
                        B.Import[I] / B.Floor[I]);
        }
    }
    return 0;
}
