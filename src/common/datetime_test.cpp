#include "common/datetime.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/errors.h"

#include <ctime>
#include <random>

using testing::StrEq;
using testing::ThrowsMessage;

TEST(DateTime, EncodesDaysSince18991230) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2008, 3, 25), 39532.0);
    EXPECT_DOUBLE_EQ(EncodeTime(18, 0, 0, 0), 0.75);
    EXPECT_DOUBLE_EQ(EncodeDateTime(2008, 3, 25, 6, 0, 0, 0), 39532.25);
}

TEST(DateTime, RefusesImpossibleDatesAndTimes) {
    EXPECT_THAT([] { EncodeTime(24, 0, 0, 0); },
                ThrowsMessage<EConvertError>(StrEq("Invalid argument to time encode")));
    EXPECT_THAT([] { EncodeTime(10, 60, 0, 0); },
                ThrowsMessage<EConvertError>(StrEq("Invalid argument to time encode")));
    EXPECT_THAT([] { EncodeDate(2007, 2, 29); },
                ThrowsMessage<EConvertError>(StrEq("Invalid argument to date encode")));
    TDateTime T = 0;
    EXPECT_TRUE(TryEncodeDate(2008, 2, 29, T));
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, T));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, T));
}

TEST(DateTime, DecodesRoundedToTheMillisecond) {
    const TDateTime T = EncodeDateTime(2008, 3, 25, 14, 5, 9, 999);
    const TDateParts D = DecodeDate(T);
    const TTimeParts P = DecodeTime(T);
    EXPECT_EQ(D.Year, 2008);
    EXPECT_EQ(D.Month, 3);
    EXPECT_EQ(D.Day, 25);
    EXPECT_EQ(P.Hour, 14);
    EXPECT_EQ(P.Min, 5);
    EXPECT_EQ(P.Sec, 9);
    EXPECT_EQ(P.MSec, 999);
    // Half a millisecond before midnight belongs to the next day.
    const TDateTime Late = EncodeDate(2008, 3, 25) + (MSecsPerDay - 0.4) / MSecsPerDay;
    EXPECT_EQ(DecodeDate(Late).Day, 26);
    EXPECT_EQ(FormatDate(T) + " " + FormatTime(T), "25/03/2008 14:05:09");
}

TEST(DateTime, DayOfWeekCountsFromSunday) {
    EXPECT_EQ(DayOfWeek(EncodeDate(2008, 3, 25)), 3); // a Tuesday
    EXPECT_EQ(DayOfTheWeek(EncodeDate(2008, 3, 25)), 2);
    EXPECT_EQ(DayOfWeek(EncodeDate(2008, 3, 30)), 1); // Sunday
    EXPECT_EQ(DayOfTheWeek(EncodeDate(2008, 3, 30)), 7);
    EXPECT_EQ(DayOfWeek(0), 7); // 1899-12-30 was a Saturday
}

TEST(DateTime, SystemTimeHoldsTheEightFieldsInOrder) {
    const TSystemTime S = DateTimeToSystemTime(EncodeDateTime(2008, 3, 25, 14, 5, 9, 120));
    const uint16_t* Fields = &S.wYear;
    const uint16_t Want[8] = {2008, 3, 2, 25, 14, 5, 9, 120};
    for (int I = 0; I < 8; ++I) {
        EXPECT_EQ(Fields[I], Want[I]) << "field " << I;
    }
    EXPECT_DOUBLE_EQ(SystemTimeToDateTime(S), EncodeDateTime(2008, 3, 25, 14, 5, 9, 120));
    EXPECT_THROW(SystemTimeToDateTime(TSystemTime{}), EConvertError);
}

TEST(DateTime, QuarterHourSlots) {
    EXPECT_EQ(QuarterOfTime(0, 0), 0);
    EXPECT_EQ(QuarterOfTime(10, 14), 40);
    EXPECT_EQ(QuarterOfTime(10, 15), 41);
    EXPECT_EQ(QuarterOfTime(23, 59), 95);
    EXPECT_EQ(QuarterOfTime(24, 0), 95);
    EXPECT_EQ(QuarterOfDateTime(EncodeDateTime(2008, 3, 25, 17, 44, 59, 0)), 70);
    EXPECT_EQ(QuarterHour(95), 23);
    EXPECT_EQ(QuarterMinute(95), 45);
    EXPECT_DOUBLE_EQ(QuarterStart(95), EncodeTime(23, 45, 0, 0));
}

TEST(DateTime, SecondOfDayRoundsHalvesToEven) {
    EXPECT_EQ(SecondOfDayRounded(EncodeTime(18, 0, 0, 400)), 64800);
    EXPECT_EQ(SecondOfDayRounded(EncodeTime(17, 59, 59, 600)), 64800);
    EXPECT_EQ(SecondOfDayRounded(EncodeDate(2008, 3, 25) + EncodeTime(0, 0, 0, 0)), 0);
}

// UTC file times are converted by arithmetic: the same values as through gmtime_r, milliseconds
// truncated, over the whole range of years and around the days that matter.
TEST(DateTime, UtcFileTimesMatchTheCalendarOfTheSystem) {
    const auto ThroughGmtime = [](const timespec& Time) {
        std::tm Tm{};
        const time_t Secs = Time.tv_sec;
        EXPECT_NE(gmtime_r(&Secs, &Tm), nullptr);
        return EncodeDateTime(Tm.tm_year + 1900, Tm.tm_mon + 1, Tm.tm_mday, Tm.tm_hour, Tm.tm_min,
                              Tm.tm_sec, static_cast<int>(Time.tv_nsec / 1000000));
    };
    std::vector<timespec> Times = {{0, 0},
                                   {951782399, 999999999}, // 2000-02-28 23:59:59.999999999
                                   {951782400, 1000000},   // 2000-02-29
                                   {4107542399, 123456789},
                                   {253402300799, 999000000}};
    std::mt19937_64 Random(7);
    for (int I = 0; I < 20000; ++I) {
        Times.push_back({static_cast<time_t>(Random() % 253402300800ULL),
                         static_cast<long>(Random() % 1000000000)});
    }
    for (const timespec& Time : Times) {
        const TDateTime Got = UnixToDateTime(Time, false);
        ASSERT_EQ(Got, ThroughGmtime(Time)) << Time.tv_sec << "." << Time.tv_nsec;
    }
    EXPECT_EQ(UnixToDateTime({-86400, 0}, false), EncodeDate(1969, 12, 31));
}
