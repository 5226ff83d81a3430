#include "pipe/srvpipe.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "common/clock.h"
#include "common/debuglog.h"
#include "common/errors.h"
#include "common/fdio.h"
#include "common/text.h"
#include "platform/transport.h"

struct TPipeServer::TInstance {
    int Fd = -1;
    bool Framed = false;        // TCP: each message preceded by its length
    TDateTime LastActivity = 0; // connect or last complete request (UTC)
    uint32_t Filled = 0;        // framed: bytes waiting in Request
    char Request[FrameHeaderSize + PipeBufferSize];
    char Answer[FrameHeaderSize + PipeBufferSize];
};

namespace {

constexpr int ListenBacklog = 64;
constexpr uint32_t FramedCapacity = FrameHeaderSize + PipeBufferSize;

long long ElapsedMs(TDateTime From, TDateTime To) {
    return std::llround((To - From) * MSecsPerDay);
}

[[noreturn]] void RaiseCreateError(int Error) {
    throw EOSError("Failed to create pipe instance: " + SysErrorMessage(Error));
}

bool FillAddress(const std::string& Path, sockaddr_un& Address) {
    std::memset(&Address, 0, sizeof(Address));
    Address.sun_family = AF_UNIX;
    if (Path.size() >= sizeof(Address.sun_path)) {
        return false;
    }
    std::memcpy(Address.sun_path, Path.data(), Path.size());
    return true;
}

// Whether a server answers connections on the socket file Path.
bool SocketIsLive(const sockaddr_un& Address) {
    const TFd Probe(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (Probe.Get() < 0) {
        return false;
    }
    const int Rc =
        connect(Probe.Get(), reinterpret_cast<const sockaddr*>(&Address), sizeof(Address));
    return Rc == 0 || errno == EAGAIN;
}

} // namespace

TPipeServer::TPipeServer(std::string Path, int InstanceCount, mode_t Mode, TClock& Clock_)
    : Clock(Clock_), FPath(std::move(Path)),
      FInstanceCount(std::clamp(InstanceCount, 1, MaxPipeInstances)), FMode(Mode) {}

TPipeServer::~TPipeServer() {
    Shutdown();
}

void TPipeServer::AddTcpListener(int Fd) {
    FTcpListener = Fd;
}

void TPipeServer::Start() {
    sockaddr_un Address;
    const std::string Dir = FPath.substr(0, FPath.rfind('/') + 1);
    const std::string Temp =
        Dir + "." + FPath.substr(Dir.size()) + "." + std::to_string(getpid()) + ".new";
    sockaddr_un TempAddress;
    if (!FillAddress(FPath, Address) || !FillAddress(Temp, TempAddress)) {
        RaiseCreateError(ENAMETOOLONG);
    }
    struct stat St;
    if (lstat(FPath.c_str(), &St) == 0 && (!S_ISSOCK(St.st_mode) || SocketIsLive(Address))) {
        // Another server runs there (or something that is not a socket sits there): leave it.
        RaiseCreateError(EADDRINUSE);
    }

    TFd Listener(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (Listener.Get() < 0) {
        RaiseCreateError(errno);
    }
    // The socket is bound under a hidden name, given its permissions and listening before it
    // takes the public name in one rename: no client ever sees it with other permissions, and a
    // stale file of a crashed server is replaced.
    unlink(Temp.c_str());
    if (bind(Listener.Get(), reinterpret_cast<const sockaddr*>(&TempAddress),
             sizeof(TempAddress)) != 0) {
        RaiseCreateError(errno);
    }
    if (chmod(Temp.c_str(), FMode) != 0 || listen(Listener.Get(), ListenBacklog) != 0 ||
        rename(Temp.c_str(), FPath.c_str()) != 0 || lstat(FPath.c_str(), &St) != 0) {
        const int Error = errno;
        unlink(Temp.c_str());
        RaiseCreateError(Error);
    }
    FSocketDev = St.st_dev;
    FSocketIno = St.st_ino;

    const int Wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (Wake < 0) {
        const int Error = errno;
        unlink(FPath.c_str());
        RaiseCreateError(Error);
    }
    FWakeRead = FWakeWrite = Wake;
    FListener = Listener.Release();
    // Idle clients are looked for once a second; the poll itself never times out.
    FIdleTimer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    const itimerspec Second{{1, 0}, {1, 0}};
    if (FIdleTimer < 0 || timerfd_settime(FIdleTimer, 0, &Second, nullptr) != 0) {
        const int Error = errno;
        Shutdown();
        RaiseCreateError(Error);
    }

    FInstances =
        std::vector<TInstance>(static_cast<size_t>(FInstanceCount) * (FTcpListener >= 0 ? 2 : 1));
    for (size_t I = static_cast<size_t>(FInstanceCount); I < FInstances.size(); ++I) {
        FInstances[I].Framed = true;
    }
    {
        const std::lock_guard<std::mutex> Guard(FStatsLock);
        FStats = TPipeStats{};
        FStats.StartTime = DateTimeToSystemTime(Clock.Now());
    }
    FTerminated = false;
    FThread = std::thread([this] { Execute(); });
}

void TPipeServer::Stop() {
    FTerminated = true;
    CheckIdle();
}

void TPipeServer::CheckIdle() {
    if (FWakeWrite >= 0) {
        const uint64_t One = 1;
        [[maybe_unused]] const ssize_t Rc = write(FWakeWrite, &One, sizeof(One));
    }
}

void TPipeServer::Shutdown() {
    Stop();
    if (FThread.joinable()) {
        FThread.join();
    }
    for (TInstance& Instance : FInstances) {
        Disconnect(Instance);
    }
    for (int* Fd : {&FListener, &FTcpListener, &FWakeRead, &FIdleTimer}) {
        if (*Fd >= 0) {
            close(*Fd);
            *Fd = -1;
        }
    }
    FWakeWrite = -1;
    // The file is removed only while it is still the socket this server created.
    struct stat St;
    if (FSocketIno != 0 && lstat(FPath.c_str(), &St) == 0 && St.st_dev == FSocketDev &&
        St.st_ino == FSocketIno) {
        unlink(FPath.c_str());
    }
    FSocketIno = 0;
}

TPipeStats TPipeServer::GetStats() const {
    const std::lock_guard<std::mutex> Guard(FStatsLock);
    return FStats;
}

void TPipeServer::HandleRequest(const char*, uint32_t, char*, uint32_t, uint32_t&, bool&) {}

void TPipeServer::Execute() {
    std::vector<pollfd> Fds;
    std::vector<size_t> Owners; // instance of each entry after the listeners
    Fds.reserve(FInstances.size() + 4);
    Owners.reserve(FInstances.size());
    while (!FTerminated) {
        Fds.clear();
        Owners.clear();
        Fds.push_back({FWakeRead, POLLIN, 0});
        Fds.push_back({FListener, POLLIN, 0});
        Fds.push_back({FTcpListener, POLLIN, 0}); // ignored by poll when -1
        Fds.push_back({FIdleTimer, POLLIN, 0});
        for (size_t I = 0; I < FInstances.size(); ++I) {
            if (FInstances[I].Fd >= 0) {
                Fds.push_back({FInstances[I].Fd, POLLIN, 0});
                Owners.push_back(I);
            }
        }
        if (poll(Fds.data(), Fds.size(), -1) < 0) {
            if (errno != EINTR) {
                DebugLog(3, "Wait error : ");
            }
            continue;
        }
        bool LookAtIdle = false;
        for (const size_t Event : {size_t{0}, size_t{3}}) {
            if (Fds[Event].revents != 0) {
                uint64_t Count;
                [[maybe_unused]] const ssize_t Rc = read(Fds[Event].fd, &Count, sizeof(Count));
                LookAtIdle = true;
            }
        }
        if (FTerminated) {
            break;
        }
        for (size_t K = 0; K < Owners.size(); ++K) {
            if (Fds[4 + K].revents != 0) {
                Serve(FInstances[Owners[K]]);
            }
        }
        if (Fds[1].revents != 0) {
            Accept(FListener, false);
        }
        if (Fds[2].revents != 0) {
            Accept(FTcpListener, true);
        }
        if (LookAtIdle) {
            DisconnectIdle();
        }
    }
}

void TPipeServer::Accept(int Listener, bool Framed) {
    const int Fd = accept4(Listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (Fd < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            const std::lock_guard<std::mutex> Guard(FStatsLock);
            ++FStats.ConnectErrors;
        }
        return;
    }
    const auto Free = std::find_if(FInstances.begin(), FInstances.end(), [&](const TInstance& I) {
        return I.Fd < 0 && I.Framed == Framed;
    });
    if (Free == FInstances.end()) {
        // Every instance is busy: the client fails at once instead of waiting in the backlog.
        close(Fd);
        return;
    }
    if (Framed) {
        const int On = 1;
        setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &On, sizeof(On));
    }
    Free->Fd = Fd;
    Free->Filled = 0;
    Free->LastActivity = Clock.NowUtc();
    const std::lock_guard<std::mutex> Guard(FStatsLock);
    ++FStats.Connections;
}

void TPipeServer::Serve(TInstance& Instance) {
    if (!Instance.Framed) {
        // MSG_TRUNC answers the whole length of a longer message, which is refused.
        const ssize_t N =
            recv(Instance.Fd, Instance.Request, PipeBufferSize, MSG_TRUNC | MSG_DONTWAIT);
        if (N < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return;
        }
        if (N <= 0 || static_cast<size_t>(N) > PipeBufferSize) {
            Disconnect(Instance);
            return;
        }
        Answer(Instance, Instance.Request, static_cast<uint32_t>(N));
        return;
    }

    const ssize_t N = recv(Instance.Fd, Instance.Request + Instance.Filled,
                           FramedCapacity - Instance.Filled, MSG_DONTWAIT);
    if (N < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    if (N <= 0) {
        Disconnect(Instance);
        return;
    }
    Instance.Filled += static_cast<uint32_t>(N);
    while (Instance.Filled >= FrameHeaderSize) {
        const uint32_t Length = FrameLength(Instance.Request);
        if (Length == 0 || Length > PipeBufferSize) {
            Disconnect(Instance);
            return;
        }
        const uint32_t Whole = static_cast<uint32_t>(FrameHeaderSize) + Length;
        if (Instance.Filled < Whole) {
            return;
        }
        if (!Answer(Instance, Instance.Request + FrameHeaderSize, Length)) {
            return;
        }
        std::memmove(Instance.Request, Instance.Request + Whole, Instance.Filled - Whole);
        Instance.Filled -= Whole;
    }
}

bool TPipeServer::Answer(TInstance& Instance, const char* Request, uint32_t Length) {
    {
        const std::lock_guard<std::mutex> Guard(FStatsLock);
        ++FStats.Requests;
        FStats.RequestBytes += Length;
    }
    Instance.LastActivity = Clock.NowUtc();
    BuildAnswer(Instance, Request, Length);
    const uint32_t AnswerLength = GetLE32(Instance.Answer);
    const char* Bytes = Instance.Answer + (Instance.Framed ? 0 : FrameHeaderSize);
    const size_t Size = AnswerLength + (Instance.Framed ? FrameHeaderSize : 0);
    // Counted before the send, so that a client holding its answer sees it counted; taken back
    // when the send fails. Never waits for a client that stops reading, never raises SIGPIPE.
    {
        const std::lock_guard<std::mutex> Guard(FStatsLock);
        ++FStats.Answers;
        FStats.AnswerBytes += AnswerLength;
    }
    const ssize_t Sent = send(Instance.Fd, Bytes, Size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (Sent >= 0 && static_cast<size_t>(Sent) == Size) {
        return true;
    }
    {
        const std::lock_guard<std::mutex> Guard(FStatsLock);
        --FStats.Answers;
        FStats.AnswerBytes -= AnswerLength;
        ++FStats.WriteErrors;
    }
    Disconnect(Instance);
    return false;
}

void TPipeServer::BuildAnswer(TInstance& Instance, const char* Request, uint32_t Length) {
    char* Answer = Instance.Answer + FrameHeaderSize;
    uint32_t AnswerLength = 0;
    bool SendAck = true;
    HandleRequest(Request, Length, Answer, PipeBufferSize, AnswerLength, SendAck);
    if (SendAck) {
        const TSystemTime Now = DateTimeToSystemTime(Clock.Now());
        const std::string Text = Format("ACK %d bytes %2.2d:%2.2d:%2.2d", static_cast<int>(Length),
                                        Now.wHour, Now.wMinute, Now.wSecond);
        AnswerLength = static_cast<uint32_t>(Text.size());
        std::memcpy(Answer, Text.c_str(), Text.size() + 1);
    }
    PutLE32(Instance.Answer, std::min<uint32_t>(AnswerLength, PipeBufferSize));
}

void TPipeServer::Disconnect(TInstance& Instance) {
    if (Instance.Fd >= 0) {
        close(Instance.Fd);
        Instance.Fd = -1;
    }
    Instance.Filled = 0;
}

void TPipeServer::DisconnectIdle() {
    const TDateTime Now = Clock.NowUtc();
    for (TInstance& Instance : FInstances) {
        if (Instance.Fd >= 0 && ElapsedMs(Instance.LastActivity, Now) >= IdleTimeoutMs) {
            Disconnect(Instance);
        }
    }
}

int ListenTcp(const std::string& AddressPort) {
    const size_t Colon = AddressPort.rfind(':');
    if (Colon == std::string::npos || Colon + 1 == AddressPort.size()) {
        throw ETarnoError("Invalid listen address \"" + AddressPort + "\"");
    }
    std::string Host = AddressPort.substr(0, Colon);
    const std::string Port = AddressPort.substr(Colon + 1);
    if (Host.size() >= 2 && Host.front() == '[' && Host.back() == ']') {
        Host = Host.substr(1, Host.size() - 2);
    }
    addrinfo Hints{};
    Hints.ai_family = AF_UNSPEC;
    Hints.ai_socktype = SOCK_STREAM;
    Hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* Found = nullptr;
    const int Rc = getaddrinfo(Host.empty() || Host == "*" ? nullptr : Host.c_str(), Port.c_str(),
                               &Hints, &Found);
    if (Rc != 0) {
        throw ETarnoError("Invalid listen address \"" + AddressPort + "\": " + gai_strerror(Rc));
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> Guard(Found, &freeaddrinfo);
    TFd Fd(socket(Found->ai_family, Found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                  Found->ai_protocol));
    const int On = 1;
    if (Fd.Get() < 0 || setsockopt(Fd.Get(), SOL_SOCKET, SO_REUSEADDR, &On, sizeof(On)) != 0 ||
        bind(Fd.Get(), Found->ai_addr, Found->ai_addrlen) != 0 ||
        listen(Fd.Get(), ListenBacklog) != 0) {
        throw EOSError("Cannot listen on " + AddressPort + ": " + SysErrorMessage(errno));
    }
    return Fd.Release();
}
