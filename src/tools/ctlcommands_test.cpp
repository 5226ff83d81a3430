#include "tools/ctlcommands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "pipe/ft_control.h"
#include "pipe/pipeclient.h"
#include "pipe/srvpipe.h"
#include "pipe/test_gated_server.h"
#include "platform/servicecontrol.h"
#include "platform/transport.h"
#include "testing/fake_clock.h"
#include "testing/fake_service_control.h"
#include "testing/fake_transport.h"
#include "testing/temp_dir.h"
#include "testing/thread_clock.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

std::string StatsAnswer() {
    std::string Data(StatsDataLength, '\0');
    TPipeStats P;
    P.Connections = 1234567;
    P.StartTime.wYear = 2008;
    P.StartTime.wMonth = 3;
    P.StartTime.wDay = 25;
    EncodePipeStats(P, Data.data());
    TRorozoraSrvStats S;
    S.VersionMajor = 1;
    S.VersionRelease = 4;
    CopyStatusText(S.LastFileOk, "in/a \"q\".txt");
    S.LastFileOkAt = P.StartTime;
    CopyStatusText(S.LastErrorText, "bad\tbyte \xe9");
    EncodeSrvStats(S, Data.data() + PipeStatsSize);
    return BuildMessage(AnsGetStats, Data);
}

class Tarnoctl : public ::testing::Test {
protected:
    int Run(std::vector<std::string> Args) {
        Out.str("");
        Err.str("");
        std::string Error;
        const auto Options = ParseCtlArgs(Args, Error);
        if (!Options) {
            Err << Error;
            return CtlExitUsage;
        }
        TCtlEnvironment Env{Transport, Control, Clock, Out, Err, 1000};
        return RunCtlCommand(*Options, Env);
    }
    TTempDir Dir;
    TFakeTransport Transport;
    TFakeServiceControl Control;
    TFakeClock Clock{EncodeDateTime(2008, 3, 25, 17, 0, 0, 0)};
    std::ostringstream Out;
    std::ostringstream Err;
};

} // namespace

TEST(TarnoctlArgs, RefusesWhatItCannotDo) {
    struct {
        std::vector<std::string> Args;
        const char* Error; // "" when the line is good
    } Cases[] = {
        {{"status"}, ""},
        {{"--pc", "store12", "status", "--json"}, ""},
        {{"--rundir", "/tmp/r", "reprocess", "3"}, ""},
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command \"frobnicate\""},
        {{"status", "x"}, "status takes no arguments"},
        {{"get-config"}, "get-config takes one argument"},
        {{"start", "--json"}, "--json goes with status only"},
        {{"--pc"}, "--pc needs a value"},
        {{"--pc", "-oProxyCommand=x", "status"}, "invalid host name \"-oProxyCommand=x\""},
        {{"--pc", "h", "--rundir", "/r", "status"},
         "--rundir names a directory of this machine; it does not go with --pc"},
        {{"--pc", "h", "bridge"},
         "bridge runs on the service's own machine; it does not go with --pc"},
        {{"status", "--verbose"}, "unknown option \"--verbose\""},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Error);
        std::string Error;
        EXPECT_EQ(ParseCtlArgs(C.Args, Error).has_value(), *C.Error == '\0');
        EXPECT_EQ(Error, C.Error);
    }
}

TEST_F(Tarnoctl, StatusShowsThePagesOrOneJsonObject) {
    Transport.OnRequest = [](const std::string&, std::string_view) { return StatsAnswer(); };
    Control.Script = {ServiceQuery(ServiceRunning)};
    ASSERT_EQ(Run({"status"}), 0);
    const std::string Text = Out.str();
    EXPECT_THAT(Text, HasSubstr("  Service                               Service est en cours "
                                "d'exécution\n"));
    EXPECT_THAT(Text, HasSubstr("  Dernier fichier traite sans erreur    in/a \"q\".txt  "
                                "25.03.2008 00:00:00\n"));
    EXPECT_THAT(Text, HasSubstr("  Version du Service:                   1.0.4\n"));
    EXPECT_THAT(Text, HasSubstr("  Heure du contrôle suivant             -\n"));
    EXPECT_THAT(Text, HasSubstr("       1234567\n"));

    ASSERT_EQ(Run({"status", "--json"}), 0);
    const std::string Json = Out.str();
    EXPECT_THAT(Json, HasSubstr("\n  \"state\": 4,\n"));
    EXPECT_THAT(Json, HasSubstr("\n  \"lastFileOk\": \"in/a \\\"q\\\".txt\",\n"));
    EXPECT_THAT(Json, HasSubstr("\n  \"lastFileOkAt\": \"2008-03-25T00:00:00.000\",\n"));
    EXPECT_THAT(Json, HasSubstr("\n  \"lastError\": \"bad\\u0009byte \\u00e9\",\n"));
    EXPECT_THAT(Json, HasSubstr("\n  \"nextCheckAt\": null,\n"));
    EXPECT_THAT(Json, HasSubstr("\n  \"connections\": 1234567,\n"));
    EXPECT_TRUE(Json.starts_with("{\n") && Json.ends_with("\n}\n"));

    Transport.ConnectError = "No such file or directory (/run/tarno/ZirInfo)";
    EXPECT_EQ(Run({"status"}), 1);
    EXPECT_EQ(Err.str(), "tarnoctl: No such file or directory (/run/tarno/ZirInfo)\n");
    EXPECT_EQ(Out.str(), "");
}

TEST_F(Tarnoctl, ConfigurationRoundTrip) {
    std::string Stored = "[General]\r\nTimeBetweenActions=60\r\n";
    Transport.OnRequest = [&](const std::string&, std::string_view Request) {
        if (MessageNameIs(Request.data(), ReqGetConfig)) {
            return BuildMessage(AnsGetConfig, Stored);
        }
        Stored = std::string(Request.substr(MessageHeaderSize));
        return BuildMessage(AnsSetConfig);
    };
    const std::string File = Dir.Path("copy.ini");
    ASSERT_EQ(Run({"get-config", File}), 0);
    EXPECT_EQ(Dir.Read("copy.ini"), Stored);
    Dir.Write("copy.ini", "[General]\r\nTimeBetweenActions=5\r\n");
    ASSERT_EQ(Run({"set-config", File}), 0);
    EXPECT_EQ(Stored, "[General]\r\nTimeBetweenActions=5\r\n");
    EXPECT_THAT(Out.str(), HasSubstr("tarnoctl restart"));

    EXPECT_EQ(Run({"set-config", Dir.Path("missing.ini")}), 1);
    EXPECT_THAT(Err.str(), HasSubstr("missing.ini"));
}

TEST_F(Tarnoctl, ServiceCommands) {
    Control.Script = {ServiceQuery(ServiceRunning)};
    EXPECT_EQ(Run({"reprocess", "3"}), 0);
    EXPECT_EQ(Run({"reprocess", "64"}), 2);
    EXPECT_EQ(Run({"start"}), 0);
    EXPECT_EQ(Out.str(), "The service is running already on cet PC\n");
    EXPECT_THAT(Control.Calls, ElementsAre("query", "query", "control 195", "query"));

    Control.Calls.clear();
    Control.Script = {ServiceQuery(ServiceRunning), ServiceQuery(ServiceStopped),
                      ServiceQuery(ServiceRunning)};
    EXPECT_EQ(Run({"restart"}), 0);
    EXPECT_THAT(Control.Calls, ElementsAre("query", "stop", "query", "start", "query"));

    Control.Calls.clear();
    Control.Script = {ServiceQuery(ServiceStopped)};
    EXPECT_EQ(Run({"reprocess", "3"}), 1);
    EXPECT_EQ(Err.str(), "tarnoctl: Service is inaccessible\n");
    Control.Script = {ServiceQuery(ServiceStopped), ServiceQuery(ServiceStartPending, 0, 10)};
    EXPECT_EQ(Run({"start"}), 1);
    EXPECT_EQ(Err.str(), "tarnoctl: Failed to start service\n");
    EXPECT_EQ(Run({"state"}), 0);
    EXPECT_EQ(Out.str(), "2 0 10\n");
}

// The whole road of --pc except ssh: the built tarnoctl as the far end of a bridge, in front of
// real servers.
TEST(TarnoctlBridge, CarriesEveryExchangeToTheOtherSidesSockets) {
    TTempDir Run;
    TTempDir Local;
    TThreadFakeClock Clock(EncodeDateTime(2008, 3, 25, 17, 0, 0, 0));
    Run.Write("tarno.ini", "[General]\r\n");
    auto Info = std::make_unique<TRorozoraSrvInfo>(Run.Path(InfoPipeName), 4, Clock);
    auto Control = std::make_unique<TRorozoraSrvControl>(Run.Path(ControlPipeName),
                                                         Run.Path("tarno.ini"), 1, Clock);
    Info->Start();
    Control->Start();

    TBridgeTransport Bridge({TARNOCTL_EXE, "--rundir", Run.Dir(), "bridge"});
    TPipeClient Client(Bridge, 10000);
    Client.LocalConfigFileName = Local.Path("tarno_local.ini");
    ASSERT_EQ(Client.RequestStats().StatusText, "");
    EXPECT_TRUE(Client.RequestStats().Ok);
    EXPECT_EQ(Client.LastPipeStats().Requests, 2u);
    Client.FetchConfig();
    EXPECT_EQ(Local.Read("tarno_local.ini"), "[General]\r\n");
    Local.Write("tarno_local.ini", "[General]\r\nLogDetailed=1\r\n");
    Client.SendConfig();
    EXPECT_EQ(Run.Read("tarno.ini"), "[General]\r\nLogDetailed=1\r\n");

    Control.reset();
    EXPECT_THAT(Client.Transact(InfoPipeName, BuildMessage("REQGETSTATS")).size(),
                StatsAnswerSize); // the bridge is still there
    try {
        Client.FetchConfig();
        ADD_FAILURE() << "fetched from a stopped server";
    } catch (const EPipeClientError& E) {
        EXPECT_THAT(E.what(), HasSubstr("No such file or directory"));
    }

    // An answer that comes after its time-out is dropped: the next request gets its own.
    Info.reset();
    TGatedEchoServer Echo(Run.Path(InfoPipeName), 1, 0666, Clock);
    Echo.Start();
    const std::string First = BuildMessage("FIRST");
    const std::string Second = BuildMessage("SECOND");
    {
        auto Connection = Bridge.Connect(InfoPipeName, 50);
        Connection->Send(First, 50);
        EXPECT_THROW(Connection->Receive(50), ETransportError); // held back by the server
    }
    Echo.Release(2);
    auto Connection = Bridge.Connect(InfoPipeName, 10000);
    Connection->Send(Second, 10000);
    EXPECT_EQ(Connection->Receive(10000), Second);

    TBridgeTransport Broken({TARNOCTL_EXE, "--rundir"});
    TPipeClient Nowhere(Broken, 10000);
    EXPECT_THAT(Nowhere.RequestStats().StatusText, HasSubstr("--rundir needs a value"));
}
