// The command line of the tarno program, run as a separate process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "testing/temp_dir.h"

namespace {

using testing::HasSubstr;
using testing::StartsWith;

struct TRun {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

class TarnoProgramTest : public testing::Test {
protected:
    // Runs tarno with Arguments (shell words) and captures its output.
    // Dir, when given, is the working directory.
    TRun Run(const std::string& Arguments, const std::string& Dir = "") const {
        std::string Command = "umask 000 && " + (Dir.empty() ? "" : "cd '" + Dir + "' && ") +
                              "TARNO_HOME= TARNO_DRIVE= TARNO_UNIT_DIR='" + Temp.Path("units") +
                              "' '" + TARNO_EXE + "' " + Arguments + " >'" + Temp.Path("out") +
                              "' 2>'" + Temp.Path("err") + "'";
        int Status = std::system(Command.c_str());
        TRun Result;
        Result.ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
        Result.Out = Temp.Read("out");
        Result.Err = Temp.Read("err");
        return Result;
    }

    TTempDir Temp;
};

TEST_F(TarnoProgramTest, CheckConfigPrintsTheFileAsTheServiceReadsIt) {
    std::string Path = Temp.Write("shop.ini", "[General]\n"
                                              "ExactTime=8:00   18:30\n"
                                              "[Directory0]\n"
                                              "TrackDirectory=/in/pos\n"
                                              "ConvType=acurity\n"
                                              "ShopId=lost\n"
                                              "[Directory1]\n"
                                              "TrackDirectory=/in/odeis\n"
                                              "ConvType=ODEIS\n"
                                              "StoreCode=7\n");
    TRun R = Run("check-config '" + Path + "'");
    EXPECT_EQ(R.ExitCode, 0);
    EXPECT_EQ(R.Err, "");
    EXPECT_THAT(R.Out, StartsWith("[General]\r\nLogDetailed=0\r\nTimeBetweenActions=60\r\n"
                                  "ExactTimeMode=0\r\nExactTime=08:00 18:30\r\n\r\n"
                                  "[Directory0]\r\nTrackDirectory=/in/pos\r\nConvType=NONE\r\n"
                                  "OutDir=\r\nFileExt=*\r\n\r\n"
                                  "[Directory1]\r\nTrackDirectory=/in/odeis\r\nConvType=ODEIS\r\n"
                                  "OutDir=\r\nFileExt=*\r\nCurrDayOnly=0\r\nUseTimeFilter=0\r\n"
                                  "QtrStart=0\r\nQtrStop=95\r\nStoreCode=007\r\n\r\n"
                                  "[Directory2]\r\n"));
    EXPECT_THAT(R.Out, testing::EndsWith("[Directory63]\r\nTrackDirectory=\r\nConvType=NONE\r\n"
                                         "OutDir=\r\nFileExt=*\r\n"));
}

TEST_F(TarnoProgramTest, CheckConfigReportsLoadingErrors) {
    std::string Path = Temp.Write("bad.ini", "[General]\nExactTime=18h00 9:00\n");
    TRun R = Run("check-config '" + Path + "'");
    EXPECT_EQ(R.ExitCode, 1);
    EXPECT_EQ(R.Err, "Error reading data from " + Path + " : Wrong time value \"18h00\"\n");
    EXPECT_THAT(R.Out, HasSubstr("ExactTime=09:00\r\n"));
}

TEST_F(TarnoProgramTest, CheckConfigReadsTheHomesFileByDefault) {
    Temp.Write("home/tarno.ini", "[Directory3]\nConvType=CEGID\n");
    TRun R = Run("--home '" + Temp.Path("home") + "' check-config");
    EXPECT_EQ(R.ExitCode, 0);
    EXPECT_THAT(R.Out, HasSubstr("[Directory3]\r\nTrackDirectory=\r\nConvType=CEGID\r\n"));

    R = Run("check-config '" + Temp.Path("missing.ini") + "'");
    EXPECT_EQ(R.ExitCode, 0);
    EXPECT_THAT(R.Err, HasSubstr("missing.ini not found"));
    EXPECT_THAT(R.Out, HasSubstr("[Directory63]\r\n"));
}

// Converters of every family run through the one table, as the service runs them.
TEST_F(TarnoProgramTest, ConvertRunsTheConverterOfTheType) {
    const std::string Source = TARNO_SOURCE_DIR;
    const std::string Counting = Temp.Write(
        "in/081224.vrk", ReadFileBytes(Source + "/src/transforms/testdata/vrk01_two_doors.vrk"));
    TRun R = Run("convert --type vrksummarize --out '" + Temp.Path("") + "' '" + Counting + "'");
    EXPECT_EQ(R.ExitCode, 0) << R.Err;
    EXPECT_THAT(Temp.Read("081224.vrk"), StartsWith("#TKT9\r\n"));

    R = Run("convert --type BRICKSTREAM --set ZeroExits=1 --out '" + Temp.Path("") + "' '" +
            Source + "/demo/in/brickstream/store12_20081227.dat'");
    EXPECT_EQ(R.ExitCode, 0) << R.Err;
    EXPECT_THAT(Temp.Read("081227.vrk"), HasSubstr("\t27/12/2008\t08:00\t"));

    R = Run("convert --type VRKSUMMARIZE '" + Counting + "'");
    EXPECT_EQ(R.ExitCode, 1);
    EXPECT_THAT(R.Err, HasSubstr(Counting + " : Output directory not set"));

    R = Run("convert --type NOSUCH '" + Counting + "'");
    EXPECT_EQ(R.ExitCode, 2);
}

// Only the command position holds a command word; file names are taken as written.
TEST_F(TarnoProgramTest, CommandWordsOnlyAtTheCommandPosition) {
    Temp.Write("in/silent", "quiet");
    Temp.Write("in/Install", "setup");
    ForceDirectories(Temp.Path("res"));
    TRun R = Run("convert --type NONE --out ../res silent Install", Temp.Path("in"));
    EXPECT_EQ(R.ExitCode, 0) << R.Err;
    EXPECT_EQ(Temp.Read("res/silent"), "quiet");
    EXPECT_EQ(Temp.Read("res/Install"), "setup");
    EXPECT_FALSE(FileExists(Temp.Path("res/SILENT")));

    R = Run("--home '" + Temp.Path("") + "' -install silent");
    EXPECT_EQ(R.ExitCode, 0) << R.Err;
    EXPECT_EQ(R.Out, "");
    EXPECT_TRUE(FileExists(Temp.Path("units/tarno.service")));
    R = Run("/Uninstall");
    EXPECT_EQ(R.Out, "Service uninstalled successfully\n");
    EXPECT_FALSE(FileExists(Temp.Path("units/tarno.service")));
}

// The home lands in the unit as systemd reads it back: specifiers, variables, quotes and
// backslashes escaped.
TEST_F(TarnoProgramTest, InstallEscapesTheHomeInTheUnit) {
    const std::string Home = Temp.Path("h%i $HOME \\\" x");
    ForceDirectories(Home);
    const TRun R = Run("--home '" + Home + "' INSTALL SILENT");
    EXPECT_EQ(R.ExitCode, 0) << R.Err;
    EXPECT_THAT(Temp.Read("units/tarno.service"),
                HasSubstr("\" --home \"" + Temp.Path("h%%i $$HOME \\\\\\\" x") + "\"\n"));
}

// The service does not inherit a permissive umask: its log, status files and run directory are
// not writable by others.
TEST_F(TarnoProgramTest, ServiceRunsUnderUmask022) {
    Temp.Write("home/tarno.ini", "[Directory0]\r\nTrackDirectory=" + Temp.Path("in") +
                                     "\r\nConvType=NONE\r\nOutDir=" + Temp.Path("res") + "\r\n");
    Temp.Write("in/a.txt", "a");
    ForceDirectories(Temp.Path("res"));
    const TRun R =
        Run("--home '" + Temp.Path("home") + "' --rundir '" + Temp.Path("run") + "' --once", "/");
    ASSERT_EQ(R.ExitCode, 0) << R.Err;
    for (const char* Name : {"home/tarno.log", "in/fclist_none0.dst", "run"}) {
        struct stat St {};
        ASSERT_EQ(::lstat(Temp.Path(Name).c_str(), &St), 0) << Name;
        EXPECT_EQ(St.st_mode & 0022, 0u) << Name;
    }
}

TEST_F(TarnoProgramTest, HelpVersionAndUsageErrors) {
    TRun R = Run("--version");
    EXPECT_EQ(R.ExitCode, 0);
    EXPECT_THAT(R.Out, testing::MatchesRegex("tarno [0-9]+\\.[0-9]+\\.[0-9]+\n"));
    R = Run("--help");
    EXPECT_EQ(R.ExitCode, 0);
    EXPECT_THAT(R.Out, HasSubstr("check-config [FILE]"));

    for (const char* Bad : {"frobnicate", "check-config a b", "check-config --bad", "--home"}) {
        SCOPED_TRACE(Bad);
        R = Run(Bad);
        EXPECT_EQ(R.ExitCode, 2);
        EXPECT_EQ(R.Out, "");
        EXPECT_THAT(R.Err, StartsWith("tarno: "));
    }
}

} // namespace
