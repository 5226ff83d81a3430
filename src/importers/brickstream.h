// Reading the export lines of Brickstream sensors (interval counts and running counters), and what
// the importers of foreign counting files share: field splitting, reading times in whole seconds,
// the day file prepared for import, its name and the shop names taken from directories.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "common/errors.h"
#include "common/text.h"
#include "config/fcsconvparams.h"

class TVrkConfig;
struct TVrkDay;

constexpr int64_t SecondsPerDay = 86400;
constexpr int64_t SecondsPerQuarter = 900;
// Longest store, zone and device name kept from an input line.
constexpr std::size_t ImportNameLength = 32;

// The first ImportNameLength characters of Text, without the blanks (bytes <= ' ') that then end
// it.
inline std::string_view CutName(std::string_view Text) {
    // Without the blanks a cut leaves at the end: the readers of counting files trim them, and
    // a name must match itself when a file is imported again.
    Text = Text.substr(0, std::min(Text.size(), ImportNameLength));
    while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ') {
        Text.remove_suffix(1);
    }
    return Text;
}

// A reading time as whole seconds since 1899-12-30 00:00 (the day number of the date-time times
// 86400 plus the second of the day).
inline int64_t DayOfSecond(int64_t Second) {
    return Second >= 0 ? Second / SecondsPerDay : -((-Second + SecondsPerDay - 1) / SecondsPerDay);
}
inline int SlotOfSecond(int64_t Second) {
    return static_cast<int>((Second - DayOfSecond(Second) * SecondsPerDay) / SecondsPerQuarter);
}

// Seconds of a calendar date and time; false when they do not form a valid date and time, or the
// year is one a day-file name "yymmdd" cannot carry (before 1991 or after 2090).
bool ReadingSecond(int Year, int Month, int Day, int Hour, int Minute, int Second, int64_t& Result);

// A date "yyyy-mm-dd" (read by position, separators not examined) and a time "hh:nn[:ss[.zzz]]":
// seconds are read when Time has 8 characters or more, milliseconds (only with WithMSec) when it
// has 12 or more. False when the texts do not form a valid date and time.
bool ReadIsoDateTime(std::string_view Date, std::string_view Time, bool WithMSec, int64_t& Second,
                     int& MSec);

// The zone type letter of a zone type word, case ignored: "entrance" D, "corridor" C, "parking" P,
// and "children" A when Children is set; 0 for any other word.
char BsZoneTypeOfWord(std::string_view Word, bool Children);

// One line of an interval file (BRICKSTREAM or BRICKSTREAM-CHLD); the views point into the line.
struct TBsIntervalLine {
    std::string_view Store; // BRICKSTREAM: field 2; BRICKSTREAM-CHLD: "001"
    std::string_view Zone;  // never empty
    char ZoneType = 'D';    // BRICKSTREAM-CHLD: D, C, P or A (children)
    int64_t Second = 0;     // start of the interval: the stamp minus 15 minutes
    int32_t In = 0;
    int32_t Out = 0;
};

// The last time stamp read from an interval file: the lines of one interval share their stamp.
struct TBsStampCache {
    std::string Stamp;
    bool Valid = false;
    int64_t Second = 0;

    // Whether Text is Stamp; a stamp of the usual 19 characters is compared without a loop.
    bool Holds(std::string_view Text) const {
        constexpr std::size_t Usual = 19; // "MM/DD/YYYY HH:NN:SS"
        if (Text.size() == Usual && Stamp.size() == Usual) {
            return std::memcmp(Text.data(), Stamp.data(), Usual) == 0;
        }
        return SameBytes(Stamp, Text);
    }
};

// Parses a "|" separated interval line: field 2 store (Child: zone), field 4 zone (Child: zone
// type word), field 6 the stamp "MM/DD/YYYY HH:NN:SS" at the end of the interval, fields 7 and 8
// the counts entering and leaving. False for a line to skip. Cache, when given, keeps the last
// stamp read.
bool ParseBsIntervalLine(std::string_view Line, bool Child, TBsIntervalLine& Reading,
                         TBsStampCache* Cache = nullptr);
// The same for the fields of the line, split at "|" and cut to BsFieldLength characters (as
// SplitFields cuts them), missing fields empty; the fields may be trimmed in place.
constexpr std::size_t BsIntervalFieldCount = 9;
constexpr std::size_t BsFieldLength = 255;
// Inline (defined at the end of this header): the importer calls it for every line.
[[gnu::always_inline]] inline bool
ParseBsIntervalFields(std::span<std::string_view, BsIntervalFieldCount> Fields, bool Child,
                      TBsIntervalLine& Reading, TBsStampCache* Cache = nullptr);

// One line of a running-counter file (BRICKSTREAM-RT); the views point into the line.
struct TBsRtLine {
    std::string_view Device;
    std::string_view Zone;
    char ZoneType = 'D'; // D, C or P
    int64_t Second = 0;
    int MSec = 0;
    int32_t In = 0;
    int32_t Out = 0;
    int32_t ChildIn = 0;
    int32_t ChildOut = 0;
};

// Parses a ";" separated running-counter line: date, time, zone type word, zone, in, out, then
// either child in, child out and device (a line of nine fields) or the device. False for a line to
// skip.
bool ParseBsRtLine(std::string_view Line, TBsRtLine& Reading);

// Prepares a counting data file object for an import: model "KT9", no door defined (empty names,
// type D, no exits), every channel inactive without name, of kind 0, channel n on door (n+1)/2
// and counting exits when n is even, the "#R" flags cleared.
void PrepareImportConfig(TVrkConfig& Config);
// Clears the sixteen "#R" flags (every digit "1").
void ClearRFlags(TVrkConfig& Config);

// The day file of the day number Day (days since 1899-12-30) in OutDir: "yymmdd.vrk". Raises
// ETarnoError "Output directory not set" for an empty OutDir.
std::string DayFilePath(const std::string& OutDir, int64_t Day);

// The shop name of interval day files without a store in their readings: the last name of the
// directory part of OutDir ("/data/shop12" gives data, "/data/shop12/" gives shop12).
std::string ShopNameOfOutDir(std::string_view OutDir);

// The name of the directory above the directory of FileName ("/bs/shop12/in/f.dat" gives shop12).
std::string ShopNameAboveFile(const std::string& FileName);

// The people counted between two values of a running counter: Value - Previous, or 0 when the
// counter went back (a reset) or jumped by more than 1024 (a gap).
int32_t CounterStep(int32_t Previous, int32_t Value);

// Columns of channel counts for a day file: every active channel of Config and every channel the
// day holds, at least four.
int ImportChannelColumns(const TVrkConfig& Config, const TVrkDay& Day);

// The whole input file FileName in Text; false when it does not exist. Raises EOSError when it
// exists but cannot be read.
bool ReadImportInput(const std::string& FileName, std::string& Text);
// Whether the input file FileName exists, and its size then: an input that is read in blocks
// (ReadFileInLineBlocks) makes room for its readings ahead.
bool FindImportInput(const std::string& FileName, std::size_t& Size);

// A count of an input line: an integer of 0 or more.
inline bool ReadCount(std::string_view Text, int32_t& Count) {
    int32_t Value = 0;
    if (!TryStrToInt(Text, Value) || Value < 0) {
        return false;
    }
    Count = Value;
    return true;
}

// The start of the interval whose end is stamped "MM/DD/YYYY HH:NN:SS" (read by position, the
// separators not examined): the stamp minus 15 minutes. False when that is not a valid time or
// falls before 1991.
bool ReadBsIntervalStamp(std::string_view Stamp, int64_t& Result);

[[gnu::always_inline]] inline bool
ParseBsIntervalFields(std::span<std::string_view, BsIntervalFieldCount> Fields, bool Child,
                      TBsIntervalLine& Reading, TBsStampCache* Cache) {
    // Most fields have no blanks to trim: they are trimmed only where that changes the result.
    // A name loses its leading blanks here, CutName takes the trailing ones.
    const auto TrimFront = [](std::string_view Field) {
        while (!Field.empty() && static_cast<unsigned char>(Field.front()) <= ' ') {
            Field.remove_prefix(1);
        }
        return Field;
    };
    // A count of plain digits is read as it is, one or two of them (most counts) without a loop;
    // any other is read again trimmed.
    const auto Count = [](std::string_view Field, int32_t& Value) {
        const auto Digit = [](char C) { return static_cast<unsigned>(C) - '0'; };
        if (Field.size() == 1 && Digit(Field[0]) < 10) {
            Value = static_cast<int32_t>(Digit(Field[0]));
            return true;
        }
        if (Field.size() == 2 && Digit(Field[0]) < 10 && Digit(Field[1]) < 10) {
            Value = static_cast<int32_t>(Digit(Field[0]) * 10 + Digit(Field[1]));
            return true;
        }
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
    if (Cache == nullptr || !Cache->Valid || !Cache->Holds(Fields[6])) {
        int64_t Second = 0;
        const bool Valid = ReadBsIntervalStamp(Fields[6], Second);
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
