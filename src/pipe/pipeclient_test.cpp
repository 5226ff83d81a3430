#include "pipe/pipeclient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "common/errors.h"
#include "testing/fake_transport.h"
#include "testing/temp_dir.h"

using ::testing::StrEq;
using ::testing::ThrowsMessage;

namespace {

std::string StatsAnswer(size_t Size = StatsAnswerSize) {
    std::string Data(StatsDataLength, '\0');
    TPipeStats P;
    P.Requests = 9;
    EncodePipeStats(P, Data.data());
    TRorozoraSrvStats S;
    CopyStatusText(S.LastFileOk, "in/a.txt");
    EncodeSrvStats(S, Data.data() + PipeStatsSize);
    return BuildMessage(AnsGetStats, Data).substr(0, Size);
}

class PipeClient : public ::testing::Test {
protected:
    PipeClient() { Client.LocalConfigFileName = Dir.Path("tarno_local.ini"); }
    void Answer(std::string Bytes) {
        Transport.OnRequest = [Bytes](const std::string&, std::string_view) { return Bytes; };
    }
    TTempDir Dir;
    TFakeTransport Transport;
    TPipeClient Client{Transport, 750};
};

} // namespace

TEST_F(PipeClient, StatisticsTakenOnlyFromAWholeAnswer) {
    Answer(StatsAnswer());
    TStatsResult R = Client.RequestStats();
    EXPECT_TRUE(R.Ok);
    EXPECT_EQ(R.StatusText, "");
    EXPECT_EQ(Client.LastPipeStats().Requests, 9u);
    EXPECT_STREQ(Client.LastSrvStats().LastFileOk, "in/a.txt");
    ASSERT_EQ(Transport.Requests.size(), 1u);
    EXPECT_EQ(Transport.Requests[0].PipeName, "ZirInfo");
    EXPECT_EQ(Transport.Requests[0].Bytes, BuildMessage("REQGETSTATS"));
    EXPECT_EQ(Transport.LastTimeoutMs, 750);

    struct {
        std::string Answer;
        const char* Status;
    } Cases[] = {
        {StatsAnswer(594), "Length error"},
        {StatsAnswer(27), "Length error"},
        {"", "Length error"},
        {BuildMessage(AnsReqUnknown), ""},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Status);
        Answer(C.Answer);
        R = Client.RequestStats();
        EXPECT_FALSE(R.Ok);
        EXPECT_EQ(R.StatusText, C.Status);
        EXPECT_EQ(Client.LastPipeStats().Requests, 9u); // the last values stay
    }
    Transport.Silent = true;
    EXPECT_EQ(Client.RequestStats().StatusText, "Timeout waiting for the service");
    Transport.ConnectError = "No such file or directory";
    EXPECT_EQ(Client.RequestStats().StatusText, "No such file or directory");
}

TEST_F(PipeClient, FetchStoresOnlyAWholeConfiguration) {
    Dir.Write("tarno_local.ini", "previous");
    std::string Announced100 = BuildMessage(AnsGetConfig, std::string(100, 'x')).substr(0, 118);
    struct {
        std::string Answer;
        const char* Error;
    } Bad[] = {
        {Announced100, "Length error"},
        {BuildMessage(AnsGetConfig).substr(0, 27), "Length error"},
        {BuildMessage(AnsReqUnknown), "Wrong quittance from Zalmoret Service"},
        {BuildMessage(AnsGetConfig, "", 1), "The service could not read its configuration file"},
        {BuildMessage(AnsGetConfig), "The service sent an empty configuration file"},
    };
    for (const auto& C : Bad) {
        SCOPED_TRACE(C.Error);
        Answer(C.Answer);
        EXPECT_THAT([&] { Client.FetchConfig(); }, ThrowsMessage<EPipeClientError>(StrEq(C.Error)));
        EXPECT_EQ(Dir.Read("tarno_local.ini"), "previous");
    }
    Answer(BuildMessage(AnsGetConfig, "[General]\r\n"));
    Client.FetchConfig();
    EXPECT_EQ(Dir.Read("tarno_local.ini"), "[General]\r\n");
    EXPECT_EQ(Transport.Requests.back().PipeName, "ZirControl");
    EXPECT_EQ(Transport.Requests.back().Bytes, BuildMessage("REQGETCONFIG"));

    Client.LocalConfigFileName = Dir.Write("file", "") + "/tarno_local.ini";
    EXPECT_THROW(Client.FetchConfig(), EOSError);
}

TEST_F(PipeClient, SendChecksTheLocalCopyAndTheAnswer) {
    Dir.Write("tarno_local.ini", "[General]\r\nTimeBetweenActions=30\r\n");
    Answer(BuildMessage(AnsSetConfig));
    Client.SendConfig();
    EXPECT_EQ(Transport.Requests.back().Bytes,
              BuildMessage("REQSETCONFIG", "[General]\r\nTimeBetweenActions=30\r\n"));

    Client.ForcedTimeBetweenActions = 120;
    Client.SendConfig();
    EXPECT_EQ(Transport.Requests.back().Bytes,
              BuildMessage("REQSETCONFIG", "[General]\r\nTimeBetweenActions=120\r\n"));

    struct {
        std::string Answer;
        const char* Error;
    } Bad[] = {
        {BuildMessage(AnsReqUnknown), "Wrong quittance from Zalmoret Service"},
        {"short", "Length error"},
        {BuildMessage(AnsSetConfig, "", 1), "Length error"},
        {BuildMessage(AnsSetConfig, "", 2), "The service could not write its configuration file"},
    };
    for (const auto& C : Bad) {
        SCOPED_TRACE(C.Error);
        Answer(C.Answer);
        EXPECT_THAT([&] { Client.SendConfig(); }, ThrowsMessage<EPipeClientError>(StrEq(C.Error)));
    }

    const size_t Before = Transport.Requests.size();
    Client.ForcedTimeBetweenActions = 0;
    Dir.Write("tarno_local.ini", std::string(MaxConfigSize + 1, 'x'));
    EXPECT_THROW(Client.SendConfig(), EPipeClientError);
    Dir.Write("tarno_local.ini", std::string(MaxConfigSize, 'x'));
    Answer(BuildMessage(AnsSetConfig));
    Client.SendConfig();
    EXPECT_EQ(Transport.Requests.size(), Before + 1); // the oversized copy was never sent

    Client.LocalConfigFileName = Dir.Path("missing.ini");
    EXPECT_THROW(Client.SendConfig(), EPipeClientError);
    EXPECT_EQ(Transport.Requests.size(), Before + 1);
}

TEST(PipeClientTexts, NameThisMachineOrTheOther) {
    EXPECT_EQ(FetchConfigText(""), "reçois la configuration de cet PC...");
    EXPECT_EQ(SendConfigText("store12"), "envoie la configuration à store12...");
}
