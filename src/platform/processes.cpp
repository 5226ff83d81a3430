#include "platform/processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "common/errors.h"
#include "common/fdio.h"
#include "platform/linuxhost.h"

namespace {

std::vector<char*> ArgPointers(std::vector<std::string>& Argv) {
    std::vector<char*> Args;
    for (std::string& A : Argv) {
        Args.push_back(A.data());
    }
    Args.push_back(nullptr);
    return Args;
}

// A child with stdin on /dev/null and stdout, stderr on pipes.
class TCapturedChild : public TChildProcess {
public:
    explicit TCapturedChild(std::vector<std::string> Argv) {
        if (Argv.empty()) {
            throw EOSError("Cannot run an empty command");
        }
        int Out[2];
        int Err[2];
        if (pipe2(Out, O_CLOEXEC) != 0) {
            throw EOSError("Cannot run " + Argv[0] + ": " + SysErrorMessage(errno));
        }
        if (pipe2(Err, O_CLOEXEC) != 0) {
            const int Error = errno;
            close(Out[0]);
            close(Out[1]);
            throw EOSError("Cannot run " + Argv[0] + ": " + SysErrorMessage(Error));
        }
        std::vector<char*> Args = ArgPointers(Argv);
        const std::string Failure = "Cannot run " + Argv[0] + "\n";
        FPid = fork();
        if (FPid == 0) {
            const int Null = open("/dev/null", O_RDONLY);
            dup2(Null, 0);
            dup2(Out[1], 1);
            dup2(Err[1], 2);
            execvp(Args[0], Args.data());
            // Only async-signal-safe calls after fork: the message was made before it.
            [[maybe_unused]] const ssize_t Rc = write(2, Failure.data(), Failure.size());
            _exit(127);
        }
        const int Error = errno;
        close(Out[1]);
        close(Err[1]);
        FOut = Out[0];
        FErr = Err[0];
        if (FPid < 0) {
            throw EOSError("Cannot run " + Argv[0] + ": " + SysErrorMessage(Error));
        }
        fcntl(FOut, F_SETFL, O_NONBLOCK);
        fcntl(FErr, F_SETFL, O_NONBLOCK);
    }

    ~TCapturedChild() override {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            int Status;
            waitpid(FPid, &Status, 0);
        }
        CloseAll();
    }

    bool Poll(TCommandResult& Result) override {
        Drain();
        if (FPid > 0) {
            int Status;
            if (waitpid(FPid, &Status, WNOHANG) != FPid) {
                return false;
            }
            FPid = -1;
            FResult.ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
        }
        // The program ended; its output may still be in the pipes.
        while (FOut >= 0 || FErr >= 0) {
            Wait(200);
            if (!Drain()) {
                break;
            }
        }
        CloseAll();
        Result = FResult;
        return true;
    }

    bool WaitFor(int Ms, TCommandResult& Result) override {
        const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
        while (!Poll(Result)) {
            const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  Deadline - std::chrono::steady_clock::now())
                                  .count();
            if (Left <= 0) {
                return false;
            }
            Wait(static_cast<int>(std::min<long long>(Left, 50)));
        }
        return true;
    }

    // Waits for output or the end of the program, at most Ms.
    void Wait(int Ms) {
        pollfd P[2] = {{FOut, POLLIN, 0}, {FErr, POLLIN, 0}};
        poll(P, 2, Ms);
    }

    void KillNow() {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
        }
    }

private:
    // Reads what is available; false when nothing came and a pipe is still open.
    bool Drain() {
        bool Progress = false;
        for (auto [Fd, Text] : {std::pair{&FOut, &FResult.Out}, std::pair{&FErr, &FResult.Err}}) {
            char Chunk[4096];
            for (;;) {
                if (*Fd < 0) {
                    break;
                }
                const ssize_t N = read(*Fd, Chunk, sizeof(Chunk));
                if (N > 0) {
                    Text->append(Chunk, static_cast<size_t>(N));
                    Progress = true;
                    continue;
                }
                if (N < 0 && errno == EINTR) {
                    continue;
                }
                if (N == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                    close(*Fd);
                    *Fd = -1;
                    Progress = true;
                }
                break;
            }
        }
        return Progress;
    }

    void CloseAll() {
        for (int* Fd : {&FOut, &FErr}) {
            if (*Fd >= 0) {
                close(*Fd);
                *Fd = -1;
            }
        }
    }

    pid_t FPid = -1;
    int FOut = -1;
    int FErr = -1;
    TCommandResult FResult;
};

class TSystemProcessRunner : public TProcessRunner {
public:
    TCommandResult Run(const std::vector<std::string>& Argv, int TimeoutMs) override {
        TCapturedChild Child(Argv);
        TCommandResult Result;
        if (!Child.WaitFor(TimeoutMs, Result)) {
            Child.KillNow();
            Child.WaitFor(5000, Result);
            Result.ExitCode = -1;
            Result.Err = "Timed out";
        }
        return Result;
    }

    std::unique_ptr<TChildProcess> Start(const std::vector<std::string>& Argv) override {
        return std::make_unique<TCapturedChild>(Argv);
    }

    int SpawnDetached(const std::vector<std::string>& Argv, const std::string& ErrFile) override {
        if (Argv.empty()) {
            throw EOSError("Cannot run an empty command");
        }
        std::vector<std::string> Copy = Argv;
        std::vector<char*> Args = ArgPointers(Copy);
        int Report[2];
        if (pipe2(Report, O_CLOEXEC) != 0) {
            throw EOSError("Cannot run " + Argv[0] + ": " + SysErrorMessage(errno));
        }
        // Two forks: the program belongs to no one here and is never left a zombie of ours.
        const pid_t Middle = fork();
        if (Middle == 0) {
            close(Report[0]);
            setsid();
            const pid_t Child = fork();
            if (Child == 0) {
                const int Null = open("/dev/null", O_RDWR);
                const int Err =
                    ErrFile.empty()
                        ? Null
                        : open(ErrFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW, 0644);
                dup2(Null, 0);
                dup2(Null, 1);
                dup2(Err >= 0 ? Err : Null, 2);
                execvp(Args[0], Args.data());
                _exit(127);
            }
            const int32_t Pid = Child;
            [[maybe_unused]] const ssize_t Rc = write(Report[1], &Pid, sizeof(Pid));
            _exit(Child < 0 ? 1 : 0);
        }
        const int Error = errno;
        close(Report[1]);
        TFd Read(Report[0]);
        if (Middle < 0) {
            throw EOSError("Cannot run " + Argv[0] + ": " + SysErrorMessage(Error));
        }
        int Status;
        waitpid(Middle, &Status, 0);
        int32_t Pid = -1;
        if (read(Read.Get(), &Pid, sizeof(Pid)) != sizeof(Pid) || Pid <= 0) {
            throw EOSError("Cannot run " + Argv[0]);
        }
        return Pid;
    }

    bool Kill(int Pid, int Signal) override { return kill(Pid, Signal) == 0; }

    bool SendControlCode(int Pid, int Code) override { return SendServiceControl(Pid, Code); }

    bool Alive(int Pid) override { return Pid > 0 && (kill(Pid, 0) == 0 || errno == EPERM); }
};

} // namespace

TProcessRunner& SystemProcessRunner() {
    static TSystemProcessRunner Runner;
    return Runner;
}
