#include "importers/brickstream.h"

#include <algorithm>

#include "common/datetime.h"
#include "common/errors.h"
#include "common/text.h"
#include "common/utils.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"

namespace {

// The number at the 1-based position From of Text, Count characters long (fewer at the end).
std::optional<int32_t> NumberAt(std::string_view Text, std::size_t From, std::size_t Count) {
    if (From - 1 > Text.size()) {
        return std::nullopt;
    }
    return TryStrToInt(Text.substr(From - 1, Count));
}

} // namespace

// The start of the interval whose end is stamped "MM/DD/YYYY HH:NN:SS" (read by position, the
// separators not examined).
bool ReadBsIntervalStamp(std::string_view Stamp, int64_t& Result) {
    std::optional<int32_t> Month, Day, Year, Hour, Minute, Second;
    // The usual stamp has plain digits in every place: they are read as they are. Any other
    // stamp goes through the number rule, which takes blanks and signs.
    const auto Digits = [Stamp](std::size_t From, std::size_t Count) -> std::optional<int32_t> {
        int32_t Value = 0;
        for (std::size_t I = From; I < From + Count; ++I) {
            const auto D = static_cast<unsigned>(Stamp[I]) - '0';
            if (D > 9) {
                return std::nullopt;
            }
            Value = Value * 10 + static_cast<int32_t>(D);
        }
        return Value;
    };
    if (!(Stamp.size() >= 19 && (Month = Digits(0, 2)) && (Day = Digits(3, 2)) &&
          (Year = Digits(6, 4)) && (Hour = Digits(11, 2)) && (Minute = Digits(14, 2)) &&
          (Second = Digits(17, 2)))) {
        Month = NumberAt(Stamp, 1, 2);
        Day = NumberAt(Stamp, 4, 2);
        Year = NumberAt(Stamp, 7, 4);
        Hour = NumberAt(Stamp, 12, 2);
        Minute = NumberAt(Stamp, 15, 2);
        Second = NumberAt(Stamp, 18, 2);
    }
    if (!Month || !Day || !Year || !Hour || !Minute || !Second ||
        !ReadingSecond(*Year, *Month, *Day, *Hour, *Minute, *Second, Result)) {
        return false;
    }
    // The stamp marks the end of the interval: the counts belong to the quarter-hour before it.
    // The first quarter-hour of 1991 would fall on a day that a day file name cannot hold.
    Result -= SecondsPerQuarter;
    int64_t First = 0;
    ReadingSecond(1991, 1, 1, 0, 0, 0, First);
    return Result >= First;
}

bool ReadingSecond(int Year, int Month, int Day, int Hour, int Minute, int Second,
                   int64_t& Result) {
    TDateTime Date = 0;
    if (Year < 1991 || Year > 2090 || !TryEncodeDate(Year, Month, Day, Date) || Hour < 0 ||
        Hour > 23 || Minute < 0 || Minute > 59 || Second < 0 || Second > 59) {
        return false;
    }
    Result = static_cast<int64_t>(Date) * SecondsPerDay + Hour * 3600 + Minute * 60 + Second;
    return true;
}

bool ReadIsoDateTime(std::string_view Date, std::string_view Time, bool WithMSec, int64_t& Second,
                     int& MSec) {
    const auto Year = NumberAt(Date, 1, 4);
    const auto Month = NumberAt(Date, 6, 2);
    const auto Day = NumberAt(Date, 9, 2);
    const auto Hour = NumberAt(Time, 1, 2);
    const auto Minute = NumberAt(Time, 4, 2);
    if (!Year || !Month || !Day || !Hour || !Minute) {
        return false;
    }
    int Sec = 0;
    MSec = 0;
    if (Time.size() >= 8) {
        const auto S = NumberAt(Time, 7, 2);
        if (!S) {
            return false;
        }
        Sec = *S;
    }
    if (WithMSec && Time.size() >= 12) {
        const auto Ms = NumberAt(Time, 10, 3);
        if (!Ms || *Ms < 0 || *Ms > 999) {
            return false;
        }
        MSec = *Ms;
    }
    return ReadingSecond(*Year, *Month, *Day, *Hour, *Minute, Sec, Second);
}

char BsZoneTypeOfWord(std::string_view Word, bool Children) {
    if (SameText(Word, "entrance")) {
        return 'D';
    }
    if (SameText(Word, "corridor")) {
        return 'C';
    }
    if (SameText(Word, "parking")) {
        return 'P';
    }
    if (Children && SameText(Word, "children")) {
        return 'A';
    }
    return 0;
}

bool ParseBsIntervalLine(std::string_view Line, bool Child, TBsIntervalLine& Reading,
                         TBsStampCache* Cache) {
    std::string_view Fields[BsIntervalFieldCount];
    SplitFieldViews(Line, '|', Fields, BsFieldLength);
    return ParseBsIntervalFields(Fields, Child, Reading, Cache);
}

bool ParseBsRtLine(std::string_view Line, TBsRtLine& Reading) {
    std::string_view Fields[9];
    const int Count = SplitTrimmedFields(Line, ';', Fields, 9);
    Reading.ZoneType = BsZoneTypeOfWord(Fields[2], false);
    Reading.Zone = CutName(Fields[3]);
    if (Reading.ZoneType == 0 || Reading.Zone.empty() || !ReadCount(Fields[4], Reading.In) ||
        !ReadCount(Fields[5], Reading.Out)) {
        return false;
    }
    if (Count == 9) {
        if (!ReadCount(Fields[6], Reading.ChildIn) || !ReadCount(Fields[7], Reading.ChildOut)) {
            return false;
        }
        Reading.Device = CutName(Fields[8]);
    } else {
        Reading.ChildIn = 0;
        Reading.ChildOut = 0;
        Reading.Device = CutName(Fields[6]);
    }
    return !Reading.Device.empty() &&
           ReadIsoDateTime(Fields[0], Fields[1], true, Reading.Second, Reading.MSec);
}

void ClearRFlags(TVrkConfig& Config) {
    Config.Flags &= ~(uint32_t{0xFFFF} << 12);
}

void PrepareImportConfig(TVrkConfig& Config) {
    ResetToKt9Layout(Config);
    ClearRFlags(Config);
}

std::string DayFilePath(const std::string& OutDir, int64_t Day) {
    const TDateParts P = DecodeDate(static_cast<TDateTime>(Day));
    return OutputPath(OutDir, Format("%2.2d%2.2d%2.2d.vrk", P.Year % 100, P.Month, P.Day));
}

std::string ShopNameOfOutDir(std::string_view OutDir) {
    return ExtractFileName(ExtractFileDir(OutDir));
}

std::string ShopNameAboveFile(const std::string& FileName) {
    return ExtractFileName(ExtractFileDir(ExtractFileDir(FileName)));
}

int32_t CounterStep(int32_t Previous, int32_t Value) {
    constexpr int64_t MaxStep = 1024;
    const int64_t Step = int64_t{Value} - Previous;
    return Step < 0 || Step > MaxStep ? 0 : static_cast<int32_t>(Step);
}

int ImportChannelColumns(const TVrkConfig& Config, const TVrkDay& Day) {
    int Columns = std::max(4, Day.ChannelCount);
    for (int C = VrkChannelCount; C > Columns; --C) {
        if (Config.Channels(C).Active) {
            Columns = C;
            break;
        }
    }
    return Columns;
}

bool ReadImportInput(const std::string& FileName, std::string& Text) {
    if (!FileExists(FileName)) {
        return false;
    }
    Text = ReadFileBytes(FileName);
    return true;
}

bool FindImportInput(const std::string& FileName, std::size_t& Size) {
    int64_t Bytes = 0;
    TDateTime Time = 0;
    if (!FileExists(FileName) || !GetFileInfo(FileName, Bytes, Time)) {
        return false;
    }
    Size = static_cast<std::size_t>(Bytes);
    return true;
}
