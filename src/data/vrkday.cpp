#include "data/vrkday.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <span>
#include <type_traits>

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

// The end of the field that starts at P: the next TAB, or End.
const char* FieldEnd(const char* P, const char* End) {
    const void* Tab = std::memchr(P, '\t', static_cast<std::size_t>(End - P));
    return Tab == nullptr ? End : static_cast<const char*>(Tab);
}

// InitDay but for the counts, which are left as they are: for a day whose rows are read next,
// LoadRow clearing the counts of each slot it meets first and ClearAbsentSlots those of the others
// (a whole day of counts is cleared for nothing where the rows give every one of them).
void StartDay(TVrkDay& Day, int Year, int Month, int DayOfMonth) {
    DateDay(Day, Year, Month, DayOfMonth);
    Day.ChannelCount = 0;
    Day.FirstSlot = QuartersPerDay;
    Day.LastSlot = -1;
    Day.SlotPresent.fill(false);
}

void ClearAbsentSlots(TVrkDay& Day) {
    for (int S = 0; S < QuartersPerDay; ++S) {
        if (!Day.SlotPresent[static_cast<std::size_t>(S)]) {
            Day.Slots[static_cast<std::size_t>(S)].Counts.fill(0);
        }
    }
}

#ifdef __SSE2__
// The TABs, blanks and digits of up to 64 bytes of a row, a bit for each byte (bit i for byte i),
// and the values as digits of those bytes and the three before them (Values()[i] for byte i from
// -3 on; the bytes before '0' give 0, those after '9' more than 9).
struct TRowBlock {
    uint64_t Tabs = 0, Blanks = 0, Digits = 0;
    uint8_t Room[16 + 64];
    uint8_t* Values() { return Room + 16; }
};

// Those of the bytes of Row from Base on, at most 64, none outside Row read; the values of the
// bytes before Base are left as they are or set to those of Row's. Row holds 16 bytes or more.
void ReadRowBlock(std::string_view Row, std::size_t Base, TRowBlock& R) {
    const __m128i Tab = _mm_set1_epi8('\t'), Blank = _mm_set1_epi8(' '), Zero = _mm_set1_epi8('0');
    const __m128i BelowDigits = _mm_set1_epi8('0' - 1), AboveDigits = _mm_set1_epi8('9' + 1);
    const std::size_t Left = Row.size() - Base;
    R.Tabs = R.Blanks = R.Digits = 0;
    // Sixteen bytes from Off on, of which the first Drop are left out.
    const auto Chunk = [&](std::size_t Off, std::size_t Drop) {
        const __m128i V =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(Row.data() + Base + Off - Drop));
        const auto Bits = [Off, Drop](__m128i Hit) {
            return uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(Hit))} >> Drop << Off;
        };
        R.Tabs |= Bits(_mm_cmpeq_epi8(V, Tab));
        R.Blanks |= Bits(_mm_cmpeq_epi8(V, Blank));
        R.Digits |=
            Bits(_mm_and_si128(_mm_cmpgt_epi8(V, BelowDigits), _mm_cmplt_epi8(V, AboveDigits)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(R.Values() + Off - Drop),
                         _mm_subs_epu8(V, Zero));
    };
    if (Left >= 64) {
        for (std::size_t Off = 0; Off < 64; Off += 16) {
            Chunk(Off, 0);
        }
        return;
    }
    // Where fewer than sixteen bytes are left, the last sixteen of the row are read and those
    // before Off left out (they are the block's too and give the same values).
    for (std::size_t Off = 0; Off < Left; Off += 16) {
        Chunk(Off, Left - Off < 16 ? 16 - (Left - Off) : 0);
    }
}
#endif

// Reads the counts of a row from its field First on (which follows a TAB) into Counts, up to the
// first that is not a number and at most Counts.size(), and answers how many were read.
int ReadCounts(std::string_view Line, std::size_t First, std::span<int32_t> Counts) {
    const char* const Data = Line.data();
    const std::size_t N = Line.size();
    std::size_t Start = First; // of the count being read
    std::size_t K = 0;         // its index
    // Reads the count that ends at End by the general rule; true when no count after it is
    // wanted.
    const auto Take = [&](std::size_t End) {
        int32_t Value = 0;
        if (!TryStrToInt(TrimView(std::string_view(Data + Start, End - Start)), Value)) {
            return true;
        }
        Counts[K] = Value;
        Start = End + 1;
        return ++K == Counts.size();
    };
#ifdef __SSE2__
    // The row is looked at 64 bytes at a time. Where every count that ends in them is a blank and
    // one to three digits (as the files write counts), which the TABs, blanks and digits of the
    // bytes show at once, each count is the three bytes before its TAB as digits, those that are
    // none (the blank, the TAB before it) taken as 0; the counts of other blocks are read one by
    // one by the general rule. The end of the row counts as a TAB.
    TRowBlock B;
    // The block before the first ends with the TAB before First (its other bytes take no part:
    // the first count starts after that TAB).
    B.Tabs = uint64_t{1} << 63;
    B.Blanks = B.Digits = 0;
    std::memset(B.Values() + 61, 0, 3);
    bool CarryBad = false; // the count that runs into the block has a fault before it
    for (std::size_t Base = First;; Base += 64) {
        const std::size_t Left = N - Base;
        // Each mask of the block, and of the bytes one to three before, from the block before.
        const uint64_t TabsBefore = B.Tabs, BlanksBefore = B.Blanks, DigitsBefore = B.Digits;
        std::memcpy(B.Values() - 3, B.Values() + 61, 3);
        if (N >= 16) {
            ReadRowBlock(Line, Base, B);
        } else {
            // A row too short to be read sixteen bytes at a time: its bytes, then zeros.
            char Tail[16] = {};
            std::memcpy(Tail, Data + Base, Left);
            ReadRowBlock(std::string_view(Tail, sizeof Tail), 0, B);
        }
        uint64_t Valid = ~uint64_t{0};
        if (Left < 64) {
            B.Tabs |= uint64_t{1} << Left;
            Valid = (uint64_t{2} << Left) - 1;
        }
        const uint64_t TabBefore = B.Tabs << 1 | TabsBefore >> 63;
        const uint64_t BlankBefore = B.Blanks << 1 | BlanksBefore >> 63;
        const uint64_t Digit1 = B.Digits << 1 | DigitsBefore >> 63;
        const uint64_t Digit2 = B.Digits << 2 | DigitsBefore >> 62;
        const uint64_t Digit3 = B.Digits << 3 | DigitsBefore >> 61;
        // A fault: a byte that is no TAB, blank or digit; a blank not after a TAB or a TAB not
        // followed by a blank; a blank not followed by a digit; four digits in a row.
        const uint64_t Faults =
            (~(B.Tabs | B.Blanks | B.Digits) | (B.Blanks ^ TabBefore) | (BlankBefore & ~B.Digits) |
             (B.Digits & Digit1 & Digit2 & Digit3)) &
            Valid;
        if (!CarryBad && Faults == 0) {
            // Each count is the three bytes before its TAB at At, Values()[At - 3 .. At - 1].
            const auto TakeAll = [&](auto MayFill) {
                for (uint64_t Tabs = B.Tabs; Tabs != 0; Tabs &= Tabs - 1) {
                    const uint8_t* const D = B.Values() - 3 + std::countr_zero(Tabs);
                    Counts[K++] = D[0] * 100 + D[1] * 10 + D[2];
                    if (MayFill && K == Counts.size()) {
                        return true;
                    }
                }
                return false;
            };
            // A block without fault has at most 22 TABs (the counts are 2 bytes or more):
            // whether the counts are full is asked only near their end.
            if (Counts.size() - K <= 22 ? TakeAll(std::true_type()) : TakeAll(std::false_type())) {
                return static_cast<int>(K);
            }
            Start = Base + 64 - static_cast<std::size_t>(std::countl_zero(B.Tabs));
        } else {
            for (uint64_t Tabs = B.Tabs; Tabs != 0; Tabs &= Tabs - 1) {
                if (Take(Base + static_cast<std::size_t>(std::countr_zero(Tabs)))) {
                    return static_cast<int>(K);
                }
            }
        }
        if (Left < 64) {
            return static_cast<int>(K);
        }
        // A block without fault has a TAB (else it would be all digits), so that the count that
        // runs into the next one starts in it.
        CarryBad = Faults != 0;
    }
#else
    if (ForEachByteOf(Line, First, '\t', Take)) {
        return static_cast<int>(K);
    }
    Take(N);
    return static_cast<int>(K);
#endif
}

bool IsDigit(char C) {
    return static_cast<unsigned char>(C - '0') <= 9;
}

// Reads the time "hh:mm" of a row, trimmed, into Hour and Minute; false when either is not a
// number.
bool ReadRowTime(std::string_view Field, int32_t& Hour, int32_t& Minute) {
    const char* const T = Field.data();
    if (Field.size() == 5 && IsDigit(T[0]) && IsDigit(T[1]) && IsDigit(T[3]) && IsDigit(T[4])) {
        Hour = (T[0] - '0') * 10 + (T[1] - '0');
        Minute = (T[3] - '0') * 10 + (T[4] - '0');
        return true;
    }
    const std::string_view Time = TrimView(Field);
    return TryStrToInt(Part(Time, 0, 2), Hour) && TryStrToInt(Part(Time, 3, 2), Minute);
}

// Takes the counts of one data row into the slot of its time; a row without a valid time is
// skipped. The fields are TAB separated: store, date, time and at most 64 counts, each read
// trimmed with TryStrToInt. The first row of a slot clears the counts it does not give (the day
// was begun by StartDay).
void LoadRow(TVrkDay& Day, std::string_view Line) {
    const char* const Data = Line.data();
    const std::size_t N = Line.size();
    // The ends of the store, date and time fields, the first three TABs: most often in the first
    // 64 bytes.
    uint64_t Tabs = ByteMask64(Line, 0, '\t');
    std::size_t Ends[3];
    std::size_t Found = 0;
    for (; Found < 3 && Tabs != 0; ++Found, Tabs &= Tabs - 1) {
        Ends[Found] = static_cast<std::size_t>(std::countr_zero(Tabs));
    }
    for (; Found < 3; ++Found) {
        const std::size_t From = Found == 0 ? 0 : std::min(Ends[Found - 1] + 1, N);
        Ends[Found] = static_cast<std::size_t>(FieldEnd(Data + From, Data + N) - Data);
    }
    const std::size_t DateEnd = Ends[1], TimeEnd = Ends[2];
    if (Ends[0] >= N || DateEnd >= N) {
        return;
    }
    int32_t Hour = 0, Minute = 0;
    if (!ReadRowTime(Line.substr(DateEnd + 1, TimeEnd - DateEnd - 1), Hour, Minute) || Hour < 0 ||
        Hour > 23 || Minute < 0 || Minute > 59) {
        return;
    }
    const int Slot = Hour * 4 + Minute / 15;
    std::array<int32_t, 64>& Counts = Day.Slots[static_cast<std::size_t>(Slot)].Counts;
    const bool FirstRow = !Day.SlotPresent[static_cast<std::size_t>(Slot)];
    TouchSlot(Day, Slot);
    int Read = 0;
    if (TimeEnd < N) {
        Read = ReadCounts(Line, TimeEnd + 1, Counts);
        Day.ChannelCount = std::max(Day.ChannelCount, Read);
    }
    if (FirstRow) {
        std::fill(Counts.begin() + Read, Counts.end(), 0);
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
// to eight bytes, so that a count is written with one eight-byte copy; the last byte holds the
// field's length.
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
            F[7] = static_cast<char>(K + 1);
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
            const auto& Field = SmallCountFields.Bytes[static_cast<std::size_t>(Count)];
            std::memcpy(P, Field.data(), 8);
            P += Field[7];
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
    StartDay(Day, Year, Month, DayOfMonth);
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
    const TDateParts Start = DecodeDate(StartDate);
    StartDay(Day, Start.Year, Start.Month, Start.Day);

    std::string_view LastRow;
    bool AnyRow = false;
    try {
        ReadRows([&](std::string_view Line) {
            LoadRow(Day, Line);
            LastRow = Line;
            AnyRow = true;
        });
    } catch (...) {
        ClearAbsentSlots(Day);
        throw;
    }
    ClearAbsentSlots(Day);
    if (!AnyRow) {
        return;
    }
    // The date of the last row dates the day, the name's only when it has none.
    TRowFields Fields;
    const std::string_view DateField = SplitRowFields(LastRow, Fields) > 1 ? Fields[1] : "";
    TDateTime RowDate = 0;
    if (ReadRowDate(TrimView(DateField), Start.Year, RowDate) && RowDate != Day.Date) {
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
