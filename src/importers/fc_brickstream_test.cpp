#include "importers/fc_brickstream.h"

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "common/errors.h"
#include "config/fcsconvparams.h"
#include "data/sha1.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "testing/temp_dir.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::StrEq;
using testing::ThrowsMessage;

namespace {

// The lines of a day file without the update stamp, which holds the time of writing.
std::vector<std::string> DayFileLines(const std::string& Path) {
    std::vector<std::string> Lines;
    ForEachTextLine(ReadFileBytes(Path), [&](std::string_view Line) {
        if (!Line.starts_with("#M")) {
            Lines.emplace_back(Line);
        }
    });
    return Lines;
}

// A day file as read back by the counting data readers.
struct TDayFile {
    TVrkConfig Config;
    std::unique_ptr<TVrkDay> Day = std::make_unique<TVrkDay>();

    explicit TDayFile(const std::string& Path) {
        Config.ReadHeaderFromFile(Path);
        LoadDay(Path, *Day, Config);
    }
    int32_t Count(int Hour, int Minute, int Channel) const {
        return Day->Slots[static_cast<std::size_t>(Hour * 4 + Minute / 15)]
            .Counts[static_cast<std::size_t>(Channel - 1)];
    }
};

// "|" separated interval line with the fields the importers read (2, 4, 6, 7, 8).
std::string Interval(const std::string& Field2, const std::string& Field4, const std::string& Stamp,
                     const std::string& In, const std::string& Out) {
    return "11|site|" + Field2 + "|3|" + Field4 + "|1|" + Stamp + "|" + In + "|" + Out + "\r\n";
}

class BrickstreamImport : public testing::Test {
protected:
    BrickstreamImport() {
        ForceDirectories(Out());
        Params.OutDir = Out();
        Child.OutDir = Out();
        Rt.OutDir = Out();
    }
    std::string Out() const { return Tmp.Path("out"); }
    std::string OutFile(const std::string& Name) const { return Tmp.Path("out/" + Name); }
    std::string Input(const std::string& Text) const { return Tmp.Write("shop12/in/bs.dat", Text); }

    TTempDir Tmp;
    TConvParamsBrickstream Params;
    TConvParamsBrickstreamChld Child;
    TConvParamsBrickstreamRt Rt;
};

TEST_F(BrickstreamImport, WritesTheDayFileOfAnIntervalLine) {
    ASSERT_TRUE(ImportBrickstream(
        Input(Interval("Store 12", "Door A", "03/07/2008 00:30:00", "12", "9")), Params));
    const std::string Rows = "001\t07/03/2008\t00:00\t 0\t 0\t 0\t 0\r\n"
                             "001\t07/03/2008\t00:15\t 12\t 9\t 0\t 0\r\n";
    EXPECT_THAT(DayFileLines(OutFile("080307.vrk")),
                ElementsAre("#TKT9", "# Shop name: Store 12", "#D1DDoor A", "#D2D", "#D3D", "#D4D",
                            "#C1YE1", "#C2YX1", "#C3IE2", "#C4IX2", "#C5IE3", "#C6IX3", "#C7IE4",
                            "#C8IX4", "#R1111111111111111", "#K1.000", "#F0", "#S" + Sha1Hex(Rows),
                            "Magasin \tDate \tHeure \t CANALS\t\t\t",
                            "\t\t\tCNL1\tCNL2\tCNL3\tCNL4",
                            "001\t07/03/2008\t00:00\t 0\t 0\t 0\t 0",
                            "001\t07/03/2008\t00:15\t 12\t 9\t 0\t 0"));
}

TEST_F(BrickstreamImport, StampsEndTheirQuarterHourAndMidnightBelongsToTheDayBefore) {
    Params.UseShopId = true;
    Params.ShopId = "S12";
    ImportBrickstream(Input(Interval("Store", "Door A", "03/07/2008 10:15:00", "12", "9") +
                            Interval("Store", "Door A", "03/08/2008 00:00:00", "5", "4") +
                            Interval("Store", "Door A", "03/08/2008 00:15:00", "7", "6")),
                      Params);
    const TDayFile First(OutFile("080307.vrk"));
    EXPECT_EQ(First.Count(10, 0, 1), 12);
    EXPECT_EQ(First.Count(10, 0, 2), 9);
    EXPECT_EQ(First.Count(23, 45, 1), 5);
    EXPECT_EQ(First.Day->LastSlot, 95);
    const TDayFile Second(OutFile("080308.vrk"));
    EXPECT_EQ(Second.Count(0, 0, 1), 7);
    EXPECT_EQ(Second.Day->LastSlot, 0);
    // The store code of the rows is the shop id.
    EXPECT_THAT(DayFileLines(OutFile("080308.vrk")).back(),
                StrEq("S12\t08/03/2008\t00:00\t 7\t 6\t 0\t 0"));
}

// The shift to the start of the quarter-hour must not take a reading out of the years a day
// file name can hold: 31/12/1990 would be written as 2090.
TEST_F(BrickstreamImport, ReadingsShiftedBefore1991AreSkipped) {
    ImportBrickstream(Input(Interval("Store", "Door A", "01/01/1991 00:10:00", "12", "9") +
                            Interval("Store", "Door A", "01/01/1991 00:15:00", "5", "4")),
                      Params);
    EXPECT_FALSE(FileExists(OutFile("901231.vrk")));
    const TDayFile File(OutFile("910101.vrk"));
    EXPECT_EQ(File.Count(0, 0, 1), 5);
}

TEST_F(BrickstreamImport, ZeroExitsClearsTheLeavingCounts) {
    Params.ZeroExits = true;
    ImportBrickstream(Input(Interval("S", "Door A", "03/07/2008 10:15:00", "12", "9")), Params);
    const TDayFile File(OutFile("080307.vrk"));
    EXPECT_EQ(File.Count(10, 0, 1), 12);
    EXPECT_EQ(File.Count(10, 0, 2), 0);
}

TEST_F(BrickstreamImport, ImportsMergeIntoTheDayFileBySettingCounts) {
    const std::string First = Input(Interval("Store", "Door A", "03/07/2008 10:15:00", "12", "9") +
                                    Interval("Store", "Door B", "03/07/2008 10:15:00", "3", "4"));
    ImportBrickstream(First, Params);
    const auto Once = DayFileLines(OutFile("080307.vrk"));
    ImportBrickstream(First, Params);
    EXPECT_EQ(DayFileLines(OutFile("080307.vrk")), Once);

    // Another file: the same zone in other case replaces its counts, a new zone gets door 3,
    // the other zone keeps its counts.
    ImportBrickstream(
        Tmp.Write("shop12/in/bs2.dat", Interval("", "door a", "03/07/2008 10:15:00", "20", "1") +
                                           Interval("", "Door C", "03/07/2008 10:45:00", "2", "2")),
        Params);
    const TDayFile File(OutFile("080307.vrk"));
    EXPECT_EQ(File.Config.Doors(1).Name, "Door A");
    EXPECT_EQ(File.Config.Doors(3).Name, "Door C");
    EXPECT_EQ(File.Count(10, 0, 1), 20);
    EXPECT_EQ(File.Count(10, 0, 2), 1);
    EXPECT_EQ(File.Count(10, 0, 3), 3);
    EXPECT_EQ(File.Count(10, 0, 4), 4);
    EXPECT_EQ(File.Count(10, 30, 5), 2);
    // The rows carry the channels of all three doors.
    EXPECT_EQ(File.Day->ChannelCount, 6);
    // Without a store in its lines, the shop name comes from the directory above OutDir.
    EXPECT_EQ(File.Config.ShopName(), Tmp.Dir().substr(Tmp.Dir().find_last_of('/') + 1));
}

// A zone name cut after a blank (a case the fuzzer found, and a plain one) is the same door when
// the file is imported again.
TEST_F(BrickstreamImport, ZoneNamesCutAfterABlankImportTheSameTwice) {
    for (const std::string& Text :
         {ReadFileBytes("testdata/fuzz_zone_cut_at_blank.dat"),
          Interval("Store", std::string(31, 'z') + " B", "03/07/2008 10:15:00", "12", "9")}) {
        std::filesystem::remove(OutFile("080307.vrk"));
        const std::string In = Input(Text);
        ImportBrickstream(In, Params);
        const auto Once = DayFileLines(OutFile("080307.vrk"));
        ImportBrickstream(In, Params);
        EXPECT_EQ(DayFileLines(OutFile("080307.vrk")), Once);
    }
}

TEST_F(BrickstreamImport, ReadingsOfOneSecondKeepTheirFileOrder) {
    ImportBrickstream(Input(Interval("S", "Door B", "03/07/2008 10:15:00", "1", "1") +
                            Interval("S", "Door A", "03/07/2008 10:15:00", "2", "2") +
                            Interval("S", "DOOR B", "03/07/2008 10:15:00", "3", "3")),
                      Params);
    const TDayFile File(OutFile("080307.vrk"));
    // Door A sorts first and gets door 1; the later line of Door B wins.
    EXPECT_EQ(File.Config.Doors(1).Name, "Door A");
    EXPECT_EQ(File.Config.Doors(2).Name, "Door B");
    EXPECT_EQ(File.Count(10, 0, 3), 3);
}

TEST_F(BrickstreamImport, ZonesBeyondThirtyTwoDoorsAreDropped) {
    std::string Text;
    for (int Z = 1; Z <= 33; ++Z) {
        Text += Interval("S", "Zone " + std::to_string(Z), "03/07/2008 10:15:00", std::to_string(Z),
                         "0");
    }
    ImportBrickstream(Input(Text), Params);
    const TDayFile File(OutFile("080307.vrk"));
    // Zones sort as text: Zone 1, Zone 10 .. Zone 19, Zone 2, ... Zone 8, Zone 9.
    EXPECT_EQ(File.Config.Doors(32).Name, "Zone 8");
    EXPECT_EQ(File.Day->ChannelCount, 64);
    for (int D = 1; D <= 32; ++D) {
        EXPECT_NE(File.Config.Doors(D).Name, "Zone 9");
    }
}

TEST_F(BrickstreamImport, MessyLinesAreSkipped) {
    ASSERT_TRUE(ImportBrickstream(
        Tmp.Write("in/messy.dat", ReadFileBytes("testdata/brickstream_messy.dat")), Params));
    const TDayFile File(OutFile("080307.vrk"));
    EXPECT_EQ(File.Config.Doors(1).Name, "Door A");
    EXPECT_FALSE(File.Config.Doors(2).Defined);
    EXPECT_EQ(File.Count(10, 0, 1), 12);
    EXPECT_EQ(File.Count(10, 0, 2), 9);
    EXPECT_EQ(File.Count(10, 15, 1), 3);
    EXPECT_EQ(File.Day->LastSlot, 41);
    EXPECT_EQ(ListFiles(Out(), "*").size(), 1U);
}

TEST_F(BrickstreamImport, ChildrenLinesJoinTheirEntranceLine) {
    ImportBrickstreamChild(Input(Interval("Hall", "entrance", "03/07/2008 10:15:00", "10", "8") +
                                 Interval("Hall", "CHILDREN", "03/07/2008 10:15:00", "2", "1") +
                                 Interval("Mall", "corridor", "03/07/2008 10:30:00", "4", "4") +
                                 Interval("Kids", "children", "03/07/2008 10:30:00", "6", "5")),
                           Child);
    const TDayFile File(OutFile("080307.vrk"));
    EXPECT_EQ(File.Config.Doors(1).Name, "Hall");
    EXPECT_EQ(File.Config.Doors(1).DoorType, 'D');
    EXPECT_EQ(File.Count(10, 0, 1), 10);
    EXPECT_EQ(File.Count(10, 0, 2), 8);
    EXPECT_EQ(File.Count(10, 0, 3), 2);
    EXPECT_EQ(File.Count(10, 0, 4), 1);
    // Kids sorts before Mall: door 2 is an entrance holding children counts only.
    EXPECT_EQ(File.Config.Doors(2).Name, "Kids");
    EXPECT_EQ(File.Config.Doors(2).DoorType, 'D');
    EXPECT_EQ(File.Count(10, 15, 5), 0);
    EXPECT_EQ(File.Count(10, 15, 6), 0);
    EXPECT_EQ(File.Count(10, 15, 7), 6);
    EXPECT_EQ(File.Count(10, 15, 8), 5);
    EXPECT_EQ(File.Config.Doors(3).Name, "Mall");
    EXPECT_EQ(File.Config.Doors(3).DoorType, 'C');
    EXPECT_EQ(File.Count(10, 15, 9), 4);
    EXPECT_EQ(File.Config.ShopName(), "001");
    EXPECT_THAT(DayFileLines(OutFile("080307.vrk")),
                testing::IsSupersetOf({"#C1YE1", "#C2YX1", "#C3YA1", "#C4YB1", "#C9YE3"}));
}

// A repeated entrance line replaces the counts of the first: the children counts of that time
// and zone belong to the reading that is written.
TEST_F(BrickstreamImport, ChildrenCountsJoinTheEntranceLineThatIsKept) {
    ImportBrickstreamChild(Input(Interval("Hall", "entrance", "03/07/2008 10:15:00", "10", "8") +
                                 Interval("Hall", "children", "03/07/2008 10:15:00", "2", "1") +
                                 Interval("Hall", "entrance", "03/07/2008 10:15:00", "11", "9")),
                           Child);
    const TDayFile File(OutFile("080307.vrk"));
    EXPECT_EQ(File.Count(10, 0, 1), 11);
    EXPECT_EQ(File.Count(10, 0, 2), 9);
    EXPECT_EQ(File.Count(10, 0, 3), 2);
    EXPECT_EQ(File.Count(10, 0, 4), 1);
}

TEST_F(BrickstreamImport, ChildrenImportKeepsSixteenDoors) {
    Child.ZeroExits = true;
    std::string Text;
    for (int Z = 10; Z <= 26; ++Z) {
        Text += Interval("Zone " + std::to_string(Z), "entrance", "03/07/2008 10:15:00", "1", "1");
        Text += Interval("Zone " + std::to_string(Z), "children", "03/07/2008 10:15:00", "2", "2");
    }
    ImportBrickstreamChild(Input(Text), Child);
    const TDayFile File(OutFile("080307.vrk"));
    EXPECT_EQ(File.Config.Doors(16).Name, "Zone 25");
    EXPECT_FALSE(File.Config.Doors(17).Defined);
    EXPECT_EQ(File.Day->ChannelCount, 64);
    EXPECT_EQ(File.Count(10, 0, 63), 2);
    EXPECT_EQ(File.Count(10, 0, 64), 0); // ZeroExits clears the children leaving too
}

TEST_F(BrickstreamImport, RunningCountersBecomeQuarterHourDifferences) {
    Rt.UseShopId = true;
    Rt.ShopId = "042";
    ASSERT_TRUE(ImportBrickstreamRt(Input("2008-03-07;10:30;entrance;Door A;125;10;dev1\r\n"
                                          "2008-03-07;10:00;entrance;Door A;100;10;dev1\r\n"
                                          "2008-03-07;10:45;entrance;Door A;2000;10;dev1\r\n"
                                          "2008-03-07;10:15;entrance;Door A;130;12;dev1\r\n"
                                          "\r\n"
                                          "2008-03-07;10:20;Corridor;Door A;7;0;3;1;dev0\r\n"
                                          "2008-03-07;10:50;Corridor;Door A;9;0;4;1;dev0\r\n"),
                                    Rt));
    const TDayFile File(OutFile("080307.vrk"));
    // dev0 sorts first: one door per zone and device, even for the same zone name.
    EXPECT_EQ(File.Config.Doors(1).Name, "Door A");
    EXPECT_EQ(File.Config.Doors(1).DoorType, 'C');
    EXPECT_EQ(File.Config.Doors(2).Name, "Door A");
    EXPECT_EQ(File.Config.Doors(2).DoorType, 'D');
    EXPECT_EQ(File.Count(10, 45, 1), 2);
    EXPECT_EQ(File.Count(10, 45, 3), 1);
    const int Want[][2] = {{10 * 60, 0}, {10 * 60 + 15, 30}, {10 * 60 + 30, 0}, {10 * 60 + 45, 0}};
    for (const auto& W : Want) {
        EXPECT_EQ(File.Count(W[0] / 60, W[0] % 60, 5), W[1]) << W[0];
    }
    EXPECT_EQ(File.Count(10, 15, 6), 2);
    EXPECT_EQ(File.Config.ShopName(), "shop12");
    EXPECT_THAT(DayFileLines(OutFile("080307.vrk")).back(),
                StrEq("042\t07/03/2008\t10:45\t 2\t 0\t 1\t 0\t 0\t 0\t 0\t 0"));
}

TEST_F(BrickstreamImport, RunningCountersRebuildTheDayFile) {
    ImportBrickstream(Input(Interval("S", "Old", "03/07/2008 10:15:00", "5", "5")), Params);
    ImportBrickstreamRt(Tmp.Write("shop12/in/rt.dat", "2008-03-07;11:00;entrance;New;1;1;dev\r\n"
                                                      "2008-03-07;11:15;entrance;New;3;1;dev\r\n"),
                        Rt);
    const TDayFile File(OutFile("080307.vrk"));
    EXPECT_EQ(File.Config.Doors(1).Name, "New");
    EXPECT_FALSE(File.Config.Doors(2).Defined);
    EXPECT_EQ(File.Count(10, 0, 1), 0);
    EXPECT_EQ(File.Count(11, 15, 1), 2);
}

TEST_F(BrickstreamImport, RunningCountersKeepSixteenZones) {
    std::string Text;
    for (int Z = 10; Z <= 27; ++Z) {
        Text += "2008-03-07;10:00;entrance;Zone " + std::to_string(Z) + ";1;1;dev\r\n";
        Text += "2008-03-07;10:15;entrance;Zone " + std::to_string(Z) + ";3;1;dev\r\n";
    }
    Text += "2008-03-07;10:00;entrance;Zone 99;1;1;other\r\n";
    ImportBrickstreamRt(Input(Text), Rt);
    const TDayFile File(OutFile("080307.vrk"));
    EXPECT_EQ(File.Config.Doors(16).Name, "Zone 25");
    EXPECT_FALSE(File.Config.Doors(17).Defined);
    EXPECT_EQ(File.Count(10, 15, 61), 2);
    EXPECT_EQ(File.Day->ChannelCount, 64);
}

// Files in day order are taken day by day as they are read; a line of an earlier day makes the
// import read the file again keeping all lines. Both give the day files of the lines sorted.
TEST_F(BrickstreamImport, DaysInAnyOrderImportAlike) {
    for (const bool Children : {false, true}) {
        SCOPED_TRACE(Children);
        // Children files name the zone in field 2 and its type in field 4.
        const auto Line = [&](const char* Store, const char* Zone, const char* Type,
                              const char* Stamp, const char* In) {
            return Children ? Interval(Zone, Type, Stamp, In, "1")
                            : Interval(Store, Zone, Stamp, In, "1");
        };
        const std::string Day7a = Line("S", "Door B", "entrance", "03/07/2008 10:15:00", "1");
        const std::string Day7b = Line("S", "door a", "children", "03/07/2008 10:15:00", "2");
        const std::string Day8 = Line("T", "Door C", "entrance", "03/08/2008 10:15:00", "3");
        const std::string Day9 = Line("S", "Door B", "children", "03/09/2008 00:00:00", "4");
        const auto Import = [&](const std::string& Text) {
            std::filesystem::remove_all(Out());
            ForceDirectories(Out());
            if (Children) {
                ImportBrickstreamChild(Input(Text), Child);
            } else {
                ImportBrickstream(Input(Text), Params);
            }
            EXPECT_EQ(ListFiles(Out(), "*").size(), 2U);
            return std::vector{DayFileLines(OutFile("080307.vrk")),
                               DayFileLines(OutFile("080308.vrk"))};
        };
        const auto Sorted = Import(Day7a + Day7b + Day8 + Day9);
        EXPECT_EQ(Import(Day7a + Day8 + Day7b + Day9), Sorted);
        EXPECT_EQ(Import(Day9 + Day8 + Day7b + Day7a), Sorted);
    }
}

// A day file that cannot be written fails the import after the days before it are written,
// whatever the order of the lines.
TEST_F(BrickstreamImport, ADayThatFailsStopsTheDaysAfterIt) {
    const std::string Day7 = Interval("S", "Door A", "03/07/2008 10:15:00", "1", "2");
    const std::string Day8 = Interval("S", "Door A", "03/08/2008 10:15:00", "3", "4");
    const std::string Day9 = Interval("S", "Door A", "03/09/2008 10:15:00", "5", "6");
    for (const std::string& Text : {Day7 + Day8 + Day9, Day9 + Day7 + Day8}) {
        std::filesystem::remove_all(Out());
        ForceDirectories(OutFile("080308.vrk/x"));
        EXPECT_THROW(ImportBrickstream(Input(Text), Params), EOSError);
        EXPECT_TRUE(FileExists(OutFile("080307.vrk")));
        EXPECT_FALSE(FileExists(OutFile("080309.vrk")));
    }
}

TEST_F(BrickstreamImport, InputErrors) {
    // A missing input imports nothing.
    EXPECT_TRUE(ImportBrickstream(Tmp.Path("none.dat"), Params));
    EXPECT_TRUE(ImportBrickstreamRt(Tmp.Path("none.dat"), Rt));
    EXPECT_TRUE(ListFiles(Out(), "*").empty());
    // An input reached through a symbolic link is not read: nothing is imported.
    const std::string Real = Input(Interval("", "door a", "03/07/2008 10:15:00", "20", "1"));
    const std::string Link = Tmp.Path("shop12/in/link.dat");
    ASSERT_EQ(::symlink(Real.c_str(), Link.c_str()), 0);
    EXPECT_TRUE(ImportBrickstream(Link, Params));
    EXPECT_TRUE(ImportBrickstreamChild(Link, Child));
    EXPECT_TRUE(ImportBrickstreamRt(Link, Rt));
    EXPECT_TRUE(ListFiles(Out(), "*").empty());
    // A day file that cannot be written fails it too.
    ForceDirectories(OutFile("080307.vrk"));
    const std::string Line = Interval("S", "Door A", "03/07/2008 10:15:00", "1", "1");
    EXPECT_THROW(ImportBrickstream(Input(Line), Params), EOSError);
    // The parameters of another type are refused.
    EXPECT_THROW(ImportBrickstreamChild(Input(Line), Params), EConvertError);
    Params.OutDir.clear();
    EXPECT_THAT([&] { ImportBrickstream(Input(Line), Params); },
                ThrowsMessage<ETarnoError>(StrEq("Output directory not set")));
}

} // namespace
