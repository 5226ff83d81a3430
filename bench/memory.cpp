// The memory of the running service: the tarno program is started on a home with one NONE slot
// watching 300 000 small files. Its status file records every file and one more that is gone, so
// that the first pass lists and compares all of them, converts none (copying 300 000 files would
// take minutes and measure the disk) and writes the status file anew without the gone one.
// Reported, from /proc/PID/status: the resident size at the start before any pass
// ("start_mb"), the peak resident size after the pass ("peak_mb", VmHWM) and the resident size
// once the pass is over and the service idles ("idle_mb", VmRSS).
//
// The program run is the tarno of this build, or the one named by the environment variable
// TARNO_BENCH_TARNO (to measure an older build on the same home). The home lives under the
// build directory (homes/memory) and is kept for the next run.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "common/text.h"
#include "platform/files.h"

#include "bench_home.h"

namespace {

constexpr int FileCount = 300000;

std::string TarnoPath() {
    const char* Env = std::getenv("TARNO_BENCH_TARNO");
    return Env != nullptr && *Env != 0 ? Env : TARNO_BENCH_TARNO;
}

const char* const StatusName = "fclist_none0.dst";

std::string MakeHome() {
    const std::string Home = Format("%s/memory", TARNO_BENCH_HOMES);
    // A long interval: the one pass of the run is the first, 5 seconds after the start.
    MakeNoneHome(Home, FileCount, "LogDetailed=0\r\nTimeBetweenActions=3600\r\n");
    return Home;
}

// A field of /proc/PID/status in kB ("VmRSS", "VmHWM"); -1 when missing.
long StatusKb(pid_t Pid, const char* Key) {
    // Files of /proc have no size: read as a stream, not through the file layer.
    const int Fd = ::open(Format("/proc/%d/status", static_cast<int>(Pid)).c_str(), O_RDONLY);
    if (Fd < 0) {
        return -1;
    }
    std::string Text;
    char Buffer[4096];
    ssize_t Got = 0;
    while ((Got = ::read(Fd, Buffer, sizeof Buffer)) > 0) {
        Text.append(Buffer, static_cast<size_t>(Got));
    }
    ::close(Fd);
    const std::string Prefix = std::string("\n") + Key + ":";
    const size_t At = Text.find(Prefix);
    return At == std::string::npos ? -1
                                   : std::strtol(Text.c_str() + At + Prefix.size(), nullptr, 10);
}

void Pause(int Ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
}

// Waits until Done answers true, checking every 50 ms; false after TimeoutSeconds.
template <typename F>
bool WaitFor(F Done, int TimeoutSeconds) {
    const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(TimeoutSeconds);
    while (!Done()) {
        if (std::chrono::steady_clock::now() > End) {
            return false;
        }
        Pause(50);
    }
    return true;
}

bool LogHas(const std::string& Log, const char* Text) {
    std::string Bytes;
    return TryReadFileBytes(Log, Bytes) && Bytes.find(Text) != std::string::npos;
}

ino_t InodeOf(const std::string& Path) {
    struct stat St {};
    return ::stat(Path.c_str(), &St) == 0 ? St.st_ino : 0;
}

void BM_ServiceMemory(benchmark::State& State) {
    const std::string Home = MakeHome();
    const std::string Tarno = TarnoPath();
    const std::string Log = Home + "/tarno.log";
    double Start = 0, Peak = 0, Idle = 0, PassSeconds = 0;
    for (auto _ : State) {
        std::error_code Ignored;
        std::filesystem::remove(Log, Ignored);
        // A record of a file that is gone: the pass drops it and saves the status file anew.
        const std::string Status = Home + "/in/" + StatusName;
        AppendToFile(Status, "gone.vrk\t1\t2000/01/01 00:00:00.000 UTC\r\n");
        const ino_t Before = InodeOf(Status);
        const pid_t Pid = ::fork();
        if (Pid == 0) {
            const std::string RunDir = Home + "/run";
            ::execl(Tarno.c_str(), Tarno.c_str(), "--home", Home.c_str(), "--rundir",
                    RunDir.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Started: the configuration is read once the monitored directory is logged.
        if (!WaitFor([&] { return LogHas(Log, "Monitor directory"); }, 30)) {
            State.SkipWithError(("the service did not start: " + Tarno).c_str());
            ::kill(Pid, SIGKILL);
            ::waitpid(Pid, nullptr, 0);
            return;
        }
        Pause(500);
        Start += static_cast<double>(StatusKb(Pid, "VmRSS"));
        const auto PassStart = std::chrono::steady_clock::now();
        // The pass is over when the status file is replaced (a new file renamed over it).
        const bool Done = WaitFor([&] { return InodeOf(Status) != Before; }, 600);
        PassSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - PassStart).count();
        Pause(1000);
        Peak += static_cast<double>(StatusKb(Pid, "VmHWM"));
        Idle += static_cast<double>(StatusKb(Pid, "VmRSS"));
        ::kill(Pid, SIGTERM);
        ::waitpid(Pid, nullptr, 0);
        if (!Done) {
            State.SkipWithError("the pass did not end");
            return;
        }
    }
    const double Rounds = static_cast<double>(State.iterations()) * 1024;
    State.counters["start_mb"] = Start / Rounds;
    State.counters["peak_mb"] = Peak / Rounds;
    State.counters["idle_mb"] = Idle / Rounds;
    State.counters["wait_s"] = PassSeconds / static_cast<double>(State.iterations());
}

} // namespace

BENCHMARK(BM_ServiceMemory)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
