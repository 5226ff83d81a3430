#include "service/socketservers.h"

#include <unistd.h>

#include "common/home.h"
#include "common/text.h"
#include "common/utils.h"
#include "pipe/ft_control.h"
#include "service/ftsrvbase.h"

TSocketPipeServers::TSocketPipeServers(std::string RunDir, std::string Listen, TClock& Clock)
    : FRunDir(std::move(RunDir)), FListen(std::move(Listen)), FClock(Clock) {}

TSocketPipeServers::~TSocketPipeServers() {
    FService = nullptr;
    StopControlServer();
    StopInfoServer();
}

void TSocketPipeServers::LogDetailed(const char* What, const std::string& PipeName) {
    if (FService && FService->GetConfig().LogDetailed) {
        FService->Log(0, Format("Pipe server \"%s\" %s", PipeName.c_str(), What));
    }
}

void TSocketPipeServers::StartInfoServer(const std::string& PipeName) {
    StopInfoServer();
    auto Info = std::make_unique<TRorozoraSrvInfo>(CombinePath(FRunDir, PipeName),
                                                   InfoPipeInstances, FClock);
    if (FService) {
        TBaseRorozoraService* Service = FService;
        Info->OnFillStatistics = [Service](char* Record) {
            TRorozoraSrvStats Stats;
            Service->FillStatistics(Stats);
            EncodeSrvStats(Stats, Record);
        };
    }
    if (!FListen.empty()) {
        Info->AddTcpListener(ListenTcp(FListen));
    }
    Info->Start();
    FInfo = std::move(Info);
    FInfoName = PipeName;
    LogDetailed("started", PipeName);
}

void TSocketPipeServers::StartControlServer(const std::string& PipeName,
                                            const std::string& IniFileName) {
    StopControlServer();
    auto Control = std::make_unique<TRorozoraSrvControl>(CombinePath(FRunDir, PipeName),
                                                         CombinePath(ExeDir(), IniFileName),
                                                         ControlPipeInstances, FClock);
    if (FService) {
        TBaseRorozoraService* Service = FService;
        Control->OnConfigRetrieved = [Service] {
            Service->Log(0, "Service configuration file retrieved by client");
        };
        Control->OnConfigUpdated = [Service] {
            Service->Log(0, "Service configuration file updated by client");
        };
    }
    Control->Start();
    FControl = std::move(Control);
    FControlName = PipeName;
    LogDetailed("started", PipeName);
}

void TSocketPipeServers::StopControlServer() {
    if (FControl) {
        FControl.reset();
        LogDetailed("stopped", FControlName);
    }
}

void TSocketPipeServers::StopInfoServer() {
    if (FInfo) {
        FInfo.reset();
        LogDetailed("stopped", FInfoName);
    }
}
