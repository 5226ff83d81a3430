// One day of counts of one store: 96 quarter-hour slots of up to 64 channel counts, loaded from
// and written to the data rows of a counting data file.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"

class TClock;
class TVrkConfig;
struct TReadFile;

struct TVrkSlot {
    int32_t Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0;
    std::array<int32_t, 64> Counts{}; // channel index 0..63
};

// About 27 kB; converters keep one or two and reuse them for every file.
struct TVrkDay {
    TDateTime Date = 0;
    int32_t ChannelCount = 0; // 1 + the highest channel index stored so far
    int32_t FirstSlot = QuartersPerDay;
    int32_t LastSlot = -1;
    std::array<TVrkSlot, QuartersPerDay> Slots;
    std::array<bool, QuartersPerDay> SlotPresent{};
};

// A 64-bit sum of counts stored back into a 32-bit count (saturated at the type's bounds).
inline int32_t ClampCount(int64_t Value) {
    return static_cast<int32_t>(std::clamp<int64_t>(Value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// The time of day at which Slot starts; raises EConvertError "Invalid argument to time encode"
// for a slot outside 0..95 (such as the FirstSlot of a day without data).
TDateTime SlotTime(int Slot);

// Clears the day and dates every slot. Raises EConvertError for an impossible date.
void InitDay(TVrkDay& Day, int Year, int Month, int DayOfMonth);
// InitDay with the date held by FileName, else today (the clock's, or the system's when null).
void InitDayFromFileName(TVrkDay& Day, const std::string& FileName, const TClock* Clock = nullptr);

// Marks Slot (0..95) present and widens the day's bounds to it.
inline void TouchSlot(TVrkDay& Day, int Slot) {
    Day.SlotPresent[static_cast<std::size_t>(Slot)] = true;
    Day.FirstSlot = std::min(Day.FirstSlot, Slot);
    Day.LastSlot = std::max(Day.LastSlot, Slot);
}

// Channel clamped to 0..63.
inline int ClampChannel(int Channel) {
    return std::clamp(Channel, 0, 63);
}

// Marks Slot (0..95) present with Value as the count of Channel (clamped to 0..63): PutCount with
// Replace for a slot already known. Inline: importers put four counts for each line they read.
inline void PutSlotCount(TVrkDay& Day, int Slot, int Channel, int32_t Value) {
    const int C = ClampChannel(Channel);
    TouchSlot(Day, Slot);
    Day.Slots[static_cast<std::size_t>(Slot)].Counts[static_cast<std::size_t>(C)] = Value;
    Day.ChannelCount = std::max(Day.ChannelCount, C + 1);
}
// Sets (Replace) or adds Value to channel Channel (clamped to 0..63) in the slot of Time's time
// of day; marks the slot present and widens the day's bounds. Never fails.
void PutCount(TVrkDay& Day, int Channel, int32_t Value, bool Replace, TDateTime Time);
// Adds up to four counts into the slot of Time; Channel3 and Channel4 only when not negative.
void AddCounts(TVrkDay& Day, int Channel1, int32_t Value1, TDateTime Time, int Channel2,
               int32_t Value2, int Channel3, int32_t Value3, int Channel4, int32_t Value4);

// The fields a data row can hold: store, date, time and 64 counts.
constexpr std::size_t MaxRowFields = 3 + 64;
using TRowFields = std::array<std::string_view, MaxRowFields>;
// Splits a data row at TAB into at most MaxRowFields fields (views into Line) and answers their
// number; whatever follows the last of them is not split, so a huge line costs no more than a
// short one.
std::size_t SplitRowFields(std::string_view Line, TRowFields& Fields);

// Fills Day from the data rows of Text, the content of the counting file FileName (whose name
// dates the day); Config receives the file's signature. Malformed rows are skipped; never fails.
void LoadDayFromText(std::string_view Text, const std::string& FileName, TVrkDay& Day,
                     TVrkConfig& Config, const TClock* Clock = nullptr);
// The same for the file FileName; a missing or unreadable file leaves an empty day.
void LoadDay(const std::string& FileName, TVrkDay& Day, TVrkConfig& Config,
             const TClock* Clock = nullptr);

// Reads the counting file FileName once: its header into Header, its rows into Day. Raises
// EOSError when the file cannot be read, EConvertError "Not a counting data file (no header
// line and no data row)" when it holds neither; other content never makes it fail.
void ReadCountingFile(const std::string& FileName, TVrkConfig& Header, TVrkDay& Day,
                      const TClock* Clock = nullptr);
// The same, keeping what was read in File (for a copy of the very bytes that were parsed).
void ReadCountingFile(const std::string& FileName, TReadFile& File, TVrkConfig& Header,
                      TVrkDay& Day, const TClock* Clock = nullptr);
// The same for Text, the content of the counting file FileName.
void ParseCountingFile(std::string_view Text, const std::string& FileName, TVrkConfig& Header,
                       TVrkDay& Day, const TClock* Clock = nullptr);

// One data row: store, date, time and ChannelCount counts, TAB separated.
std::string FormatDataLine(std::string_view Store, const TVrkSlot& Slot, int ChannelCount);

// The data rows of slots 0..LastSlot between the slots of StartTime and StopTime (every slot
// when the start is after the stop). ChannelCount 0 means the day's; others are clamped to 4..64.
std::vector<std::string> FormatDayRows(const TVrkDay& Day, std::string_view Store,
                                       TDateTime StartTime, TDateTime StopTime, int ChannelCount);
// Those rows, each ended by CR LF; when DataOnly, rows that are no data line (a store starting
// with "#") are left out, as a file with a header leaves them.
std::string DayRowsText(const TVrkDay& Day, std::string_view Store, TDateTime StartTime,
                        TDateTime StopTime, int ChannelCount, bool DataOnly);
// Replaces FileName with those rows alone. Raises EOSError.
void WriteDayRows(const TVrkDay& Day, const std::string& FileName, std::string_view Store,
                  TDateTime StartTime, TDateTime StopTime, int ChannelCount);
// Replaces FileName with Header, the column headings and those rows, signed, in one atomic
// write: what WriteDayRows followed by SetHeaderToFile produce. Raises EOSError.
void WriteDayFile(const TVrkDay& Day, const std::string& FileName, std::string_view Store,
                  TDateTime StartTime, TDateTime StopTime, int ChannelCount, TVrkConfig& Header);
// What WriteDayFile writes.
std::string DayFileText(const TVrkDay& Day, std::string_view Store, TDateTime StartTime,
                        TDateTime StopTime, int ChannelCount, TVrkConfig& Header);
