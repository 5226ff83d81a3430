// The service framework as the service thread sees it: a queue of control requests posted by
// other threads (signals, a control client), drained between two rounds of the main loop, looked
// at without removal during long work, and the reports of the service's state to the system.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

// Control codes of the framework; user-defined codes are 128..255.
constexpr int ServiceControlStop = 1;
constexpr int ServiceControlPause = 2;
constexpr int ServiceControlContinue = 3;
constexpr int ServiceControlInterrogate = 4;
constexpr int ServiceControlShutdown = 5;

// The callbacks of the service object, all called on the service thread.
class TServiceHandler {
public:
    virtual ~TServiceHandler() = default;
    virtual void ServiceStart(bool& Started) = 0;
    virtual void ServiceExecute() = 0;
    virtual void ServiceStop(bool& Stopped) = 0;
    virtual void ServiceShutdown() = 0;
    virtual bool HandleCustomControl(int Code) = 0;
};

enum class TServiceState { StartPending, Running, StopPending, Stopped };

class TServiceHost {
public:
    virtual ~TServiceHost() = default;

    // Starts the service and, when it started, runs ServiceExecute until it returns.
    // Answers 0, or 1 when the start failed.
    int Run(TServiceHandler& Handler);

    // Any thread: queues a control request for the service thread.
    void PostRequest(int Code);
    // Handles every waiting request in turn without waiting: stop calls ServiceStop, shutdown
    // ServiceShutdown, interrogate only reports, any other code HandleCustomControl; the state
    // is reported after each. Nothing more is handled once a stop or shutdown was accepted.
    void ProcessRequests(TServiceHandler& Handler);
    // The waiting requests, oldest first, left in the queue.
    std::vector<int> PendingRequests() const;
    // Set when a stop or shutdown request has been accepted.
    bool Terminated() const { return FTerminated; }

    TServiceState State() const { return FState; }
    // Reports the current state to the system at once.
    virtual void ReportStatus() = 0;

protected:
    void SetState(TServiceState State);

private:
    bool TakeRequest(int& Code);

    mutable std::mutex FLock;
    std::deque<int> FRequests;
    std::atomic<bool> FTerminated{false};
    std::atomic<TServiceState> FState{TServiceState::StartPending};
};
