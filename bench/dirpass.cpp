// One directory pass of the service over N unchanged files (N = 1 000, 10 000, 100 000), next to
// the floor that any change detector pays on the same directory: listing it, reading the status
// of every file and reading its own record of them (the status file). The homes live under the
// build directory (homes/N) and are kept for the next run, since making 100 000 files takes longer
// than the benchmark. Reported: both times ("floor_ms", "pass_ms") and their ratios; the
// benchmark's own time is that of a round, floors and pass together.

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_clock.h"
#include "bench_home.h"
#include "common/debuglog.h"
#include "common/home.h"
#include "common/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "service/dirlist.h"
#include "service/fcssrv.h"
#include "service/pipeservers.h"

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
        Home = Format("%s/%d", TARNO_BENCH_HOMES, Count);
        In = Home + "/in";
        MakeNoneHome(Home, Count, "LogDetailed=0\r\n");
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
    }
};

// One service at a time: the one of the last home asked for.
TBenchHome& Bench(int Count) {
    static std::unique_ptr<TBenchHome> Current;
    static int CurrentCount = -1;
    if (CurrentCount != Count) {
        Current.reset(); // stopped before the next one starts
        Current = std::make_unique<TBenchHome>(Count);
        CurrentCount = Count;
    }
    return *Current;
}

// The older floor: read the directory and stat every entry. The entries are read in blocks
// straight from the system, as the service lists them (readdir would add a lock per entry).
int ListAndStat(const std::string& Dir) {
    DIR* D = ::opendir(Dir.c_str());
    const int DirFd = ::dirfd(D);
    int Seen = 0;
    alignas(8) static char Block[32 * 1024];
    ssize_t Read = 0;
    while ((Read = ::getdents64(DirFd, Block, sizeof Block)) > 0) {
        for (ssize_t At = 0; At < Read;) {
            const auto* E = reinterpret_cast<const dirent64*>(Block + At);
            At += E->d_reclen;
            struct stat St {};
            if (::fstatat(DirFd, E->d_name, &St, 0) == 0 && S_ISREG(St.st_mode)) {
                ++Seen;
            }
        }
    }
    ::closedir(D);
    return Seen;
}

// The floor: what any change detector with a record of what it saw must do, list and stat the
// directory and read that record (the status file).
std::size_t ListStatAndRead(const std::string& Dir) {
    return static_cast<std::size_t>(ListAndStat(Dir)) +
           ReadFileBytes(Dir + "/fclist_none0.dst").size();
}

// Each round times the floors and then the pass on the same directory, so that the load of the
// machine weighs on all alike; the ratios are taken over the sums, in wall ("x_floor") and CPU
// time ("cpu_x_floor"); "x_list_stat" is the ratio to the older floor without the status file.
void BM_DirectoryPass(benchmark::State& State) {
    const int Count = static_cast<int>(State.range(0));
    TBenchHome& B = Bench(Count);
    double Floor = 0, FloorCpu = 0, ListStat = 0, Pass = 0, PassCpu = 0;
    for (auto _ : State) {
        auto Start = std::chrono::steady_clock::now();
        double CpuStart = CpuSeconds();
        benchmark::DoNotOptimize(ListStatAndRead(B.In));
        FloorCpu += CpuSeconds() - CpuStart;
        Floor += Seconds(Start);
        Start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ListAndStat(B.In));
        ListStat += Seconds(Start);
        Start = std::chrono::steady_clock::now();
        CpuStart = CpuSeconds();
        B.Service->RunDirectoryPass();
        PassCpu += CpuSeconds() - CpuStart;
        Pass += Seconds(Start);
    }
    if (B.Service->StatusSnapshot().LastGroupOk != 0) {
        std::abort(); // nothing may have been converted: every file is unchanged
    }
    const double Rounds = static_cast<double>(State.iterations());
    State.counters["floor_ms"] = Floor / Rounds * 1000;
    State.counters["pass_ms"] = Pass / Rounds * 1000;
    State.counters["x_floor"] = Pass / Floor;
    State.counters["cpu_x_floor"] = PassCpu / FloorCpu;
    State.counters["x_list_stat"] = Pass / ListStat;
}

} // namespace

BENCHMARK(BM_DirectoryPass)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
