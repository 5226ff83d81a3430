// The date-time of the system: a double counting days since 1899-12-30, the time of day as the
// fraction. Also the 16-byte SYSTEMTIME record and the quarter-hour slots of a day.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

using TDateTime = double;

constexpr double SecsPerDay = 86400.0;
constexpr double MSecsPerDay = 86400000.0;
constexpr TDateTime OneSecond = 1.0 / SecsPerDay;
constexpr TDateTime OneMillisecond = 1.0 / MSecsPerDay;

bool IsLeapYear(int Year);
int DaysInMonth(int Year, int Month); // 0 for a month outside 1..12

// Raise EConvertError "Invalid argument to date encode" / "Invalid argument to time encode"
// for an impossible date or time.
TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Min, int Sec, int MSec);
bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Result);
bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Result);
// The date and time as one value (before 1899-12-30 the time counts away from zero, as the days
// do); false when either is invalid.
bool TryEncodeDateTime(int Year, int Month, int Day, int Hour, int Min, int Sec, int MSec,
                       TDateTime& Result);

struct TDateParts {
    int Year = 0, Month = 0, Day = 0;
};
struct TTimeParts {
    int Hour = 0, Min = 0, Sec = 0, MSec = 0;
};
// The calendar date of T (the date part of negative values counts towards 1899-12-30 as the
// Windows date-time does). Dates before year 1 or after 9999 give year 0.
TDateParts DecodeDate(TDateTime T);
// The time of day of T, rounded to the nearest millisecond.
TTimeParts DecodeTime(TDateTime T);
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime T);
// 1 = Monday .. 7 = Sunday.
int DayOfTheWeek(TDateTime T);

TDateTime DateOf(TDateTime T); // midnight of T's day
TDateTime TimeOf(TDateTime T); // the fraction of T's day

// Seconds since midnight of T's time of day, rounded to the nearest whole second (halves to even).
int64_t SecondOfDayRounded(TDateTime T);

// Conversions to and from POSIX time, milliseconds kept. Local applies the process's time zone.
TDateTime UnixToDateTime(const timespec& Time, bool Local);
TDateTime NowLocal();
TDateTime NowUtc();

// Appends "dd/mm/yyyy" and "hh:nn" (each number zero-padded): the dates and times of counting
// data files.
void AppendDayMonthYear(std::string& Text, int Day, int Month, int Year);
void AppendHourMinute(std::string& Text, int Hour, int Minute);
// Appends "yyyy/mm/dd" of T, then " hh:nn:ss" when WithTime: the stamps of status and index
// files, which sort as text in time order.
void AppendSortableStamp(std::string& Text, TDateTime T, bool WithTime);

// "dd/mm/yyyy" and "hh:nn:ss" of T.
std::string FormatDate(TDateTime T);
std::string FormatTime(TDateTime T);

// The Windows SYSTEMTIME record: eight unsigned 16-bit fields, 16 bytes, a year of 0 meaning
// "never".
struct TSystemTime {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0; // 0 = Sunday
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;
};
static_assert(sizeof(TSystemTime) == 16);

TSystemTime DateTimeToSystemTime(TDateTime T);
// "h:nn:ss:zzz" of a duration given in days; 24 hours or more wrap around.
std::string FormatDuration(TDateTime Duration);
TDateTime SystemTimeToDateTime(const TSystemTime& S); // raises EConvertError when impossible

// Quarter-hour slots 0..95 of a day.
constexpr int QuartersPerDay = 96;
int QuarterOfTime(int Hour, int Minute); // Hour * 4 + Minute / 15, 96 or more taken as 95
int QuarterOfDateTime(TDateTime T);      // the slot of T's time of day
TDateTime QuarterStart(int Slot);        // fraction of a day at which slot Slot starts
int QuarterHour(int Slot);               // Slot / 4
int QuarterMinute(int Slot);             // (Slot % 4) * 15
