// One directory pass of the service over N unchanged files (N = 1 000, 10 000, 100 000), next to
// the floor that any change detector pays on the same directory: listing it and reading the
// status of every file. Reported: both times ("floor_ms", "pass_ms") and their ratio
// ("x_floor"); the benchmark's own time is that of a round, floor and pass together.

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "bench_clock.h"
#include "common/debuglog.h"
#include "common/home.h"
#include "common/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "service/dirlist.h"
#include "service/fcssrv.h"
#include "service/pipeservers.h"
#include "timing.h"

namespace {

class TQuietHost : public TServiceHost {
public:
    void ReportStatus() override {}
};

// A home with one NONE slot watching a directory of N files, all recorded in its status file.
struct TBenchHome {
    std::string Home;
    std::string In;
    TSystemClock Clock;
    TQuietHost Host;
    TNoPipeServers Pipes;
    std::unique_ptr<TFcService> Service;

    explicit TBenchHome(int Count) {
        char Template[] = "/tmp/tarno-bench-XXXXXX";
        Home = ::mkdtemp(Template);
        In = Home + "/in";
        ForceDirectories(In);
        ForceDirectories(Home + "/out");
        for (int I = 0; I < Count; ++I) {
            AppendToFile(In + Format("/%06d_shop%d.vrk", I, I % 50), Format("file %d\r\n", I));
        }
        WriteFileAtomically(Home + "/tarno.ini",
                            "[General]\r\nLogDetailed=0\r\n[Directory0]\r\nTrackDirectory=" + In +
                                "\r\nConvType=NONE\r\nOutDir=" + Home + "/out\r\nFileExt=vrk\r\n");
        // Record every file as converted, as a service that has seen them all would have.
        TDirectoryList List(In, "vrk", "fclist_none0.dst", Clock, StandardBiasMinutes());
        List.Process(true, [](const std::string&, TFileVisit&) { return true; });
        List.Save();

        InitHome(Home);
        Service = std::make_unique<TFcService>(TServiceEnvironment{Clock, Host, Pipes, nullptr});
        bool Started = true;
        Service->ServiceStart(Started);
        if (!Started) {
            std::abort();
        }
    }
    ~TBenchHome() {
        bool Stopped = true;
        Service->ServiceStop(Stopped);
        std::error_code Ignored;
        std::filesystem::remove_all(Home, Ignored);
    }
};

TBenchHome& Bench(int Count) {
    static std::map<int, std::unique_ptr<TBenchHome>> Homes;
    auto& Home = Homes[Count];
    if (!Home) {
        Homes.clear(); // one directory at a time on disk
        Home = std::make_unique<TBenchHome>(Count);
    }
    return *Home;
}

// The floor: read the directory and stat every entry.
int ListAndStat(const std::string& Dir) {
    DIR* D = ::opendir(Dir.c_str());
    int Seen = 0;
    while (const dirent* E = ::readdir(D)) {
        struct stat St {};
        if (::fstatat(::dirfd(D), E->d_name, &St, 0) == 0 && S_ISREG(St.st_mode)) {
            ++Seen;
        }
    }
    ::closedir(D);
    return Seen;
}

// Each round times the floor and then the pass on the same directory, so that the load of the
// machine weighs on both alike; the ratio is taken over the sums.
void BM_DirectoryPass(benchmark::State& State) {
    const int Count = static_cast<int>(State.range(0));
    TBenchHome& B = Bench(Count);
    double Floor = 0, Pass = 0;
    for (auto _ : State) {
        auto Start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ListAndStat(B.In));
        Floor += Seconds(Start);
        Start = std::chrono::steady_clock::now();
        B.Service->RunDirectoryPass();
        Pass += Seconds(Start);
    }
    if (B.Service->StatusSnapshot().LastGroupOk != 0) {
        std::abort(); // nothing may have been converted: every file is unchanged
    }
    const double Rounds = static_cast<double>(State.iterations());
    State.counters["floor_ms"] = Floor / Rounds * 1000;
    State.counters["pass_ms"] = Pass / Rounds * 1000;
    State.counters["x_floor"] = Pass / Floor;
}

} // namespace

BENCHMARK(BM_DirectoryPass)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
