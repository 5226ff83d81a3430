#include "importers/brickstream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/datetime.h"
#include "common/errors.h"
#include "common/text.h"
#include "common/utils.h"

namespace {

int64_t At(int Year, int Month, int Day, int Hour, int Minute, int Second = 0) {
    int64_t Result = 0;
    EXPECT_TRUE(ReadingSecond(Year, Month, Day, Hour, Minute, Second, Result));
    return Result;
}

TEST(ParseBsIntervalLine, ReadsStoreZoneCountsAndTheIntervalStart) {
    struct {
        const char* Line;
        bool Child;
        const char* Store;
        const char* Zone;
        char ZoneType;
        int64_t Second;
        int32_t In, Out;
    } Cases[] = {
        // The stamp ends the interval: 10:15:00 counts for 10:00.
        {"1|x| Store 12 |y| Door A |z|03/07/2008 10:15:00| 12 |9", false, "Store 12", "Door A", 'D',
         At(2008, 3, 7, 10, 0), 12, 9},
        // Midnight counts for 23:45 of the day before, across a month and a year.
        {"1|x|S|y|Door A|z|03/01/2008 00:00:00|1|0", false, "S", "Door A", 'D',
         At(2008, 2, 29, 23, 45), 1, 0},
        {"1|x|S|y|Door A|z|01/01/2009 00:00:00|1|0", false, "S", "Door A", 'D',
         At(2008, 12, 31, 23, 45), 1, 0},
        // The separators of the stamp are not examined; seconds are kept.
        {"1|x|S|y|Z|z|03-07-2008T10:20:07|0|0", false, "S", "Z", 'D', At(2008, 3, 7, 10, 5, 7), 0,
         0},
        // A stamp or a count that is not plain digits is read as a number (blanks, a sign).
        {"1|x|S|y|Z|z|03/ 7/2008  9:15:00|+5|0", false, "S", "Z", 'D', At(2008, 3, 7, 9, 0), 5, 0},
        // BRICKSTREAM takes every zone as an entrance, whatever field 4 says.
        {"1|x|S|y|children|z|03/07/2008 10:15:00|1|2", false, "S", "children", 'D',
         At(2008, 3, 7, 10, 0), 1, 2},
        // BRICKSTREAM-CHLD: zone in field 2, zone type word in field 4 (any case), store "001".
        {"1|x|Hall|y|ENTRANCE|z|03/07/2008 10:15:00|4|3", true, "001", "Hall", 'D',
         At(2008, 3, 7, 10, 0), 4, 3},
        {"1|x|Hall|y|Corridor|z|03/07/2008 10:15:00|4|3", true, "001", "Hall", 'C',
         At(2008, 3, 7, 10, 0), 4, 3},
        {"1|x|Hall|y|parking|z|03/07/2008 10:15:00|4|3", true, "001", "Hall", 'P',
         At(2008, 3, 7, 10, 0), 4, 3},
        {"1|x|Hall|y|children|z|03/07/2008 10:15:00|4|3", true, "001", "Hall", 'A',
         At(2008, 3, 7, 10, 0), 4, 3},
        // Names are cut to 32 characters; further fields are ignored.
        {"1|x|S|y|0123456789012345678901234567890123456789|z|03/07/2008 10:15:00|1|1|extra", false,
         "S", "01234567890123456789012345678901", 'D', At(2008, 3, 7, 10, 0), 1, 1},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Line);
        TBsIntervalLine R;
        ASSERT_TRUE(ParseBsIntervalLine(C.Line, C.Child, R));
        EXPECT_EQ(R.Store, C.Store);
        EXPECT_EQ(R.Zone, C.Zone);
        EXPECT_EQ(R.ZoneType, C.ZoneType);
        EXPECT_EQ(R.Second, C.Second);
        EXPECT_EQ(R.In, C.In);
        EXPECT_EQ(R.Out, C.Out);
    }
}

TEST(ParseBsIntervalLine, SkipsLinesThatDoNotParse) {
    struct {
        const char* Line;
        bool Child;
    } Cases[] = {
        {"", false},
        {"1|x|S|y|Door A|z|03/07/2008 10:15:00|12", false},            // too few fields
        {"1|x|S|y|Door A|z|03/07/2008 10:15:00|12|x", false},          // count not a number
        {"1|x|S|y|Door A|z|03/07/2008 10:15:00|-1|0", false},          // negative count
        {"1|x|S|y|Door A|z|03/07/2008 10:15:00|1.5|0", false},         // not an integer
        {"1|x|S|y|Door A|z|03/07/2008 10:15:00|99999999999|0", false}, // beyond 32 bits
        {"1|x|S|y||z|03/07/2008 10:15:00|1|0", false},                 // empty zone
        {"1|x|S|y|   |z|03/07/2008 10:15:00|1|0", false},              // blank zone
        {"1|x|S|y|Door A|z|02/30/2008 10:15:00|1|0", false},           // impossible date
        {"1|x|S|y|Door A|z|13/07/2008 10:15:00|1|0", false},           // month 13
        {"1|x|S|y|Door A|z|03/07/2008 24:15:00|1|0", false},           // hour 24
        {"1|x|S|y|Door A|z|03/07/2008 10:60:00|1|0", false},           // minute 60
        {"1|x|S|y|Door A|z|03/07/2008 10:15|1|0", false},              // no seconds
        {"1|x|S|y|Door A|z|03/07/1985 10:15:00|1|0", false},           // year no day file can name
        {"1|x|S|y|Door A|z|garbage|1|0", false},                       // no stamp
        {"1|x|Hall|y|exit|z|03/07/2008 10:15:00|1|0", true},           // unknown zone type word
        {"1|x|Hall|y||z|03/07/2008 10:15:00|1|0", true},               // no zone type word
        {"1|x||y|entrance|z|03/07/2008 10:15:00|1|0", true},           // empty zone
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Line);
        TBsIntervalLine R;
        EXPECT_FALSE(ParseBsIntervalLine(C.Line, C.Child, R));
    }
}

TEST(ParseBsRtLine, ReadsSevenAndNineFieldLines) {
    TBsRtLine R;
    ASSERT_TRUE(ParseBsRtLine(" 2008-03-07 ; 10:15 ; Entrance ; Door A ; 100 ; 50 ; dev1 ", R));
    EXPECT_EQ(R.Device, "dev1");
    EXPECT_EQ(R.Zone, "Door A");
    EXPECT_EQ(R.ZoneType, 'D');
    EXPECT_EQ(R.Second, At(2008, 3, 7, 10, 15)); // no shift for running counters
    EXPECT_EQ(R.In, 100);
    EXPECT_EQ(R.Out, 50);
    EXPECT_EQ(R.ChildIn, 0);
    EXPECT_EQ(R.ChildOut, 0);

    ASSERT_TRUE(ParseBsRtLine("2008/03/07;10:15:30.250;PARKING;Lot;1;2;3;4;dev2", R));
    EXPECT_EQ(R.Device, "dev2");
    EXPECT_EQ(R.ZoneType, 'P');
    EXPECT_EQ(R.Second, At(2008, 3, 7, 10, 15, 30));
    EXPECT_EQ(R.MSec, 250);
    EXPECT_EQ(R.ChildIn, 3);
    EXPECT_EQ(R.ChildOut, 4);

    ASSERT_TRUE(ParseBsRtLine("2008-03-07;10:15:30;corridor;Mall;1;2;dev3", R));
    EXPECT_EQ(R.Second, At(2008, 3, 7, 10, 15, 30));
    EXPECT_EQ(R.MSec, 0);
    EXPECT_EQ(R.ZoneType, 'C');
}

TEST(ParseBsRtLine, SkipsLinesThatDoNotParse) {
    const char* Lines[] = {
        "",
        "2008-03-07;10:15;children;Door A;1;2;dev",     // children is no zone type here
        "2008-03-07;10:15;exit;Door A;1;2;dev",         // unknown word
        "2008-03-07;10:15;entrance;;1;2;dev",           // empty zone
        "2008-03-07;10:15;entrance;Door A;1;2;",        // empty device
        "2008-03-07;10:15;entrance;Door A;1;2",         // no device
        "2008-03-07;10:15;entrance;Door A;-1;2;dev",    // negative counter
        "2008-03-07;10:15;entrance;Door A;1;2;3;x;dev", // children counter not a number
        "2008-02-30;10:15;entrance;Door A;1;2;dev",     // impossible date
        "2008-03-07;25:15;entrance;Door A;1;2;dev",     // impossible time
        "2008-03-07;10:15:61;entrance;Door A;1;2;dev",
        "2008-03-07;10:15:00.abc;entrance;Door A;1;2;dev",
        "07.03.2008;10:15;entrance;Door A;1;2;dev", // not year first
    };
    for (const char* Line : Lines) {
        SCOPED_TRACE(Line);
        TBsRtLine R;
        EXPECT_FALSE(ParseBsRtLine(Line, R));
    }
}

TEST(ImportNames, DayFilesAndShopNamesComeFromPaths) {
    const int64_t Day = At(2008, 3, 7, 0, 0) / SecondsPerDay;
    EXPECT_EQ(DayFilePath("/out", Day), "/out/080307.vrk");
    EXPECT_EQ(DayFilePath("/out/", Day), "/out/080307.vrk");
    EXPECT_EQ(ShopNameOfOutDir("/data/shop12"), "data");
    EXPECT_EQ(ShopNameOfOutDir("/data/shop12/"), "shop12");
    EXPECT_EQ(ShopNameOfOutDir("shop12"), "");
    EXPECT_EQ(ShopNameAboveFile("/bs/shop12/in/file.dat"), "shop12");
    EXPECT_EQ(ShopNameAboveFile("file.dat"), "");
}

TEST(ImportNames, AnEmptyOutDirIsRefused) {
    EXPECT_THAT([] { DayFilePath("", 0); },
                testing::ThrowsMessage<ETarnoError>(testing::StrEq("Output directory not set")));
}

} // namespace
