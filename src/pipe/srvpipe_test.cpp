#include "pipe/srvpipe.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/errors.h"
#include "common/fdio.h"
#include "pipe/test_gated_server.h"
#include "platform/transport.h"
#include "testing/temp_dir.h"
#include "testing/thread_clock.h"

namespace {

// A raw client of a SEQPACKET socket, for what the transport refuses to send.
class TRawClient {
public:
    explicit TRawClient(const std::string& Path)
        : FFd(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0)) {
        sockaddr_un A{};
        A.sun_family = AF_UNIX;
        std::strncpy(A.sun_path, Path.c_str(), sizeof(A.sun_path) - 1);
        Connected = connect(FFd.Get(), reinterpret_cast<sockaddr*>(&A), sizeof(A)) == 0;
    }
    bool Send(const std::string& Bytes) {
        return send(FFd.Get(), Bytes.data(), Bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(Bytes.size());
    }
    bool SendNoWait(const std::string& Bytes) {
        return send(FFd.Get(), Bytes.data(), Bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT) ==
               static_cast<ssize_t>(Bytes.size());
    }
    // The next message; "<closed>" at the end of the connection, "<timeout>" after 5 s.
    std::string Receive() {
        pollfd P{FFd.Get(), POLLIN, 0};
        if (poll(&P, 1, 5000) != 1) {
            return "<timeout>";
        }
        std::string Buffer(20000, '\0');
        const ssize_t N = recv(FFd.Get(), Buffer.data(), Buffer.size(), 0);
        if (N <= 0) {
            return "<closed>";
        }
        Buffer.resize(static_cast<size_t>(N));
        return Buffer;
    }
    int Fd() const { return FFd.Get(); }
    bool Connected = false;

private:
    TFd FFd;
};

// Answers every request with Size bytes of 'a'.
class TBigAnswerServer : public TPipeServer {
public:
    using TPipeServer::TPipeServer;
    ~TBigAnswerServer() override { Shutdown(); }
    uint32_t Size = PipeBufferSize;

protected:
    void HandleRequest(const char*, uint32_t, char* Answer, uint32_t Capacity,
                       uint32_t& AnswerLength, bool& SendAck) override {
        SendAck = false;
        AnswerLength = std::min(Size, Capacity);
        std::memset(Answer, 'a', AnswerLength);
    }
};

class PipeServer : public ::testing::Test {
protected:
    TTempDir Dir;
    TThreadFakeClock Clock{EncodeDateTime(2008, 3, 25, 17, 4, 5, 0)};
    std::string Path = Dir.Path("ZirTest");
};

} // namespace

TEST_F(PipeServer, AnswersAckAndSeveralRequestsOnOneConnection) {
    TPipeServer Server(Path, 4, 0666, Clock);
    Clock.Advance(2000); // the start time is that of Start, not of the construction
    Server.Start();
    TRawClient Client(Path);
    ASSERT_TRUE(Client.Connected);
    const std::string Request(28, 'r');
    for (int I = 0; I < 2; ++I) {
        ASSERT_TRUE(Client.Send(Request));
        EXPECT_EQ(Client.Receive(), "ACK 28 bytes 17:04:07");
    }
    const TPipeStats S = Server.GetStats();
    EXPECT_EQ(S.StartTime.wYear, 2008);
    EXPECT_EQ(S.StartTime.wSecond, 7);
    EXPECT_EQ(S.Connections, 1u);
    EXPECT_EQ(S.Requests, 2u);
    EXPECT_EQ(S.RequestBytes, 56u);
    EXPECT_EQ(S.Answers, 2u);
    EXPECT_EQ(S.AnswerBytes, 2u * 21);
    EXPECT_EQ(S.WriteErrors, 0u);
    EXPECT_EQ(S.ConnectErrors, 0u);
}

TEST_F(PipeServer, InstanceCountIsCutToTheLimits) {
    EXPECT_EQ(TPipeServer(Path, 100, 0666, Clock).InstanceCount(), 64);
    EXPECT_EQ(TPipeServer(Path, 0, 0666, Clock).InstanceCount(), 1);
}

TEST_F(PipeServer, RequestsUpToOneBufferAreServedLongerOnesAndEmptyOnesDisconnect) {
    TPipeServer Server(Path, 1, 0666, Clock);
    Server.Start();
    struct {
        size_t Size;
        const char* Want;
    } Cases[] = {
        {PipeBufferSize, "ACK 16384 bytes 17:04:05"},
        {PipeBufferSize + 1, "<closed>"},
        {0, "<closed>"},
        {1, "ACK 1 bytes 17:04:05"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Size);
        TRawClient Client(Path);
        ASSERT_TRUE(Client.Send(std::string(C.Size, 'x')));
        EXPECT_EQ(Client.Receive(), C.Want);
    }
    EXPECT_EQ(Server.GetStats().Requests, 2u);
}

TEST_F(PipeServer, ClientsBeyondTheInstanceCountAreClosedAtOnce) {
    TPipeServer Server(Path, 2, 0666, Clock);
    Server.Start();
    auto A = std::make_unique<TRawClient>(Path);
    TRawClient B(Path);
    for (TRawClient* C : {A.get(), &B}) {
        ASSERT_TRUE(C->Send("hello"));
        ASSERT_EQ(C->Receive(), "ACK 5 bytes 17:04:05");
    }
    TRawClient Third(Path);
    EXPECT_EQ(Third.Receive(), "<closed>");
    A.reset();
    // The freed instance takes the next client (the server sees A's close first or retries).
    for (int Attempt = 0; Attempt < 100; ++Attempt) {
        TRawClient Next(Path);
        Next.Send("again");
        if (Next.Receive() == "ACK 5 bytes 17:04:05") {
            SUCCEED();
            return;
        }
    }
    ADD_FAILURE() << "the freed instance never served a new client";
}

TEST_F(PipeServer, IdleClientIsDisconnectedAfterTenSeconds) {
    TPipeServer Server(Path, 1, 0666, Clock);
    Server.Start();
    TRawClient Client(Path);
    ASSERT_TRUE(Client.Send("x"));
    ASSERT_EQ(Client.Receive(), "ACK 1 bytes 17:04:05");
    Clock.Advance(IdleTimeoutMs - 1);
    Server.CheckIdle();
    ASSERT_TRUE(Client.Send("y")); // still connected; the request restarts the idle time
    EXPECT_EQ(Client.Receive(), "ACK 1 bytes 17:04:14");
    Clock.Advance(IdleTimeoutMs);
    Server.CheckIdle();
    EXPECT_EQ(Client.Receive(), "<closed>");
    TRawClient Next(Path);
    ASSERT_TRUE(Next.Send("z"));
    EXPECT_EQ(Next.Receive(), "ACK 1 bytes 17:04:24");
}

TEST_F(PipeServer, ClientThatStopsReadingIsDisconnected) {
    TBigAnswerServer Server(Path, 1, 0666, Clock);
    Server.Start();
    TRawClient Client(Path);
    const std::string Request(28, 'r');
    int Sent = 0;
    // The client sends without reading until the server drops it.
    while (Sent < 100000 && Client.SendNoWait(Request)) {
        ++Sent;
        if (Sent % 16 == 0) {
            pollfd P{Client.Fd(), POLLRDHUP, 0};
            if (poll(&P, 1, 10) == 1 && (P.revents & (POLLRDHUP | POLLHUP)) != 0) {
                break;
            }
        }
    }
    for (int I = 0; I < 500 && Server.GetStats().WriteErrors == 0; ++I) {
        pollfd P{Client.Fd(), POLLRDHUP, 0};
        poll(&P, 1, 10);
    }
    EXPECT_EQ(Server.GetStats().WriteErrors, 1u);
    TRawClient Next(Path);
    ASSERT_TRUE(Next.Send("x"));
    EXPECT_EQ(Next.Receive().size(), PipeBufferSize);
}

TEST_F(PipeServer, ClientThatVanishesBeforeItsAnswerCostsOneWriteError) {
    TGatedEchoServer Server(Path, 1, 0666, Clock);
    Server.Start();
    {
        TRawClient Client(Path);
        ASSERT_TRUE(Client.Send("gone"));
        Server.AwaitRequests(1);
    } // closed while its answer is being built
    Server.Release(2);
    TRawClient Next(Path);
    ASSERT_TRUE(Next.Send("next"));
    EXPECT_EQ(Next.Receive(), "next");
    const TPipeStats S = Server.GetStats();
    EXPECT_EQ(S.WriteErrors, 1u);
    EXPECT_EQ(S.Answers, 1u);
}

TEST_F(PipeServer, StopWithClientsConnectedEndsAndRemovesTheSocket) {
    auto Server = std::make_unique<TPipeServer>(Path, 4, 0666, Clock);
    Server->Start();
    TRawClient A(Path);
    TRawClient B(Path);
    ASSERT_TRUE(A.Send("x"));
    ASSERT_EQ(A.Receive(), "ACK 1 bytes 17:04:05");
    Server->Stop();
    Server->Stop();
    Server.reset();
    EXPECT_EQ(A.Receive(), "<closed>");
    EXPECT_EQ(B.Receive(), "<closed>");
    struct stat St;
    EXPECT_NE(lstat(Path.c_str(), &St), 0);
}

TEST_F(PipeServer, StaleSocketIsReplacedLiveOneLeftAlone) {
    {
        // A socket file without a server, as a crashed service leaves it.
        const TFd Stale(socket(AF_UNIX, SOCK_SEQPACKET, 0));
        sockaddr_un A{};
        A.sun_family = AF_UNIX;
        std::strncpy(A.sun_path, Path.c_str(), sizeof(A.sun_path) - 1);
        ASSERT_EQ(bind(Stale.Get(), reinterpret_cast<sockaddr*>(&A), sizeof(A)), 0);
    }
    TPipeServer Server(Path, 1, 0640, Clock);
    Server.Start();
    struct stat St;
    ASSERT_EQ(lstat(Path.c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 0777, 0640u);

    {
        TPipeServer Second(Path, 1, 0666, Clock);
        try {
            Second.Start();
            ADD_FAILURE() << "a second server started on a live socket";
        } catch (const EOSError& E) {
            EXPECT_STREQ(E.what(), "Failed to create pipe instance: Address already in use");
        }
    }
    TRawClient Client(Path);
    ASSERT_TRUE(Client.Send("x"));
    EXPECT_EQ(Client.Receive(), "ACK 1 bytes 17:04:05");

    TPipeServer Below(Dir.Write("file", "") + "/ZirInfo", 1, 0666, Clock);
    EXPECT_THROW(Below.Start(), EOSError);
}

TEST_F(PipeServer, ServesFramedRequestsOverTcp) {
    const int Listener = ListenTcp("127.0.0.1:0");
    sockaddr_in Bound{};
    socklen_t Size = sizeof(Bound);
    ASSERT_EQ(getsockname(Listener, reinterpret_cast<sockaddr*>(&Bound), &Size), 0);
    TPipeServer Server(Path, 1, 0666, Clock);
    Server.AddTcpListener(Listener);
    Server.Start();

    const auto Connect = [&] {
        auto Fd = std::make_unique<TFd>(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        EXPECT_EQ(connect(Fd->Get(), reinterpret_cast<sockaddr*>(&Bound), sizeof(Bound)), 0);
        return Fd;
    };
    const auto ReadAll = [](int Fd, size_t Want) {
        std::string Got;
        char Chunk[256];
        while (Got.size() < Want) {
            pollfd P{Fd, POLLIN, 0};
            if (poll(&P, 1, 5000) != 1) {
                break;
            }
            const ssize_t N = recv(Fd, Chunk, sizeof(Chunk), 0);
            if (N <= 0) {
                return Got + "<closed>";
            }
            Got.append(Chunk, static_cast<size_t>(N));
        }
        return Got;
    };
    const auto Client = Connect();
    // Two frames in one write, the second split over two writes.
    const std::string Two = FrameMessage("abc") + FrameMessage("defgh");
    ASSERT_EQ(send(Client->Get(), Two.data(), Two.size() - 2, MSG_NOSIGNAL),
              ssize_t(Two.size() - 2));
    const std::string First = FrameMessage("ACK 3 bytes 17:04:05");
    EXPECT_EQ(ReadAll(Client->Get(), First.size()), First);
    ASSERT_EQ(send(Client->Get(), Two.data() + Two.size() - 2, 2, MSG_NOSIGNAL), 2);
    const std::string Second = FrameMessage("ACK 5 bytes 17:04:05");
    EXPECT_EQ(ReadAll(Client->Get(), Second.size()), Second);

    const auto Long = Connect();
    std::string Header = FrameMessage("");
    Header[1] = 0x40; // 16384
    Header[0] = 1;    // + 1
    ASSERT_EQ(send(Long->Get(), Header.data(), 4, MSG_NOSIGNAL), 4);
    EXPECT_EQ(ReadAll(Long->Get(), 1), "<closed>");
}
