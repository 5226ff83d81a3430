// Control of the service from outside it: query its state, start it, stop it, and send it a
// user-defined control code, on this machine or on another one. Three backends: systemd (the unit
// "tarno.service" is installed and systemd runs the machine), direct (the service's pidfile in
// its run directory, the program spawned in the background, SIGTERM to stop), and ssh (another
// machine, through "ssh -T HOST tarnoctl ...").
//
// Starting and stopping only ask, and TServiceWait takes the waiting one query at a time, so that
// a window can run it from its timer; StartServiceAndWait and StopServiceAndWait are the blocking
// loops for a command line. A query of another machine waits at most 2 s for ssh (then the last
// state stands); a systemctl or ssh command is killed after 15 s.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/errors.h"

class TClock;
class TProcessRunner;

// The service states as the service control manager numbers them.
constexpr int ServiceStopped = 1;
constexpr int ServiceStartPending = 2;
constexpr int ServiceStopPending = 3;
constexpr int ServiceRunning = 4;
constexpr int ServiceContinuePending = 5;
constexpr int ServicePausePending = 6;
constexpr int ServicePaused = 7;

// Commands sent as user-defined control codes: (command AND 0xC0) OR (slot AND 0x3F).
constexpr int CtrlNoAction = 0x80;
constexpr int CtrlProcessAllFiles = 0xC0;

// The text shown for a state ("Service est en cours d'exécution", ...; "Etat du service
// inconnu" for any other value).
std::string ServiceStateText(int State);

class EServiceControlError : public ETarnoError {
public:
    using ETarnoError::ETarnoError;
};

struct TServiceQuery {
    int State = ServiceStopped;
    uint32_t CheckPoint = 0; // grows while a pending start or stop makes progress
    uint32_t WaitHint = 0;   // milliseconds to wait before the next query while pending
    int Pid = 0;             // process of the running service, 0 when unknown or remote
};

// One opened service. Every operation raises EServiceControlError with the system's or the
// backend's text on failure.
class TServiceControl {
public:
    virtual ~TServiceControl() = default;
    virtual TServiceQuery Query() = 0;
    // Asks the service to start, or to stop; neither waits for the state to change.
    virtual void Start() = 0;
    virtual void Stop() = 0;
    // Sends the user-defined control code Code (128..255) to the running service.
    virtual void Control(int Code) = 0;
};

struct TServiceControlOptions {
    std::string Host;       // another machine reached through ssh; "" for this one
    std::string RunDir;     // run directory of the service ("" : the client's default)
    std::string Home;       // --home given to a service the direct backend starts ("": none)
    std::string ServiceExe; // the service program ("": "tarno" beside this program, else PATH)
    std::string UnitDir;    // where the systemd unit is looked for ("": the system's)
};

// Opens the service with the backend that fits Options: ssh when Host is set, systemd when the
// unit is installed and systemd runs, else direct.
std::unique_ptr<TServiceControl> OpenServiceControl(const TServiceControlOptions& Options,
                                                    TProcessRunner& Runner);
std::unique_ptr<TServiceControl> OpenSystemdServiceControl(TProcessRunner& Runner);
std::unique_ptr<TServiceControl> OpenDirectServiceControl(const TServiceControlOptions& Options,
                                                          TProcessRunner& Runner);
std::unique_ptr<TServiceControl> OpenSshServiceControl(const std::string& Host,
                                                       TProcessRunner& Runner);

// The start or stop of a service and the wait for it, one query per Step. The constructor asks
// for the start (or stop) and queries once. While not Done: wait NextDelayMs, then Step, which
// queries again and raises "Failed to start service" ("Failed to stop service") when the state
// is not reached and the checkpoint did not grow.
class TServiceWait {
public:
    enum TKind { StartService, StopService };
    TServiceWait(TServiceControl& Control, TKind Kind);

    bool Done() const;
    // The wait hint of the last query when starting; 2000 when stopping.
    int NextDelayMs() const;
    void Step();
    const TServiceQuery& Status() const { return FStatus; }

private:
    TServiceControl& FControl;
    TKind FKind;
    TServiceQuery FStatus;
};

// The blocking forms: the same steps with Clock.Sleep between them.
void StartServiceAndWait(TServiceControl& Control, TClock& Clock);
void StopServiceAndWait(TServiceControl& Control, TClock& Clock);

// Sends (Command AND 0xC0) OR (Slot AND 0x3F). Raises "Service is inaccessible" when
// IsServiceRunning is false, "Service is not running" when the query shows another state.
void SendCommand(TServiceControl& Control, int Command, int Slot, bool IsServiceRunning);
