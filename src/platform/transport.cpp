#include "platform/transport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "common/fdio.h"

namespace {

constexpr const char* TimeoutText = "Timeout waiting for the service";
constexpr const char* ClosedText = "Connection closed by the service";

using TSteady = std::chrono::steady_clock;

int MsLeft(TSteady::time_point Deadline) {
    const auto Left =
        std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TSteady::now()).count();
    return static_cast<int>(std::max<long long>(Left, 0));
}

// Waits until Fd is ready for Events or the deadline passes; false on time-out.
bool WaitFor(int Fd, short Events, TSteady::time_point Deadline) {
    for (;;) {
        pollfd P{Fd, Events, 0};
        const int Rc = poll(&P, 1, MsLeft(Deadline));
        if (Rc > 0) {
            return true;
        }
        if (Rc == 0) {
            return false;
        }
        if (errno != EINTR) {
            throw ETransportError(SysErrorMessage(errno));
        }
    }
}

// Sends all of Bytes on a socket without SIGPIPE, waiting at most until Deadline.
void SendAll(int Fd, std::string_view Bytes, TSteady::time_point Deadline) {
    while (!Bytes.empty()) {
        const ssize_t N = send(Fd, Bytes.data(), Bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (N >= 0) {
            Bytes.remove_prefix(static_cast<size_t>(N));
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            throw ETransportError(SysErrorMessage(errno));
        }
        if (!WaitFor(Fd, POLLOUT, Deadline)) {
            throw ETransportError(TimeoutText);
        }
    }
}

class TUnixConnection : public TMessageConnection {
public:
    explicit TUnixConnection(int Fd) : FFd(Fd) {}

    void Send(std::string_view Message, int TimeoutMs) override {
        if (Message.size() > MaxMessageSize) {
            throw ETransportError("Message too long");
        }
        SendAll(FFd.Get(), Message, TSteady::now() + std::chrono::milliseconds(TimeoutMs));
    }

    std::string Receive(int TimeoutMs) override {
        const auto Deadline = TSteady::now() + std::chrono::milliseconds(TimeoutMs);
        std::string Buffer(MaxMessageSize, '\0');
        for (;;) {
            const ssize_t N =
                recv(FFd.Get(), Buffer.data(), Buffer.size(), MSG_TRUNC | MSG_DONTWAIT);
            if (N > 0) {
                if (static_cast<size_t>(N) > MaxMessageSize) {
                    throw ETransportError("Answer too long");
                }
                Buffer.resize(static_cast<size_t>(N));
                return Buffer;
            }
            if (N == 0) {
                throw ETransportError(ClosedText);
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                throw ETransportError(SysErrorMessage(errno));
            }
            if (!WaitFor(FFd.Get(), POLLIN, Deadline)) {
                throw ETransportError(TimeoutText);
            }
        }
    }

private:
    TFd FFd;
};

} // namespace

std::unique_ptr<TMessageConnection> TUnixTransport::Connect(const std::string& PipeName, int) {
    const std::string Path = FRunDir + "/" + PipeName;
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    if (Path.size() >= sizeof(Address.sun_path)) {
        throw ETransportError(SysErrorMessage(ENAMETOOLONG) + " (" + Path + ")");
    }
    std::memcpy(Address.sun_path, Path.data(), Path.size());
    TFd Fd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (Fd.Get() < 0) {
        throw ETransportError(SysErrorMessage(errno));
    }
    // A local connect completes at once or fails; a full backlog (EAGAIN) is a busy service.
    if (connect(Fd.Get(), reinterpret_cast<const sockaddr*>(&Address), sizeof(Address)) != 0) {
        const int Error = errno;
        if (Error == EAGAIN) {
            throw ETransportError("All pipe instances are busy (" + Path + ")");
        }
        throw ETransportError(SysErrorMessage(Error) + " (" + Path + ")");
    }
    return std::make_unique<TUnixConnection>(Fd.Release());
}

std::unique_ptr<TMessageTransport> OpenMessageTransport(const std::string& Host,
                                                        const std::string& RunDir) {
    if (Host.empty()) {
        return std::make_unique<TUnixTransport>(RunDir);
    }
    return std::make_unique<TBridgeTransport>(SshBridgeCommand(Host));
}

std::string FrameMessage(std::string_view Message) {
    std::string Frame(FrameHeaderSize, '\0');
    const auto Length = static_cast<uint32_t>(Message.size());
    for (size_t I = 0; I < FrameHeaderSize; ++I) {
        Frame[I] = static_cast<char>((Length >> (8 * I)) & 0xFF);
    }
    Frame.append(Message);
    return Frame;
}

uint32_t FrameLength(const char* Header) {
    uint32_t Value = 0;
    for (int I = static_cast<int>(FrameHeaderSize) - 1; I >= 0; --I) {
        Value = (Value << 8) | static_cast<unsigned char>(Header[I]);
    }
    return Value;
}

std::string FrameError(std::string_view Text) {
    std::string Frame = FrameMessage(Text.substr(0, MaxMessageSize));
    Frame[3] = static_cast<char>(static_cast<unsigned char>(Frame[3]) | 0x80);
    return Frame;
}

std::vector<std::string> SshBridgeCommand(const std::string& Host) {
    return {"ssh", "-T", "-o", "BatchMode=yes", "--", Host, "tarnoctl", "bridge"};
}

// The bridge process and what has been read from it.
struct TBridgeTransport::TState {
    std::vector<std::string> Argv;
    pid_t Pid = -1;
    int Io = -1;         // our end of the process's stdin and stdout
    int Err = -1;        // its stderr
    std::string Buffer;  // bytes read from stdout, not yet taken as frames
    std::string ErrText; // what it wrote on stderr
    int Pending = 0;     // requests sent whose answer was not yet read

    ~TState() { End(); }

    void Launch() {
        int Pair[2];
        int ErrPipe[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, Pair) != 0) {
            throw ETransportError(SysErrorMessage(errno));
        }
        if (pipe2(ErrPipe, O_CLOEXEC) != 0) {
            const int Error = errno;
            close(Pair[0]);
            close(Pair[1]);
            throw ETransportError(SysErrorMessage(Error));
        }
        std::vector<char*> Args;
        for (std::string& A : Argv) {
            Args.push_back(A.data());
        }
        Args.push_back(nullptr);
        const pid_t Child = fork();
        if (Child == 0) {
            dup2(Pair[1], 0);
            dup2(Pair[1], 1);
            dup2(ErrPipe[1], 2);
            execvp(Args[0], Args.data());
            _exit(127);
        }
        const int Error = errno;
        close(Pair[1]);
        close(ErrPipe[1]);
        if (Child < 0) {
            close(Pair[0]);
            close(ErrPipe[0]);
            throw ETransportError(SysErrorMessage(Error));
        }
        Pid = Child;
        Io = Pair[0];
        Err = ErrPipe[0];
        fcntl(Io, F_SETFL, O_NONBLOCK);
        fcntl(Err, F_SETFL, O_NONBLOCK);
        Buffer.clear();
        ErrText.clear();
        Pending = 0;
    }

    void ReadErrors() {
        char Chunk[1024];
        ssize_t N;
        while (Err >= 0 && (N = read(Err, Chunk, sizeof(Chunk))) > 0) {
            ErrText.append(Chunk, static_cast<size_t>(N));
            if (ErrText.size() > 4096) {
                ErrText.erase(0, ErrText.size() - 4096);
            }
        }
    }

    void End() {
        if (Io >= 0) {
            close(Io);
            Io = -1;
        }
        if (Pid > 0) {
            // Closing its input ends a bridge; one that does not end is killed.
            int Status;
            if (waitpid(Pid, &Status, WNOHANG) == 0) {
                kill(Pid, SIGTERM);
                waitpid(Pid, &Status, 0);
            }
            Pid = -1;
        }
        if (Err >= 0) {
            close(Err);
            Err = -1;
        }
    }

    // The process ended (or its output closed): the error to report, and a fresh start next time.
    [[noreturn]] void Ended() {
        if (Err >= 0) {
            WaitFor(Err, POLLIN, TSteady::now() + std::chrono::milliseconds(200));
        }
        ReadErrors();
        End();
        std::string Text = ErrText;
        while (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r')) {
            Text.pop_back();
        }
        const size_t LastLine = Text.rfind('\n');
        if (LastLine != std::string::npos) {
            Text.erase(0, LastLine + 1);
        }
        throw ETransportError(Text.empty() ? std::string("The bridge to the other machine ended")
                                           : Text);
    }

    // One frame from the process, or false when the deadline passed.
    bool ReadFrame(std::string& Payload, bool& IsError, TSteady::time_point Deadline) {
        for (;;) {
            if (Buffer.size() >= FrameHeaderSize) {
                const uint32_t Raw = FrameLength(Buffer.data());
                const uint32_t Length = Raw & ~FrameErrorFlag;
                if (Length > MaxMessageSize) {
                    End();
                    throw ETransportError("Answer too long");
                }
                if (Buffer.size() >= FrameHeaderSize + Length) {
                    Payload = Buffer.substr(FrameHeaderSize, Length);
                    IsError = (Raw & FrameErrorFlag) != 0;
                    Buffer.erase(0, FrameHeaderSize + Length);
                    return true;
                }
            }
            char Chunk[4096];
            const ssize_t N = read(Io, Chunk, sizeof(Chunk));
            if (N > 0) {
                Buffer.append(Chunk, static_cast<size_t>(N));
                continue;
            }
            if (N == 0) {
                Ended();
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                Ended();
            }
            ReadErrors();
            if (!WaitFor(Io, POLLIN, Deadline)) {
                return false;
            }
        }
    }
};

class TBridgeConnection : public TMessageConnection {
public:
    explicit TBridgeConnection(std::shared_ptr<TBridgeTransport::TState> State)
        : FState(std::move(State)) {}

    void Send(std::string_view Message, int TimeoutMs) override {
        if (Message.size() > MaxMessageSize) {
            throw ETransportError("Message too long");
        }
        if (FState->Io < 0) {
            FState->Launch();
        }
        try {
            SendAll(FState->Io, FrameMessage(Message),
                    TSteady::now() + std::chrono::milliseconds(TimeoutMs));
        } catch (const ETransportError&) {
            FState->Ended();
        }
        ++FState->Pending;
    }

    std::string Receive(int TimeoutMs) override {
        const auto Deadline = TSteady::now() + std::chrono::milliseconds(TimeoutMs);
        if (FState->Io < 0 || FState->Pending == 0) {
            throw ETransportError(ClosedText);
        }
        std::string Payload;
        bool IsError = false;
        // Answers to requests that timed out earlier come first; they are dropped.
        while (FState->Pending > 0) {
            if (!FState->ReadFrame(Payload, IsError, Deadline)) {
                throw ETransportError(TimeoutText);
            }
            --FState->Pending;
        }
        if (IsError) {
            throw ETransportError(Payload);
        }
        return Payload;
    }

private:
    std::shared_ptr<TBridgeTransport::TState> FState;
};

TBridgeTransport::TBridgeTransport(std::vector<std::string> Argv)
    : FState(std::make_shared<TState>()) {
    FState->Argv = std::move(Argv);
}

TBridgeTransport::~TBridgeTransport() = default;

std::unique_ptr<TMessageConnection> TBridgeTransport::Connect(const std::string&, int) {
    if (FState->Io < 0) {
        FState->Launch();
    }
    return std::make_unique<TBridgeConnection>(FState);
}
