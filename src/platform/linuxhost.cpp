#include "platform/linuxhost.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "platform/sdnotify.h"

namespace {

// SIGRTMIN + 1 tells the signal thread to end.
sigset_t HandledSignals() {
    sigset_t Set;
    sigemptyset(&Set);
    sigaddset(&Set, SIGTERM);
    sigaddset(&Set, SIGINT);
    sigaddset(&Set, SIGRTMIN);
    sigaddset(&Set, SIGRTMIN + 1);
    return Set;
}

const char* StateText(TServiceState State) {
    switch (State) {
    case TServiceState::StartPending:
        return "STATUS=Starting";
    case TServiceState::Running:
        return "READY=1\nSTATUS=Running";
    case TServiceState::StopPending:
        return "STOPPING=1\nSTATUS=Stopping";
    case TServiceState::Stopped:
        return "STATUS=Stopped";
    }
    return "";
}

} // namespace

TLinuxServiceHost::TLinuxServiceHost() {
    const sigset_t Set = HandledSignals();
    pthread_sigmask(SIG_BLOCK, &Set, &FOldMask);
    FSignalThread = std::thread([this] { WaitForSignals(); });
}

TLinuxServiceHost::~TLinuxServiceHost() {
    pthread_kill(FSignalThread.native_handle(), SIGRTMIN + 1);
    FSignalThread.join();
    pthread_sigmask(SIG_SETMASK, &FOldMask, nullptr);
}

void TLinuxServiceHost::WaitForSignals() {
    const sigset_t Set = HandledSignals();
    for (;;) {
        siginfo_t Info{};
        const int Signal = sigwaitinfo(&Set, &Info);
        if (Signal == SIGTERM || Signal == SIGINT) {
            PostRequest(ServiceControlStop);
        } else if (Signal == SIGRTMIN) {
            const int Code = Info.si_value.sival_int;
            if (Info.si_code == SI_QUEUE && Code >= 128 && Code <= 255) {
                PostRequest(Code);
            }
        } else if (Signal == SIGRTMIN + 1 && Info.si_pid == getpid()) {
            return;
        }
    }
}

void TLinuxServiceHost::ReportStatus() {
    NotifySystemd(StateText(State()));
}

bool SendServiceControl(int Pid, int Code) {
    sigval Value{};
    Value.sival_int = Code;
    return sigqueue(Pid, SIGRTMIN, Value) == 0;
}
