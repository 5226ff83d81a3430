#include "data/vrkday.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "common/clock.h"
#include "common/errors.h"
#include "common/text.h"
#include "common/utils.h"
#include "data/vrkcfg.h"
#include "platform/files.h"

namespace {

int ClampChannel(int Channel) {
    return std::clamp(Channel, 0, 63);
}

// Marks the slot present and widens the day's bounds.
void TouchSlot(TVrkDay& Day, int Slot) {
    Day.SlotPresent[static_cast<std::size_t>(Slot)] = true;
    Day.FirstSlot = std::min(Day.FirstSlot, Slot);
    Day.LastSlot = std::max(Day.LastSlot, Slot);
}

void AddToSlot(TVrkDay& Day, int Slot, int Channel, int32_t Value) {
    int32_t& Count =
        Day.Slots[static_cast<std::size_t>(Slot)].Counts[static_cast<std::size_t>(Channel)];
    Count = ClampCount(int64_t{Count} + Value);
    Day.ChannelCount = std::max(Day.ChannelCount, Channel + 1);
}

TDateTime Today(const TClock* Clock) {
    return DateOf(Clock != nullptr ? Clock->Now() : NowLocal());
}

void InitDayAt(TVrkDay& Day, TDateTime Date) {
    const TDateParts P = DecodeDate(Date);
    InitDay(Day, P.Year, P.Month, P.Day);
}

// Field Index (0-based) of the split line, "" when missing.
std::string_view FieldAt(const std::vector<std::string_view>& Fields, std::size_t Index) {
    return Index < Fields.size() ? Fields[Index] : std::string_view();
}

// The date "dd/mm/yyyy" or "dd/mm/yy" of a row; false when it cannot be read.
bool ReadRowDate(std::string_view Text, int DefaultYear, TDateTime& Date) {
    const auto Day = TryStrToInt(CopyText(Text, 1, 2));
    const auto Month = TryStrToInt(CopyText(Text, 4, 2));
    if (!Day || !Month) {
        return false;
    }
    int Year = DefaultYear;
    if (Text.size() == 10) {
        const auto Y = TryStrToInt(CopyText(Text, 7, 4));
        if (!Y) {
            return false;
        }
        Year = *Y;
    } else if (Text.size() == 8) {
        const auto Y = TryStrToInt(CopyText(Text, 7, 2));
        if (!Y) {
            return false;
        }
        Year = 2000 + *Y;
    }
    return TryEncodeDate(Year, *Month, *Day, Date);
}

} // namespace

void SplitRowFields(std::string_view Line, std::vector<std::string_view>& Fields) {
    Fields.clear();
    Fields.reserve(MaxRowFields);
    std::size_t Start = 0;
    while (Fields.size() + 1 < MaxRowFields) {
        const std::size_t Tab = Line.find('\t', Start);
        if (Tab == std::string_view::npos) {
            Fields.push_back(Line.substr(Start));
            return;
        }
        Fields.push_back(Line.substr(Start, Tab - Start));
        Start = Tab + 1;
    }
    Fields.push_back(Line.substr(Start, Line.find('\t', Start) - Start));
}

int32_t ClampCount(int64_t Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

TDateTime SlotTime(int Slot) {
    return EncodeTime(QuarterHour(Slot), QuarterMinute(Slot), 0, 0);
}

void InitDay(TVrkDay& Day, int Year, int Month, int DayOfMonth) {
    const TDateTime Date = EncodeDate(Year, Month, DayOfMonth);
    Day.Date = Date;
    Day.ChannelCount = 0;
    Day.FirstSlot = QuartersPerDay;
    Day.LastSlot = -1;
    Day.SlotPresent.fill(false);
    for (int S = 0; S < QuartersPerDay; ++S) {
        TVrkSlot& Slot = Day.Slots[static_cast<std::size_t>(S)];
        Slot.Year = Year;
        Slot.Month = Month;
        Slot.Day = DayOfMonth;
        Slot.Hour = QuarterHour(S);
        Slot.Minute = QuarterMinute(S);
        Slot.Counts.fill(0);
    }
}

void InitDayFromFileName(TVrkDay& Day, const std::string& FileName, const TClock* Clock) {
    const TDateTime Date = DateFromFileName(FileName);
    InitDayAt(Day, Date >= 0 ? Date : Today(Clock));
}

void PutCount(TVrkDay& Day, int Channel, int32_t Value, bool Replace, TDateTime Time) {
    const int Slot = QuarterOfDateTime(Time);
    const int C = ClampChannel(Channel);
    TouchSlot(Day, Slot);
    if (Replace) {
        Day.Slots[static_cast<std::size_t>(Slot)].Counts[static_cast<std::size_t>(C)] = Value;
        Day.ChannelCount = std::max(Day.ChannelCount, C + 1);
    } else {
        AddToSlot(Day, Slot, C, Value);
    }
}

void AddCounts(TVrkDay& Day, int Channel1, int32_t Value1, TDateTime Time, int Channel2,
               int32_t Value2, int Channel3, int32_t Value3, int Channel4, int32_t Value4) {
    const int Slot = QuarterOfDateTime(Time);
    TouchSlot(Day, Slot);
    AddToSlot(Day, Slot, ClampChannel(Channel1), Value1);
    AddToSlot(Day, Slot, ClampChannel(Channel2), Value2);
    if (Channel3 >= 0) {
        AddToSlot(Day, Slot, std::min(Channel3, 63), Value3);
    }
    if (Channel4 >= 0) {
        AddToSlot(Day, Slot, std::min(Channel4, 63), Value4);
    }
}

void LoadDayFromText(std::string_view Text, const std::string& FileName, TVrkDay& Day,
                     TVrkConfig& Config, const TClock* Clock) {
    const TDateTime NameDate = DateFromFileName(FileName);
    const TDateTime StartDate = NameDate >= 0 ? NameDate : Today(Clock);
    InitDayAt(Day, StartDate);

    std::vector<std::string> Lines;
    Config.ReadDataLinesFromText(Text, Lines);
    if (Lines.empty()) {
        return;
    }
    std::vector<std::string_view> Fields;
    SplitRowFields(Lines.back(), Fields);
    TDateTime RowDate = 0;
    if (ReadRowDate(TrimView(FieldAt(Fields, 1)), DecodeDate(StartDate).Year, RowDate) &&
        RowDate != Day.Date) {
        InitDayAt(Day, RowDate);
    }

    for (const std::string& Line : Lines) {
        SplitRowFields(Line, Fields);
        const std::string_view Time = TrimView(FieldAt(Fields, 2));
        const auto Hour = TryStrToInt(CopyText(Time, 1, 2));
        const auto Minute = TryStrToInt(CopyText(Time, 4, 2));
        if (!Hour || !Minute || *Hour < 0 || *Hour > 23 || *Minute < 0 || *Minute > 59) {
            continue;
        }
        const int Slot = *Hour * 4 + *Minute / 15;
        TouchSlot(Day, Slot);
        auto& Counts = Day.Slots[static_cast<std::size_t>(Slot)].Counts;
        int Read = 0;
        for (std::size_t K = 0; K < Counts.size(); ++K) {
            const auto Count = TryStrToInt(TrimView(FieldAt(Fields, 3 + K)));
            if (!Count) {
                break;
            }
            Counts[K] = *Count;
            ++Read;
        }
        Day.ChannelCount = std::max(Day.ChannelCount, Read);
    }
}

void LoadDay(const std::string& FileName, TVrkDay& Day, TVrkConfig& Config, const TClock* Clock) {
    std::string Text;
    if (!TryReadFileBytes(FileName, Text)) {
        Text.clear();
    }
    LoadDayFromText(Text, FileName, Day, Config, Clock);
}

std::string FormatDataLine(std::string_view Store, const TVrkSlot& Slot, int ChannelCount) {
    std::string Line(Store);
    Line.reserve(Line.size() + 17 + 12 * static_cast<std::size_t>(std::max(ChannelCount, 0)));
    Line += '\t';
    AppendZeroPadded(Line, Slot.Day, 2);
    Line += '/';
    AppendZeroPadded(Line, Slot.Month, 2);
    Line += '/';
    AppendZeroPadded(Line, Slot.Year, 4);
    Line += '\t';
    AppendZeroPadded(Line, Slot.Hour, 2);
    Line += ':';
    AppendZeroPadded(Line, Slot.Minute, 2);
    const int N = std::clamp(ChannelCount, 0, static_cast<int>(Slot.Counts.size()));
    char Buffer[16];
    for (int K = 0; K < N; ++K) {
        Line += "\t ";
        const auto Result =
            std::to_chars(Buffer, Buffer + sizeof Buffer, Slot.Counts[static_cast<std::size_t>(K)]);
        Line.append(Buffer, Result.ptr);
    }
    return Line;
}

std::vector<std::string> FormatDayRows(const TVrkDay& Day, std::string_view Store,
                                       TDateTime StartTime, TDateTime StopTime, int ChannelCount) {
    const int Channels = ChannelCount == 0 ? Day.ChannelCount : std::clamp(ChannelCount, 4, 64);
    int Start = QuarterOfDateTime(StartTime);
    int Stop = QuarterOfDateTime(StopTime);
    if (Start > Stop) {
        Start = 0;
        Stop = QuartersPerDay - 1;
    }
    std::vector<std::string> Rows;
    for (int S = std::max(Start, 0); S <= std::min(Stop, Day.LastSlot); ++S) {
        Rows.push_back(FormatDataLine(Store, Day.Slots[static_cast<std::size_t>(S)], Channels));
    }
    return Rows;
}

void WriteDayRows(const TVrkDay& Day, const std::string& FileName, std::string_view Store,
                  TDateTime StartTime, TDateTime StopTime, int ChannelCount) {
    std::string Text;
    for (const std::string& Row : FormatDayRows(Day, Store, StartTime, StopTime, ChannelCount)) {
        Text += Row;
        Text += "\r\n";
    }
    WriteFileAtomically(FileName, Text);
}

void WriteDayFile(const TVrkDay& Day, const std::string& FileName, std::string_view Store,
                  TDateTime StartTime, TDateTime StopTime, int ChannelCount, TVrkConfig& Header) {
    Header.WriteWithRows(FileName, FormatDayRows(Day, Store, StartTime, StopTime, ChannelCount));
}

void ReadCountingFile(const std::string& FileName, TVrkConfig& Header, TVrkDay& Day,
                      const TClock* Clock) {
    const std::string Text = ReadFileBytes(FileName);
    Header.ReadHeader(Text);
    LoadDayFromText(Text, FileName, Day, Header, Clock);
    if (Day.LastSlot >= 0) {
        return;
    }
    // A file without a single header line or row is some other file given by mistake: say so,
    // where a counting file without rows goes on to fail on its missing times.
    bool HasHeader = false;
    ForEachTextLine(Text,
                    [&](std::string_view Line) { HasHeader = HasHeader || IsHeaderLine(Line); });
    if (!HasHeader) {
        throw EConvertError("Not a counting data file (no header line and no data row)");
    }
}
