#include "platform/servicehost.h"

int TServiceHost::Run(TServiceHandler& Handler) {
    SetState(TServiceState::StartPending);
    bool Started = true;
    Handler.ServiceStart(Started);
    if (!Started) {
        SetState(TServiceState::Stopped);
        return 1;
    }
    SetState(TServiceState::Running);
    Handler.ServiceExecute();
    SetState(TServiceState::Stopped);
    return 0;
}

void TServiceHost::PostRequest(int Code) {
    const std::lock_guard<std::mutex> Guard(FLock);
    FRequests.push_back(Code);
}

bool TServiceHost::TakeRequest(int& Code) {
    const std::lock_guard<std::mutex> Guard(FLock);
    if (FRequests.empty()) {
        return false;
    }
    Code = FRequests.front();
    FRequests.pop_front();
    return true;
}

std::vector<int> TServiceHost::PendingRequests() const {
    const std::lock_guard<std::mutex> Guard(FLock);
    return {FRequests.begin(), FRequests.end()};
}

void TServiceHost::ProcessRequests(TServiceHandler& Handler) {
    int Code = 0;
    while (!FTerminated && TakeRequest(Code)) {
        switch (Code) {
        case ServiceControlStop: {
            SetState(TServiceState::StopPending);
            bool Stopped = true;
            Handler.ServiceStop(Stopped);
            if (Stopped) {
                FTerminated = true;
            } else {
                SetState(TServiceState::Running);
            }
            break;
        }
        case ServiceControlShutdown:
            SetState(TServiceState::StopPending);
            Handler.ServiceShutdown();
            FTerminated = true;
            break;
        case ServiceControlInterrogate:
        case ServiceControlPause: // pause is not accepted: the state stays as it is
        case ServiceControlContinue:
            ReportStatus();
            break;
        default:
            Handler.HandleCustomControl(Code);
            ReportStatus();
            break;
        }
    }
}

void TServiceHost::SetState(TServiceState State) {
    FState = State;
    ReportStatus();
}
