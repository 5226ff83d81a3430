// Keyed files: cumulative text files of the exports in which each line stands for one key (a
// store, a date, a time slot). Putting a line replaces the line of the same key or adds it;
// every other line of the file stays. The subclasses say how the key of a line is formed.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The file in memory, loaded by the constructor of each subclass. Keys are compared without
// regard to ASCII case. Loading and saving raise EOSError.
class TKeyedFile {
public:
    using TCompare = std::function<bool(const std::string& A, const std::string& B)>;

    virtual ~TKeyedFile() = default;
    TKeyedFile(const TKeyedFile&) = delete;
    TKeyedFile& operator=(const TKeyedFile&) = delete;

    // Lines that are not records, written first and unchanged.
    std::vector<std::string> HeaderLines;
    // The record lines and, at the same positions, their keys.
    std::vector<std::string> Records;
    std::vector<std::string> Keys;
    std::string FileName;
    bool UnixLineEnds = false; // LF line ends instead of CR LF
    // The order of Sort ("less than"); the case-insensitive text order when empty.
    TCompare CompareRecords;

    virtual bool IsRecordLine(std::string_view Line) const;
    virtual std::string KeyOf(std::string_view Line) const = 0;

    // Ignores an empty line; otherwise replaces the first record of the line's key, or appends
    // the line when the key is new.
    void Put(std::string_view Line);
    // Sorts the records (with their keys) by CompareRecords; stable.
    void Sort();
    // Makes an existing file writable, then replaces it with the header lines and the records,
    // atomically.
    void Save();

protected:
    explicit TKeyedFile(std::string Path);
    // Reads FileName when it exists: empty lines are dropped, records keep their file order,
    // and two lines of one key are both kept.
    void Load();

private:
    void AddRecord(std::string Line, std::string Key);

    // Lower-case key -> position of its first record.
    std::unordered_map<std::string, std::size_t> FIndex;
};

// Fields separated by ","; key: fields 0 to 3 joined.
class TSoftTouchFile final : public TKeyedFile {
public:
    explicit TSoftTouchFile(std::string Path);
    std::string KeyOf(std::string_view Line) const override;
};

// Fields separated by TAB; key: fields 0 to 2 joined.
class TGenerixFile final : public TKeyedFile {
public:
    explicit TGenerixFile(std::string Path);
    std::string KeyOf(std::string_view Line) const override;
};

// Fields separated by TAB; key: fields 0 to 2 joined. Sorted by store (field 0), then by date
// (field 1, "dd/mm/yyyy") in calendar order, then by time (field 2).
class TOdeisFile final : public TKeyedFile {
public:
    explicit TOdeisFile(std::string Path);
    std::string KeyOf(std::string_view Line) const override;
};

// Fields separated by ";"; key: fields 0, 1 and 2 joined with ";".
class TXlSoftFile final : public TKeyedFile {
public:
    explicit TXlSoftFile(std::string Path);
    std::string KeyOf(std::string_view Line) const override;
};

// The Odeis order of two lines: "less than".
bool OdeisLess(const std::string& A, const std::string& B);
