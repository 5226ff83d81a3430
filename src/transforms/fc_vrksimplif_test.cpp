#include "transforms/fc_vrksimplif.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"
#include "testing/temp_dir.h"
#include "transforms/vrktest.h"

using testing::ElementsAre;
using testing::StrEq;
using testing::ThrowsMessage;

TEST(Simplify, ReducesAVrk01File) {
    for (bool ZeroExits : {true, false}) {
        SCOPED_TRACE(ZeroExits);
        TTempDir Tmp;
        const std::string In = Tmp.Write("081224.vrk", Fixture("vrk01_two_doors.vrk"));
        TConvParamsVrkSimplif P;
        P.OutDir = Tmp.Path("out");
        ForceDirectories(P.OutDir);
        P.ZeroExits = ZeroExits;
        ASSERT_TRUE(SimplifyFile(In, P));
        const std::string Out = Tmp.Path("out/081224.vrk");
        EXPECT_THAT(StableHeader(Out),
                    ElementsAre("#TKT9", "#D1DPorte", "#D2D", "#D3D", "#D4D", "#C1YE1", "#C2YX1",
                                "#C3IE2", "#C4IX2", "#C5IE3", "#C6IX3", "#C7IE4", "#C8IX4",
                                "#R1111111111111111", "#K1.000", "#F0"));
        if (ZeroExits) {
            EXPECT_THAT(DataRows(Out), ElementsAre("001\t24/12/2008\t10:00\t 7\t 0\t 0\t 0",
                                                   "001\t24/12/2008\t10:15\t 0\t 0\t 0\t 0",
                                                   "001\t24/12/2008\t10:30\t 1\t 0\t 0\t 0"));
        } else {
            EXPECT_THAT(DataRows(Out), ElementsAre("001\t24/12/2008\t10:00\t 7\t 3\t 0\t 0",
                                                   "001\t24/12/2008\t10:15\t 0\t 0\t 0\t 0",
                                                   "001\t24/12/2008\t10:30\t 1\t 5\t 0\t 0"));
        }
    }
}

TEST(Simplify, CountsEveryDoorTypeAndKeepsTheShopName) {
    TTempDir Tmp;
    const std::string In = Tmp.Write("081224.vrk", Fixture("kt9_door_corridor_parking.vrk"));
    TConvParamsVrkSimplif P;
    P.OutDir = Tmp.Path("out");
    ForceDirectories(P.OutDir);
    P.ZeroExits = false;
    ASSERT_TRUE(SimplifyFile(In, P));
    const std::string Out = Tmp.Path("out/081224.vrk");
    EXPECT_EQ(StableHeader(Out)[1], "# Shop name: Gare Nord");
    // Entries 5 + 2 + 10 + 100, exits 4 + 3 + 90; the inactive channel 8 is left out.
    EXPECT_EQ(DataRows(Out).front(), "001\t24/12/2008\t09:00\t 117\t 97\t 0\t 0");
}

TEST(Simplify, Failures) {
    TTempDir Tmp;
    TConvParamsVrkSimplif P;
    P.OutDir = Tmp.Path("out");
    ForceDirectories(P.OutDir);
    EXPECT_FALSE(SimplifyFile(Tmp.Path("missing.vrk"), P));
    const std::string Empty = Tmp.Write("081224.vrk", "#TVRK01\r\n");
    EXPECT_THAT([&] { SimplifyFile(Empty, P); },
                ThrowsMessage<EConvertError>(StrEq("Invalid argument to time encode")));
    P.OutDir.clear();
    EXPECT_THAT([&] { SimplifyFile(Empty, P); },
                ThrowsMessage<ETarnoError>(StrEq("Output directory not set")));
}
