// The command line of the tarno program, run as a separate process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "common/text.h"
#include "common/utils.h"
#include "platform/files.h"
#include "service/converters.h"
#include "testing/temp_dir.h"

namespace {

using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

struct TRun {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

class TarnoProgramTest : public testing::Test {
protected:
    // Runs tarno with Arguments (shell words) and captures its output. Dir, when given, is the
    // working directory; Env holds environment assignments for the run.
    TRun Run(const std::string& Arguments, const std::string& Dir = "",
             const std::string& Env = "") const {
        std::string Command = "umask 000 && " + (Dir.empty() ? "" : "cd '" + Dir + "' && ") +
                              "TARNO_HOME= TARNO_DRIVE= TARNO_RUNDIR= TARNO_UNIT_DIR='" +
                              Temp.Path("units") + "' " + Env + " '" + TARNO_EXE + "' " +
                              Arguments + " >'" + Temp.Path("out") + "' 2>'" + Temp.Path("err") +
                              "'";
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
    // What the loader replaces in silence is warned about; the configuration still loads.
    EXPECT_EQ(R.ExitCode, 0);
    EXPECT_EQ(R.Err, "tarno: warning: [Directory0] ConvType \"acurity\" is no conversion type: "
                     "the slot runs as NONE\n"
                     "tarno: warning: [Directory0] unknown key \"ShopId\" is ignored\n"
                     "tarno: warning: [Directory0] the watched directory \"/in/pos\" does not "
                     "exist\n"
                     "tarno: warning: [Directory1] the watched directory \"/in/odeis\" does not "
                     "exist\n");
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

    // Only a missing file gives the defaults in silence; one that cannot be read is an error.
    const std::string Unreadable = Temp.Path("home/dir.ini");
    ForceDirectories(Unreadable);
    R = Run("check-config '" + Unreadable + "'");
    EXPECT_EQ(R.ExitCode, 1);
    EXPECT_THAT(R.Err, StartsWith("Error reading data from " + Unreadable +
                                  " : Cannot open file \"" + Unreadable + "\". "));

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

    // A missing output directory is created, as the service creates its own.
    R = Run("convert --type vrksummarize --out '" + Temp.Path("new/out") + "' '" + Counting + "'");
    EXPECT_EQ(R.ExitCode, 0) << R.Err;
    EXPECT_THAT(Temp.Read("new/out/081224.vrk"), StartsWith("#TKT9\r\n"));

    R = Run("convert --type VRKSUMMARIZE '" + Counting + "'");
    EXPECT_EQ(R.ExitCode, 1);
    EXPECT_THAT(R.Err, HasSubstr(Counting + " : Output directory not set"));

    R = Run("convert --type NOSUCH '" + Counting + "'");
    EXPECT_EQ(R.ExitCode, 2);
}

// Relative paths on the command line and in the environment are taken from the directory the
// program was started in, not from the home it enters.
TEST_F(TarnoProgramTest, RelativePathsAreTakenFromTheStartingDirectory) {
    Temp.Write("in/a.txt", "a");
    Temp.Write("home/tarno.ini", "[Directory0]\nTrackDirectory=" + Temp.Path("in") +
                                     "\nConvType=NONE\nOutDir=" + Temp.Path("out1") + "\n");
    ForceDirectories(Temp.Path("out1"));
    TRun R = Run("--home home --rundir run --once", Temp.Dir());
    EXPECT_EQ(R.ExitCode, 0) << R.Err;
    EXPECT_EQ(Temp.Read("out1/a.txt"), "a");
    EXPECT_TRUE(IsDirectory(Temp.Path("run")));
    EXPECT_FALSE(IsDirectory(Temp.Path("home/run")));

    Temp.Write("in/b.txt", "b");
    R = Run("--once", Temp.Dir(), "TARNO_HOME=home TARNO_RUNDIR=run2");
    EXPECT_EQ(R.ExitCode, 0) << R.Err;
    EXPECT_EQ(Temp.Read("out1/b.txt"), "b");
    EXPECT_TRUE(IsDirectory(Temp.Path("run2")));

    R = Run("--home home INSTALL SILENT", Temp.Dir(), "TARNO_UNIT_DIR=units");
    EXPECT_EQ(R.ExitCode, 0) << R.Err;
    EXPECT_THAT(Temp.Read("units/tarno.service"), HasSubstr(Temp.Path("home")));
}

// Errors name what is wrong with the user's file.
TEST_F(TarnoProgramTest, ConvertErrorsSayWhatIsWrongWithTheFile) {
    const std::string Out = Temp.Path("converted");
    TRun R = Run("convert --type VRKSUMMARIZE --out '" + Out + "' '" + Temp.Path("gone.vrk") + "'");
    EXPECT_EQ(R.ExitCode, 1);
    EXPECT_EQ(R.Err, Temp.Path("gone.vrk") + " : file not found\n");

    const std::string Text = Temp.Write("notes.vrk", "shopping list\r\nmilk\r\n");
    R = Run("convert --type VRKSUMMARIZE --out '" + Out + "' '" + Text + "'");
    EXPECT_EQ(R.ExitCode, 1);
    EXPECT_EQ(R.Err, Text + " : Not a counting data file (no header line and no data row)\n");

    R = Run("convert --type NONE --out '" + Temp.Dir() + "' '" + Text + "'");
    EXPECT_EQ(R.ExitCode, 1);
    EXPECT_THAT(R.Err, HasSubstr(Text + " : Cannot copy file"));
    EXPECT_THAT(R.Err, HasSubstr("onto itself"));
}

// Started on a terminal without a configuration, the service says it watches nothing and where
// it looked; its log reaches the terminal.
TEST_F(TarnoProgramTest, TellsATerminalThatNothingIsWatched) {
    if (std::system("command -v script >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "script(1) is not installed";
    }
    const std::string Home = Temp.Path("home");
    ForceDirectories(Home);
    // script(1) runs the program on a pseudo-terminal and copies what it shows.
    const std::string Command = std::string("script -qec \"TARNO_HOME= TARNO_RUNDIR= '") +
                                TARNO_EXE + "' --home '" + Home + "' --rundir '" +
                                Temp.Path("run") + "' --once\" /dev/null </dev/null >'" +
                                Temp.Path("terminal") + "' 2>&1";
    ASSERT_EQ(std::system(Command.c_str()), 0);
    const std::string Shown = Temp.Read("terminal");
    EXPECT_THAT(Shown,
                HasSubstr("tarno: no directory is watched: " + Home + "/tarno.ini not found"));
    EXPECT_THAT(Shown, HasSubstr("\tTarno service started"));

    // Not on a terminal: the log and syslog only.
    TRun R = Run("--home '" + Home + "' --rundir '" + Temp.Path("run") + "' --once");
    EXPECT_EQ(R.ExitCode, 0);
    EXPECT_EQ(R.Err, "");
}

// Point-of-sale journals become hourly sales tables; a damaged table fails the file.
TEST_F(TarnoProgramTest, ConvertRunsThePointOfSaleConverters) {
    const std::string Journal =
        std::string(TARNO_SOURCE_DIR) + "/demo/in/acurity/caisse_20081224.txt";
    TRun R = Run("convert --type acurity --out '" + Temp.Path("") + "' '" + Journal + "'");
    EXPECT_EQ(R.ExitCode, 0) << R.Err;
    EXPECT_THAT(Temp.Read("081223.txt"), StartsWith(" GARE1 | 23/12/08 | 09 | "));
    EXPECT_THAT(Temp.Read("081224.txt"), HasSubstr(" GARE1 | 24/12/08 | 19 | "));

    Temp.Write("tables/080325.txt", " 001 | 25/03/08 | 09 | 1 | 1.00 | x | 0 |\r\n");
    const std::string Receipts = Temp.Write("receipts.txt", "1;20080325;1000;x;01;GDTOTAL;a;b;1\n");
    R = Run("convert --type AEMSOFTS --out '" + Temp.Path("tables") + "' '" + Receipts + "'");
    EXPECT_EQ(R.ExitCode, 1);
    EXPECT_THAT(R.Err,
                HasSubstr(Receipts + " : 'x' is not a valid integer value (080325.txt, line 1)"));
}

// Every point-of-sale and export type of the hourly tables and keyed files has its converter.
TEST_F(TarnoProgramTest, ConvertRunsTheKeyedFileExports) {
    const std::string Counting = std::string(TARNO_SOURCE_DIR) + "/demo/in/odeis/081226.vrk";
    const std::string BizPlu =
        Temp.Write("in/biz.txt", "T#1#2#20081226#0915#5#6#7#8#9#10#11#12#12345#3\r\n");
    const std::string Winparf = Temp.Write("in/w.csv", "02,x,26/12/2008 09:10,4\r\n");
    const std::string XlSoft = Temp.Write("in/Bocaisse.txt", "c;20081226;3;4;12,50\r\n");
    const std::string Other = Temp.Write("in/other.txt", "c;20081227;3;4;12,50\r\n");
    ForceDirectories(Temp.Path("raw"));
    struct {
        const char* Type;
        std::string Arguments;
        const char* Output;
        const char* Line;
    } Cases[] = {
        {"GENERIX", "'" + Counting + "'", "12260000.zul", "1\t26/12/2008\t09:00\t"},
        {"ODEIS", "--set StoreCode=7 '" + Counting + "'", "zalmoret_client_007.txt",
         "007\t26/12/2008\t09:00\t"},
        {"SOFTTOUCH", "--set LocationName=Gare '" + Counting + "'", "teller.txt",
         "Gare,,26122008,09:00,Ingang,Ingang,"},
        {"BIZPLU", "'" + BizPlu + "'", "081226.txt", " 001 | 26/12/08 | 09 |      1 |"},
        {"WINPARF_CAISSE", "'" + Winparf + "'", "081226.txt", " 001 | 26/12/08 | 09 |      4 |"},
        {"XLSOFT", "--set RawOutDir='" + Temp.Path("raw") + "' '" + Other + "' '" + XlSoft + "'",
         "081226.txt", "  | 26/12/08 | 01 |      4 |"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Type);
        const std::string Dir = Temp.Path(std::string("out_") + C.Type);
        ForceDirectories(Dir);
        TRun R =
            Run(std::string("convert --type ") + C.Type + " --out '" + Dir + "' " + C.Arguments);
        EXPECT_EQ(R.ExitCode, 0) << R.Err;
        EXPECT_THAT(Temp.Read(std::string("out_") + C.Type + "/" + C.Output), HasSubstr(C.Line));
    }
    EXPECT_EQ(Temp.Read("raw/Bocaisse.txt"), "c;20081226;3;4;12,50\r\n");
    EXPECT_FALSE(FileExists(Temp.Path("out_XLSOFT/081227.txt"))); // only bocaisse.txt converts
}

// The exports to back offices, from the demo's counting file of 24 December 2008.
TEST_F(TarnoProgramTest, ConvertRunsTheExports) {
    const std::string Counting = std::string(TARNO_SOURCE_DIR) + "/demo/in/vrksummarize/081224.vrk";
    struct {
        const char* Type;
        const char* Output; // a file the export writes
        const char* Line;   // and a line in it
    } Cases[] = {
        {"CEGID", "ZALMORET.TXT", "000012412200809000000700007001\r\n"},
        {"CEGID --set RetailMode=1", "ZALMORET.TXT",
         "GCEC10000012412200809:000000700004Y00001\r\n"},
        {"CYLANDE --set Scale15min=1", "ZALMORET.TXT", "24122008;09:00;1;"},
        {"ACE", "index/counting_index.txt", "2008/12/24 09:00:00\t*\t9\r\n"}, // held back
        {"CHECKPOINT", "", ""},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Type);
        TTempDir Out;
        TRun R = Run(std::string("convert --type ") + C.Type + " --out '" + Out.Path("") + "' '" +
                     Counting + "'");
        EXPECT_EQ(R.ExitCode, 0) << R.Err;
        if (*C.Output != '\0') {
            EXPECT_THAT(Out.Read(C.Output), HasSubstr(C.Line));
        }
    }
    TRun R = Run("convert --type CROMA --store NORD '" + Counting + "'");
    EXPECT_EQ(R.ExitCode, 0) << R.Err;
}

TEST_F(TarnoProgramTest, CheckConfigWarnsOfExportsSharingAnOutputDirectory) {
    std::string Path = Temp.Write("shared.ini", "[Directory2]\nTrackDirectory=/in/a\n"
                                                "ConvType=CEGID\nOutDir=/out/bo\n"
                                                "[Directory4]\nTrackDirectory=/in/b\n"
                                                "ConvType=ACE\nOutDir=/out/bo/\n"
                                                "[Directory5]\nTrackDirectory=/in/c\n"
                                                "ConvType=CYLANDE\nOutDir=/out/other\n"
                                                "[Directory6]\nTrackDirectory=/in/d\n"
                                                "ConvType=VRKSUMMARIZE\nOutDir=/out/bo\n");
    TRun R = Run("check-config '" + Path + "'");
    EXPECT_EQ(R.ExitCode, 0);
    // The watched directories do not exist either, which check-config reports too.
    EXPECT_THAT(R.Err, HasSubstr("tarno: warning: slots 2 and 4 (CEGID, ACE) share the output "
                                 "directory /out/bo: their exports and indexes would mix\n"));
    EXPECT_EQ(CountChar(R.Err, '\n'), 5) << R.Err;
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
    EXPECT_THAT(R.Out, HasSubstr("convert --help"));
    for (const char* Same : {"-h", "help"}) {
        SCOPED_TRACE(Same);
        EXPECT_EQ(Run(Same).Out, R.Out);
    }
    // The conversion types of this build with their keys and defaults, from the type table.
    R = Run("convert --help");
    EXPECT_EQ(R.ExitCode, 0);
    EXPECT_THAT(R.Out, HasSubstr("\n  VRKSUMMARIZE\n    OutDir=\n    FileExt=vrk\n    DoorOnly=1\n"
                                 "    StoreId=001\n    ZeroExits=1\n"));
    EXPECT_THAT(R.Out, HasSubstr("\n  NONE\n    OutDir=\n    FileExt=*\n"));
    EXPECT_THAT(R.Out, HasSubstr("\n  CROMA\n    OutDir=\n    FileExt=vrk\n"));

    for (const char* Bad : {"frobnicate", "check-config a b", "check-config --bad", "--home"}) {
        SCOPED_TRACE(Bad);
        R = Run(Bad);
        EXPECT_EQ(R.ExitCode, 2);
        EXPECT_EQ(R.Out, "");
        EXPECT_THAT(R.Err, StartsWith("tarno: "));
    }
}

// The README names exactly the conversion types this build converts, as the configuration
// writes their names.
TEST(Readme, ListsTheConversionTypesOfThisBuild) {
    const std::string Readme = ReadFileBytes(std::string(TARNO_SOURCE_DIR) + "/README.md");
    const std::string Lead = "Conversion types of this build:";
    const size_t At = Readme.find(Lead);
    ASSERT_NE(At, std::string::npos);
    std::string Listed = Readme.substr(At + Lead.size());
    Listed = Listed.substr(0, Listed.find("\n\n"));
    std::vector<std::string> Names;
    for (int I = 0; !TrimView(FieldView(Listed, ',', I)).empty(); ++I) {
        std::string Name(TrimView(FieldView(Listed, ',', I)));
        if (Name.ends_with(".")) {
            Name.pop_back();
        }
        Names.push_back(Name);
    }
    std::vector<std::string> Built;
    for (const TConvTypeInfo& Info : ConvTypeTable()) {
        if (HasConverter(Info.Code)) {
            Built.push_back("`" + std::string(Info.Name) + "`");
        }
    }
    EXPECT_EQ(Names, Built);
}

// No file the repository tracks is one its .gitignore files leave out.
TEST(Repository, IgnoresNoTrackedFile) {
    const TTempDir Temp;
    const std::string Command = std::string("git -C '") + TARNO_SOURCE_DIR +
                                "' ls-files -ci --exclude-standard >'" + Temp.Path("ignored") +
                                "' 2>/dev/null";
    if (std::system(Command.c_str()) != 0) {
        GTEST_SKIP() << "not a git checkout";
    }
    EXPECT_EQ(Temp.Read("ignored"), "");
}

} // namespace
