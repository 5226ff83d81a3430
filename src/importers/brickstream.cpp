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

// A count of an input line: an integer of 0 or more.
bool ReadCount(std::string_view Text, int32_t& Count) {
    int32_t Value = 0;
    if (!TryStrToInt(Text, Value) || Value < 0) {
        return false;
    }
    Count = Value;
    return true;
}

// The start of the interval whose end is stamped "MM/DD/YYYY HH:NN:SS" (read by position, the
// separators not examined).
bool ReadIntervalStamp(std::string_view Stamp, int64_t& Result) {
    const auto Month = NumberAt(Stamp, 1, 2);
    const auto Day = NumberAt(Stamp, 4, 2);
    const auto Year = NumberAt(Stamp, 7, 4);
    const auto Hour = NumberAt(Stamp, 12, 2);
    const auto Minute = NumberAt(Stamp, 15, 2);
    const auto Second = NumberAt(Stamp, 18, 2);
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

} // namespace

std::string_view CutName(std::string_view Text) {
    // Without the blanks a cut leaves at the end: the readers of counting files trim them, and
    // a name must match itself when a file is imported again.
    Text = Text.substr(0, std::min(Text.size(), ImportNameLength));
    while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ') {
        Text.remove_suffix(1);
    }
    return Text;
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

bool ParseBsIntervalFields(std::span<std::string_view, BsIntervalFieldCount> Fields, bool Child,
                           TBsIntervalLine& Reading, TBsStampCache* Cache) {
    // Most fields have no blanks to trim: they are trimmed only where that changes the result.
    // A name loses its leading blanks here, CutName takes the trailing ones.
    const auto TrimFront = [](std::string_view Field) {
        while (!Field.empty() && static_cast<unsigned char>(Field.front()) <= ' ') {
            Field.remove_prefix(1);
        }
        return Field;
    };
    // A count of plain digits is read as it is; any other is read again trimmed.
    const auto Count = [](std::string_view Field, int32_t& Value) {
        return ReadCount(Field, Value) || ReadCount(TrimView(Field), Value);
    };
    if (Child) {
        Reading.Store = "001";
        Reading.Zone = CutName(TrimFront(Fields[2]));
        Reading.ZoneType = BsZoneTypeOfWord(TrimView(Fields[4]), true);
        if (Reading.ZoneType == 0) {
            return false;
        }
    } else {
        Reading.Store = CutName(TrimFront(Fields[2]));
        Reading.Zone = CutName(TrimFront(Fields[4]));
        Reading.ZoneType = 'D';
    }
    if (Reading.Zone.empty() || !Count(Fields[7], Reading.In) || !Count(Fields[8], Reading.Out)) {
        return false;
    }
    const auto Edge = [](char C) { return static_cast<unsigned char>(C) <= ' '; };
    if (!Fields[6].empty() && (Edge(Fields[6].front()) || Edge(Fields[6].back()))) {
        Fields[6] = TrimView(Fields[6]);
    }
    if (Cache == nullptr || !Cache->Valid || !SameBytes(Cache->Stamp, Fields[6])) {
        int64_t Second = 0;
        const bool Valid = ReadIntervalStamp(Fields[6], Second);
        if (Cache == nullptr) {
            Reading.Second = Second;
            return Valid;
        }
        Cache->Stamp = Fields[6];
        Cache->Valid = Valid;
        Cache->Second = Second;
    }
    Reading.Second = Cache->Second;
    return Cache->Valid;
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
