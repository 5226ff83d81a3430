#include "service/socketservers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "common/debuglog.h"
#include "common/home.h"
#include "pipe/ft_protocol.h"
#include "platform/transport.h"
#include "service/fcssrv.h"
#include "testing/fake_service_host.h"
#include "testing/log_texts.h"
#include "testing/temp_dir.h"
#include "testing/thread_clock.h"

using ::testing::Contains;
using ::testing::IsSupersetOf;

namespace {

class SocketServersTest : public ::testing::Test {
protected:
    SocketServersTest() {
        for (const char* Name : {"TEMP", "TMP"}) {
            const char* Value = std::getenv(Name);
            Saved.push_back(Value ? std::optional<std::string>(Value) : std::nullopt);
        }
        InitHome(Home.Dir());
        SetLogClock(&Clock);
        Pipes.Bind(Service);
    }
    ~SocketServersTest() override {
        SetLogClock(nullptr);
        SetLogFile(nullptr, "debug.txt");
        const char* Names[] = {"TEMP", "TMP"};
        for (size_t I = 0; I < 2; ++I) {
            if (Saved[I]) {
                setenv(Names[I], Saved[I]->c_str(), 1);
            } else {
                unsetenv(Names[I]);
            }
        }
    }

    std::string Transact(const char* Pipe, const std::string& Request) {
        const auto Connection = Transport.Connect(Pipe, 5000);
        Connection->Send(Request, 5000);
        return Connection->Receive(5000);
    }
    std::vector<std::string> LogTexts() const { return LogLineTexts(Home.Read("tarno.log")); }

    std::vector<std::optional<std::string>> Saved;
    TTempDir Home;
    TTempDir Run;
    TThreadFakeClock Clock{EncodeDateTime(2008, 3, 25, 17, 0, 0, 0)};
    TFakeServiceHost Host;
    TSocketPipeServers Pipes{Run.Dir(), "", Clock};
    TFcService Service{{Clock, Host, Pipes, nullptr}};
    TUnixTransport Transport{Run.Dir()};
};

} // namespace

TEST_F(SocketServersTest, ServiceAnswersOnItsSocketsWhileItRuns) {
    Home.Write("tarno.ini", "[General]\r\nLogDetailed=1\r\n");
    bool Started = true;
    Service.ServiceStart(Started);
    ASSERT_TRUE(Started);

    const std::string Stats = Transact(InfoPipeName, BuildMessage(ReqGetStats));
    ASSERT_EQ(Stats.size(), StatsAnswerSize);
    const TRorozoraSrvStats Record = DecodeSrvStats(Stats.data() + SrvStatsOffset);
    EXPECT_EQ(Record.RecordSize, 511);
    EXPECT_FALSE(Record.Busy);
    EXPECT_STREQ(Record.LastEventText, "Pipe server \"ZirControl\" started");
    EXPECT_EQ(Record.LastEventAt.wHour, 17);
    EXPECT_EQ(Record.LastErrorAt.wYear, 0);

    const std::string Config = Transact(ControlPipeName, BuildMessage(ReqGetConfig));
    EXPECT_EQ(Config.substr(MessageHeaderSize), "[General]\r\nLogDetailed=1\r\n");
    EXPECT_EQ(Transact(ControlPipeName, BuildMessage(ReqSetConfig, "[General]\r\n")),
              BuildMessage(AnsSetConfig));
    EXPECT_EQ(Home.Read("tarno.ini"), "[General]\r\n");

    bool Stopped = true;
    Service.ServiceStop(Stopped);
    struct stat St;
    EXPECT_NE(stat(Run.Path(InfoPipeName).c_str(), &St), 0);
    EXPECT_NE(stat(Run.Path(ControlPipeName).c_str(), &St), 0);
    EXPECT_THAT(LogTexts(), IsSupersetOf({"Pipe server \"ZirInfo\" started",
                                          "Service configuration file retrieved by client",
                                          "Service configuration file updated by client",
                                          "Pipe server \"ZirControl\" stopped",
                                          "Pipe server \"ZirInfo\" stopped"}));
}

TEST_F(SocketServersTest, SocketThatCannotBeMadeFailsTheStart) {
    Home.Write("tarno.ini", "[General]\r\n");
    Run.Write("ZirInfo", "not a socket");
    bool Started = true;
    Service.ServiceStart(Started);
    EXPECT_FALSE(Started);
    EXPECT_THAT(LogTexts(), Contains("Failed to create pipe instance: Address already in use"));
    EXPECT_EQ(Run.Read("ZirInfo"), "not a socket");
}
