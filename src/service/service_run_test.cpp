// The service program run as a process: one pass with --once, and a foreground service that
// reports readiness to systemd, takes a reprocessing code, refuses a second instance on its run
// directory (leaving the running one's sockets alone), answers on its sockets and stops on SIGTERM.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/fdio.h"
#include "pipe/srvpipe_protocol.h"
#include "platform/transport.h"
#include "testing/log_texts.h"
#include "testing/temp_dir.h"

extern char** environ;

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

class ServiceProcessTest : public ::testing::Test {
protected:
    ServiceProcessTest() {
        std::filesystem::create_directories(Home.Path("in"));
        std::filesystem::create_directories(Home.Path("out"));
        Home.Write("in/a.txt", "a");
        Home.Write("tarno.ini",
                   "[General]\r\nLogDetailed=1\r\n[Directory0]\r\nTrackDirectory=in\r\n"
                   "ConvType=NONE\r\nOutDir=out\r\n");
    }

    // Starts tarno with Args and the environment Env added; answers its process id.
    pid_t Spawn(std::vector<std::string> Args, std::vector<std::string> Env = {}) const {
        Args.insert(Args.begin(), TARNO_EXE);
        std::vector<char*> Argv;
        for (std::string& A : Args) {
            Argv.push_back(A.data());
        }
        Argv.push_back(nullptr);
        for (char** E = environ; *E != nullptr; ++E) {
            if (!std::string(*E).starts_with("TARNO_") && !std::string(*E).starts_with("NOTIFY_")) {
                Env.emplace_back(*E);
            }
        }
        std::vector<char*> Envp;
        for (std::string& E : Env) {
            Envp.push_back(E.data());
        }
        Envp.push_back(nullptr);
        posix_spawn_file_actions_t Actions;
        posix_spawn_file_actions_init(&Actions);
        posix_spawn_file_actions_addopen(&Actions, STDERR_FILENO, Home.Path("stderr").c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        pid_t Pid = 0;
        EXPECT_EQ(posix_spawn(&Pid, TARNO_EXE, &Actions, nullptr, Argv.data(), Envp.data()), 0);
        posix_spawn_file_actions_destroy(&Actions);
        return Pid;
    }
    static int Wait(pid_t Pid) {
        int Status = 0;
        while (waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    }
    std::vector<std::string> LogTexts() const { return LogLineTexts(Home.Read("tarno.log")); }

    TTempDir Home;
};

TEST_F(ServiceProcessTest, OncePassConvertsAndStops) {
    EXPECT_EQ(Wait(Spawn({"--home", Home.Dir(), "--rundir", Home.Path("run"), "--once"})), 0);
    EXPECT_EQ(Home.Read("out/a.txt"), "a");
    EXPECT_THAT(LogTexts(), Contains(StartsWith("processed 1 files OK, 0 files bad, elapsed ")));
    EXPECT_EQ(LogTexts().front(), "Tarno service started");
    EXPECT_EQ(LogTexts().back(), "Tarno service stopped");
}

TEST_F(ServiceProcessTest, ForegroundServiceTakesCodesAndStopsOnSigterm) {
    // The systemd side: a datagram socket named by NOTIFY_SOCKET.
    const std::string SocketName = Home.Path("notify");
    const TFd Socket(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    std::strncpy(Address.sun_path, SocketName.c_str(), sizeof Address.sun_path - 1);
    ASSERT_EQ(bind(Socket.Get(), reinterpret_cast<sockaddr*>(&Address), sizeof Address), 0);
    const timeval Guard{30, 0}; // only a guard against a hung service
    setsockopt(Socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &Guard, sizeof Guard);
    // Blocks until the service reports State (a line of its message).
    const auto AwaitState = [&](const std::string& State) {
        for (;;) {
            char Buffer[256] = {};
            if (recv(Socket.Get(), Buffer, sizeof Buffer - 1, 0) <= 0) {
                return false;
            }
            if (std::string(Buffer).find(State) != std::string::npos) {
                return true;
            }
        }
    };

    const std::string RunDir = Home.Path("run");
    const pid_t Service =
        Spawn({"--home", Home.Dir(), "--rundir", RunDir}, {"NOTIFY_SOCKET=" + SocketName});
    ASSERT_TRUE(AwaitState("READY=1"));

    TUnixTransport Sockets(RunDir);
    const auto Statistics = [&] {
        const auto Connection = Sockets.Connect("ZirInfo", 5000);
        Connection->Send(BuildMessage("REQGETSTATS"), 5000);
        return Connection->Receive(5000);
    };
    EXPECT_EQ(Statistics().size(), 595u);

    EXPECT_EQ(Wait(Spawn({"--home", Home.Dir(), "--rundir", RunDir})), 1);
    EXPECT_THAT(Home.Read("stderr"),
                HasSubstr("tarno: Tarno service is already running (pid " +
                          std::to_string(Service) + ", run directory " + RunDir + ")"));
    EXPECT_EQ(Statistics().size(), 595u); // the refused second service left the sockets alone

    EXPECT_EQ(Wait(Spawn({"control", "192", "--rundir", RunDir})), 0);
    ASSERT_TRUE(AwaitState("STATUS=Running")); // reported after the code was handled
    ASSERT_EQ(kill(Service, SIGTERM), 0);
    EXPECT_EQ(Wait(Service), 0);
    EXPECT_THAT(LogTexts(), Contains("Force processing of all data files at user request"));
    EXPECT_EQ(LogTexts().back(), "Tarno service stopped");
    EXPECT_FALSE(std::filesystem::exists(RunDir + "/tarno.pid"));
    EXPECT_FALSE(std::filesystem::exists(RunDir + "/ZirInfo"));
    EXPECT_FALSE(std::filesystem::exists(RunDir + "/ZirControl"));
    EXPECT_EQ(Wait(Spawn({"control", "192", "--rundir", RunDir})), 1);
}

} // namespace
