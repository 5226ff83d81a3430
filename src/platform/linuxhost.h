// The service host on Linux: SIGTERM and SIGINT post a stop request, sigqueue(SIGRTMIN, code)
// posts a user-defined code 128..255; a signal thread moves them into the request queue. The
// state goes to systemd through NOTIFY_SOCKET.
#pragma once

#include <signal.h>

#include <thread>

#include "platform/servicehost.h"

class TLinuxServiceHost : public TServiceHost {
public:
    // Blocks the handled signals in the calling thread (and so in every thread it creates
    // later); construct it in main before any other thread starts. The destructor restores the
    // calling thread's signal mask.
    TLinuxServiceHost();
    ~TLinuxServiceHost() override;
    TLinuxServiceHost(const TLinuxServiceHost&) = delete;
    TLinuxServiceHost& operator=(const TLinuxServiceHost&) = delete;

    // Sends the state to systemd (nothing when not started by it).
    void ReportStatus() override;

private:
    void WaitForSignals();
    sigset_t FOldMask{};
    std::thread FSignalThread;
};

// Posts the user-defined Code (128..255) to the service process Pid. False with errno set on
// failure.
bool SendServiceControl(int Pid, int Code);
