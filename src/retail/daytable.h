// Hourly sales tables: one text file per day ("yymmdd.txt") with, per store and hour, the number
// of customers (receipts), the turnover and the number of articles sold. The point-of-sale
// converters aggregate their journals into a TDayTable and merge it into the day's file, which
// replaces the hours they have data for and keeps the others.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/datetime.h"

// The "no value" markers of a row.
constexpr int32_t NoCustomers = -1;
constexpr double NoTurnover = -1000000000.0;
constexpr int32_t NoArticles = -2147483647;

// One hour of a day table. A row is empty when all three values are missing.
struct THourRow {
    std::string Store; // at most 5 characters
    int32_t Customers = NoCustomers;
    double Turnover = NoTurnover;
    int32_t Articles = NoArticles;

    bool Empty() const {
        return Customers == NoCustomers && Turnover == NoTurnover && Articles == NoArticles;
    }
};

// Indexed by hour 0..23.
using TDayTable = std::array<THourRow, 24>;

// Every row empty, with an empty store.
void ClearDayTable(TDayTable& Table);
int FirstUsedHour(const TDayTable& Table); // first non-empty hour, 24 when none
int LastUsedHour(const TDayTable& Table);  // last non-empty hour, -1 when none

// Sums into a row, a missing value counting as 0. Counts are summed in 64 bits and saturated.
void AddCustomers(THourRow& Row, int64_t Value);
void AddTurnover(THourRow& Row, double Value);
void AddArticles(THourRow& Row, int64_t Value);

// One line of a day file, read back.
struct TTableLine {
    std::string Store;    // trimmed, not cut
    TDateTime Day = 0;    // 0 when the date cannot be read
    std::string HourText; // "hh:00", or the time as written; "" when unreadable
    int32_t Customers = NoCustomers;
    double Turnover = 0;
    int32_t Articles = NoArticles;
};

// Reads a line "store | dd/mm/yy | hour | customers | turnover | articles | 0 |". Two-digit years
// 0..90 are 2000..2090, 91..99 are 1991..1999. An hour is an integer 0..23 or a time of day
// "hh:nn[:ss]"; a turnover takes "," or "." as decimal separator and is 0 when unreadable; a
// negative or unreadable customer count is missing. Raises EConvertError when the articles field
// is present but not an integer.
TTableLine ParseTableLine(std::string_view Line);

// The path of Day's table in OutDir ("yymmdd.txt"); raises ETarnoError "Output directory not set"
// for an empty OutDir.
std::string DayTablePath(const std::string& OutDir, TDateTime Day);

// Clears Table, then fills it from the file Path when it exists. A line whose date or hour cannot
// be read is skipped; any other error of a line is raised again with " (<file name>, line <n>)"
// appended (lines counted from 1). Raises EOSError when the file cannot be read.
void ReadDayTable(const std::string& Path, TDayTable& Table);

// The file content of Table: one line per non-empty hour, in hour order, dated Day, a missing
// value written as 0, the store code as the line reads it back (cut to five characters, a "|"
// written as a blank, trimmed). Empty for an empty table.
std::string FormatDayTable(const TDayTable& Table, TDateTime Day);

// Replaces Path with the lines of Table, atomically. An empty table writes nothing and leaves an
// existing file as it was. Raises EOSError.
void WriteDayTable(const std::string& Path, const TDayTable& Table, TDateTime Day);

// Which store code the hours of a merged table get.
enum class TMergeStores {
    NewRows,    // every hour of the new range takes the new row's store (an empty row blanks it)
    RangeAs001, // every hour of the new range gets "001"
    AllAs001,   // every line of the file gets "001"
};

// Merges New into Day's table in OutDir: for every hour from the first to the last non-empty
// hour of New, each value New has replaces the file's; all other hours and lines of the file
// stay as they were, whatever their date. Returns the table's path. Raises the errors of
// ReadDayTable (the file is then left as it was) and of WriteDayTable.
std::string MergeDayTable(const std::string& OutDir, const TDayTable& New, TDateTime Day,
                          TMergeStores Stores = TMergeStores::NewRows);

// The rows of a journal read in file order. Each line first names its day: a change of day
// merges the rows collected so far into their day's table and starts an empty table.
class TDayMerger {
public:
    // KeepGoing: a day that cannot be merged does not stop the journal; its rows are dropped and
    // Finish raises the first such error once the last day is merged. ShareFiles: every table
    // written is opened to every local user (GrantEveryoneAccess).
    explicit TDayMerger(std::string OutDir, TMergeStores Stores = TMergeStores::NewRows,
                        bool KeepGoing = false, bool ShareFiles = false);

    // Days at or before 0 are never merged.
    void SetDay(TDateTime Day);
    THourRow& Row(int Hour) { return FTable[static_cast<std::size_t>(Hour)]; }
    // Merges the last day. Raises the merge errors.
    void Finish();

private:
    void MergeCurrent();

    std::string FOutDir;
    TMergeStores FStores;
    bool FKeepGoing;
    bool FShareFiles;
    TDateTime FDay = 0;
    TDayTable FTable;
    std::string FFirstError;
};
