#include "data/vrkday.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <span>

#include "common/clock.h"
#include "common/errors.h"
#include "common/text.h"
#include "common/utils.h"
#include "data/vrkcfg.h"
#include "platform/files.h"

namespace {

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

// Reads Field, one count of a row, when it is as the files write it: a blank and one to seven
// digits, the eight bytes after the blank lying before End (the end of the row, so that they
// can be read at once). False for anything else, which the general rule then reads.
[[gnu::always_inline]] inline bool ReadPlainCount(std::string_view Field, const char* End,
                                                  int32_t& Value) {
    if constexpr (std::endian::native != std::endian::little) {
        return false;
    }
    const std::size_t Digits = Field.size() - 1;
    if (Field.size() < 2 || Digits > 7 || Field[0] != ' ' || End - Field.data() < 9) {
        return false;
    }
    uint64_t Word = 0;
    std::memcpy(&Word, Field.data() + 1, 8);
    // Eight bytes at a time, the first at the low end. A byte is no digit when subtracting '0'
    // borrows into its high bit or adding 0x46 carries into it (from ':' on). What a byte borrows
    // from or carries into the next only changes the bytes after the first that is no digit, and
    // the bytes after the digits are not looked at.
    constexpr uint64_t Ones = 0x0101010101010101ULL;
    const uint64_t Digit = Word - 0x30 * Ones;
    const uint64_t NotDigit = (Digit | (Word + 0x46 * Ones)) & (0x80 * Ones);
    const unsigned Shift = static_cast<unsigned>(8 * (8 - Digits));
    if ((NotDigit << Shift) != 0) {
        return false;
    }
    // The digits' values moved to the high end, zeros before them (the borrows of the bytes
    // after them go out at the top), then combined in pairs, fours and eights.
    uint64_t V = Digit << Shift;
    V = V * 10 + (V >> 8);
    constexpr uint64_t Mask = 0x000000FF000000FFULL;
    constexpr uint64_t Mul1 = 100 + (1000000ULL << 32);
    constexpr uint64_t Mul2 = 1 + (10000ULL << 32);
    V = ((V & Mask) * Mul1 + ((V >> 16) & Mask) * Mul2) >> 32;
    Value = static_cast<int32_t>(V);
    return true;
}

// The end of the field that starts at P: the next TAB, or End.
const char* FieldEnd(const char* P, const char* End) {
    const void* Tab = std::memchr(P, '\t', static_cast<std::size_t>(End - P));
    return Tab == nullptr ? End : static_cast<const char*>(Tab);
}

// Reads the counts of a row from its field First on into Counts, up to the first that is not a
// number and at most Counts.size(), and answers how many were read. Each count is read as soon
// as the TAB after it is found, so that reading a count never waits for the one before.
int ReadCounts(std::string_view Line, std::size_t First, std::span<int32_t> Counts) {
    const char* const Data = Line.data();
    const char* const End = Data + Line.size();
    const std::size_t N = Line.size();
    std::size_t Start = First; // of the count being read
    std::size_t K = 0;         // its index
    // Reads the count that ends at FieldEnd; true when no count after it is wanted.
    const auto Take = [&](std::size_t FieldEnd) {
        const std::string_view Field(Data + Start, FieldEnd - Start);
        Start = FieldEnd + 1;
        if (!ReadPlainCount(Field, End, Counts[K]) && !TryStrToInt(TrimView(Field), Counts[K])) {
            return true;
        }
        return ++K == Counts.size();
    };
    if (ForEachByteOf(Line, First, '\t', Take)) {
        return static_cast<int>(K);
    }
    Take(N);
    return static_cast<int>(K);
}

// Takes the counts of one data row into the slot of its time; a row without a valid time is
// skipped. The fields are TAB separated: store, date, time and at most 64 counts, each read
// trimmed with TryStrToInt.
void LoadRow(TVrkDay& Day, std::string_view Line) {
    const char* const End = Line.data() + Line.size();
    const char* const StoreEnd = FieldEnd(Line.data(), End);
    if (StoreEnd == End) {
        return;
    }
    const char* const DateEnd = FieldEnd(StoreEnd + 1, End);
    if (DateEnd == End) {
        return;
    }
    const char* const TimeEnd = FieldEnd(DateEnd + 1, End);
    const std::string_view Time =
        TrimView(std::string_view(DateEnd + 1, static_cast<std::size_t>(TimeEnd - DateEnd - 1)));
    const auto Hour = TryStrToInt(Part(Time, 0, 2));
    const auto Minute = TryStrToInt(Part(Time, 3, 2));
    if (!Hour || !Minute || *Hour < 0 || *Hour > 23 || *Minute < 0 || *Minute > 59) {
        return;
    }
    const int Slot = *Hour * 4 + *Minute / 15;
    TouchSlot(Day, Slot);
    if (TimeEnd != End) {
        const int Read = ReadCounts(Line, static_cast<std::size_t>(TimeEnd + 1 - Line.data()),
                                    Day.Slots[static_cast<std::size_t>(Slot)].Counts);
        Day.ChannelCount = std::max(Day.ChannelCount, Read);
    }
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

// Writes Value at P with exactly Width digits, zeros in front, when it has no more; false (and
// nothing written) for a value that does not fit.
bool PutPadded(char*& P, int Value, int Width) {
    if (Value < 0) {
        return false;
    }
    for (int I = Width - 1; I >= 0; --I) {
        P[I] = static_cast<char>('0' + Value % 10);
        Value /= 10;
    }
    if (Value != 0) {
        return false;
    }
    P += Width;
    return true;
}

// The date and time fields of a row, "dd/mm/yyyy\thh:mm", at P (16 characters) when each
// part fits its width; false otherwise.
bool PutSlotStamp(char*& P, const TVrkSlot& Slot) {
    char* Q = P;
    const auto Put = [&Q](int Value, int Width, char After) {
        if (!PutPadded(Q, Value, Width)) {
            return false;
        }
        if (After != '\0') {
            *Q++ = After;
        }
        return true;
    };
    if (!Put(Slot.Day, 2, '/') || !Put(Slot.Month, 2, '/') || !Put(Slot.Year, 4, '\t') ||
        !Put(Slot.Hour, 2, ':') || !Put(Slot.Minute, 2, '\0')) {
        return false;
    }
    P = Q;
    return true;
}

// The field of each count below 1000, as a row writes it ("\t", a blank and the digits), padded
// to eight bytes, so that a count is written with one eight-byte copy.
constexpr int SmallCounts = 1000;
struct TSmallCountFields {
    std::array<std::array<char, 8>, SmallCounts> Bytes{};
    constexpr TSmallCountFields() {
        for (int V = 0; V < SmallCounts; ++V) {
            auto& F = Bytes[static_cast<std::size_t>(V)];
            F[0] = '\t';
            F[1] = ' ';
            std::size_t K = 2;
            if (V >= 100) {
                F[K++] = static_cast<char>('0' + V / 100);
            }
            if (V >= 10) {
                F[K++] = static_cast<char>('0' + V / 10 % 10);
            }
            F[K] = static_cast<char>('0' + V % 10);
        }
    }
};
constexpr TSmallCountFields SmallCountFields;

void AppendDataLine(std::string& Line, std::string_view Store, const TVrkSlot& Slot,
                    int ChannelCount) {
    Line += Store;
    Line += '\t';
    // The rest is put together in a buffer of the longest it can be: the stamp and 64 counts,
    // each a TAB, a blank and at most 11 characters.
    constexpr std::size_t CountDigits = 11; // "-2147483648"
    char Buffer[16 + (2 + CountDigits) * std::tuple_size_v<decltype(Slot.Counts)>];
    char* P = Buffer;
    if (!PutSlotStamp(P, Slot)) {
        AppendDayMonthYear(Line, Slot.Day, Slot.Month, Slot.Year);
        Line += '\t';
        AppendHourMinute(Line, Slot.Hour, Slot.Minute);
    }
    const int N = std::clamp(ChannelCount, 0, static_cast<int>(Slot.Counts.size()));
    for (int K = 0; K < N; ++K) {
        const int32_t Count = Slot.Counts[static_cast<std::size_t>(K)];
        if (Count >= 0 && Count < SmallCounts) {
            // The eight bytes fit: the buffer has room for 13 per count, this field takes 3 to 5.
            std::memcpy(P, SmallCountFields.Bytes[static_cast<std::size_t>(Count)].data(), 8);
            P += 3 + (Count >= 10) + (Count >= 100);
            continue;
        }
        *P++ = '\t';
        *P++ = ' ';
        P = std::to_chars(P, P + CountDigits, Count).ptr;
    }
    Line.append(Buffer, P);
}

} // namespace

std::size_t SplitRowFields(std::string_view Line, TRowFields& Fields) {
    return SplitFieldViews(Line, '\t', Fields);
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

namespace {

// Fills Day from the data rows that ReadRows(Fn) hands to Fn, those of the counting file
// FileName (whose name dates the day).
template <class TReadRows>
void LoadDayFromRows(const std::string& FileName, TVrkDay& Day, const TClock* Clock,
                     TReadRows&& ReadRows) {
    const TDateTime NameDate = DateFromFileName(FileName);
    const TDateTime StartDate = NameDate >= 0 ? NameDate : Today(Clock);
    InitDayAt(Day, StartDate);

    std::string_view LastRow;
    bool AnyRow = false;
    ReadRows([&](std::string_view Line) {
        LoadRow(Day, Line);
        LastRow = Line;
        AnyRow = true;
    });
    if (!AnyRow) {
        return;
    }
    // The date of the last row dates the day, the name's only when it has none.
    TRowFields Fields;
    const std::string_view DateField = SplitRowFields(LastRow, Fields) > 1 ? Fields[1] : "";
    TDateTime RowDate = 0;
    if (ReadRowDate(TrimView(DateField), DecodeDate(StartDate).Year, RowDate) &&
        RowDate != Day.Date) {
        const TDateParts P = DecodeDate(RowDate);
        DateDay(Day, P.Year, P.Month, P.Day);
    }
}

} // namespace

void LoadDayFromText(std::string_view Text, const std::string& FileName, TVrkDay& Day,
                     TVrkConfig& Config, const TClock* Clock) {
    LoadDayFromRows(FileName, Day, Clock,
                    [&](const auto& Fn) { Config.ReadDataLinesFromText(Text, Fn); });
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
    // The header and the rows in one pass over the lines.
    LoadDayFromRows(FileName, Day, Clock,
                    [&](const auto& Fn) { Header.ReadHeaderAndDataLines(Text, Fn); });
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
