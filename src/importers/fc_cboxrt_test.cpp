#include "importers/fc_cboxrt.h"

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "common/errors.h"
#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "importers/brickstream.h"
#include "platform/files.h"
#include "testing/temp_dir.h"

using testing::Contains;

namespace {

struct TDayFile {
    TVrkConfig Config;
    std::unique_ptr<TVrkDay> Day = std::make_unique<TVrkDay>();
    std::vector<std::string> Lines;

    explicit TDayFile(const std::string& Path) {
        const std::string Text = ReadFileBytes(Path);
        Config.ReadHeader(Text);
        LoadDay(Path, *Day, Config);
        ForEachTextLine(Text, [&](std::string_view Line) { Lines.emplace_back(Line); });
    }
    int32_t Count(int Hour, int Minute, int Channel) const {
        return Day->Slots[static_cast<std::size_t>(Hour * 4 + Minute / 15)]
            .Counts[static_cast<std::size_t>(Channel - 1)];
    }
};

TEST(ParseCboxLine, ReadsEveryField) {
    TCboxLine R;
    ASSERT_TRUE(
        ParseCboxLine(" 2008-03-07 ; 10:15:30 ; A ; Door 1 ; C ; X ; 1 ; 17 ; box ; 02 ", R));
    EXPECT_TRUE(R.Absolute);
    EXPECT_EQ(R.Zone, "Door 1");
    EXPECT_EQ(R.ZoneType, 'C');
    EXPECT_TRUE(R.Exits);
    EXPECT_TRUE(R.Halved);
    EXPECT_EQ(R.Value, 17);
    EXPECT_EQ(R.Device, "box");
    EXPECT_EQ(R.ChannelId, "02");
    int64_t Want = 0;
    ASSERT_TRUE(ReadingSecond(2008, 3, 7, 10, 15, 30, Want));
    EXPECT_EQ(R.Second, Want);

    ASSERT_TRUE(ParseCboxLine("2008-03-07;10:15;I;Z;D;E;0;0;box;123", R));
    EXPECT_FALSE(R.Absolute);
    EXPECT_EQ(R.ChannelId, "12");
    ASSERT_TRUE(ReadingSecond(2008, 3, 7, 10, 15, 0, Want));
    EXPECT_EQ(R.Second, Want);
}

TEST(ParseCboxLine, SkipsLinesThatDoNotParse) {
    const char* Lines[] = {
        "",
        "2008-03-07;10:15;a;Z;D;E;0;1;box;01",  // mode in lower case
        "2008-03-07;10:15;X;Z;D;E;0;1;box;01",  // unknown mode
        "2008-03-07;10:15;A;;D;E;0;1;box;01",   // empty zone
        "2008-03-07;10:15;A;Z;d;E;0;1;box;01",  // zone type in lower case
        "2008-03-07;10:15;A;Z;A;E;0;1;box;01",  // no children zones
        "2008-03-07;10:15;A;Z;D;e;0;1;box;01",  // direction in lower case
        "2008-03-07;10:15;A;Z;D;E;2;1;box;01",  // halving not 0 or 1
        "2008-03-07;10:15;A;Z;D;E;0;-1;box;01", // negative value
        "2008-03-07;10:15;A;Z;D;E;0;x;box;01",  // value not a number
        "2008-03-07;10:15;A;Z;D;E;0;1;;01",     // empty device
        "2008-03-07;10:15;A;Z;D;E;0;1;box",     // no channel identifier
        "2008-13-07;10:15;A;Z;D;E;0;1;box;01",  // impossible date
        "2008-03-07;10:75;A;Z;D;E;0;1;box;01",  // impossible time
    };
    for (const char* Line : Lines) {
        SCOPED_TRACE(Line);
        TCboxLine R;
        EXPECT_FALSE(ParseCboxLine(Line, R));
    }
}

class CboxImport : public testing::Test {
protected:
    CboxImport() {
        ForceDirectories(Tmp.Path("out"));
        Params.OutDir = Tmp.Path("out");
    }
    bool Import(const std::string& Text) {
        return ImportCboxRt(Tmp.Write("store7/cbox/day.dat", Text), Params);
    }
    TDayFile Result() const { return TDayFile(Tmp.Path("out/080307.vrk")); }

    TTempDir Tmp;
    TConvParamsCboxRt Params;
};

TEST_F(CboxImport, TwoChannelsOfOneDeviceShareTheirDoor) {
    ASSERT_TRUE(Import("2008-03-07;10:00;A;Door 1;D;E;0;12;box;01\r\n"
                       "2008-03-07;10:00;A;Door 1;D;X;0;9;box;02\r\n"
                       "2008-03-07;10:00;A;Door 1;D;E;0;4;other;01\r\n"));
    const TDayFile File = Result();
    EXPECT_EQ(File.Config.Doors(1).Name, "Door 1");
    EXPECT_TRUE(File.Config.Doors(1).HasExits);
    // Another device on a zone of the same name gets a door of its own (which readers of the
    // file merge with the first by its name).
    EXPECT_THAT(File.Lines, Contains("#D2DDoor 1"));
    EXPECT_THAT(File.Lines, Contains("#D3D"));
    EXPECT_THAT(File.Lines, Contains("#C1YE1 box_01"));
    EXPECT_THAT(File.Lines, Contains("#C2YX1 box_02"));
    EXPECT_THAT(File.Lines, Contains("#C3YE2 other_01"));
    EXPECT_THAT(File.Lines, Contains("# Shop name: store7"));
    EXPECT_EQ(File.Count(10, 0, 1), 12);
    EXPECT_EQ(File.Count(10, 0, 2), 9);
    EXPECT_EQ(File.Count(10, 0, 3), 4);
    EXPECT_THAT(File.Lines.back(), testing::StrEq("001\t07/03/2008\t10:00\t 12\t 9\t 4\t 0"));
}

TEST_F(CboxImport, RunningCountersAddDifferencesAbsoluteValuesReplace) {
    ASSERT_TRUE(Import("2008-03-07;10:00;I;Door 1;D;E;0;500;box;01\r\n"
                       "2008-03-07;10:20;I;Door 1;D;E;0;515;box;01\r\n"
                       "2008-03-07;10:15;I;Door 1;D;E;0;520;box;01\r\n"
                       "2008-03-07;10:25;I;Door 1;D;E;0;530;box;01\r\n"
                       "2008-03-07;10:40;I;Door 1;D;E;0;3000;box;01\r\n"
                       "2008-03-07;10:00;A;Door 1;D;X;0;7;box;02\r\n"
                       "2008-03-07;10:05;A;Door 1;D;X;0;8;box;02\r\n"));
    const TDayFile File = Result();
    // 500, 520, 515, 530 give 0, 20, 0 (a drop), 15; 3000 is a jump and counts 0.
    EXPECT_EQ(File.Count(10, 0, 1), 0);
    EXPECT_EQ(File.Count(10, 15, 1), 35);
    EXPECT_EQ(File.Count(10, 30, 1), 0);
    // A later absolute value of the same quarter-hour replaces the earlier one.
    EXPECT_EQ(File.Count(10, 0, 2), 8);
}

TEST_F(CboxImport, HalvingIsFlaggedForTheFirstSixteenChannels) {
    std::string Text;
    for (int C = 1; C <= 17; ++C) {
        const bool Halved = C == 3 || C == 17;
        Text += "2008-03-07;10:00;A;Zone " + std::to_string(100 + C) + ";D;E;" +
                (Halved ? "1" : "0") + ";1;box;" + std::to_string(10 + C) + "\r\n";
    }
    ASSERT_TRUE(Import(Text));
    const TDayFile File = Result();
    EXPECT_THAT(File.Lines, Contains("#R1121111111111111"));
    EXPECT_THAT(File.Lines, Contains("#C17YE17 box_27"));
}

TEST_F(CboxImport, AReadingWithoutAFreeDoorDropsTheRestOfItsMode) {
    std::string Text;
    for (int C = 1; C <= 65; ++C) {
        Text += "2008-03-07;10:00;A;Door " + std::to_string(C) + ";D;E;0;1;box" +
                std::to_string(1000 + C) + ";01\r\n";
    }
    Text += "2008-03-07;10:00;I;Door;D;E;0;1;box;01\r\n";
    Text += "2008-03-07;10:15;I;Door;D;E;0;5;box;01\r\n";
    ASSERT_TRUE(Import(Text));
    const TDayFile File = Result();
    // The running counter came first and took channel 1 on door 1; each other device gets a
    // door of its own until the 32 doors are used.
    EXPECT_EQ(File.Count(10, 15, 1), 4);
    EXPECT_TRUE(File.Config.Doors(32).Defined);
    EXPECT_EQ(File.Day->ChannelCount, 32);
}

TEST_F(CboxImport, InputErrors) {
    EXPECT_TRUE(ImportCboxRt(Tmp.Path("none.dat"), Params));
    EXPECT_TRUE(Import("nothing to read\r\n"));
    EXPECT_TRUE(ListFiles(Tmp.Path("out"), "*").empty());
    // An input reached through a symbolic link is not read.
    const std::string Real = Tmp.Write("in/real.dat", "nothing to read\r\n");
    ASSERT_EQ(::symlink(Real.c_str(), Tmp.Path("in/link.dat").c_str()), 0);
    EXPECT_TRUE(ImportCboxRt(Tmp.Path("in/link.dat"), Params));
    EXPECT_TRUE(ListFiles(Tmp.Path("out"), "*").empty());
}

} // namespace
