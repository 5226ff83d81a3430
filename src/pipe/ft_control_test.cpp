#include "pipe/ft_control.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <random>
#include <string>

#include "common/datetime.h"
#include "platform/transport.h"
#include "testing/temp_dir.h"
#include "testing/thread_clock.h"

namespace {

class ControlServers : public ::testing::Test {
protected:
    ControlServers() {
        Info.OnFillStatistics = [this](char* Record) {
            TRorozoraSrvStats S;
            S.VersionMajor = 7;
            CopyStatusText(S.LastEventText, "hello");
            EncodeSrvStats(S, Record);
            ++Fills;
        };
        Control.OnConfigRetrieved = [this] { ++Retrieved; };
        Control.OnConfigUpdated = [this] { ++Updated; };
        Info.Start();
        Control.Start();
    }

    std::string Transact(const char* Pipe, const std::string& Request) {
        const auto Connection = Transport.Connect(Pipe, 5000);
        Connection->Send(Request, 5000);
        return Connection->Receive(5000);
    }
    static std::string Name(const std::string& Answer) {
        return Answer.size() < 16 ? "<short>" : std::string(Answer.c_str());
    }
    static int32_t Error(const std::string& Answer) {
        return DecodeMessageHeader(Answer.data()).Error;
    }

    TTempDir Dir;
    TThreadFakeClock Clock{EncodeDateTime(2008, 3, 25, 17, 4, 5, 0)};
    std::string Config = Dir.Path("tarno.ini");
    TRorozoraSrvInfo Info{Dir.Path(InfoPipeName), InfoPipeInstances, Clock};
    TRorozoraSrvControl Control{Dir.Path(ControlPipeName), Config, ControlPipeInstances, Clock};
    TUnixTransport Transport{Dir.Dir()};
    int Fills = 0;
    int Retrieved = 0;
    int Updated = 0;
};

} // namespace

TEST_F(ControlServers, UnknownRequestsAndRequestsToTheOtherSocket) {
    Dir.Write("tarno.ini", "[General]\r\n");
    struct {
        const char* Pipe;
        std::string Request;
    } Cases[] = {
        {ControlPipeName, BuildMessage(ReqGetStats)},
        {InfoPipeName, BuildMessage(ReqGetConfig)},
        {InfoPipeName, BuildMessage(ReqSetConfig, "x")},
        {InfoPipeName, BuildMessage("reqgetstats")},
        {ControlPipeName, BuildMessage("reqgetconfig")},
        {InfoPipeName, BuildMessage(ReqGetStats).substr(0, 27)},
        {ControlPipeName, BuildMessage(ReqGetConfig).substr(0, 27)},
        {InfoPipeName, std::string("REQGETSTATSXXXXXyyyyyyyyyyyy")},
        {ControlPipeName, std::string(400, '\xff')},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Request.substr(0, 16));
        const std::string Answer = Transact(C.Pipe, C.Request);
        EXPECT_EQ(Answer, BuildMessage(AnsReqUnknown));
    }
    EXPECT_EQ(Fills + Retrieved + Updated, 0);
    EXPECT_EQ(Dir.Read("tarno.ini"), "[General]\r\n");
}

TEST_F(ControlServers, StatisticsAnswerCarriesCountersAndRecord) {
    const auto Connection = Transport.Connect(InfoPipeName, 5000);
    std::string Answer;
    for (int I = 0; I < 2; ++I) {
        Connection->Send(BuildMessage(ReqGetStats), 5000);
        Answer = Connection->Receive(5000);
    }
    ASSERT_EQ(Answer.size(), StatsAnswerSize);
    const TPipeMessageHeader H = DecodeMessageHeader(Answer.data());
    EXPECT_STREQ(H.Name, AnsGetStats);
    EXPECT_EQ(H.DataLength, 567);
    const TPipeStats P = DecodePipeStats(Answer.data() + PipeStatsOffset);
    EXPECT_EQ(P.Connections, 1u);
    EXPECT_EQ(P.Requests, 2u);
    EXPECT_EQ(P.Answers, 1u); // the answer being built is not yet counted
    EXPECT_EQ(P.StartTime.wYear, 2008);
    const TRorozoraSrvStats S = DecodeSrvStats(Answer.data() + SrvStatsOffset);
    EXPECT_EQ(S.RecordSize, 511);
    EXPECT_EQ(S.VersionMajor, 7);
    EXPECT_STREQ(S.LastEventText, "hello");
    EXPECT_EQ(Fills, 2);
}

TEST_F(ControlServers, OtherRequestsGoToOnRequestWhenItAnswers) {
    TRorozoraSrvInfo Custom(Dir.Path("custom"), 1, Clock);
    Custom.OnRequest = [](const char* Request, uint32_t, uint32_t& AnswerLength, uint32_t,
                          char* Answer) {
        if (!MessageNameIs(Request, "PING")) {
            return false;
        }
        std::memcpy(Answer, "PONG", 4);
        AnswerLength = 4;
        return true;
    };
    Custom.Start();
    const auto Connection = Transport.Connect("custom", 5000);
    Connection->Send(BuildMessage("PING"), 5000);
    EXPECT_EQ(Connection->Receive(5000), "PONG");
    Connection->Send(BuildMessage("PANG"), 5000);
    EXPECT_EQ(Connection->Receive(5000), BuildMessage(AnsReqUnknown));
    Connection->Send(BuildMessage(ReqGetStats), 5000);
    EXPECT_EQ(Connection->Receive(5000).size(), StatsAnswerSize);
}

TEST_F(ControlServers, ConfigurationIsHandedOutWholeOrRefused) {
    struct {
        size_t Size;
        bool Whole;
    } Cases[] = {{0, true}, {100, true}, {MaxConfigSize, true}, {MaxConfigSize + 1, false}};
    int WantRetrieved = 0;
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Size);
        std::string Content(C.Size, 'c');
        for (size_t I = 0; I < Content.size(); I += 7) {
            Content[I] = static_cast<char>('0' + I % 10);
        }
        Dir.Write("tarno.ini", Content);
        const std::string Answer = Transact(ControlPipeName, BuildMessage(ReqGetConfig));
        EXPECT_EQ(Name(Answer), AnsGetConfig);
        if (C.Whole) {
            ++WantRetrieved;
            EXPECT_EQ(Error(Answer), 0);
            EXPECT_EQ(Answer.size(), MessageHeaderSize + C.Size);
            EXPECT_EQ(Answer.substr(MessageHeaderSize), Content);
        } else {
            EXPECT_EQ(Answer, BuildMessage(AnsGetConfig, "", 1));
        }
        EXPECT_EQ(Retrieved, WantRetrieved);
    }
    unlink(Config.c_str());
    EXPECT_EQ(Transact(ControlPipeName, BuildMessage(ReqGetConfig)),
              BuildMessage(AnsGetConfig, "", 1));
    EXPECT_EQ(Retrieved, WantRetrieved);
}

TEST_F(ControlServers, ConfigurationIsReplacedOnlyWhenEveryAnnouncedByteCame) {
    Dir.Write("tarno.ini", "old");
    const auto WithLength = [](std::string Message, int32_t Length) {
        PutLE32(Message.data() + HeaderDataLengthOffset, static_cast<uint32_t>(Length));
        return Message;
    };
    struct {
        const char* What;
        std::string Request;
        int32_t Error;
        const char* File;
    } Cases[] = {
        {"announces more than sent", WithLength(BuildMessage(ReqSetConfig, "new"), 4), 1, "old"},
        {"negative length", WithLength(BuildMessage(ReqSetConfig, "new"), -1), 1, "old"},
        {"huge length", WithLength(BuildMessage(ReqSetConfig, "new"), 0x7FFFFFFF), 1, "old"},
        {"exact", BuildMessage(ReqSetConfig, "[General]\r\nA=1\r\n"), 0, "[General]\r\nA=1\r\n"},
        {"trailing bytes", WithLength(BuildMessage(ReqSetConfig, "abcdef"), 3), 0, "abc"},
        {"empty", BuildMessage(ReqSetConfig), 0, ""},
        {"largest", BuildMessage(ReqSetConfig, std::string(MaxConfigSize, 'z')), 0, nullptr},
    };
    int WantUpdated = 0;
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.What);
        const std::string Answer = Transact(ControlPipeName, C.Request);
        EXPECT_EQ(Answer, BuildMessage(AnsSetConfig, "", C.Error));
        WantUpdated += C.Error == 0;
        EXPECT_EQ(Updated, WantUpdated);
        EXPECT_EQ(Dir.Read("tarno.ini"), C.File ? C.File : std::string(MaxConfigSize, 'z'));
    }
}

TEST_F(ControlServers, FailedWriteIsReported) {
    TRorozoraSrvControl Below(Dir.Path("below"), Dir.Write("file", "") + "/tarno.ini", 1, Clock);
    Below.Start();
    const auto Connection = Transport.Connect("below", 5000);
    Connection->Send(BuildMessage(ReqSetConfig, "x"), 5000);
    EXPECT_EQ(Connection->Receive(5000), BuildMessage(AnsSetConfig, "", 2));
}

TEST_F(ControlServers, GarbageNeverHarmsTheServersOrTheFile) {
    Dir.Write("tarno.ini", "[General]\r\n");
    std::mt19937 Random(12);
    for (int I = 0; I < 200; ++I) {
        const size_t Size = std::uniform_int_distribution<size_t>(0, 300)(Random);
        std::string Bytes(Size, '\0');
        for (char& C : Bytes) {
            C = static_cast<char>(Random() & 0xFF);
        }
        if (Size >= MessageNameSize && I % 3 == 0) {
            // A known name with a random rest, so that the length checks are reached.
            std::memcpy(Bytes.data(), I % 2 ? "REQSETCONFIG\0" : "REQGETSTATS\0", 13);
        }
        const char* Pipe = I % 2 ? ControlPipeName : InfoPipeName;
        SCOPED_TRACE(I);
        try {
            const std::string Answer = Transact(Pipe, Bytes);
            EXPECT_GE(Answer.size(), MessageHeaderSize);
        } catch (const ETransportError&) {
            EXPECT_EQ(Size, 0u); // only an empty message is dropped without an answer
        }
    }
    // A random REQSETCONFIG may have replaced the file, but only with bytes it really carried.
    EXPECT_EQ(Transact(InfoPipeName, BuildMessage(ReqGetStats)).size(), StatsAnswerSize);
    EXPECT_EQ(Transact(ControlPipeName, BuildMessage(ReqGetConfig)).substr(0, 12), "ANSGETCONFIG");
}

TEST_F(ControlServers, SocketPermissions) {
    struct stat St;
    ASSERT_EQ(stat(Dir.Path(InfoPipeName).c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 0777, 0666u);
    ASSERT_EQ(stat(Dir.Path(ControlPipeName).c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 0777, 0660u);
}
