#include "testing/fake_processes.h"

#include <cerrno>
#include <memory>

namespace {

class TFakeChild : public TChildProcess {
public:
    TFakeChild(TFakeProcessRunner& Owner, TFakeProcessRunner::TArgv Argv, int Polls)
        : FOwner(Owner), FArgv(std::move(Argv)), FPolls(Polls) {}

    bool Poll(TCommandResult& Result) override {
        if (FPolls-- > 0) {
            return false;
        }
        Result = FOwner.OnRun ? FOwner.OnRun(FArgv) : TCommandResult{0, "", ""};
        return true;
    }

    // Waiting lets the program end at once, unless the runner says that it takes too long.
    bool WaitFor(int, TCommandResult& Result) override {
        if (FOwner.WaitTimesOut) {
            return false;
        }
        FPolls = 0;
        return Poll(Result);
    }

private:
    TFakeProcessRunner& FOwner;
    TFakeProcessRunner::TArgv FArgv;
    int FPolls;
};

} // namespace

TCommandResult TFakeProcessRunner::Run(const TArgv& Argv, int) {
    Commands.push_back(Argv);
    return OnRun ? OnRun(Argv) : TCommandResult{0, "", ""};
}

std::unique_ptr<TChildProcess> TFakeProcessRunner::Start(const TArgv& Argv) {
    Commands.push_back(Argv);
    return std::make_unique<TFakeChild>(*this, Argv, PollsUntilDone);
}

int TFakeProcessRunner::SpawnDetached(const TArgv& Argv, const std::string&) {
    Commands.push_back(Argv);
    const int Pid = NextPid++;
    LivePids.insert(Pid);
    if (OnSpawn) {
        OnSpawn(Pid);
    }
    return Pid;
}

bool TFakeProcessRunner::Kill(int Pid, int Signal) {
    if (!Alive(Pid)) {
        errno = ESRCH;
        return false;
    }
    Signals.push_back({Pid, Signal});
    if (OnKill) {
        OnKill(Pid, Signal);
    }
    return true;
}

bool TFakeProcessRunner::SendControlCode(int Pid, int Code) {
    if (!Alive(Pid)) {
        errno = ESRCH;
        return false;
    }
    Codes.push_back({Pid, Code});
    return true;
}
