// The export index of the incremental back-office exports: one line per recorded time stamp
// that remembers whether the record was exported, whether it was still incomplete, and what it
// holds, so each complete time slot is delivered once and again only when it changes.
//
// Line: export mark ("-" pending, "*" exported), TAB, partial mark ("*" incomplete, "-"
// complete), TAB, the key (IndexKey), then the data fields each after a TAB. TIndexCegid writes
// the data fields out as lines; TIndexCylande sums the records of longer slots first.
//
// An index object lives for one step (record or export). Every file error raises EOSError; the
// index file is only ever replaced whole (WriteFileAtomically), the back-office file only ever
// appended to and flushed before the index that marks its lines is saved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"

using TIndexDataFields = std::vector<std::string>;
using TTimeStamps = std::vector<TDateTime>;

// The most lines an index keeps.
constexpr std::size_t IndexMaxLines = 1024;

class TIndexBase {
public:
    // IndexFileName "" means "index.txt". Directory is created (with its parents) and opened to
    // everyone; a failure shows at the first file operation.
    TIndexBase(const std::string& Directory, const std::string& IndexFileName);
    virtual ~TIndexBase() = default;
    TIndexBase(const TIndexBase&) = delete;
    TIndexBase& operator=(const TIndexBase&) = delete;

    const std::string& Directory() const { return FDirectory; }
    const std::string& IndexPath() const { return FIndexPath; }
    const std::vector<std::string>& Lines() const { return FLines; }
    int SlotMinutes() const { return FSlotMinutes; }

    // Reads the file (no file: no lines) and drops invalid lines; of the lines marked partial
    // only the latest keeps its mark.
    void Load();
    // Keeps at most IndexMaxLines lines, dropping the oldest exported ones first and never a
    // pending one; replaces the file and empties the lines.
    void Save();

    // Records one record: the fields become the data text, each after a TAB.
    void AddFields(const TIndexDataFields& Fields, bool Partial, TDateTime Stamp);
    // Inserts the record, or replaces its line when its data or partial mark changed (the record
    // is pending again); an unchanged record keeps its export mark.
    void AddLine(std::string_view Data, bool Partial, TDateTime Stamp);
    // Marks the line of Stamp's key exported; nothing when there is none.
    void MarkExported(TDateTime Stamp);
    // Binary search by key: true when found; Index is its line or the insertion point.
    bool FindKey(std::string_view Key, std::size_t& Index) const;

    // Hands every pending record to the slot hooks between BeginExport (Directory, FileName)
    // and EndExport, which also runs when a hook raises (the error then propagates).
    void Export(const std::string& Directory, const std::string& FileName);

protected:
    virtual void NewSlot(TIndexDataFields& Fields, bool Partial, TDateTime SlotStart,
                         TDateTime Stamp) = 0;
    virtual void SameSlot(TIndexDataFields& Fields, bool Partial, TDateTime SlotStart,
                          TDateTime Stamp) = 0;
    virtual void BeginExport(const std::string& Directory, const std::string& FileName) = 0;
    virtual void EndExport() = 0;
    // True: a slot with a pending record is handed over whole, its exported records included,
    // so a slot delivered again carries all of its records.
    virtual bool WholeSlots() const { return false; }

    int FSlotMinutes = 15;

private:
    TDateTime SlotStartOf(TDateTime Stamp) const;
    void ExportLines();

    std::string FDirectory;
    std::string FIndexPath;
    std::vector<std::string> FLines;
};

// Writes the data fields of each complete pending record as lines of the back-office file.
class TIndexCegid : public TIndexBase {
public:
    using TIndexBase::TIndexBase;

protected:
    void NewSlot(TIndexDataFields& Fields, bool Partial, TDateTime SlotStart,
                 TDateTime Stamp) override;
    void SameSlot(TIndexDataFields& Fields, bool Partial, TDateTime SlotStart,
                  TDateTime Stamp) override;
    void BeginExport(const std::string& Directory, const std::string& FileName) override;
    void EndExport() override;

private:
    std::string FOutputPath;
    std::vector<std::string> FNewLines;
};

// Sums the records of one slot (30 minutes unless set otherwise) into one line per door:
// "ddmmyyyy;hh:nn;door;in;out". The data fields are triples door, in, out; a slot with a
// partial record is not written and stays pending.
class TIndexCylande : public TIndexBase {
public:
    TIndexCylande(const std::string& Directory, const std::string& IndexFileName);

    void SetSlotMinutes(int Minutes) { FSlotMinutes = Minutes; }

protected:
    void NewSlot(TIndexDataFields& Fields, bool Partial, TDateTime SlotStart,
                 TDateTime Stamp) override;
    void SameSlot(TIndexDataFields& Fields, bool Partial, TDateTime SlotStart,
                  TDateTime Stamp) override;
    void BeginExport(const std::string& Directory, const std::string& FileName) override;
    void EndExport() override;
    bool WholeSlots() const override { return true; }

private:
    void FlushSlot();

    std::string FOutputPath;
    bool FSlotPartial = false;
    TDateTime FSlotStart = -1.0;
    TTimeStamps FSlotStamps;
    std::vector<int64_t> FSlotSums;
    std::vector<std::string> FNewLines;
};

// Appends Lines (CR LF ends) to Path and flushes them to disk; creates the file when missing,
// also with no line. Raises EOSError.
void AppendBackOfficeLines(const std::string& Path, const std::vector<std::string>& Lines);
