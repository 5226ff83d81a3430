// The status list of one watched directory: which files are new or changed since the last pass,
// handing each of them to a callback, and the directory status file that remembers the files
// converted so far. One list is created per directory and pass; the status file is its only memory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"

class TClock;

struct TFileStatus {
    int64_t Size = 0;          // bytes, as seen by the scan
    TDateTime ModifiedUtc = 0; // last-write time, UTC, milliseconds kept
    bool Changed = true;
};

// What the callback may tell the list about one file.
struct TFileVisit {
    bool Continue = true;        // false stops Process after this file
    bool InputRewritten = false; // the converter rewrote the file: record its values after that
};

// Converts one file (full path). Answers true for success; an exception counts as neither
// success nor failure.
using TProcessFileCallback = std::function<bool(const std::string& FileName, TFileVisit& Visit)>;

class TDirectoryList {
public:
    // Scans Directory for the files whose extension matches the pattern FileExt ("vrk", "v*",
    // "vr?"; "*" = every file; see ListFiles) and reads the status file StatusFileName
    // ("dirlist.dst" when empty) inside it. Clock stamps the status file;
    // BiasMinutes is the standard time-zone bias (UTC = local + bias) for local times in it.
    // Raises ETarnoError "Directory does not exist\"<Directory>\"" for a missing directory and
    // EOSError when the directory cannot be read.
    TDirectoryList(std::string Directory, std::string FileExt, std::string StatusFileName,
                   const TClock& Clock, int BiasMinutes);

    // Offers every changed file to Callback, from the last name to the first unless Ascending.
    void Process(bool Ascending, const TProcessFileCallback& Callback);
    // Writes the status file: the files that were unchanged or converted successfully. A file
    // whose records would not change keeps its old "last update" stamp and is not rewritten.
    // Raises EOSError when it cannot be written.
    void Save();
    // The status file's text as Save writes it.
    std::string StatusText() const;

    struct TItem {
        std::string_view Name; // held by the list
        TFileStatus Status;
    };

    const std::string& Directory() const { return FDirectory; }
    const std::string& FileExt() const { return FFileExt; }
    const std::string& StatusFileName() const { return FStatusFileName; }
    const std::vector<TItem>& Files() const { return FFiles; } // sorted by name, case ignored
    // The names of the symbolic links the scan skipped (inputs are never read through links).
    const std::vector<std::string>& SkippedLinks() const { return FSkippedLinks; }
    // Why the status file present could not be read ("" when it was read or is missing): a
    // link, a FIFO or another special file is not read, and the directory counts as having none.
    const std::string& StatusFileProblem() const { return FStatusFileProblem; }
    int OkCount() const { return FOkCount; }
    int BadCount() const { return FBadCount; }

private:
    class TNameIndex;
    // A file as listed, in the directory's order, with its index in FFiles once a record names it.
    struct TListed {
        const char* Name; // held by the list
        uint32_t Length;
        uint32_t Place;
        int64_t Size;
        TDateTime ModifiedUtc;
        std::string_view NameView() const { return {Name, Length}; }
    };
    static constexpr uint32_t Unplaced = UINT32_MAX;

    void Load();
    // Reads the records of the status file: the files of Listed that a record names go to
    // FFiles, each once, in the order of the records, with the status the last record naming
    // them gives. Answers whether they came in the list's order.
    bool ReadStatusFile(const TNameIndex& Index, std::vector<TListed>& Listed);
    // Adds the files of Listed that no record named and puts FFiles in the list's order (by
    // name, case ignored); NamedSorted: the files named are in that order already.
    void SortFiles(const std::vector<TListed>& Listed, bool NamedSorted);
    // Whether Save would write the records the status file holds (its stamp line aside).
    bool SameAsStatusFile() const;
    // The status file's first four lines, "last update" stamped now.
    std::string StatusHeader() const;
    void AppendRecord(std::string& Text, const TItem& Item) const;
    std::string_view KeepName(std::string_view Name);

    std::string FDirectory;
    std::string FFileExt;
    std::string FStatusFileName;
    std::vector<TItem> FFiles;
    // The names of FFiles, back to back in blocks that never move.
    std::vector<std::unique_ptr<char[]>> FNameBlocks;
    char* FNameNext = nullptr;
    size_t FNameBlockFree = 0;
    std::string FStatusText; // the status file as read or last written
    // Whether the records of FStatusText, from FRecordsFrom to its end, are just those Save
    // would write for the files as listed (see ReadStatusFile).
    bool FRecordsVerbatim = false;
    size_t FRecordsFrom = 0;
    std::vector<std::string> FSkippedLinks;
    std::string FStatusFileProblem;
    int FOkCount = 0;
    int FBadCount = 0;
    const TClock& FClock;
    int FBiasMinutes;
};
