#include "pipe/bridge.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "common/fdio.h"
#include "pipe/ft_protocol.h"
#include "testing/fake_transport.h"

namespace {

struct TBridgeRun {
    int Code;
    std::string Output;
    std::string Error;
};

// Feeds Input to the bridge and collects what it writes.
TBridgeRun RunWith(const std::string& Input, TFakeTransport& Local) {
    int In[2];
    int Out[2];
    EXPECT_EQ(pipe(In), 0);
    EXPECT_EQ(pipe(Out), 0);
    EXPECT_TRUE(WriteAll(In[1], Input));
    close(In[1]);
    TBridgeRun Run;
    Run.Code = RunBridge(In[0], Out[1], Local, 1000, Run.Error);
    close(In[0]);
    close(Out[1]);
    char Chunk[4096];
    ssize_t N;
    while ((N = read(Out[0], Chunk, sizeof(Chunk))) > 0) {
        Run.Output.append(Chunk, static_cast<size_t>(N));
    }
    close(Out[0]);
    return Run;
}

} // namespace

TEST(Bridge, RoutesEachRequestByItsNameAndFramesTheAnswers) {
    TFakeTransport Local;
    Local.OnRequest = [](const std::string& Pipe, std::string_view Request) {
        if (Request == "down") {
            throw ETransportError("No such file or directory");
        }
        return Pipe + ":" + std::string(Request.substr(0, 3));
    };
    const std::string Input =
        FrameMessage(BuildMessage(ReqGetStats)) + FrameMessage(BuildMessage(ReqGetConfig)) +
        FrameMessage(BuildMessage(ReqSetConfig, "x")) + FrameMessage("down") + FrameMessage("");
    const TBridgeRun Run = RunWith(Input, Local);
    EXPECT_EQ(Run.Code, 0);
    EXPECT_EQ(Run.Output, FrameMessage("ZirInfo:REQ") + FrameMessage("ZirControl:REQ") +
                              FrameMessage("ZirControl:REQ") +
                              FrameError("No such file or directory") + FrameMessage("ZirInfo:"));
}

TEST(Bridge, TruncatedOrOversizedFramesEndIt) {
    TFakeTransport Local;
    Local.OnRequest = [](const std::string&, std::string_view) { return std::string("ok"); };
    std::string Oversized = FrameMessage("");
    Oversized[1] = 0x40;
    Oversized[0] = 1; // 16385
    struct {
        std::string Input;
        const char* Error;
        size_t Answers;
    } Cases[] = {
        {FrameMessage("abc") + "\x05\x00", "Truncated frame", 1},
        {FrameMessage("abcdef").substr(0, 8), "Truncated frame", 0},
        {Oversized + std::string(16385, 'x'), "Frame too long", 0},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Error);
        const TBridgeRun Run = RunWith(C.Input, Local);
        EXPECT_EQ(Run.Code, 1);
        EXPECT_EQ(Run.Error, C.Error);
        EXPECT_EQ(Run.Output.size(), C.Answers * FrameMessage("ok").size());
    }
}
