// Statistics requests per second on the info socket: the service's info server (4 instances, the
// status record encoded for every answer) next to the floor, a bare server on the same socket
// type that answers every request with a prepared answer of the same 595 bytes. Two loads:
// 4 clients on connections of their own (the instance count), and 64 clients taking turns, four
// at a time, each connecting, asking once and closing as the console does. Each round runs the
// floor and then the server with the same load, so the load of the machine weighs on both alike;
// the ratios are taken over the sums ("x_floor_wall" is the server's rate over the floor's, the
// target being at least 0.8; "x_floor_cpu" the CPU time per request of the server over the
// floor's).

#include <benchmark/benchmark.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/datetime.h"
#include "pipe/ft_control.h"
#include "pipe/ft_protocol.h"
#include "platform/clock.h"

namespace {

constexpr int ClientThreads = 4;
constexpr int RequestsPerRound = 4000;

double CpuSeconds() {
    timespec T{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
    return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) / 1e9;
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

sockaddr_un Address(const std::string& Path) {
    sockaddr_un A{};
    A.sun_family = AF_UNIX;
    std::strncpy(A.sun_path, Path.c_str(), sizeof(A.sun_path) - 1);
    return A;
}

// The floor: one thread, one poll over the listener and the clients, a prepared answer.
class TFloorServer {
public:
    explicit TFloorServer(const std::string& Path) : FAnswer(StatsAnswerSize, '\0') {
        const sockaddr_un A = Address(Path);
        FListener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (bind(FListener, reinterpret_cast<const sockaddr*>(&A), sizeof(A)) != 0 ||
            listen(FListener, 64) != 0 || pipe(FWake) != 0) {
            std::perror("floor server");
            std::exit(1);
        }
        std::memcpy(FAnswer.data(), "ANSGETSTATS", 11);
        FThread = std::thread([this] { Run(); });
    }
    ~TFloorServer() {
        FStop = true;
        [[maybe_unused]] const ssize_t Rc = write(FWake[1], "x", 1);
        FThread.join();
        for (const pollfd& P : FFds) {
            close(P.fd);
        }
        close(FWake[1]);
    }

private:
    void Run() {
        FFds = {{FWake[0], POLLIN, 0}, {FListener, POLLIN, 0}};
        char Request[PipeBufferSize];
        while (!FStop) {
            poll(FFds.data(), FFds.size(), -1);
            for (size_t I = 2; I < FFds.size();) {
                if (FFds[I].revents != 0) {
                    const ssize_t N = recv(FFds[I].fd, Request, sizeof(Request), MSG_DONTWAIT);
                    if (N <= 0 || send(FFds[I].fd, FAnswer.data(), FAnswer.size(),
                                       MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
                        close(FFds[I].fd);
                        FFds.erase(FFds.begin() + static_cast<long>(I));
                        continue;
                    }
                }
                ++I;
            }
            if (FFds[1].revents != 0) {
                const int Fd = accept4(FListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (Fd >= 0) {
                    FFds.push_back({Fd, POLLIN, 0});
                }
            }
        }
    }

    std::string FAnswer;
    int FListener = -1;
    int FWake[2] = {-1, -1};
    std::vector<pollfd> FFds;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

int Connect(const std::string& Path) {
    const sockaddr_un A = Address(Path);
    const int Fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (connect(Fd, reinterpret_cast<const sockaddr*>(&A), sizeof(A)) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    return Fd;
}

// One request and its answer; false when the server closed the connection (every instance busy).
bool Exchange(int Fd, const std::string& Request) {
    char Answer[PipeBufferSize];
    if (send(Fd, Request.data(), Request.size(), MSG_NOSIGNAL) < 0) {
        return false;
    }
    const ssize_t N = recv(Fd, Answer, sizeof(Answer), 0);
    if (N == 0 || N < 0) {
        return false;
    }
    if (static_cast<size_t>(N) != StatsAnswerSize) {
        std::fprintf(stderr, "short answer\n");
        std::exit(1);
    }
    return true;
}

std::atomic<long> Refused{0};

// Requests spread over the client threads. Turns: every request on a connection of its own.
void Load(const std::string& Path, bool Turns) {
    const std::string Request = BuildMessage(ReqGetStats);
    std::vector<std::thread> Threads;
    for (int T = 0; T < ClientThreads; ++T) {
        Threads.emplace_back([&] {
            int Fd = Turns ? -1 : Connect(Path);
            for (int I = 0; I < RequestsPerRound / ClientThreads;) {
                if (Turns) {
                    Fd = Connect(Path);
                }
                if (Exchange(Fd, Request)) {
                    ++I;
                } else {
                    ++Refused;
                    if (!Turns) {
                        close(Fd);
                        Fd = Connect(Path);
                    }
                }
                if (Turns) {
                    close(Fd);
                }
            }
            if (!Turns) {
                close(Fd);
            }
        });
    }
    for (std::thread& T : Threads) {
        T.join();
    }
}

struct TBench {
    std::string Dir;
    TSystemClock Clock;
    std::unique_ptr<TFloorServer> Floor;
    std::unique_ptr<TRorozoraSrvInfo> Info;
    TRorozoraSrvStats Record;

    TBench() {
        std::string Template = "/tmp/tarno-bench-XXXXXX";
        if (mkdtemp(Template.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        Dir = Template;
        Floor = std::make_unique<TFloorServer>(Dir + "/floor");
        Info = std::make_unique<TRorozoraSrvInfo>(Dir + "/ZirInfo", InfoPipeInstances, Clock);
        CopyStatusText(Record.LastFileOk, "in/vrksummarize/081224.vrk");
        CopyStatusText(Record.LastEventText,
                       "processed 3 files OK, 0 files bad, elapsed 0:00:00:026");
        Info->OnFillStatistics = [this](char* Out) { EncodeSrvStats(Record, Out); };
        Info->Start();
    }
    ~TBench() {
        Info.reset();
        Floor.reset();
        std::filesystem::remove_all(Dir);
    }
};

void BM_StatisticsRequests(benchmark::State& State) {
    static TBench B;
    const bool Turns = State.range(0) != 0;
    double FloorWall = 0, FloorCpu = 0, Wall = 0, Cpu = 0;
    Refused = 0;
    bool FloorFirst = true;
    for (auto _ : State) {
        // The order changes every round, so that neither side always runs on a warmer machine.
        for (int Side = 0; Side < 2; ++Side) {
            const bool IsFloor = (Side == 0) == FloorFirst;
            const double W = WallSeconds();
            const double C = CpuSeconds();
            Load(B.Dir + (IsFloor ? "/floor" : "/ZirInfo"), Turns);
            (IsFloor ? FloorWall : Wall) += WallSeconds() - W;
            (IsFloor ? FloorCpu : Cpu) += CpuSeconds() - C;
        }
        FloorFirst = !FloorFirst;
    }
    const double Requests = static_cast<double>(State.iterations()) * RequestsPerRound;
    State.counters["floor_req_per_s"] = Requests / FloorWall;
    State.counters["req_per_s"] = Requests / Wall;
    State.counters["x_floor_wall"] = FloorWall / Wall;
    State.counters["x_floor_cpu"] = Cpu / FloorCpu;
    State.counters["refused"] = static_cast<double>(Refused.load());
}

} // namespace

// 0: 4 clients on connections of their own; 1: 64 clients taking turns, one request each.
BENCHMARK(BM_StatisticsRequests)
    ->Arg(0)
    ->Arg(1)
    ->MinTime(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
