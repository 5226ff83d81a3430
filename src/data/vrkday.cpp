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

// Count characters of Text from the 0-based Position; "" past the end.
std::string_view Part(std::string_view Text, std::size_t Position, std::size_t Count) {
    return Position < Text.size() ? Text.substr(Position, Count) : std::string_view();
}

// The date "dd/mm/yyyy" or "dd/mm/yy" of a row; false when it cannot be read.
bool ReadRowDate(std::string_view Text, int DefaultYear, TDateTime& Date) {
    const auto Day = TryStrToInt(Part(Text, 0, 2));
    const auto Month = TryStrToInt(Part(Text, 3, 2));
    if (!Day || !Month) {
        return false;
    }
    int Year = DefaultYear;
    if (Text.size() == 10) {
        const auto Y = TryStrToInt(Part(Text, 6, 4));
        if (!Y) {
            return false;
        }
        Year = *Y;
    } else if (Text.size() == 8) {
        const auto Y = TryStrToInt(Part(Text, 6, 2));
        if (!Y) {
            return false;
        }
        Year = 2000 + *Y;
    }
    return TryEncodeDate(Year, *Month, *Day, Date);
}

// Dates the day and every slot of it, leaving the counts as they are.
void DateDay(TVrkDay& Day, int Year, int Month, int DayOfMonth) {
    Day.Date = EncodeDate(Year, Month, DayOfMonth);
    for (int S = 0; S < QuartersPerDay; ++S) {
        TVrkSlot& Slot = Day.Slots[static_cast<std::size_t>(S)];
        Slot.Year = Year;
        Slot.Month = Month;
        Slot.Day = DayOfMonth;
        Slot.Hour = QuarterHour(S);
        Slot.Minute = QuarterMinute(S);
    }
}

// Takes the counts of one data row into the slot of its time; a row without a valid time is
// skipped. Fields is the caller's, reused from row to row.
void LoadRow(TVrkDay& Day, std::string_view Line, TRowFields& Fields) {
    const std::size_t N = SplitRowFields(Line, Fields);
    const auto FieldAt = [&](std::size_t Index) {
        return Index < N ? Fields[Index] : std::string_view();
    };
    const std::string_view Time = TrimView(FieldAt(2));
    const auto Hour = TryStrToInt(Part(Time, 0, 2));
    const auto Minute = TryStrToInt(Part(Time, 3, 2));
    if (!Hour || !Minute || *Hour < 0 || *Hour > 23 || *Minute < 0 || *Minute > 59) {
        return;
    }
    const int Slot = *Hour * 4 + *Minute / 15;
    TouchSlot(Day, Slot);
    auto& Counts = Day.Slots[static_cast<std::size_t>(Slot)].Counts;
    int Read = 0;
    for (std::size_t K = 0; K < Counts.size(); ++K) {
        if (!TryStrToInt(TrimView(FieldAt(3 + K)), Counts[K])) {
            break;
        }
        ++Read;
    }
    Day.ChannelCount = std::max(Day.ChannelCount, Read);
}

// The slots a day's rows cover between StartTime and StopTime, and the counts each row gives.
struct TRowRange {
    int First = 0;
    int Last = -1;
    int Channels = 0;
};
TRowRange DayRowRange(const TVrkDay& Day, TDateTime StartTime, TDateTime StopTime,
                      int ChannelCount) {
    int Start = QuarterOfDateTime(StartTime);
    int Stop = QuarterOfDateTime(StopTime);
    if (Start > Stop) {
        Start = 0;
        Stop = QuartersPerDay - 1;
    }
    return {std::max(Start, 0), std::min(Stop, Day.LastSlot),
            ChannelCount == 0 ? Day.ChannelCount : std::clamp(ChannelCount, 4, 64)};
}

void AppendDataLine(std::string& Line, std::string_view Store, const TVrkSlot& Slot,
                    int ChannelCount) {
    Line += Store;
    Line += '\t';
    AppendDayMonthYear(Line, Slot.Day, Slot.Month, Slot.Year);
    Line += '\t';
    AppendHourMinute(Line, Slot.Hour, Slot.Minute);
    const int N = std::clamp(ChannelCount, 0, static_cast<int>(Slot.Counts.size()));
    char Buffer[16];
    for (int K = 0; K < N; ++K) {
        Line += "\t ";
        const auto Result =
            std::to_chars(Buffer, Buffer + sizeof Buffer, Slot.Counts[static_cast<std::size_t>(K)]);
        Line.append(Buffer, Result.ptr);
    }
}

} // namespace

std::size_t SplitRowFields(std::string_view Line, TRowFields& Fields) {
    return SplitFieldViews(Line, '\t', Fields);
}

int32_t ClampCount(int64_t Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

TDateTime SlotTime(int Slot) {
    return EncodeTime(QuarterHour(Slot), QuarterMinute(Slot), 0, 0);
}

void InitDay(TVrkDay& Day, int Year, int Month, int DayOfMonth) {
    DateDay(Day, Year, Month, DayOfMonth);
    Day.ChannelCount = 0;
    Day.FirstSlot = QuartersPerDay;
    Day.LastSlot = -1;
    Day.SlotPresent.fill(false);
    for (TVrkSlot& Slot : Day.Slots) {
        Slot.Counts.fill(0);
    }
}

void InitDayFromFileName(TVrkDay& Day, const std::string& FileName, const TClock* Clock) {
    const TDateTime Date = DateFromFileName(FileName);
    InitDayAt(Day, Date >= 0 ? Date : Today(Clock));
}

void PutSlotCount(TVrkDay& Day, int Slot, int Channel, int32_t Value) {
    const int C = ClampChannel(Channel);
    TouchSlot(Day, Slot);
    Day.Slots[static_cast<std::size_t>(Slot)].Counts[static_cast<std::size_t>(C)] = Value;
    Day.ChannelCount = std::max(Day.ChannelCount, C + 1);
}

void PutCount(TVrkDay& Day, int Channel, int32_t Value, bool Replace, TDateTime Time) {
    const int Slot = QuarterOfDateTime(Time);
    if (Replace) {
        PutSlotCount(Day, Slot, Channel, Value);
    } else {
        TouchSlot(Day, Slot);
        AddToSlot(Day, Slot, ClampChannel(Channel), Value);
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

    TRowFields Fields;
    std::string_view LastRow;
    bool AnyRow = false;
    Config.ReadDataLinesFromText(Text, [&](std::string_view Line) {
        LoadRow(Day, Line, Fields);
        LastRow = Line;
        AnyRow = true;
    });
    if (!AnyRow) {
        return;
    }
    // The date of the last row dates the day, the name's only when it has none.
    const std::string_view DateField = SplitRowFields(LastRow, Fields) > 1 ? Fields[1] : "";
    TDateTime RowDate = 0;
    if (ReadRowDate(TrimView(DateField), DecodeDate(StartDate).Year, RowDate) &&
        RowDate != Day.Date) {
        const TDateParts P = DecodeDate(RowDate);
        DateDay(Day, P.Year, P.Month, P.Day);
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
    std::string Line;
    Line.reserve(Store.size() + 17 + 12 * static_cast<std::size_t>(std::max(ChannelCount, 0)));
    AppendDataLine(Line, Store, Slot, ChannelCount);
    return Line;
}

std::vector<std::string> FormatDayRows(const TVrkDay& Day, std::string_view Store,
                                       TDateTime StartTime, TDateTime StopTime, int ChannelCount) {
    const TRowRange Range = DayRowRange(Day, StartTime, StopTime, ChannelCount);
    std::vector<std::string> Rows;
    for (int S = Range.First; S <= Range.Last; ++S) {
        Rows.push_back(
            FormatDataLine(Store, Day.Slots[static_cast<std::size_t>(S)], Range.Channels));
    }
    return Rows;
}

std::string DayRowsText(const TVrkDay& Day, std::string_view Store, TDateTime StartTime,
                        TDateTime StopTime, int ChannelCount, bool DataOnly) {
    const TRowRange Range = DayRowRange(Day, StartTime, StopTime, ChannelCount);
    std::string Text;
    if (Range.Last < Range.First) {
        return Text;
    }
    Text.reserve(static_cast<std::size_t>(Range.Last - Range.First + 1) *
                 (Store.size() + 19 + 12 * static_cast<std::size_t>(std::max(Range.Channels, 0))));
    for (int S = Range.First; S <= Range.Last; ++S) {
        const std::size_t Start = Text.size();
        AppendDataLine(Text, Store, Day.Slots[static_cast<std::size_t>(S)], Range.Channels);
        if (DataOnly && !IsDataLine(std::string_view(Text).substr(Start))) {
            Text.resize(Start);
            continue;
        }
        Text += "\r\n";
    }
    return Text;
}

void WriteDayRows(const TVrkDay& Day, const std::string& FileName, std::string_view Store,
                  TDateTime StartTime, TDateTime StopTime, int ChannelCount) {
    WriteFileAtomically(FileName,
                        DayRowsText(Day, Store, StartTime, StopTime, ChannelCount, false));
}

void WriteDayFile(const TVrkDay& Day, const std::string& FileName, std::string_view Store,
                  TDateTime StartTime, TDateTime StopTime, int ChannelCount, TVrkConfig& Header) {
    WriteFileAtomically(FileName,
                        DayFileText(Day, Store, StartTime, StopTime, ChannelCount, Header));
}

std::string DayFileText(const TVrkDay& Day, std::string_view Store, TDateTime StartTime,
                        TDateTime StopTime, int ChannelCount, TVrkConfig& Header) {
    return Header.TextWithData(DayRowsText(Day, Store, StartTime, StopTime, ChannelCount, true));
}

void ParseCountingFile(std::string_view Text, const std::string& FileName, TVrkConfig& Header,
                       TVrkDay& Day, const TClock* Clock) {
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

void ReadCountingFile(const std::string& FileName, TReadFile& File, TVrkConfig& Header,
                      TVrkDay& Day, const TClock* Clock) {
    ReadFileInto(FileName, File);
    ParseCountingFile(File.Bytes, FileName, Header, Day, Clock);
}

void ReadCountingFile(const std::string& FileName, TVrkConfig& Header, TVrkDay& Day,
                      const TClock* Clock) {
    ParseCountingFile(ReadFileBytes(FileName), FileName, Header, Day, Clock);
}
