// The pipe servers of the running service: the info and control servers on their sockets in the
// run directory, with the statistics filled from the service's status, the configuration events
// logged by the service, and optionally the statistics served read-only over TCP.
#pragma once

#include <memory>
#include <string>

#include "service/pipeservers.h"

class TBaseRorozoraService;
class TClock;
class TRorozoraSrvControl;
class TRorozoraSrvInfo;

class TSocketPipeServers : public TPipeServers {
public:
    // RunDir: where the sockets are made. Listen: "ADDRESS:PORT" for the statistics over TCP, or
    // "" for none.
    TSocketPipeServers(std::string RunDir, std::string Listen, TClock& Clock);
    ~TSocketPipeServers() override;

    // The service whose status and log the servers use; set before the service starts.
    void Bind(TBaseRorozoraService& Service) { FService = &Service; }

    void StartInfoServer(const std::string& PipeName) override;
    void StartControlServer(const std::string& PipeName, const std::string& IniFileName) override;
    void StopControlServer() override;
    void StopInfoServer() override;

private:
    void LogDetailed(const char* What, const std::string& PipeName);

    std::string FRunDir;
    std::string FListen;
    TClock& FClock;
    TBaseRorozoraService* FService = nullptr;
    std::unique_ptr<TRorozoraSrvInfo> FInfo;
    std::unique_ptr<TRorozoraSrvControl> FControl;
    std::string FInfoName;
    std::string FControlName;
};
