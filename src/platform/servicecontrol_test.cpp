#include "platform/servicecontrol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/rundir.h"
#include "testing/fake_clock.h"
#include "testing/fake_processes.h"
#include "testing/fake_service_control.h"
#include "testing/temp_dir.h"

using ::testing::ElementsAre;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

using TArgv = std::vector<std::string>;

} // namespace

TEST(ServiceControl, StateTexts) {
    const char* Want[] = {"Etat du service inconnu",
                          "Service s'est arrêté",
                          "Service commence...",
                          "Service s'arrête...",
                          "Service est en cours d'exécution",
                          "Service reprenant...",
                          "Service en pause...",
                          "Service est en pause",
                          "Etat du service inconnu"};
    for (int State = 0; State <= 8; ++State) {
        EXPECT_EQ(ServiceStateText(State), Want[State]);
    }
}

TEST(ServiceWait, WaitsWhileTheCheckpointGrows) {
    TFakeClock Clock;
    TFakeServiceControl Control;
    Control.Script = {ServiceQuery(ServiceStartPending, 1, 300),
                      ServiceQuery(ServiceStartPending, 2, 700), ServiceQuery(ServiceRunning)};
    StartServiceAndWait(Control, Clock);
    EXPECT_THAT(Control.Calls, ElementsAre("start", "query", "query", "query"));
    EXPECT_EQ(Clock.SleepCount(), 2);
    EXPECT_DOUBLE_EQ(Clock.Now() * 86400000.0, 1000.0);

    // A start whose checkpoint never moves gets one wait hint.
    Control.Script = {ServiceQuery(ServiceStartPending, 0, 500)};
    Clock.Set(0);
    EXPECT_THAT([&] { StartServiceAndWait(Control, Clock); },
                ThrowsMessage<EServiceControlError>(StrEq("Failed to start service")));
    EXPECT_DOUBLE_EQ(Clock.Now() * 86400000.0, 500.0);

    Control.Script = {ServiceQuery(ServiceStopPending, 1), ServiceQuery(ServiceStopPending, 1)};
    Clock.Set(0);
    EXPECT_THAT([&] { StopServiceAndWait(Control, Clock); },
                ThrowsMessage<EServiceControlError>(StrEq("Failed to stop service")));
    EXPECT_DOUBLE_EQ(Clock.Now() * 86400000.0, 2000.0);

    Control.Script = {ServiceQuery(ServiceStopped)};
    StopServiceAndWait(Control, Clock); // already there: no wait
}

TEST(ServiceWait, CommandsGoToARunningServiceOnly) {
    TFakeServiceControl Control;
    Control.Script = {ServiceQuery(ServiceRunning)};
    SendCommand(Control, CtrlProcessAllFiles, 3, true);
    SendCommand(Control, CtrlNoAction | 0x3F, 64 + 5, true);
    EXPECT_THAT(Control.Calls, ElementsAre("query", "control 195", "query", "control 133"));
    EXPECT_THAT([&] { SendCommand(Control, CtrlProcessAllFiles, 3, false); },
                ThrowsMessage<EServiceControlError>(StrEq("Service is inaccessible")));
    Control.Script = {ServiceQuery(ServiceStopPending)};
    EXPECT_THAT([&] { SendCommand(Control, CtrlProcessAllFiles, 3, true); },
                ThrowsMessage<EServiceControlError>(StrEq("Service is not running")));
}

TEST(SystemdServiceControl, StartsStopsAndSignalsThroughSystemctl) {
    TFakeProcessRunner Runner;
    std::deque<std::string> States = {"inactive", "activating", "active"};
    Runner.OnRun = [&](const TArgv& Argv) -> TCommandResult {
        if (Argv[2] == "show") {
            const std::string State = States.front();
            if (States.size() > 1) {
                States.pop_front();
            }
            return {0, "MainPID=4321\nActiveState=" + State + "\n", ""};
        }
        return {0, "", ""};
    };
    Runner.LivePids = {4321};
    TFakeClock Clock;
    const auto Control = OpenSystemdServiceControl(Runner);
    StartServiceAndWait(*Control, Clock);
    EXPECT_EQ(Runner.Commands[0],
              (TArgv{"systemctl", "--no-ask-password", "start", "--no-block", "tarno.service"}));
    EXPECT_EQ(Runner.Commands[1], (TArgv{"systemctl", "--no-ask-password", "show",
                                         "--property=ActiveState,MainPID", "tarno.service"}));
    EXPECT_EQ(Runner.Commands.size(), 4u);

    SendCommand(*Control, CtrlProcessAllFiles, 2, true);
    ASSERT_EQ(Runner.Codes.size(), 1u);
    EXPECT_EQ(Runner.Codes[0].Pid, 4321);
    EXPECT_EQ(Runner.Codes[0].Signal, 194);

    States = {"active", "deactivating", "inactive"};
    StopServiceAndWait(*Control, Clock);
    EXPECT_EQ(Clock.SleepCount(), 2 + 2);

    // A unit that never leaves "inactive" after the start counts as starting for a while.
    States = {"inactive"};
    EXPECT_THAT([&] { StartServiceAndWait(*Control, Clock); },
                ThrowsMessage<EServiceControlError>(StrEq("Failed to start service")));

    Runner.OnRun = [](const TArgv&) {
        return TCommandResult{1, "", "Failed to start tarno.service: Access denied\n"};
    };
    EXPECT_THAT(
        [&] { StartServiceAndWait(*Control, Clock); },
        ThrowsMessage<EServiceControlError>(StrEq("Failed to start tarno.service: Access denied")));
}

TEST(DirectServiceControl, SpawnsTheServiceAndStopsItWithSigterm) {
    TTempDir Run;
    TFakeProcessRunner Runner;
    std::unique_ptr<TPidFile> Service; // the pidfile the "service" holds while it runs
    Runner.LivePids = {getpid()};
    Runner.OnSpawn = [&](int) {
        Service = std::make_unique<TPidFile>(Run.Dir());
        Run.Write("ZirInfo", "");
    };
    Runner.OnKill = [&](int, int Signal) {
        if (Signal == SIGTERM) {
            Service.reset();
        }
    };
    TServiceControlOptions Options;
    Options.RunDir = Run.Dir();
    Options.Home = "/srv/home";
    Options.ServiceExe = "/opt/tarno";
    const auto Control = OpenDirectServiceControl(Options, Runner);
    TFakeClock Clock;
    EXPECT_EQ(Control->Query().State, ServiceStopped);
    EXPECT_THAT([&] { Control->Control(195); },
                ThrowsMessage<EServiceControlError>(StrEq("Service is not running")));

    StartServiceAndWait(*Control, Clock);
    EXPECT_EQ(Runner.Commands.back(),
              (TArgv{"/opt/tarno", "--rundir", Run.Dir(), "--home", "/srv/home"}));
    EXPECT_EQ(Control->Query().Pid, getpid());
    EXPECT_THAT([&] { Control->Start(); }, ThrowsMessage<EServiceControlError>(StrEq(
                                               "An instance of the service is already running")));

    SendCommand(*Control, CtrlProcessAllFiles, 7, true);
    ASSERT_EQ(Runner.Codes.size(), 1u);
    EXPECT_EQ(Runner.Codes[0].Signal, 199);

    StopServiceAndWait(*Control, Clock);
    ASSERT_EQ(Runner.Signals.size(), 1u);
    EXPECT_EQ(Runner.Signals[0].Signal, SIGTERM);
    EXPECT_THAT([&] { Control->Stop(); },
                ThrowsMessage<EServiceControlError>(StrEq("The service has not been started")));

    // A program that ends without ever taking the pidfile.
    Runner.OnSpawn = [&](int Pid) { Runner.LivePids.erase(Pid); };
    EXPECT_THAT([&] { StartServiceAndWait(*Control, Clock); },
                ThrowsMessage<EServiceControlError>(StrEq("Failed to start service")));
}

TEST(SshServiceControl, RunsTarnoctlOnTheOtherMachine) {
    TFakeProcessRunner Runner;
    Runner.PollsUntilDone = 2;
    Runner.OnRun = [](const TArgv& Argv) {
        return Argv.back() == "state" ? TCommandResult{0, "4 0 0\n", ""}
                                      : TCommandResult{0, "", ""};
    };
    const auto Control = OpenSshServiceControl("store12", Runner);
    TFakeClock Clock;
    StartServiceAndWait(*Control, Clock);
    const TArgv Ssh = {"ssh", "-T", "-o", "BatchMode=yes", "--", "store12", "tarnoctl"};
    const auto With = [&](std::initializer_list<std::string> Args) {
        TArgv A = Ssh;
        A.insert(A.end(), Args);
        return A;
    };
    EXPECT_THAT(Runner.Commands, ElementsAre(With({"start"}), With({"state"})));
    EXPECT_EQ(Clock.SleepCount(), 2);

    Control->Control(195);
    EXPECT_EQ(Runner.Commands.back(), With({"reprocess", "3"}));

    Runner.OnRun = [](const TArgv&) {
        return TCommandResult{1, "", "tarnoctl: Failed to stop service\n"};
    };
    EXPECT_THAT([&] { StopServiceAndWait(*Control, Clock); },
                ThrowsMessage<EServiceControlError>(StrEq("tarnoctl: Failed to stop service")));

    // A state that is late: the last one stands, or there is none yet.
    Runner.OnRun = [](const TArgv&) { return TCommandResult{0, "4 0 0\n", ""}; };
    EXPECT_EQ(Control->Query().State, ServiceRunning);
    Runner.WaitTimesOut = true;
    EXPECT_EQ(Control->Query().State, ServiceRunning);
    EXPECT_THAT([&] { OpenSshServiceControl("store12", Runner)->Query(); },
                ThrowsMessage<EServiceControlError>(StrEq("Timeout waiting for store12")));

    EXPECT_THROW(OpenSshServiceControl("-oProxyCommand=x", Runner), EServiceControlError);
}

TEST(OpenServiceControl, PicksTheBackendOfTheOptions) {
    TFakeProcessRunner Runner;
    Runner.OnRun = [](const TArgv&) { return TCommandResult{0, "1 0 0\n", ""}; };
    TServiceControlOptions Remote;
    Remote.Host = "store12";
    EXPECT_EQ(OpenServiceControl(Remote, Runner)->Query().State, ServiceStopped);
    ASSERT_EQ(Runner.Commands.size(), 1u);
    EXPECT_EQ(Runner.Commands[0][0], "ssh");

    // A run directory of its own is never the system's unit: nothing is run to query it.
    TTempDir Run;
    TServiceControlOptions Local;
    Local.RunDir = Run.Dir();
    EXPECT_EQ(OpenServiceControl(Local, Runner)->Query().State, ServiceStopped);
    EXPECT_EQ(Runner.Commands.size(), 1u);
}
