#include "platform/servicehost.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "common/errors.h"
#include "common/fdio.h"
#include "platform/linuxhost.h"
#include "platform/rundir.h"
#include "platform/sdnotify.h"
#include "platform/serviceinstall.h"
#include "testing/temp_dir.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAre;

namespace {

class TCountingHost : public TServiceHost {
public:
    void ReportStatus() override { ++Reports; }
    int Reports = 0;
};

// Records the callbacks in order.
class TRecordingHandler : public TServiceHandler {
public:
    void ServiceStart(bool& Started) override {
        Calls.push_back("start");
        Started = StartOk;
    }
    void ServiceExecute() override { Calls.push_back("execute"); }
    void ServiceStop(bool&) override { Calls.push_back("stop"); }
    void ServiceShutdown() override { Calls.push_back("shutdown"); }
    bool HandleCustomControl(int Code) override {
        Calls.push_back(std::to_string(Code));
        return true;
    }
    std::vector<std::string> Calls;
    bool StartOk = true;
};

TEST(ServiceHost, DrainsRequestsInOrderUntilAStop) {
    TCountingHost Host;
    TRecordingHandler Handler;
    for (int Code : {ServiceControlInterrogate, 195, ServiceControlStop, 131}) {
        Host.PostRequest(Code);
    }
    EXPECT_THAT(Host.PendingRequests(), ElementsAre(4, 195, 1, 131)); // looking removes nothing
    Host.ProcessRequests(Handler);
    EXPECT_THAT(Handler.Calls, ElementsAre("195", "stop"));
    EXPECT_TRUE(Host.Terminated());
    EXPECT_THAT(Host.PendingRequests(), ElementsAre(131));
    EXPECT_GE(Host.Reports, 3);

    TCountingHost Other;
    TRecordingHandler Shut;
    Other.PostRequest(ServiceControlShutdown);
    Other.ProcessRequests(Shut);
    EXPECT_THAT(Shut.Calls, ElementsAre("shutdown"));
    EXPECT_TRUE(Other.Terminated());
}

TEST(ServiceHost, RunsTheServiceOnlyWhenItStarted) {
    TCountingHost Host;
    TRecordingHandler Handler;
    EXPECT_EQ(Host.Run(Handler), 0);
    EXPECT_THAT(Handler.Calls, ElementsAre("start", "execute"));
    Handler.Calls.clear();
    Handler.StartOk = false;
    EXPECT_EQ(Host.Run(Handler), 1);
    EXPECT_THAT(Handler.Calls, ElementsAre("start"));
    EXPECT_EQ(Host.State(), TServiceState::Stopped);
}

TEST(LinuxServiceHost, SignalsBecomeRequests) {
    TLinuxServiceHost Host;
    ASSERT_TRUE(SendServiceControl(getpid(), 195));
    ASSERT_TRUE(SendServiceControl(getpid(), 7)); // not a user-defined code: dropped
    ASSERT_EQ(kill(getpid(), SIGTERM), 0);
    // The signal thread moves them into the queue; wait for it without a timed sleep.
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Host.PendingRequests().size() < 2 && std::chrono::steady_clock::now() < Deadline) {
        std::this_thread::yield();
    }
    // Pending standard signals are delivered before real-time ones.
    EXPECT_THAT(Host.PendingRequests(), UnorderedElementsAre(195, ServiceControlStop));
}

TEST(SystemdNotify, SendsTheStateToTheSocket) {
    TTempDir Dir;
    const std::string Name = Dir.Path("notify");
    const TFd Socket(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    std::strncpy(Address.sun_path, Name.c_str(), sizeof Address.sun_path - 1);
    ASSERT_EQ(bind(Socket.Get(), reinterpret_cast<sockaddr*>(&Address), sizeof Address), 0);
    EXPECT_TRUE(NotifySocket(Name, "READY=1\nSTATUS=Running"));
    char Buffer[64] = {};
    EXPECT_EQ(recv(Socket.Get(), Buffer, sizeof Buffer - 1, MSG_DONTWAIT), 22);
    EXPECT_STREQ(Buffer, "READY=1\nSTATUS=Running");
    EXPECT_FALSE(NotifySocket("", "READY=1"));
    EXPECT_FALSE(NotifySocket(Dir.Path("nobody"), "READY=1"));
}

TEST(PidFile, OneServicePerRunDirectory) {
    TTempDir Dir;
    const std::string RunDir = Dir.Path("run/tarno");
    EXPECT_EQ(RunningServicePid(RunDir), 0);
    {
        const TPidFile First(RunDir);
        EXPECT_EQ(Dir.Read("run/tarno/tarno.pid"), std::to_string(getpid()) + "\n");
        EXPECT_EQ(RunningServicePid(RunDir), getpid());
        try {
            const TPidFile Second(RunDir);
            ADD_FAILURE() << "a second pidfile was taken";
        } catch (const ETarnoError& E) {
            EXPECT_EQ(std::string(E.what()), "Tarno service is already running (pid " +
                                                 std::to_string(getpid()) + ", run directory " +
                                                 RunDir + ")");
        }
    }
    EXPECT_EQ(RunningServicePid(RunDir), 0);
    const TPidFile Again(RunDir);
    EXPECT_EQ(RunningServicePid(RunDir), getpid());
    Dir.Write("blocker", "");
    EXPECT_THROW(TPidFile(Dir.Path("blocker/run")), EOSError);
}

namespace {
mode_t DirMode(const std::string& Path) {
    struct stat St {};
    return ::lstat(Path.c_str(), &St) == 0 ? St.st_mode : 0;
}
} // namespace

// In a directory everyone may write into (as /tmp), the run directory must be the service's own:
// a real directory, owned by its account and writable by nobody else; it is created 0700.
// Elsewhere it is created 0755.
TEST(RunDirectory, InASharedDirectoryOnlyTheServicesOwn) {
    TTempDir Dir;
    ASSERT_EQ(::chmod(Dir.Dir().c_str(), 01777), 0);
    {
        const TPidFile Pid(Dir.Path("fresh"));
        EXPECT_EQ(DirMode(Dir.Path("fresh")) & 07777, 0700u);
    }
    {
        const TPidFile Pid(Dir.Path("own/run"));
        EXPECT_EQ(DirMode(Dir.Path("own/run")) & 07777, 0755u);
    }
    ASSERT_EQ(::mkdir(Dir.Path("elsewhere").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(Dir.Path("elsewhere").c_str(), Dir.Path("planted").c_str()), 0);
    EXPECT_THAT([&] { TPidFile Pid(Dir.Path("planted")); },
                testing::ThrowsMessage<ETarnoError>(
                    HasSubstr("Run directory \"" + Dir.Path("planted") +
                              "\" is a symbolic link, not a directory of this account")));
    EXPECT_EQ(DirMode(Dir.Path("elsewhere/tarno.pid")), 0u);
    ASSERT_EQ(::mkdir(Dir.Path("open").c_str(), 0700), 0);
    ASSERT_EQ(::chmod(Dir.Path("open").c_str(), 0777), 0);
    EXPECT_THAT([&] { TPidFile Pid(Dir.Path("open")); },
                testing::ThrowsMessage<ETarnoError>(HasSubstr("is writable by other accounts")));
    const passwd* Nobody = ::getpwnam("nobody");
    if (Nobody == nullptr || Nobody->pw_uid == ::geteuid()) {
        GTEST_SKIP() << "no second account (nobody) to own a run directory";
    }
    ASSERT_EQ(::mkdir(Dir.Path("theirs").c_str(), 0700), 0);
    if (::chown(Dir.Path("theirs").c_str(), Nobody->pw_uid, Nobody->pw_gid) != 0) {
        GTEST_SKIP() << "cannot give a directory to nobody (not root)";
    }
    EXPECT_THAT([&] { TPidFile Pid(Dir.Path("theirs")); },
                testing::ThrowsMessage<ETarnoError>(HasSubstr("is owned by another account")));
}

TEST(RunDirectory, OptionComesFirst) {
    EXPECT_EQ(FindRunDirectory("/x/run"), "/x/run");
    EXPECT_EQ(FindClientRunDirectory("/x/run"), "/x/run");
    EXPECT_FALSE(FindRunDirectory("").empty());
}

TEST(ServiceUnit, IsWrittenAndRemoved) {
    TTempDir Dir;
    const std::string Text = ServiceUnitText("Display", "/opt/tarno/tarno", "/opt/tarno");
    EXPECT_THAT(Text, HasSubstr("\nExecStart=\"/opt/tarno/tarno\" --home \"/opt/tarno\"\n"));
    EXPECT_THAT(Text, HasSubstr("\nType=notify\n"));
    EXPECT_THAT(Text, HasSubstr("\nUMask=0022\n"));
    EXPECT_THAT(Text, StartsWith("[Unit]\nDescription=Display\n"));
    InstallServiceUnit(Dir.Path("units"), Text);
    EXPECT_EQ(Dir.Read("units/tarno.service"), Text);
    UninstallServiceUnit(Dir.Path("units"));
    EXPECT_EQ(Dir.Read("units/tarno.service"), "");
    EXPECT_THROW(UninstallServiceUnit(Dir.Path("units")), ETarnoError);
}

} // namespace
