#include "data/qtrrecords.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/errors.h"
#include "config/fcsconvparams.h"
#include "data/vrkday.h"
#include "testing/fake_clock.h"
#include "testing/temp_dir.h"

namespace {

const TFakeClock Clock(EncodeDateTime(2008, 3, 7, 12, 0, 0, 0));

// A store with an entrance door (channels 1 in, 2 out), a corridor (3 in, 4 out), a parking
// (channel 5) and an inactive channel 6 on the entrance.
const char* const Header = "#TQMX\r\n"
                           "#D1DEntree\r\n#D2CCouloir\r\n#D3PParking\r\n"
                           "#C1YE1\r\n#C2YX1\r\n#C3YE2\r\n#C4YX2\r\n#C5YE3\r\n#C6IE1\r\n"
                           "#R2111111111111111\r\n";

struct TLoaded {
    TVrkConfig Config;
    TVrkDay Day;
};

void Load(const std::string& Rows, TLoaded& L) {
    TTempDir Tmp;
    ReadCountingFile(Tmp.Write("080307.vrk", std::string(Header) + Rows), L.Config, L.Day, &Clock);
}

} // namespace

TEST(TimeFilter, RangeOfTheParameters) {
    struct {
        bool Use;
        int Start, Stop;
        int First, Last;
    } Cases[] = {
        {false, 40, 79, 0, 95},
        {true, 40, 79, 40, 79},
        {true, -3, 120, 0, 95},
        {true, 50, 10, 50, 10}, // empty
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(testing::Message() << C.Use << " " << C.Start << ".." << C.Stop);
        TConvParamsCegid P;
        P.UseTimeFilter = C.Use;
        P.QtrStart = C.Start;
        P.QtrStop = C.Stop;
        const TSlotRange R = TimeFilterRange(P);
        EXPECT_EQ(R.First, C.First);
        EXPECT_EQ(R.Last, C.Last);
    }
    EXPECT_FALSE((TSlotRange{50, 10}.Contains(30)));
}

TEST(QtrRecords, SlotsWithDataInRangeAndChannelsOneToFour) {
    auto L = std::make_unique<TLoaded>();
    Load("001\t07/03/2008\t08:45\t 9\t 9\t 9\t 9\t 9\r\n"
         "001\t07/03/2008\t09:00\t 1\t 2\t 3\t 4\t 5\t 6\r\n"
         "001\t07/03/2008\t09:30\t 7\t 8\r\n"
         "001\t07/03/2008\t10:00\t 9\r\n",
         *L);
    const std::vector<TQtrRecord> R = BuildQtrRecords(L->Day, {36, 39});
    ASSERT_EQ(R.size(), 2u); // 08:45 and 10:00 lie outside, 09:15 and 09:45 hold no data
    EXPECT_EQ(R[0].Hour, 9);
    EXPECT_EQ(R[0].Minute, 0);
    EXPECT_EQ(R[0].Counts, (std::array<int32_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(R[1].Minute, 30);
    EXPECT_EQ(R[1].Counts, (std::array<int32_t, 4>{7, 8, 0, 0}));
    EXPECT_EQ(R[1].Stamp(), EncodeDateTime(2008, 3, 7, 9, 30, 0, 0));
    EXPECT_FALSE(R[1].Partial);

    std::vector<TQtrRecord> All = BuildQtrRecords(L->Day, {});
    EXPECT_EQ(All.size(), 4u);
    MarkTodaysLastPartial(All, L->Day, EncodeDateTime(2008, 3, 8, 0, 5, 0, 0));
    EXPECT_FALSE(All.back().Partial); // another day: complete
    MarkTodaysLastPartial(All, L->Day, Clock.Now());
    EXPECT_TRUE(All.back().Partial);
    EXPECT_FALSE(All[2].Partial);

    TVrkDay Empty;
    EXPECT_TRUE(BuildQtrRecords(Empty, {}).empty());
}

TEST(DoorSums, ChannelsIntoDoorsByDirectionAndType) {
    auto L = std::make_unique<TLoaded>();
    Load("001\t07/03/2008\t09:00\t 1\t 2\t 30\t 40\t 500\t 6000\r\n", *L);
    TDoorSums Sums;
    Sums.AddSlot(L->Config, L->Day, 36);
    EXPECT_EQ(Sums.In(1), 1); // channel 6 is inactive
    EXPECT_EQ(Sums.Out(1), 2);
    EXPECT_EQ(Sums.In(2), 30);
    EXPECT_EQ(Sums.Out(2), 40);
    EXPECT_EQ(Sums.InOfType(L->Config, 'D'), 1);
    EXPECT_EQ(Sums.OutOfType(L->Config, 'C'), 40);
    EXPECT_EQ(Sums.InOfType(L->Config, 'P'), 500);
    int64_t In = -1, Out = -1;
    Sums.SumsOfType(TChannelDoors(L->Config), 'C', In, Out);
    EXPECT_EQ(In, 30);
    EXPECT_EQ(Out, 40);
    Sums.SumsOfType(TChannelDoors(L->Config), 'X', In, Out);
    EXPECT_EQ(In + Out, 0);
    EXPECT_EQ(Sums.TotalIn(), 531);
    EXPECT_EQ(Sums.TotalOut(), 42);

    // Only the channels handed in count; sums run in 64 bits.
    const int32_t Big[] = {2147483647, 0, 0};
    Sums.AddChannels(L->Config, Big);
    Sums.AddChannels(L->Config, std::span(Big).first(1));
    EXPECT_EQ(Sums.In(1), 1 + 2 * int64_t{2147483647});
    EXPECT_EQ(Sums.In(2), 30);
    Sums.Clear();
    EXPECT_EQ(Sums.TotalIn(), 0);
    EXPECT_THROW(Sums.In(33), ERangeError);
}

TEST(DoorSums, HalvingDigitsOfTheFlags) {
    auto L = std::make_unique<TLoaded>();
    Load("", *L);
    EXPECT_TRUE(ChannelHalved(L->Config.Flags, 1));
    EXPECT_FALSE(ChannelHalved(L->Config.Flags, 2));
    EXPECT_FALSE(ChannelHalved(0xFFFFFFFF, 17));
    EXPECT_FALSE(ChannelHalved(0xFFFFFFFF, 0));
}
