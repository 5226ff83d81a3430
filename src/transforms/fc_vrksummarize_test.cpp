#include "transforms/fc_vrksummarize.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"
#include "testing/temp_dir.h"
#include "transforms/vrktest.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::StrEq;
using testing::ThrowsMessage;

TEST(Summarize, WritesDoorAndCorridorTotals) {
    TTempDir Tmp;
    const std::string In = Tmp.Write("in/081224.vrk", Fixture("kt9_door_corridor_parking.vrk"));
    TConvParamsVrkSummarize P;
    P.OutDir = Tmp.Path("out");
    ForceDirectories(P.OutDir);
    P.DoorOnly = false;
    P.ZeroExits = false;
    P.StoreId = "042";
    ASSERT_TRUE(SummarizeFile(In, P));
    const std::string Out = Tmp.Path("out/081224.vrk");
    EXPECT_THAT(StableHeader(Out),
                ElementsAre("#TKT9", "# Shop name: Gare Nord", "#D1DPorte", "#D2CCorridor", "#D3D",
                            "#D4D", "#C1YE1", "#C2YX1", "#C3YE2", "#C4YX2", "#C5IE3", "#C6IX3",
                            "#C7IE4", "#C8IX4", "#R1111111111111111", "#K1.000", "#F0"));
    // Door "Entree" (D): entries 5 + 2, exit 4; corridor (C): 10 and 3; parking and the
    // inactive channel 8 count nowhere. The empty quarters between the rows are written too.
    EXPECT_THAT(DataRows(Out), ElementsAre("042\t24/12/2008\t09:00\t 7\t 4\t 10\t 3",
                                           "042\t24/12/2008\t09:15\t 0\t 0\t 0\t 0",
                                           "042\t24/12/2008\t09:30\t 0\t 0\t 0\t 0",
                                           "042\t24/12/2008\t09:45\t 2\t 1\t 1\t 1"));
    EXPECT_EQ(ReadFileBytes(In), Fixture("kt9_door_corridor_parking.vrk"));
}

TEST(Summarize, DoorOnlyAndZeroExits) {
    struct {
        bool DoorOnly, ZeroExits;
        const char* First;
        const char* Last;
    } Cases[] = {
        {true, true, "001\t24/12/2008\t09:00\t 7\t 0\t 0\t 0",
         "001\t24/12/2008\t09:45\t 2\t 0\t 0\t 0"},
        {true, false, "001\t24/12/2008\t09:00\t 7\t 4\t 0\t 0",
         "001\t24/12/2008\t09:45\t 2\t 1\t 0\t 0"},
        {false, true, "001\t24/12/2008\t09:00\t 7\t 0\t 10\t 0",
         "001\t24/12/2008\t09:45\t 2\t 0\t 1\t 0"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(testing::Message() << C.DoorOnly << C.ZeroExits);
        TTempDir Tmp;
        const std::string In = Tmp.Write("081224.vrk", Fixture("kt9_door_corridor_parking.vrk"));
        TConvParamsVrkSummarize P;
        P.OutDir = Tmp.Path("out/");
        ForceDirectories(P.OutDir);
        P.DoorOnly = C.DoorOnly;
        P.ZeroExits = C.ZeroExits;
        ASSERT_TRUE(SummarizeFile(In, P));
        const std::vector<std::string> Rows = DataRows(Tmp.Path("out/081224.vrk"));
        ASSERT_EQ(Rows.size(), 4u);
        EXPECT_EQ(Rows.front(), C.First);
        EXPECT_EQ(Rows.back(), C.Last);
        if (C.DoorOnly) {
            const std::vector<std::string> Header = StableHeader(Tmp.Path("out/081224.vrk"));
            EXPECT_EQ(Header[3], "#D2D");
            EXPECT_EQ(Header[8], "#C3IE2");
        }
    }
}

TEST(Summarize, Vrk01EntrancesAndDateOfTheName) {
    TTempDir Tmp;
    // The name dates the output rows, whatever the rows of the input say.
    const std::string In = Tmp.Write("090105_a.vrk", Fixture("vrk01_two_doors.vrk"));
    TConvParamsVrkSummarize P;
    P.OutDir = Tmp.Path("o");
    ForceDirectories(P.OutDir);
    P.ZeroExits = false;
    ASSERT_TRUE(SummarizeFile(In, P));
    EXPECT_THAT(DataRows(Tmp.Path("o/090105_a.vrk")),
                ElementsAre("001\t05/01/2009\t10:00\t 7\t 3\t 0\t 0",
                            "001\t05/01/2009\t10:15\t 0\t 0\t 0\t 0",
                            "001\t05/01/2009\t10:30\t 1\t 5\t 0\t 0"));
}

TEST(Summarize, Failures) {
    TTempDir Tmp;
    TConvParamsVrkSummarize P;
    P.OutDir = Tmp.Path("out");
    ForceDirectories(P.OutDir);
    EXPECT_FALSE(SummarizeFile(Tmp.Path("missing.vrk"), P));

    const std::string Empty = Tmp.Write("081224.vrk", "#TKT9\r\n#C1YE1\r\n");
    EXPECT_THAT([&] { SummarizeFile(Empty, P); },
                ThrowsMessage<EConvertError>(StrEq("Invalid argument to time encode")));
    EXPECT_FALSE(FileExists(Tmp.Path("out/081224.vrk")));

    const std::string In = Tmp.Write("081225.vrk", Fixture("vrk01_two_doors.vrk"));
    P.OutDir.clear();
    EXPECT_THAT([&] { SummarizeFile(In, P); },
                ThrowsMessage<ETarnoError>(StrEq("Output directory not set")));

    TConvParamsVrkSimplif Wrong;
    Wrong.OutDir = Tmp.Path("out");
    EXPECT_THROW(SummarizeFile(In, Wrong), EConvertError);
}
