#include "data/vrkday.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include "common/datetime.h"
#include "common/errors.h"
#include "data/vrkcfg.h"
#include "testing/fake_clock.h"
#include "testing/temp_dir.h"

using testing::ElementsAre;

namespace {

const TFakeClock Clock(EncodeDateTime(2009, 1, 2, 10, 0, 0, 0));

int32_t Count(const TVrkDay& Day, int Slot, int Channel) {
    return Day.Slots[static_cast<std::size_t>(Slot)].Counts[static_cast<std::size_t>(Channel)];
}

TVrkDay LoadText(const std::string& Name, const std::string& Text) {
    TTempDir Tmp;
    TVrkDay Day;
    TVrkConfig Config;
    LoadDay(Tmp.Write(Name, Text), Day, Config, &Clock);
    return Day;
}

} // namespace

TEST(VrkDay, DataLineFillsSlotAndChannelCount) {
    const TVrkDay Day = LoadText("081224.vrk", "#TKT9\r\n001\t24/12/2008\t09:10\t 5\t 7\r\n");
    EXPECT_EQ(Day.Date, EncodeDate(2008, 12, 24));
    EXPECT_EQ(Count(Day, 36, 0), 5);
    EXPECT_EQ(Count(Day, 36, 1), 7);
    EXPECT_EQ(Day.ChannelCount, 2);
    EXPECT_EQ(Day.FirstSlot, 36);
    EXPECT_EQ(Day.LastSlot, 36);
    EXPECT_TRUE(Day.SlotPresent[36]);
    EXPECT_FALSE(Day.SlotPresent[35]);
}

TEST(VrkDay, BadRowsAreSkippedOrCutShort) {
    const TVrkDay Day = LoadText("081224.vrk",
                                 "001\t24/12/2008\t09:00\t 1\t 2\t x\t 4\n" // ends at "x"
                                 "001\t24/12/2008\t25:00\t 9\n"             // impossible hour
                                 "001\t24/12/2008\t10:60\t 9\n"             // impossible minute
                                 "001\t24/12/2008\t1O:00\t 9\n"             // not a number
                                 "001\t24/12/2008\n"                        // no time
                                 "001\t24/12/2008\t11:00\t 3\t 4294967296\t 5\n" // over 32 bits
                                 "001\t24/12/2008\t11:15\t\t 5\n"                // empty count
                                 "001\t24/12/2008\t12:00\t -2147483648\r"        // lone CR
                                 "001\t24/12/2008\t09:00\t 8\n");                // same slot again
    EXPECT_EQ(Count(Day, 36, 0), 8); // the later row replaces what it carries
    EXPECT_EQ(Count(Day, 36, 1), 2);
    EXPECT_EQ(Count(Day, 36, 2), 0);
    EXPECT_EQ(Count(Day, 44, 0), 3);
    EXPECT_EQ(Count(Day, 44, 1), 0);
    EXPECT_TRUE(Day.SlotPresent[45]);
    EXPECT_EQ(Count(Day, 48, 0), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(Day.FirstSlot, 36);
    EXPECT_EQ(Day.LastSlot, 48);
    EXPECT_EQ(Day.ChannelCount, 2);
    EXPECT_FALSE(Day.SlotPresent[40]); // 10:00 only in the rows that were refused
}

// Counts are read where they stand when they are a blank and a few digits; any other field is
// read by the general rule, and the first that is no number ends the row. Each field is tried
// after every number of counts before it, so that it stands at every place of the row's blocks,
// with more counts after it than a row holds and as the row's last.
TEST(VrkDay, ReadsEveryFormOfCount) {
    struct {
        const char* Field;
        int32_t Want;
        bool Read;
    } Cases[] = {
        {" 0", 0, true},
        {" 7", 7, true},
        {" 0042", 42, true},
        {" 1234567", 1234567, true},
        {" 12345678", 12345678, true},
        {"  5", 5, true},
        {"5", 5, true},
        {" 5 ", 5, true},
        {"\v5", 5, true},
        {" -5", -5, true},
        {" +5", 5, true},
        {" 2147483647", 2147483647, true},
        {" 2147483648", 0, false},
        {" 5x", 0, false},
        {" x5", 0, false},
        {" 5 5", 0, false},
        {" ", 0, false},
        {"", 0, false},
        {" :9", 0, false},
        {" \xFA"
         "9",
         0, false},
    };
    const auto Other = [](int I) { return (I * 37 + 5) % 1000; }; // one to three digits
    for (const auto& C : Cases) {
        for (int Before = 0; Before < 64; ++Before) {
            for (const bool Last : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << '"' << C.Field << "\" after " << Before << (Last ? ", last" : ""));
                std::string Row = "001\t24/12/2008\t09:00";
                for (int I = 0; I < 70; ++I) {
                    if (I > Before && Last) {
                        break;
                    }
                    Row += I == Before ? "\t" + std::string(C.Field)
                                       : "\t " + std::to_string(Other(I));
                }
                TVrkConfig Config;
                TVrkDay Day;
                LoadDayFromText(Row, "081224.vrk", Day, Config, &Clock);
                const int Read = !C.Read ? Before : Last ? Before + 1 : 64;
                ASSERT_EQ(Day.ChannelCount, Read);
                for (int I = 0; I < 64; ++I) {
                    ASSERT_EQ(Count(Day, 36, I), I >= Read     ? 0
                                                 : I == Before ? C.Want
                                                               : Other(I))
                        << I;
                }
            }
        }
    }
}

// A row is split into no more fields than it can hold, whatever the length of the line.
TEST(VrkDay, SplitsARowIntoTheFieldsItCanHoldOnly) {
    TRowFields Fields;
    ASSERT_EQ(SplitRowFields("a\t\tb", Fields), 3u);
    EXPECT_EQ(Fields[0], "a");
    EXPECT_EQ(Fields[1], "");
    EXPECT_EQ(Fields[2], "b");
    std::string Line = "001\t24/12/2008\t09:00";
    for (int K = 1; K <= 100000; ++K) {
        Line += "\t" + std::to_string(K);
    }
    ASSERT_EQ(SplitRowFields(Line, Fields), MaxRowFields);
    EXPECT_EQ(Fields[2], "09:00");
    EXPECT_EQ(Fields.back(), "64");
    const TVrkDay Day = LoadText("081224.vrk", Line);
    EXPECT_EQ(Day.ChannelCount, 64);
    EXPECT_EQ(Count(Day, 36, 63), 64);
}

TEST(VrkDay, DateOfTheLastRowWins) {
    struct {
        const char* Name;
        const char* LastDate;
        TDateTime Want;
    } Cases[] = {
        {"090101.vrk", "24/12/08", EncodeDate(2008, 12, 24)},
        {"090101.vrk", "24/12/2008", EncodeDate(2008, 12, 24)},
        {"090101.vrk", "24/12", EncodeDate(2009, 12, 24)}, // year of the name
        {"090101.vrk", "xx/12/2008", EncodeDate(2009, 1, 1)},
        {"090101.vrk", "31/02/2008", EncodeDate(2009, 1, 1)}, // impossible: rows still load
        {"report.vrk", "bad", EncodeDate(2009, 1, 2)},        // today
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.LastDate);
        const TVrkDay Day = LoadText(C.Name, std::string("001\t01/01/2001\t00:00\t 1\n001\t") +
                                                 C.LastDate + "\t00:15\t 2\n");
        EXPECT_EQ(Day.Date, C.Want);
        EXPECT_EQ(Count(Day, 1, 0), 2);
        EXPECT_EQ(Day.Slots[1].Year, DecodeDate(C.Want).Year);
    }
}

TEST(VrkDay, MissingFileGivesAnEmptyDayDatedByTheName) {
    TTempDir Tmp;
    TVrkDay Day;
    TVrkConfig Config;
    Config.Signature = "OLD";
    LoadDay(Tmp.Path("20080325_shop.vrk"), Day, Config, &Clock);
    EXPECT_EQ(Day.Date, EncodeDate(2008, 3, 25));
    EXPECT_EQ(Day.FirstSlot, 96);
    EXPECT_EQ(Day.LastSlot, -1);
    EXPECT_EQ(Day.ChannelCount, 0);
    EXPECT_EQ(Config.Signature, "");
    EXPECT_THROW(SlotTime(Day.FirstSlot), EConvertError);
}

TEST(VrkDay, PutAndAddCountsClampChannelsAndSums) {
    TVrkDay Day;
    InitDay(Day, 2008, 12, 24);
    PutCount(Day, 80, 4, true, EncodeDateTime(2001, 1, 1, 23, 59, 0, 0));
    EXPECT_EQ(Count(Day, 95, 63), 4);
    EXPECT_EQ(Day.ChannelCount, 64);
    PutCount(Day, -3, 2, false, EncodeTime(0, 14, 0, 0));
    PutCount(Day, 0, 3, false, EncodeTime(0, 0, 0, 0));
    EXPECT_EQ(Count(Day, 0, 0), 5);
    EXPECT_EQ(Day.FirstSlot, 0);

    TVrkDay Other;
    InitDay(Other, 2008, 12, 24);
    AddCounts(Other, 1, 10, EncodeTime(9, 0, 0, 0), 2, 20, -1, 99, 70, 5);
    AddCounts(Other, 1, std::numeric_limits<int32_t>::max(), EncodeTime(9, 5, 0, 0), 2, 1, 1, 1, -1,
              0);
    EXPECT_EQ(Count(Other, 36, 1), std::numeric_limits<int32_t>::max()); // saturated
    EXPECT_EQ(Count(Other, 36, 2), 21);
    EXPECT_EQ(Count(Other, 36, 63), 5);
    EXPECT_EQ(Other.ChannelCount, 64);
    EXPECT_EQ(Other.FirstSlot, 36);
    EXPECT_EQ(Other.LastSlot, 36);
}

TEST(VrkDay, FormatsRows) {
    TVrkDay Day;
    InitDay(Day, 2008, 12, 24);
    Day.Slots[37].Counts[0] = 12;
    Day.Slots[37].Counts[1] = -3;
    EXPECT_EQ(FormatDataLine("001", Day.Slots[37], 4), "001\t24/12/2008\t09:15\t 12\t -3\t 0\t 0");
    EXPECT_EQ(FormatDataLine("", Day.Slots[0], 0), "\t24/12/2008\t00:00");
    // Every width a count can have, written and read back.
    const std::array<int32_t, 14> Counts = {0,    9,     10,      99, 100,   999,       1000,
                                            9999, 10000, 1234567, -1, -9999, INT32_MIN, INT32_MAX};
    std::copy(Counts.begin(), Counts.end(), Day.Slots[38].Counts.begin());
    const std::string Line = FormatDataLine("001", Day.Slots[38], 14);
    EXPECT_EQ(Line, "001\t24/12/2008\t09:30\t 0\t 9\t 10\t 99\t 100\t 999\t 1000\t 9999\t 10000"
                    "\t 1234567\t -1\t -9999\t -2147483648\t 2147483647");
    const TVrkDay Back = LoadText("081224.vrk", Line + "\n");
    EXPECT_TRUE(std::equal(Counts.begin(), Counts.end(), Back.Slots[38].Counts.begin()));
    // The widest row: 63 counts of the most characters, then one short count.
    TVrkSlot Wide = Day.Slots[38];
    Wide.Counts.fill(INT32_MIN);
    Wide.Counts[63] = 7;
    std::string Expected = "001\t24/12/2008\t09:30";
    for (int K = 0; K < 63; ++K) {
        Expected += "\t -2147483648";
    }
    EXPECT_EQ(FormatDataLine("001", Wide, 64), Expected + "\t 7");
    TVrkSlot Odd;
    Odd.Year = 999;
    Odd.Month = 1;
    Odd.Day = 5;
    Odd.Hour = -1;
    Odd.Minute = 123;
    EXPECT_EQ(FormatDataLine("S", Odd, 1), "S\t05/01/0999\t-01:123\t 0");

    PutCount(Day, 1, 2, true, EncodeTime(0, 30, 0, 0));
    PutCount(Day, 0, 1, true, EncodeTime(8, 0, 0, 0));
    struct {
        TDateTime Start, Stop;
        int Channels;
        std::size_t Rows;
        const char* First;
    } Cases[] = {
        {EncodeTime(0, 30, 0, 0), EncodeTime(8, 0, 0, 0), 2, 31,
         "S\t24/12/2008\t00:30\t 0\t 2\t 0\t 0"},
        {EncodeTime(8, 0, 0, 0), EncodeTime(7, 0, 0, 0), 0, 33, "S\t24/12/2008\t00:00\t 0\t 0"},
        {EncodeTime(7, 59, 0, 0), EncodeTime(23, 0, 0, 0), 80, 2, nullptr},
    };
    for (const auto& C : Cases) {
        const std::vector<std::string> Rows = FormatDayRows(Day, "S", C.Start, C.Stop, C.Channels);
        EXPECT_EQ(Rows.size(), C.Rows);
        if (C.First != nullptr) {
            EXPECT_EQ(Rows.front(), C.First);
        }
    }
    EXPECT_EQ(FormatDayRows(Day, "S", 0, 1, 80).back().size(),
              std::string("S\t24/12/2008\t08:00").size() + 63 * 3 + 3);
}

TEST(VrkDay, OneWriteEqualsRowsThenHeader) {
    TTempDir Tmp;
    TVrkDay Day;
    InitDay(Day, 2008, 12, 24);
    PutCount(Day, 0, 5, true, EncodeTime(9, 0, 0, 0));
    PutCount(Day, 1, 6, true, EncodeTime(9, 45, 0, 0));
    TVrkConfig Header;
    Header.Clock = &Clock;
    const std::string A = Tmp.Path("a.vrk");
    WriteDayRows(Day, A, "001", SlotTime(Day.FirstSlot), SlotTime(Day.LastSlot), 0);
    EXPECT_EQ(Tmp.Read("a.vrk"),
              "001\t24/12/2008\t09:00\t 5\t 0\r\n001\t24/12/2008\t09:15\t 0\t 0\r\n"
              "001\t24/12/2008\t09:30\t 0\t 0\r\n001\t24/12/2008\t09:45\t 0\t 6\r\n");
    Header.SetHeaderToFile(A);
    WriteDayFile(Day, Tmp.Path("b.vrk"), "001", SlotTime(Day.FirstSlot), SlotTime(Day.LastSlot), 0,
                 Header);
    EXPECT_EQ(Tmp.Read("a.vrk"), Tmp.Read("b.vrk"));
    Tmp.Write("plain", "");
    EXPECT_THROW(WriteDayRows(Day, Tmp.Path("plain/c.vrk"), "001", 0, 0, 0), EOSError);
}

// Field data: any mix of header and row fragments, broken lines and line ends is read without
// fault (the sanitizers watch every access) and keeps the day within its bounds.
TEST(VrkDay, ReadsAnyTextWithinBounds) {
    const std::string Alphabet = "#TCDRKFSM 0123456789YXEIABPQ\t\r\n:/-+.";
    const char* Pieces[] = {"#C",  "#D", "#T", "#R",         "#K", "#S", "\r\n", "\n",
                            "\t ", ":",  "/",  "24/12/2008", "99", "-",  "CNL",  "4294967296"};
    uint32_t Seed = 12345;
    auto Next = [&Seed](uint32_t Range) {
        Seed = Seed * 1103515245u + 12345u;
        return (Seed >> 16) % Range;
    };
    for (int Round = 0; Round < 300; ++Round) {
        std::string Text;
        const uint32_t Length = Next(400);
        for (uint32_t I = 0; I < Length; ++I) {
            if (Next(3) == 0) {
                Text += Pieces[Next(std::size(Pieces))];
            } else {
                Text += Alphabet[Next(static_cast<uint32_t>(Alphabet.size()))];
            }
        }
        TVrkConfig Config;
        Config.ReadHeader(Text);
        TVrkDay Day;
        LoadDayFromText(Text, "081224.vrk", Day, Config, &Clock);
        EXPECT_GE(Day.ChannelCount, 0);
        EXPECT_LE(Day.ChannelCount, 64);
        EXPECT_TRUE(Day.LastSlot == -1 || (Day.FirstSlot >= 0 && Day.LastSlot <= 95));
        std::vector<std::string> Lines;
        Config.BuildHeader(Lines);
        EXPECT_FALSE(Lines.empty());
    }
    // A single line of a million fields and a huge count of blanks.
    TVrkConfig Config;
    TVrkDay Day;
    LoadDayFromText("001\t24/12/2008\t09:00" + std::string(1000000, '\t') +
                        std::string(100000, ' '),
                    "081224.vrk", Day, Config, &Clock);
    EXPECT_EQ(Day.ChannelCount, 0);
    EXPECT_TRUE(Day.SlotPresent[36]);
}
