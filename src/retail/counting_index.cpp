#include "retail/counting_index.h"

#include <algorithm>
#include <map>

#include "common/text.h"
#include "common/utils.h"
#include "platform/dirsync.h"
#include "platform/files.h"
#include "retail/exportfiles.h"

namespace {

constexpr std::size_t MaxLines = 1024;

// The key (field 0) of an index line.
std::string_view KeyOf(std::string_view Line) {
    return Line.substr(0, Line.find('\t'));
}

// The mark field (field 1) of an index line.
std::string_view MarkOf(std::string_view Line) {
    const std::size_t A = Line.find('\t');
    if (A == std::string_view::npos) {
        return {};
    }
    const std::size_t B = Line.find('\t', A + 1);
    return Line.substr(A + 1, B == std::string_view::npos ? B : B - A - 1);
}

// The data part: everything after the second TAB ("" without one).
std::string_view DataOf(std::string_view Line) {
    const std::size_t A = Line.find('\t');
    const std::size_t B = A == std::string_view::npos ? A : Line.find('\t', A + 1);
    return B == std::string_view::npos ? std::string_view() : Line.substr(B + 1);
}

} // namespace

bool TOutputList::Find(std::string_view S, std::size_t& Index) const {
    return FindSortedKey(
        Lines, S, [](const std::string& L) -> const std::string& { return L; }, Index);
}

TCountingIndex::TCountingIndex(const std::string& Directory, const std::string& IndexFileName)
    : FDirectory(Directory),
      FIndexPath(
          CombinePath(Directory, IndexFileName.empty() ? "counting_index.txt" : IndexFileName)) {
    PrepareIndexDirectory(Directory);
}

void TCountingIndex::Load() {
    FLines = ReadTextLines(FIndexPath);
    std::erase_if(FLines, [](const std::string& Line) {
        TDateTime Stamp = 0;
        const std::string_view Mark = MarkOf(Line);
        return !ParseIndexKey(KeyOf(Line), Stamp) || (Mark != "*" && Mark != "-");
    });
}

void TCountingIndex::Save() {
    SyncDeferredDirectories(); // the exports this index records reach the disk first
    WriteFileAtomically(FIndexPath, JoinTextLines(FLines));
    FLines.clear();
}

void TCountingIndex::Add(TDateTime Stamp, std::span<const std::string> Fields) {
    std::string Data;
    for (const std::string& F : Fields) {
        Data += '\t';
        Data += F;
    }
    const std::string Key = IndexKey(Stamp);
    std::string NewLine = Key + "\t*" + Data;
    std::size_t Index = 0;
    if (!FindKey(Key, Index)) {
        FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(Index), std::move(NewLine));
        return;
    }
    std::string& Old = FLines[Index];
    const std::size_t Tab = Old.find('\t');
    if (Tab == std::string::npos ||
        std::string_view(Old).substr(std::min(Tab + 2, Old.size())) != Data) {
        Old = std::move(NewLine);
    }
}

bool TCountingIndex::FindKey(std::string_view Key, std::size_t& Index) const {
    return FindSortedKey(FLines, Key, KeyOf, Index);
}

void TCountingIndex::Export(const std::string& OutputFile, TDateTime Now,
                            const TOutputFileOf& OutputFileOf) {
    try {
        ExportLines(OutputFile, Now, OutputFileOf);
    } catch (...) {
        FLines.clear();
        throw;
    }
    FLines.clear();
}

void TCountingIndex::ExportLines(const std::string& OutputFile, TDateTime Now,
                                 const TOutputFileOf& OutputFileOf) {
    std::map<std::string, std::unique_ptr<TOutputList>> Outputs;
    auto OutputOf = [&](const std::string& Path) -> TOutputList& {
        auto& List = Outputs[Path];
        if (!List) {
            List = CreateOutputList();
            List->Lines = ReadTextLines(Path);
            BeforeExport(*List);
        }
        return *List;
    };
    OutputOf(OutputFile);
    Load();

    // The newest record waits until DelayMinutes have passed (half a millisecond of slack for
    // the rounding of date-times).
    const TDateTime Delay = DelayMinutes / 1440.0;
    TCustomFields Fields;
    for (std::size_t I = 0; I < FLines.size(); ++I) {
        std::string& Line = FLines[I];
        TDateTime Stamp = 0;
        ParseIndexKey(KeyOf(Line), Stamp);
        if (MarkOf(Line) != "*") {
            continue;
        }
        if (I + 1 == FLines.size() &&
            !(DelayMinutes > 0 && Stamp + Delay <= Now + OneMillisecond / 2)) {
            continue;
        }
        const std::string Data(DataOf(Line));
        SplitDataFields(Data, Fields);
        const std::string Out = FormatLine(Fields, Stamp);
        TOutputList& List = OutputOf(OutputFileOf ? OutputFileOf(Stamp) : OutputFile);
        std::size_t Position = 0;
        if (List.Find(Out, Position)) {
            List.Lines[Position] = Out;
        } else {
            List.Lines.insert(List.Lines.begin() + static_cast<std::ptrdiff_t>(Position), Out);
        }
        Line = std::string(KeyOf(Line)) + "\t-\t" + Data;
    }
    for (auto& [Path, List] : Outputs) {
        AfterExport(*List);
        WriteFileAtomically(Path, JoinTextLines(List->Lines));
    }
    if (FLines.size() > MaxLines) {
        std::size_t Excess = FLines.size() - MaxLines;
        std::erase_if(FLines, [&Excess](const std::string& L) {
            if (Excess > 0 && MarkOf(L) == "-") {
                --Excess;
                return true;
            }
            return false;
        });
    }
    Save(); // after the outputs reach the disk: an hour marked delivered is never lost
}
