#include "config/ftconfigbase.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/debuglog.h"
#include "common/errors.h"
#include "common/text.h"
#include "testing/fake_clock.h"
#include "testing/temp_dir.h"

namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;
using ::testing::StrEq;
using ::testing::ThrowsMessage;

// Sends the debug log to a file of the temporary directory, stamped by a fixed clock.
class TBaseFtConfigTest : public ::testing::Test {
protected:
    TBaseFtConfigTest() : Clock(EncodeDateTime(2008, 3, 25, 17, 0, 0, 0)), SavedLog(LogFileName()) {
        SetLogFile(nullptr, Temp.Path("log.txt"));
        SetLogClock(&Clock);
    }
    ~TBaseFtConfigTest() override {
        SetLogClock(nullptr);
        SetLogFile(nullptr, SavedLog);
    }
    std::string Log() const { return Temp.Read("log.txt"); }

    TTempDir Temp;
    TFakeClock Clock;
    std::string SavedLog;
};

TEST(TBaseFtConfig, StartsWithTheDefaults) {
    const TBaseFtConfig Config;
    EXPECT_FALSE(Config.LogDetailed);
    EXPECT_EQ(Config.TimeBetweenActions, 60);
    EXPECT_FALSE(Config.ExactTimeMode);
    EXPECT_EQ(Config.ExactTime.GetText(), "18:00");
    for (int I = 0; I < TBaseFtConfig::MaxDirectories; ++I) {
        EXPECT_EQ(Config.GetDirectory(I), "");
    }
    EXPECT_EQ(Config.FirstFreeDirectory(), 0);
}

TEST(TBaseFtConfig, DirectorySlotsAreCheckedAndTheFirstFreeOneFound) {
    TBaseFtConfig Config;
    Config.SetDirectory(0, "/in/a");
    Config.SetDirectory(2, "/in/c");
    EXPECT_EQ(Config.FirstFreeDirectory(), 1);
    for (int I = 0; I < TBaseFtConfig::MaxDirectories; ++I) {
        Config.SetDirectory(I, "/in");
    }
    EXPECT_EQ(Config.FirstFreeDirectory(), -1);
    for (int Index : {-1, 64}) {
        SCOPED_TRACE(Index);
        EXPECT_THAT([&] { Config.GetDirectory(Index); },
                    ThrowsMessage<ERangeError>(StrEq("Range check error")));
        EXPECT_THAT([&] { Config.SetDirectory(Index, "x"); },
                    ThrowsMessage<ERangeError>(StrEq("Range check error")));
    }
}

TEST(TBaseFtConfig, CopyingDropsTheSecondsOfTheTimes) {
    TBaseFtConfig Source;
    Source.LogDetailed = true;
    Source.TimeBetweenActions = 5;
    Source.ExactTimeMode = true;
    Source.ExactTime.SetText("7:00:30 18:00");
    Source.SetDirectory(63, "/in/last");
    TBaseFtConfig Dest;
    Dest.Assign(Source);
    EXPECT_TRUE(Dest.LogDetailed);
    EXPECT_EQ(Dest.TimeBetweenActions, 5);
    EXPECT_TRUE(Dest.ExactTimeMode);
    EXPECT_THAT(Dest.ExactTime.Items(), ElementsAre(7 * 3600, 18 * 3600));
    EXPECT_EQ(Dest.GetDirectory(63), "/in/last");
    TBaseFtConfig Other;
    Source.AssignTo(Other);
    EXPECT_EQ(Other.GetDirectory(63), "/in/last");
}

TEST_F(TBaseFtConfigTest, SavesEverySectionInOrderAndReadsItBack) {
    TBaseFtConfig Config;
    Config.LogDetailed = true;
    Config.TimeBetweenActions = -5;
    Config.ExactTimeMode = true;
    Config.ExactTime.SetText("18:30 8:00:59");
    Config.SetDirectory(1, "/data/in one");
    const std::string Path = Temp.Path("tarno.ini");
    EXPECT_TRUE(Config.SaveToFile(Path));

    std::string Want = "[General]\r\n"
                       "LogDetailed=1\r\n"
                       "TimeBetweenActions=-5\r\n"
                       "ExactTimeMode=1\r\n"
                       "ExactTime=08:00 18:30\r\n";
    for (int I = 0; I < TBaseFtConfig::MaxDirectories; ++I) {
        Want +=
            Format("\r\n[Directory%d]\r\nTrackDirectory=%s\r\n", I, I == 1 ? "/data/in one" : "");
    }
    EXPECT_EQ(Temp.Read("tarno.ini"), Want);

    TBaseFtConfig Loaded;
    EXPECT_TRUE(Loaded.LoadFromFile(Path));
    EXPECT_TRUE(Loaded.LogDetailed);
    EXPECT_EQ(Loaded.TimeBetweenActions, -5);
    EXPECT_TRUE(Loaded.ExactTimeMode);
    EXPECT_EQ(Loaded.ExactTime.GetText(), "08:00 18:30");
    EXPECT_EQ(Loaded.GetDirectory(1), "/data/in one");
    EXPECT_EQ(Loaded.FirstFreeDirectory(), 0);
    EXPECT_EQ(Log(), "");
}

TEST_F(TBaseFtConfigTest, SavingKeepsWhatOthersWroteInTheFile) {
    const std::string Path = Temp.Write("tarno.ini", "; site settings\r\n"
                                                     "[general]\r\n"
                                                     "exacttime = 9:15\r\n"
                                                     "Other=kept\r\n"
                                                     "[Directory7]\r\n"
                                                     "ConvType=VRKSUMMARIZE\r\n"
                                                     "TrackDirectory=/in/7\r\n");
    TBaseFtConfig Config;
    EXPECT_TRUE(Config.LoadFromFile(Path));
    EXPECT_EQ(Config.ExactTime.GetText(), "09:15");
    Config.SetDirectory(7, "/in/seven");
    EXPECT_TRUE(Config.SaveToFile(Path));
    EXPECT_THAT(Temp.Read("tarno.ini"), StartsWith("; site settings\r\n"
                                                   "[general]\r\n"
                                                   "ExactTime=09:15\r\n"
                                                   "Other=kept\r\n"
                                                   "LogDetailed=0\r\n"
                                                   "TimeBetweenActions=60\r\n"
                                                   "ExactTimeMode=0\r\n"
                                                   "[Directory7]\r\n"
                                                   "ConvType=VRKSUMMARIZE\r\n"
                                                   "TrackDirectory=/in/seven\r\n"
                                                   "\r\n"
                                                   "[Directory0]\r\n"));
}

TEST_F(TBaseFtConfigTest, MalformedExactTimeIsReportedAndTheRestStillRead) {
    struct {
        const char* Value;
        const char* Times;
        const char* Reported; // "" for no report
    } Cases[] = {
        {"19:00 24:00 8:00", "08:00 19:00", "Wrong time value \"24:00\""},
        {"18h00", "18:00", "Wrong time value \"18h00\""},
        {"  ", "18:00", ""},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Value);
        const std::string Path =
            Temp.Write("tarno.ini", std::string("[General]\nLogDetailed=2\nExactTime=") + C.Value +
                                        "\n[Directory3]\nTrackDirectory=/in/3\n");
        Temp.Write("log.txt", "");
        TBaseFtConfig Config;
        EXPECT_EQ(Config.LoadFromFile(Path), *C.Reported == 0);
        EXPECT_EQ(Config.ExactTime.GetText(), C.Times);
        EXPECT_TRUE(Config.LogDetailed);
        EXPECT_EQ(Config.GetDirectory(3), "/in/3");
        EXPECT_EQ(Log(), *C.Reported == 0 ? ""
                                          : "25/03/2008 17:00:00\tError reading data from " + Path +
                                                " : " + C.Reported + "\r\n");
    }
}

TEST_F(TBaseFtConfigTest, MissingFileLoadsTheDefaultsSilently) {
    TBaseFtConfig Config;
    Config.SetDirectory(0, "/in");
    EXPECT_TRUE(Config.LoadFromFile(Temp.Path("none.ini")));
    EXPECT_EQ(Config.GetDirectory(0), "");
    EXPECT_EQ(Config.ExactTime.GetText(), "18:00");
    EXPECT_EQ(Log(), "");
}

TEST_F(TBaseFtConfigTest, AFileThatCannotBeWrittenIsReported) {
    const std::string Path = Temp.Write("plain", "x") + "/tarno.ini";
    const TBaseFtConfig Config;
    EXPECT_FALSE(Config.SaveToFile(Path));
    EXPECT_THAT(Log(), StartsWith("25/03/2008 17:00:00\tError writing data to " + Path +
                                  " : Cannot create file"));
}

} // namespace
