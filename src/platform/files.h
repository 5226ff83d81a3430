// File-system operations of the system on Linux: whole-file reads, atomic replacement, appends,
// directory enumeration with the attribute filter of the watched directories, and attributes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"

// The whole content of Path. Raises EOSError "Cannot open file \"<Path>\". <system message>".
std::string ReadFileBytes(const std::string& Path);
// The same without raising: false when the file cannot be read.
bool TryReadFileBytes(const std::string& Path, std::string& Bytes);

// Replaces Path's content with Bytes: a hidden temporary file beside it, fsync, rename; a crash
// leaves the old or the new file. Raises EOSError "Cannot create file \"<Path>\". <message>".
void WriteFileAtomically(const std::string& Path, std::string_view Bytes);

// Appends Bytes with O_APPEND, creating the file when missing; never through a symbolic link.
// Raises EOSError "Cannot open file \"<Path>\". <message>".
void AppendToFile(const std::string& Path, std::string_view Bytes);

// AppendToFile, then the file's data and its directory entry are flushed to disk before it
// returns: what must be safe before another file that relies on it is replaced.
void AppendToFileDurably(const std::string& Path, std::string_view Bytes);

struct TFileEntry {
    std::string Name;      // without directory
    int64_t Size = 0;      // bytes
    TDateTime TimeUtc = 0; // modification time, UTC, milliseconds kept
};

// The regular files of Dir (symbolic links followed) that are not hidden (name starting with
// ".") and whose extension matches Ext without regard to ASCII case; Ext "*" or "" takes every
// file. Ext has no dot. The order is the directory's. Raises EOSError when Dir cannot be read.
std::vector<TFileEntry> ListFiles(const std::string& Dir, std::string_view Ext);

// Subdirectories of Dir (symbolic links followed), hidden ones left out, in the directory's order.
std::vector<std::string> ListSubdirectories(const std::string& Dir);

bool FileExists(const std::string& Path); // a regular file (after links)
// Size and UTC modification time of Path; false when it cannot be read.
bool GetFileInfo(const std::string& Path, int64_t& Size, TDateTime& TimeUtc);
// Sets the modification time of Path (UTC date-time); false on failure.
bool SetFileTimeUtc(const std::string& Path, TDateTime TimeUtc);

// "Set attributes to normal": adds the owner's write bit when it is missing; errors ignored.
void SetAttributesNormal(const std::string& Path);

// Creates Dir with every missing level. Raises EOSError with the system message.
void ForceDirectories(const std::string& Dir);

bool DeleteFile(const std::string& Path); // false when it could not be deleted

// Copies Source to Dest, replacing Dest atomically and keeping Source's modification time.
// Copying a file onto itself fails without touching it. Raises EOSError.
void CopyFileReplacing(const std::string& Source, const std::string& Dest);

// The standard time-zone bias in minutes (UTC = local standard time + bias), no daylight saving.
int StandardBiasMinutes();
