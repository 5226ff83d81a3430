// Running other programs (systemctl, ssh, the service itself) and signalling processes, behind an
// interface that the service-control backends are handed, so that tests replace it.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct TCommandResult {
    int ExitCode = -1; // -1 when the program was killed or could not run
    std::string Out;   // standard output
    std::string Err;   // standard error
};

// A program started with its output captured; it is killed and reaped when the object goes.
class TChildProcess {
public:
    virtual ~TChildProcess() = default;
    // Without waiting: true and Result filled once the program has ended.
    virtual bool Poll(TCommandResult& Result) = 0;
    // The same, waiting at most Ms for the end.
    virtual bool WaitFor(int Ms, TCommandResult& Result) = 0;
};

class TProcessRunner {
public:
    virtual ~TProcessRunner() = default;
    // Runs Argv (searched in PATH) with stdin from /dev/null and waits at most TimeoutMs; a
    // program still running then is killed (ExitCode -1, Err "Timed out"). Raises EOSError when
    // the program cannot be started.
    virtual TCommandResult Run(const std::vector<std::string>& Argv, int TimeoutMs) = 0;
    // Starts Argv with its output captured and returns at once.
    virtual std::unique_ptr<TChildProcess> Start(const std::vector<std::string>& Argv) = 0;
    // Starts Argv in a session of its own, stdin and stdout on /dev/null, stderr to ErrFile
    // ("" for /dev/null), not waited for. Answers its process id; raises EOSError on failure.
    virtual int SpawnDetached(const std::vector<std::string>& Argv, const std::string& ErrFile) = 0;
    // kill(Pid, Signal); false with errno set on failure.
    virtual bool Kill(int Pid, int Signal) = 0;
    // Posts the user-defined control code Code to the service process Pid (sigqueue); false with
    // errno set on failure.
    virtual bool SendControlCode(int Pid, int Code) = 0;
    // Whether Pid is a live process (kill(Pid, 0), a process of another user counts).
    virtual bool Alive(int Pid) = 0;
};

// The real processes of this machine.
TProcessRunner& SystemProcessRunner();
