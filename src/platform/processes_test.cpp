#include "platform/processes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "common/errors.h"

TEST(SystemProcessRunner, RunsCapturesAndKillsWhatOutlivesItsTime) {
    TProcessRunner& Runner = SystemProcessRunner();
    const TCommandResult R = Runner.Run({"sh", "-c", "echo out; echo err >&2; exit 3"}, 10000);
    EXPECT_EQ(R.ExitCode, 3);
    EXPECT_EQ(R.Out, "out\n");
    EXPECT_EQ(R.Err, "err\n");

    const TCommandResult Missing = Runner.Run({"/nonexistent/program"}, 10000);
    EXPECT_EQ(Missing.ExitCode, 127);
    EXPECT_EQ(Missing.Err, "Cannot run /nonexistent/program\n");

    const TCommandResult Slow = Runner.Run({"sleep", "30"}, 50);
    EXPECT_EQ(Slow.ExitCode, -1);
    EXPECT_EQ(Slow.Err, "Timed out");

    EXPECT_TRUE(Runner.Alive(getpid()));
    EXPECT_THROW(Runner.Run({}, 10), EOSError);
}
