#include "common/datetime.h"

#include <cmath>
#include <cstdio>

#include "common/errors.h"
#include "common/text.h"

namespace {
// Days from 0001-01-01 to 1899-12-30, the day 0 of the date-time.
constexpr int64_t DateDelta = 693594;
// Days from 1899-12-30 to 1970-01-01.
constexpr int64_t UnixDateDelta = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t Y, int64_t M, int64_t D) {
    Y -= M <= 2;
    const int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
    const int64_t Yoe = Y - Era * 400;
    const int64_t Doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
    const int64_t Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
    return Era * 146097 + Doe - 719468;
}

void CivilFromDays(int64_t Z, int64_t& Y, int64_t& M, int64_t& D) {
    Z += 719468;
    const int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
    const int64_t Doe = Z - Era * 146097;
    const int64_t Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
    const int64_t Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
    const int64_t Mp = (5 * Doy + 2) / 153;
    D = Doy - (153 * Mp + 2) / 5 + 1;
    M = Mp + (Mp < 10 ? 3 : -9);
    Y = Yoe + Era * 400 + (M <= 2);
}

// The date-time split into whole days and milliseconds of the day, as the Windows date-time
// does: the day is the integer part, the time of day the absolute fraction.
void SplitDateTime(TDateTime T, int64_t& Days, int64_t& MSecs) {
    if (!std::isfinite(T) || std::fabs(T) > 3.0e6) {
        Days = 0;
        MSecs = 0;
        return;
    }
    const auto Total = static_cast<int64_t>(std::llround(T * MSecsPerDay));
    const auto PerDay = static_cast<int64_t>(MSecsPerDay);
    Days = Total / PerDay;
    MSecs = Total % PerDay;
    if (MSecs < 0) {
        MSecs = -MSecs;
    }
}
} // namespace

bool IsLeapYear(int Year) {
    return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0);
}

int DaysInMonth(int Year, int Month) {
    static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (Month < 1 || Month > 12) {
        return 0;
    }
    return Month == 2 && IsLeapYear(Year) ? 29 : Days[Month - 1];
}

bool TryEncodeDate(int Year, int Month, int Day, TDateTime& Result) {
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
        Day > DaysInMonth(Year, Month)) {
        return false;
    }
    Result = static_cast<double>(DaysFromCivil(Year, Month, Day) + UnixDateDelta);
    return true;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, TDateTime& Result) {
    if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 ||
        MSec > 999) {
        return false;
    }
    Result = (Hour * 3600000.0 + Min * 60000.0 + Sec * 1000.0 + MSec) / MSecsPerDay;
    return true;
}

TDateTime EncodeDate(int Year, int Month, int Day) {
    TDateTime Result = 0;
    if (!TryEncodeDate(Year, Month, Day, Result)) {
        throw EConvertError("Invalid argument to date encode");
    }
    return Result;
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
    TDateTime Result = 0;
    if (!TryEncodeTime(Hour, Min, Sec, MSec, Result)) {
        throw EConvertError("Invalid argument to time encode");
    }
    return Result;
}

namespace {

// Before 1899-12-30 the time of day counts away from zero, as the days do.
TDateTime CombineDateTime(TDateTime Date, TDateTime Time) {
    return Date >= 0 ? Date + Time : Date - Time;
}

} // namespace

bool TryEncodeDateTime(int Year, int Month, int Day, int Hour, int Min, int Sec, int MSec,
                       TDateTime& Result) {
    TDateTime Date = 0, Time = 0;
    if (!TryEncodeDate(Year, Month, Day, Date) || !TryEncodeTime(Hour, Min, Sec, MSec, Time)) {
        return false;
    }
    Result = CombineDateTime(Date, Time);
    return true;
}

TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Min, int Sec, int MSec) {
    const TDateTime Date = EncodeDate(Year, Month, Day);
    return CombineDateTime(Date, EncodeTime(Hour, Min, Sec, MSec));
}

TDateParts DecodeDate(TDateTime T) {
    int64_t Days = 0, MSecs = 0;
    SplitDateTime(T, Days, MSecs);
    int64_t Y = 0, M = 0, D = 0;
    CivilFromDays(Days - UnixDateDelta, Y, M, D);
    if (Y < 1 || Y > 9999) {
        return {};
    }
    return {static_cast<int>(Y), static_cast<int>(M), static_cast<int>(D)};
}

TTimeParts DecodeTime(TDateTime T) {
    int64_t Days = 0, MSecs = 0;
    SplitDateTime(T, Days, MSecs);
    TTimeParts P;
    P.Hour = static_cast<int>(MSecs / 3600000);
    P.Min = static_cast<int>(MSecs / 60000 % 60);
    P.Sec = static_cast<int>(MSecs / 1000 % 60);
    P.MSec = static_cast<int>(MSecs % 1000);
    return P;
}

int DayOfWeek(TDateTime T) {
    int64_t Days = 0, MSecs = 0;
    SplitDateTime(T, Days, MSecs);
    int64_t R = (Days + DateDelta) % 7;
    if (R < 0) {
        R += 7;
    }
    return static_cast<int>(R) + 1;
}

int DayOfTheWeek(TDateTime T) {
    const int D = DayOfWeek(T); // 1 = Sunday
    return D == 1 ? 7 : D - 1;
}

TDateTime DateOf(TDateTime T) {
    int64_t Days = 0, MSecs = 0;
    SplitDateTime(T, Days, MSecs);
    return static_cast<double>(Days);
}

TDateTime TimeOf(TDateTime T) {
    int64_t Days = 0, MSecs = 0;
    SplitDateTime(T, Days, MSecs);
    return static_cast<double>(MSecs) / MSecsPerDay;
}

int64_t SecondOfDayRounded(TDateTime T) {
    const double Frac = std::fabs(T - std::trunc(T));
    return static_cast<int64_t>(std::nearbyint(Frac * SecsPerDay));
}

TDateTime UnixToDateTime(const timespec& Time, bool Local) {
    // UTC times from 1970 to 9999 by arithmetic: the same parts as gmtime_r gives, without its
    // lock on the time-zone state (a directory pass converts one time per file).
    constexpr int64_t SecsPerDayInt = 86400;
    constexpr int64_t Year10000 = 253402300800;
    if (!Local && Time.tv_sec >= 0 && Time.tv_sec < Year10000) {
        const int64_t Secs = Time.tv_sec;
        // The date part of a date-time is its count of days: what TryEncodeDate gives for the
        // civil date of that day. The time of day is what TryEncodeTime gives: the milliseconds
        // of the day (a sum of whole numbers, exact in a double) over those of a whole day.
        const auto Date = static_cast<TDateTime>(Secs / SecsPerDayInt + UnixDateDelta);
        const int64_t MSec = Time.tv_nsec / 1000000;
        if (MSec < 0 || MSec > 999) {
            return Date; // as TryEncodeTime refuses it
        }
        return Date + static_cast<double>(Secs % SecsPerDayInt * 1000 + MSec) / MSecsPerDay;
    }
    std::tm Tm{};
    const time_t Secs = Time.tv_sec;
    if (Local ? localtime_r(&Secs, &Tm) == nullptr : gmtime_r(&Secs, &Tm) == nullptr) {
        return 0;
    }
    TDateTime Date = 0, Clock = 0;
    if (!TryEncodeDate(Tm.tm_year + 1900, Tm.tm_mon + 1, Tm.tm_mday, Date)) {
        return 0;
    }
    const int Sec = Tm.tm_sec > 59 ? 59 : Tm.tm_sec; // a leap second counts as :59
    TryEncodeTime(Tm.tm_hour, Tm.tm_min, Sec, static_cast<int>(Time.tv_nsec / 1000000), Clock);
    return Date + Clock;
}

TDateTime NowLocal() {
    timespec Ts{};
    clock_gettime(CLOCK_REALTIME, &Ts);
    return UnixToDateTime(Ts, true);
}

TDateTime NowUtc() {
    timespec Ts{};
    clock_gettime(CLOCK_REALTIME, &Ts);
    return UnixToDateTime(Ts, false);
}

std::string FormatDate(TDateTime T) {
    const TDateParts D = DecodeDate(T);
    char Buffer[32];
    std::snprintf(Buffer, sizeof Buffer, "%02d/%02d/%04d", D.Day, D.Month, D.Year);
    return Buffer;
}

std::string FormatTime(TDateTime T) {
    const TTimeParts P = DecodeTime(T);
    char Buffer[32];
    std::snprintf(Buffer, sizeof Buffer, "%02d:%02d:%02d", P.Hour, P.Min, P.Sec);
    return Buffer;
}

TSystemTime DateTimeToSystemTime(TDateTime T) {
    const TDateParts D = DecodeDate(T);
    const TTimeParts P = DecodeTime(T);
    TSystemTime S;
    S.wYear = static_cast<uint16_t>(D.Year);
    S.wMonth = static_cast<uint16_t>(D.Month);
    S.wDayOfWeek = static_cast<uint16_t>(DayOfWeek(T) - 1);
    S.wDay = static_cast<uint16_t>(D.Day);
    S.wHour = static_cast<uint16_t>(P.Hour);
    S.wMinute = static_cast<uint16_t>(P.Min);
    S.wSecond = static_cast<uint16_t>(P.Sec);
    S.wMilliseconds = static_cast<uint16_t>(P.MSec);
    return S;
}

TDateTime SystemTimeToDateTime(const TSystemTime& S) {
    return EncodeDateTime(S.wYear, S.wMonth, S.wDay, S.wHour, S.wMinute, S.wSecond,
                          S.wMilliseconds);
}

int QuarterOfTime(int Hour, int Minute) {
    const int Slot = Hour * 4 + Minute / 15;
    if (Slot < 0) {
        return 0;
    }
    return Slot >= QuartersPerDay ? QuartersPerDay - 1 : Slot;
}

int QuarterOfDateTime(TDateTime T) {
    const TTimeParts P = DecodeTime(T);
    return QuarterOfTime(P.Hour, P.Min);
}

TDateTime QuarterStart(int Slot) {
    return (QuarterHour(Slot) * 60.0 + QuarterMinute(Slot)) / 1440.0;
}

int QuarterHour(int Slot) {
    return Slot / 4;
}

int QuarterMinute(int Slot) {
    return (Slot % 4) * 15;
}

std::string FormatDuration(TDateTime Duration) {
    int64_t Ms = std::llround(Duration * MSecsPerDay) % static_cast<int64_t>(MSecsPerDay);
    if (Ms < 0) {
        Ms = 0;
    }
    return Format("%d:%02d:%02d:%03d", static_cast<int>(Ms / 3600000),
                  static_cast<int>(Ms / 60000 % 60), static_cast<int>(Ms / 1000 % 60),
                  static_cast<int>(Ms % 1000));
}

void AppendDayMonthYear(std::string& Text, int Day, int Month, int Year) {
    AppendZeroPadded(Text, Day, 2);
    Text += '/';
    AppendZeroPadded(Text, Month, 2);
    Text += '/';
    AppendZeroPadded(Text, Year, 4);
}

void AppendHourMinute(std::string& Text, int Hour, int Minute) {
    AppendZeroPadded(Text, Hour, 2);
    Text += ':';
    AppendZeroPadded(Text, Minute, 2);
}

void AppendSortableStamp(std::string& Text, TDateTime T, bool WithTime) {
    const TDateParts D = DecodeDate(T);
    AppendZeroPadded(Text, D.Year, 4);
    Text += '/';
    AppendZeroPadded(Text, D.Month, 2);
    Text += '/';
    AppendZeroPadded(Text, D.Day, 2);
    if (WithTime) {
        const TTimeParts P = DecodeTime(T);
        Text += ' ';
        AppendZeroPadded(Text, P.Hour, 2);
        Text += ':';
        AppendZeroPadded(Text, P.Min, 2);
        Text += ':';
        AppendZeroPadded(Text, P.Sec, 2);
    }
}
