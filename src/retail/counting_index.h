// The counting index: the memory of exports that keep their output file as a whole, sorted list
// of lines (one per time slot) rather than appending to it. One index line per record: the key
// (IndexKey), TAB, the mark ("*" waiting for export, "-" exported), then the data fields each
// after a TAB. An export replaces the output line of each waiting record in place; the newest
// record is held back until DelayMinutes have passed.
//
// Every file error raises EOSError; output files and the index are replaced whole
// (WriteFileAtomically), the output files before the index that marks their lines exported.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"

using TCustomFields = std::vector<std::string>;

// The lines of an output file during an export, kept in the order its Find searches.
class TOutputList {
public:
    virtual ~TOutputList() = default;
    // Binary search for the line that stands for the same slot as S: true when found; Index is
    // its position or the insertion point. By whole lines here.
    virtual bool Find(std::string_view S, std::size_t& Index) const;

    std::vector<std::string> Lines;
};

class TCountingIndex {
public:
    // The output file of a record, chosen by its stamp.
    using TOutputFileOf = std::function<std::string(TDateTime Stamp)>;

    // IndexFileName "" means "counting_index.txt". Directory is created (with its parents) and
    // opened to everyone; a failure shows at the first file operation.
    TCountingIndex(const std::string& Directory, const std::string& IndexFileName);
    virtual ~TCountingIndex() = default;
    TCountingIndex(const TCountingIndex&) = delete;
    TCountingIndex& operator=(const TCountingIndex&) = delete;

    const std::string& IndexPath() const { return FIndexPath; }
    const std::vector<std::string>& Lines() const { return FLines; }

    // Reads the file (no file: no lines), dropping lines whose key does not parse or whose mark
    // is neither "*" nor "-", so one damaged line cannot stop every later export.
    void Load();
    // Replaces the file with the lines and empties them.
    void Save();
    // Records one record; an unchanged record keeps its mark, a changed one waits again.
    void Add(TDateTime Stamp, std::span<const std::string> Fields);
    bool FindKey(std::string_view Key, std::size_t& Index) const;

    // Exports every waiting record, the newest one only once DelayMinutes have passed at Now,
    // into OutputFileOf (its stamp) when given, else into OutputFile; OutputFile is written in
    // every case. Then keeps at most 1024 index lines (the oldest exported ones go first, a
    // waiting one never) and saves the index.
    void Export(const std::string& OutputFile, TDateTime Now,
                const TOutputFileOf& OutputFileOf = {});

    int DelayMinutes = 0;

protected:
    virtual void BeforeExport(TOutputList& /*OutputList*/) {}
    virtual void AfterExport(TOutputList& /*OutputList*/) {}
    virtual std::unique_ptr<TOutputList> CreateOutputList() = 0;
    virtual std::string FormatLine(const TCustomFields& Fields, TDateTime Stamp) const = 0;

private:
    void ExportLines(const std::string& OutputFile, TDateTime Now,
                     const TOutputFileOf& OutputFileOf);

    std::string FDirectory;
    std::string FIndexPath;
    std::vector<std::string> FLines;
};
