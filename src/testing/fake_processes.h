// A process runner for tests: commands are recorded and answered by a function the test sets;
// spawned processes and signals only change a set of live process ids.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/processes.h"

class TFakeProcessRunner : public TProcessRunner {
public:
    using TArgv = std::vector<std::string>;

    // Answers Run, and the end of a Start after PollsUntilDone polls. Default: exit 0, no output.
    std::function<TCommandResult(const TArgv&)> OnRun;
    int PollsUntilDone = 0;
    // When set, TChildProcess::WaitFor runs out of time; otherwise the program ends at once.
    bool WaitTimesOut = false;

    std::vector<TArgv> Commands; // every Run, Start and SpawnDetached, in order
    struct TSignal {
        int Pid;
        int Signal;
    };
    std::vector<TSignal> Signals; // every Kill except the liveness probe
    std::vector<TSignal> Codes;   // every SendControlCode as (pid, code)
    std::set<int> LivePids;
    int NextPid = 1000;
    // Runs after each SpawnDetached with the new pid (a test may lock a pidfile there).
    std::function<void(int Pid)> OnSpawn;
    // Runs after each Kill with the pid and the signal.
    std::function<void(int Pid, int Signal)> OnKill;

    TCommandResult Run(const TArgv& Argv, int TimeoutMs) override;
    std::unique_ptr<TChildProcess> Start(const TArgv& Argv) override;
    int SpawnDetached(const TArgv& Argv, const std::string& ErrFile) override;
    bool Kill(int Pid, int Signal) override;
    bool SendControlCode(int Pid, int Code) override;
    bool Alive(int Pid) override { return LivePids.count(Pid) != 0; }
};
