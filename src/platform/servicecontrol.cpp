#include "platform/servicecontrol.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>
#include <vector>

#include "common/clock.h"
#include "common/home.h"
#include "platform/processes.h"
#include "platform/rundir.h"
#include "platform/serviceinstall.h"

namespace {

constexpr const char* UnitName = "tarno.service";
constexpr int CommandTimeoutMs = 15000;
// A pending start or stop counts as progressing for this many queries; after that its
// checkpoint stands still and the wait gives up.
constexpr uint32_t MaxPendingChecks = 30;
constexpr uint32_t StartWaitHintMs = 500;
constexpr uint32_t RemoteWaitHintMs = 1000;
constexpr int StopWaitMs = 2000;
// The longest a query of another machine's service waits for ssh.
constexpr int QueryWaitMs = 2000;

bool IsPending(int State) {
    return State == ServiceStartPending || State == ServiceStopPending ||
           State == ServiceContinuePending || State == ServicePausePending;
}

// The last non-empty line of a program's error output, or Fallback.
std::string LastLine(const std::string& Text, const std::string& Fallback) {
    std::string Line;
    std::istringstream In(Text);
    for (std::string Next; std::getline(In, Next);) {
        while (!Next.empty() && (Next.back() == '\r' || Next.back() == ' ')) {
            Next.pop_back();
        }
        if (!Next.empty()) {
            Line = Next;
        }
    }
    return Line.empty() ? Fallback : Line;
}

// "tarno" beside the running program, else the one found in PATH.
std::string DefaultServiceExe() {
    const std::string Beside = ProgramDirectory() + "/tarno";
    return access(Beside.c_str(), X_OK) == 0 ? Beside : "tarno";
}

[[noreturn]] void RaiseSystem(int Error) {
    throw EServiceControlError(SysErrorMessage(Error));
}

// Counts the queries of one pending phase, for the checkpoint.
class TPendingCounter {
public:
    uint32_t Next(int State) {
        FCount = IsPending(State) ? std::min(FCount + 1, MaxPendingChecks) : 0;
        return FCount;
    }
    uint32_t Count() const { return FCount; }

private:
    uint32_t FCount = 0;
};

class TSystemdServiceControl : public TServiceControl {
public:
    explicit TSystemdServiceControl(TProcessRunner& Runner) : FRunner(Runner) {}

    TServiceQuery Query() override {
        const TCommandResult R =
            Systemctl({"show", "--property=ActiveState,MainPID", UnitName}, "query");
        TServiceQuery Q;
        std::istringstream In(R.Out);
        for (std::string Line; std::getline(In, Line);) {
            if (Line.starts_with("ActiveState=")) {
                const std::string State = Line.substr(12);
                Q.State = State == "active" || State == "reloading" ? ServiceRunning
                          : State == "activating"                   ? ServiceStartPending
                          : State == "deactivating"                 ? ServiceStopPending
                                                                    : ServiceStopped;
            } else if (Line.starts_with("MainPID=")) {
                Q.Pid = std::atoi(Line.c_str() + 8);
            }
        }
        // A job queued with --no-block may not have changed the state yet: until the unit
        // moves, the state asked for counts as pending.
        if (FExpected != 0) {
            if (Q.State == FExpected || IsPending(Q.State) ||
                FPending.Count() >= MaxPendingChecks) {
                FExpected = 0;
            } else {
                Q.State = FExpected == ServiceRunning ? ServiceStartPending : ServiceStopPending;
            }
        }
        Q.CheckPoint = FPending.Next(Q.State);
        Q.WaitHint = IsPending(Q.State) ? StartWaitHintMs : 0;
        return Q;
    }

    void Start() override {
        Systemctl({"start", "--no-block", UnitName}, "start");
        FExpected = ServiceRunning;
    }
    void Stop() override {
        Systemctl({"stop", "--no-block", UnitName}, "stop");
        FExpected = ServiceStopped;
    }

    void Control(int Code) override {
        const TServiceQuery Q = Query();
        if (Q.State != ServiceRunning || Q.Pid <= 0) {
            throw EServiceControlError("Service is not running");
        }
        if (!FRunner.SendControlCode(Q.Pid, Code)) {
            RaiseSystem(errno);
        }
    }

private:
    TCommandResult Systemctl(std::vector<std::string> Args, const char* What) {
        Args.insert(Args.begin(), {"systemctl", "--no-ask-password"});
        const TCommandResult R = FRunner.Run(Args, CommandTimeoutMs);
        if (R.ExitCode != 0) {
            throw EServiceControlError(
                LastLine(R.Err, std::string("systemctl ") + What + " failed"));
        }
        return R;
    }

    TProcessRunner& FRunner;
    TPendingCounter FPending;
    int FExpected = 0; // the state a start or stop asked for, until the unit moves
};

// The service found through its pidfile: running while the pidfile is locked and its info
// socket is there, starting while the program we spawned lives, stopping while the process we
// sent SIGTERM to still holds the pidfile.
class TDirectServiceControl : public TServiceControl {
public:
    TDirectServiceControl(const TServiceControlOptions& Options, TProcessRunner& Runner)
        : FRunner(Runner), FRunDir(FindClientRunDirectory(Options.RunDir)), FHome(Options.Home),
          FExe(Options.ServiceExe.empty() ? DefaultServiceExe() : Options.ServiceExe) {}

    TServiceQuery Query() override {
        TServiceQuery Q;
        const int Pid = RunningServicePid(FRunDir);
        struct stat St;
        if (Pid > 0) {
            Q.Pid = Pid;
            if (Pid == FStopPid) {
                Q.State = ServiceStopPending;
            } else if (stat((FRunDir + "/ZirInfo").c_str(), &St) == 0) {
                Q.State = ServiceRunning;
                FSpawnedPid = 0;
            } else {
                Q.State = ServiceStartPending;
            }
        } else if (FSpawnedPid > 0 && FRunner.Alive(FSpawnedPid)) {
            Q.State = ServiceStartPending;
        } else {
            FSpawnedPid = 0;
            FStopPid = 0;
        }
        Q.CheckPoint = FPending.Next(Q.State);
        Q.WaitHint = IsPending(Q.State) ? StartWaitHintMs : 0;
        return Q;
    }

    void Start() override {
        if (RunningServicePid(FRunDir) > 0) {
            throw EServiceControlError("An instance of the service is already running");
        }
        std::vector<std::string> Argv = {FExe, "--rundir", FRunDir};
        if (!FHome.empty()) {
            Argv.insert(Argv.end(), {"--home", FHome});
        }
        try {
            FSpawnedPid = FRunner.SpawnDetached(Argv, "");
        } catch (const std::exception& E) {
            throw EServiceControlError(E.what());
        }
        FStopPid = 0;
    }

    void Stop() override {
        const int Pid = RunningServicePid(FRunDir);
        if (Pid <= 0) {
            throw EServiceControlError("The service has not been started");
        }
        if (!FRunner.Kill(Pid, SIGTERM)) {
            RaiseSystem(errno);
        }
        FStopPid = Pid;
    }

    void Control(int Code) override {
        const int Pid = RunningServicePid(FRunDir);
        if (Pid <= 0) {
            throw EServiceControlError("Service is not running");
        }
        if (!FRunner.SendControlCode(Pid, Code)) {
            RaiseSystem(errno);
        }
    }

private:
    TProcessRunner& FRunner;
    std::string FRunDir;
    std::string FHome;
    std::string FExe;
    int FSpawnedPid = 0;
    int FStopPid = 0;
    TPendingCounter FPending;
};

// Another machine: its tarnoctl run through ssh. A start or stop runs there as a command of its
// own (which waits on that machine); while it runs the service counts as pending here.
class TSshServiceControl : public TServiceControl {
public:
    TSshServiceControl(std::string Host, TProcessRunner& Runner)
        : FHost(std::move(Host)), FRunner(Runner) {
        if (FHost.empty() || FHost.front() == '-') {
            throw EServiceControlError("Invalid host name \"" + FHost + "\"");
        }
    }

    TServiceQuery Query() override {
        if (FOperation) {
            TCommandResult R;
            if (!FOperation->Poll(R)) {
                TServiceQuery Q;
                Q.State = FOperationState;
                Q.CheckPoint = ++FOperationChecks;
                Q.WaitHint = RemoteWaitHintMs;
                return Q;
            }
            FOperation.reset();
            if (R.ExitCode != 0) {
                throw EServiceControlError(LastLine(R.Err, "ssh failed on " + FHost));
            }
        }
        // The state comes from a command of its own, waited for at most QueryWaitMs; while it
        // is late the last state stands, and the next query looks again.
        if (!FStateQuery) {
            FStateQuery = StartRemote({"state"});
        }
        TCommandResult R;
        if (!FStateQuery->WaitFor(QueryWaitMs, R)) {
            if (FHaveLast) {
                return FLast;
            }
            throw EServiceControlError("Timeout waiting for " + FHost);
        }
        FStateQuery.reset();
        if (R.ExitCode != 0) {
            throw EServiceControlError(LastLine(R.Err, "ssh failed on " + FHost));
        }
        TServiceQuery Q;
        std::istringstream In(R.Out);
        if (!(In >> Q.State >> Q.CheckPoint >> Q.WaitHint)) {
            throw EServiceControlError("Unexpected answer from tarnoctl on " + FHost);
        }
        FLast = Q;
        FHaveLast = true;
        return Q;
    }

    void Start() override { Begin("start", ServiceStartPending); }
    void Stop() override { Begin("stop", ServiceStopPending); }

    void Control(int Code) override {
        if ((Code & 0xC0) == CtrlProcessAllFiles) {
            Remote({"reprocess", std::to_string(Code & 0x3F)});
        } else if (Query().State != ServiceRunning) {
            // Any other code is accepted by a running service and does nothing.
            throw EServiceControlError("Service is not running");
        }
    }

private:
    std::vector<std::string> Command(const std::vector<std::string>& Args) const {
        std::vector<std::string> Argv = {"ssh", "-T",  "-o",      "BatchMode=yes",
                                         "--",  FHost, "tarnoctl"};
        Argv.insert(Argv.end(), Args.begin(), Args.end());
        return Argv;
    }

    TCommandResult Remote(const std::vector<std::string>& Args) {
        const TCommandResult R = FRunner.Run(Command(Args), CommandTimeoutMs);
        if (R.ExitCode != 0) {
            throw EServiceControlError(LastLine(R.Err, "ssh failed on " + FHost));
        }
        return R;
    }

    std::unique_ptr<TChildProcess> StartRemote(const std::vector<std::string>& Args) {
        try {
            return FRunner.Start(Command(Args));
        } catch (const std::exception& E) {
            throw EServiceControlError(E.what());
        }
    }

    void Begin(const char* Verb, int PendingState) {
        if (FOperation) {
            throw EServiceControlError("Another start or stop is still running on " + FHost);
        }
        FStateQuery.reset(); // a state asked before the start or stop no longer holds
        FHaveLast = false;
        FOperation = StartRemote({Verb});
        FOperationState = PendingState;
        FOperationChecks = 0;
    }

    std::string FHost;
    TProcessRunner& FRunner;
    std::unique_ptr<TChildProcess> FOperation;
    std::unique_ptr<TChildProcess> FStateQuery;
    TServiceQuery FLast;
    bool FHaveLast = false;
    int FOperationState = ServiceStartPending;
    uint32_t FOperationChecks = 0;
};

} // namespace

std::string ServiceStateText(int State) {
    switch (State) {
    case ServiceStopped:
        return "Service s'est arrêté";
    case ServiceStartPending:
        return "Service commence...";
    case ServiceStopPending:
        return "Service s'arrête...";
    case ServiceRunning:
        return "Service est en cours d'exécution";
    case ServiceContinuePending:
        return "Service reprenant...";
    case ServicePausePending:
        return "Service en pause...";
    case ServicePaused:
        return "Service est en pause";
    default:
        return "Etat du service inconnu";
    }
}

std::unique_ptr<TServiceControl> OpenSystemdServiceControl(TProcessRunner& Runner) {
    return std::make_unique<TSystemdServiceControl>(Runner);
}

std::unique_ptr<TServiceControl> OpenDirectServiceControl(const TServiceControlOptions& Options,
                                                          TProcessRunner& Runner) {
    return std::make_unique<TDirectServiceControl>(Options, Runner);
}

std::unique_ptr<TServiceControl> OpenSshServiceControl(const std::string& Host,
                                                       TProcessRunner& Runner) {
    return std::make_unique<TSshServiceControl>(Host, Runner);
}

std::unique_ptr<TServiceControl> OpenServiceControl(const TServiceControlOptions& Options,
                                                    TProcessRunner& Runner) {
    if (!Options.Host.empty()) {
        return OpenSshServiceControl(Options.Host, Runner);
    }
    // A run directory given explicitly names a service of its own, never the system's unit.
    const std::string UnitDir = Options.UnitDir.empty() ? ServiceUnitDirectory() : Options.UnitDir;
    if (Options.RunDir.empty() && SystemdManagesService(UnitDir)) {
        return OpenSystemdServiceControl(Runner);
    }
    return OpenDirectServiceControl(Options, Runner);
}

TServiceWait::TServiceWait(TServiceControl& Control, TKind Kind) : FControl(Control), FKind(Kind) {
    if (FKind == StartService) {
        FControl.Start();
    } else {
        FControl.Stop();
    }
    FStatus = FControl.Query();
}

bool TServiceWait::Done() const {
    return FStatus.State == (FKind == StartService ? ServiceRunning : ServiceStopped);
}

int TServiceWait::NextDelayMs() const {
    return FKind == StartService ? static_cast<int>(FStatus.WaitHint) : StopWaitMs;
}

void TServiceWait::Step() {
    const uint32_t Before = FStatus.CheckPoint;
    FStatus = FControl.Query();
    if (!Done() && FStatus.CheckPoint <= Before) {
        throw EServiceControlError(FKind == StartService ? "Failed to start service"
                                                         : "Failed to stop service");
    }
}

void StartServiceAndWait(TServiceControl& Control, TClock& Clock) {
    TServiceWait Wait(Control, TServiceWait::StartService);
    while (!Wait.Done()) {
        Clock.Sleep(Wait.NextDelayMs());
        Wait.Step();
    }
}

void StopServiceAndWait(TServiceControl& Control, TClock& Clock) {
    TServiceWait Wait(Control, TServiceWait::StopService);
    while (!Wait.Done()) {
        Clock.Sleep(Wait.NextDelayMs());
        Wait.Step();
    }
}

void SendCommand(TServiceControl& Control, int Command, int Slot, bool IsServiceRunning) {
    if (!IsServiceRunning) {
        throw EServiceControlError("Service is inaccessible");
    }
    const int Code = (Command & 0xC0) | (Slot & 0x3F);
    if (Control.Query().State != ServiceRunning) {
        throw EServiceControlError("Service is not running");
    }
    Control.Control(Code);
}
