#include "transforms/fc_vrknorm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/datetime.h"
#include "common/errors.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "testing/temp_dir.h"
#include "transforms/vrktest.h"

using testing::ElementsAre;
using testing::StrEq;
using testing::ThrowsMessage;

namespace {

// Always the same draw: staff removal must still end, through its fallback.
class TStuckRandom : public TRandomSource {
public:
    int Next(int) override { return 0; }
};

// 22/12/2008 is a Monday. Door 1: entries on channels 1 and 2, exits on channel 3.
const char* const Monday = "#TKT9\r\n#D1DNord\r\n#C1YE1\r\n#C2YE1\r\n#C3YX1\r\n"
                           "A\t22/12/2008\t08:00\t 2\t 0\t 1\r\n"
                           "A\t22/12/2008\t08:30\t 1\t 3\t 0\r\n"
                           "A\t22/12/2008\t09:00\t 0\t 1\t 4\r\n";

int64_t SumOf(const TVrkDay& Day, int Channel) {
    int64_t Sum = 0;
    for (const TVrkSlot& Slot : Day.Slots) {
        EXPECT_GE(Slot.Counts[static_cast<std::size_t>(Channel)], 0);
        Sum += Slot.Counts[static_cast<std::size_t>(Channel)];
    }
    return Sum;
}

} // namespace

TEST(Normalize, StaffRemovalTakesTheWeekdaysCoefficient) {
    struct {
        int Coefficient;
        int64_t Entries, Exits; // left after removal
    } Cases[] = {{3, 4, 2}, {5, 2, 0}, {9, 0, 0}, {0, 7, 5}};
    TStuckRandom Stuck;
    for (const auto& C : Cases) {
        for (TRandomSource* Random : {&StaffRandom(), static_cast<TRandomSource*>(&Stuck)}) {
            SCOPED_TRACE(testing::Message() << C.Coefficient << (Random == &Stuck ? " stuck" : ""));
            TTempDir Tmp;
            const std::string In = Tmp.Write("081222.vrk", Monday);
            TConvParamsVrkNormalize P;
            P.StaffRemoval = true;
            P.StaffCoeffs = {C.Coefficient, 100, 100, 100, 100, 100, 100};
            SetStaffRandom(Random);
            EXPECT_TRUE(NormalizeFile(In, P));
            SetStaffRandom(nullptr);
            TVrkConfig Header;
            auto Day = std::make_unique<TVrkDay>();
            LoadDay(In, *Day, Header);
            EXPECT_EQ(SumOf(*Day, 0) + SumOf(*Day, 1), C.Entries);
            EXPECT_EQ(SumOf(*Day, 2), C.Exits);
            // The input was rewritten in place: its raw copy is kept.
            EXPECT_EQ(Tmp.Read("compteursbrut/081222.vrk"), Monday);
        }
    }
}

TEST(Normalize, CoefficientZeroStillRewritesTheStoreCode) {
    TTempDir Tmp;
    const std::string In = Tmp.Write("081222.vrk", Monday);
    TConvParamsVrkNormalize P;
    P.StaffRemoval = true;
    P.StoreCode = "777";
    P.OutDir = Tmp.Path("out");
    ForceDirectories(P.OutDir);
    EXPECT_TRUE(NormalizeFile(In, P));
    EXPECT_THAT(
        DataRows(Tmp.Path("out/081222.vrk")),
        ElementsAre("777\t22/12/2008\t08:00\t 2\t 0\t 1", "777\t22/12/2008\t08:15\t 0\t 0\t 0",
                    "777\t22/12/2008\t08:30\t 1\t 3\t 0", "777\t22/12/2008\t08:45\t 0\t 0\t 0",
                    "777\t22/12/2008\t09:00\t 0\t 1\t 4"));
    // Written elsewhere: the input stays and no raw copy is made.
    EXPECT_EQ(Tmp.Read("081222.vrk"), Monday);
    EXPECT_FALSE(FileExists(Tmp.Path("compteursbrut/081222.vrk")));
}

TEST(Normalize, NoExitsDropsTheExitChannels) {
    TTempDir Tmp;
    const std::string In = Tmp.Write("081222.vrk", Fixture("vrk01_two_doors.vrk"));
    TConvParamsVrkNormalize P;
    P.NoExits = true;
    EXPECT_TRUE(NormalizeFile(In, P));
    const std::vector<std::string> Header = StableHeader(In);
    EXPECT_THAT(std::vector<std::string>(Header.begin() + 5, Header.begin() + 13),
                ElementsAre("#C1YE1", "#C2YE2", "#C3IE3", "#C4IE4", "#C5IX1", "#C6IX2", "#C7IX3",
                            "#C8IX4"));
    EXPECT_EQ(DataRows(In).front(), "001\t24/12/2008\t10:00\t 3\t 4\t 0\t 0\t 0\t 0\t 0\t 0");
}

// Only the exit channels change: a door whose channels are all exits stays defined, so the
// channel still points to a door of the header.
TEST(Normalize, NoExitsKeepsTheDoorsOfExitOnlyChannels) {
    TTempDir Tmp;
    const std::string In =
        Tmp.Write("081222.vrk", "#TKT9\r\n#D1DNord\r\n#D5DQuai\r\n#C1YE1\r\n#C2YX1\r\n#C3YX5\r\n"
                                "A\t22/12/2008\t08:00\t 2\t 1\t 4\r\n");
    TConvParamsVrkNormalize P;
    P.NoExits = true;
    EXPECT_TRUE(NormalizeFile(In, P));
    const std::vector<std::string> Header = StableHeader(In);
    EXPECT_THAT(std::vector<std::string>(Header.begin() + 1, Header.begin() + 9),
                ElementsAre("#D1DNord", "#D2DPorte", "#D3DPorte", "#D4DPorte", "#D5DQuai", "#C1YE1",
                            "#C2IX1", "#C3IX5"));
    EXPECT_EQ(DataRows(In).front(), "001\t22/12/2008\t08:00\t 2\t 0\t 0");
}

// An output directory that names the input's own directory, however spelled, is a rewrite in
// place: the raw copy comes first.
TEST(Normalize, OutputIntoTheInputsDirectoryKeepsTheRawCopy) {
    TTempDir Tmp;
    ForceDirectories(Tmp.Path("sub"));
    for (const std::string& OutDir :
         {Tmp.Dir(), Tmp.Dir() + "/", Tmp.Dir() + "/sub/..", Tmp.Dir() + "/./"}) {
        SCOPED_TRACE(OutDir);
        DeleteFile(Tmp.Path("compteursbrut/081222.vrk"));
        const std::string In = Tmp.Write("081222.vrk", Monday);
        TConvParamsVrkNormalize P;
        P.StaffRemoval = true;
        P.StaffCoeffs = {3, 100, 100, 100, 100, 100, 100};
        P.OutDir = OutDir;
        EXPECT_TRUE(NormalizeFile(In, P));
        EXPECT_EQ(Tmp.Read("compteursbrut/081222.vrk"), Monday);
        EXPECT_NE(Tmp.Read("081222.vrk"), Monday);
    }
}

// Doors of the fixed four-door layout that share a name stay apart: the rewrite keeps every
// channel of its input and its counts.
TEST(Normalize, RewriteKeepsTheChannelsOfDoorsSharingAName) {
    TTempDir Tmp;
    const std::string In =
        Tmp.Write("081224.vrk", "#TVRK01\r\n#D1DPorte\r\n#D2DPorte\r\n#C1YE1\r\n#C2YE2\r\n"
                                "#C3IE3\r\n#C4IE4\r\n#C5YX1\r\n#C6YX2\r\n#C7IX3\r\n#C8IX4\r\n"
                                "001\t24/12/2008\t10:00\t 3\t 4\t 0\t 0\t 2\t 1\t 0\t 0\r\n");
    TConvParamsVrkNormalize P;
    EXPECT_TRUE(NormalizeFile(In, P));
    const std::vector<std::string> Header = StableHeader(In);
    EXPECT_THAT(std::vector<std::string>(Header.begin() + 5, Header.begin() + 13),
                ElementsAre("#C1YE1", "#C2YE2", "#C3IE3", "#C4IE4", "#C5YX1", "#C6YX2", "#C7IX3",
                            "#C8IX4"));
    EXPECT_EQ(DataRows(In).front(), "001\t24/12/2008\t10:00\t 3\t 4\t 0\t 0\t 2\t 1\t 0\t 0");
}

TEST(Normalize, MixesEntriesAndExitsPerDoor) {
    TVrkConfig Header;
    Header.ReadHeader(
        "#TKT9\r\n#D1DA\r\n#D2DB\r\n#C1YE1\r\n#C2YE1\r\n#C3YX1\r\n#C4YE2\r\n#C5YE2\r\n");
    auto Day = std::make_unique<TVrkDay>();
    InitDay(*Day, 2008, 12, 24);
    auto Put = [&](int Slot, std::initializer_list<int32_t> Counts) {
        int Channel = 0;
        for (int32_t Count : Counts) {
            PutCount(*Day, Channel++, Count, true, SlotTime(Slot));
        }
    };
    Put(10, {5, 2, 4, 7, 1}); // door 1: T = 11, each side 6; door 2 has no exits
    Put(11, {0, 0, 0, 3, 3});
    Put(12, {0, 0, 3, 0, 0}); // T = 3: each side 2
    MixEntriesExits(*Day, Header);
    auto Counts = [&](int Slot) {
        const auto& C = Day->Slots[static_cast<std::size_t>(Slot)].Counts;
        return std::vector<int32_t>(C.begin(), C.begin() + 5);
    };
    EXPECT_THAT(Counts(10), ElementsAre(3, 3, 6, 7, 1));
    EXPECT_THAT(Counts(11), ElementsAre(0, 0, 0, 3, 3));
    EXPECT_THAT(Counts(12), ElementsAre(1, 1, 2, 0, 0));
}

TEST(Normalize, Failures) {
    TTempDir Tmp;
    TConvParamsVrkNormalize P;
    P.EXMerge = true;
    EXPECT_TRUE(NormalizeFile(Tmp.Path("missing.vrk"), P));

    const std::string Empty = Tmp.Write("081222.vrk", "#TKT9\r\n");
    EXPECT_THAT([&] { NormalizeFile(Empty, P); },
                ThrowsMessage<EConvertError>(StrEq("Invalid argument to time encode")));
    EXPECT_EQ(Tmp.Read("081222.vrk"), "#TKT9\r\n");

    // The raw copy cannot be made: the input is not rewritten.
    const std::string In = Tmp.Write("081223.vrk", Monday);
    Tmp.Write("compteursbrut", "a file where the directory should be");
    EXPECT_THROW(NormalizeFile(In, P), EOSError);
    EXPECT_EQ(Tmp.Read("081223.vrk"), Monday);
}
