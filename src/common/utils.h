// Small shared functions: times and dates read out of texts and file names, file-system queries,
// and the rules for store names taken from directory names.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "common/datetime.h"

int CountChar(std::string_view Text, char Character);

// True when Path (after links) is a directory.
bool IsDirectory(const std::string& Path);
// True when A and B both exist and are the same file (device and inode), however spelled.
bool SameFile(const std::string& A, const std::string& B);

// Directory + "/" + FileName, without doubling a trailing "/"; an empty Directory expands
// FileName against the current directory.
std::string CombinePath(const std::string& Directory, const std::string& FileName);

// Path itself when it exists, else the entry of its directory whose name matches the last part
// of Path without regard to ASCII case, else "".
std::string ResolveNameNoCase(const std::string& Path);

// The last part of Path (after its last "/"), and everything before that "/" ("" without one,
// "/" for a name at the root).
std::string ExtractFileName(std::string_view Path);
std::string ExtractFileDir(std::string_view Path);

// Where a converter writes the output of FileName: OutDir + "/" + FileName's last part. Raises
// ETarnoError "Output directory not set" for an empty OutDir, instead of writing to the root.
std::string OutputPath(const std::string& OutDir, std::string_view FileName);

// The size of the file Path (its name matched as ResolveNameNoCase does); 0 for a missing
// file or a directory.
int64_t GetFileSize64(const std::string& Path);

// A time of day "hh:nn[:ss[.zzz]]" as a fraction of a day, or -1. The third character is taken
// as the time separator whatever it is, so 09h30 reads as 09:30.
TDateTime ParseTimeText(std::string_view Text);

// The hour 0..23 of T; one second is added first, so 09:59:59 counts as hour 10.
int HourOfTime(TDateTime T);
int HourOfTimeText(std::string_view Text); // HourOfTime(ParseTimeText(Text)); unreadable gives 0

// A file time (UTC) as a date-time, without time-zone conversion.
TDateTime FileTimeToDateTime(const timespec& FileTime);

// "(UTC +01:00)" for Bias -60: UTC = local time + Bias minutes.
std::string UtcOffsetText(int Bias);

// The longest integer that starts at the 1-based position From and is at most Length characters
// long; Length becomes the number of characters used (0 and result 0 when none).
int ParseLeadingInt(std::string_view Text, int From, int& Length);

// The date held by a file name "yyyymmdd[_...]" or "yymmdd[_...]" (two-digit years 0..90 are
// 2000..2090, 91..99 are 1991..1999), or -1.
TDateTime DateFromFileName(std::string_view FileName);

// The store name of a directory name: blanks removed, printable ASCII only, upper case. Raises
// ETarnoError for an empty name or a character outside "!".."~".
std::string CheckStoreName(std::string_view Name);

// Subdirectories of a store tree that are never stores ("Inconnu", "www", ...).
bool IsReservedStoreDir(std::string_view Name);
