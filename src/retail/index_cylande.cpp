#include "retail/index_cylande.h"

#include <algorithm>

#include "common/text.h"
#include "common/utils.h"
#include "data/vrkday.h"
#include "platform/dirsync.h"
#include "platform/files.h"
#include "retail/exportfiles.h"

namespace {

// The data fields of a line: its fields after the third TAB, at most 128, up to the first empty
// one.
void DataFields(std::string_view Line, TIndexDataFields& Fields) {
    Fields.clear();
    std::size_t Pos = 0;
    for (int Tabs = 0; Tabs < 3; ++Tabs) {
        Pos = Line.find('\t', Pos);
        if (Pos == std::string_view::npos) {
            return;
        }
        ++Pos;
    }
    SplitDataFields(Line.substr(Pos), Fields);
}

// The key field of a line (its third field), "" when it has fewer than two TABs.
std::string_view KeyOf(std::string_view Line) {
    const std::size_t A = Line.find('\t');
    if (A == std::string_view::npos) {
        return {};
    }
    const std::size_t B = Line.find('\t', A + 1);
    if (B == std::string_view::npos) {
        return {};
    }
    const std::size_t C = Line.find('\t', B + 1);
    return Line.substr(B + 1, C == std::string_view::npos ? C : C - B - 1);
}

bool IsMark(std::string_view Field) {
    return Field == "-" || Field == "*";
}

bool Exported(const std::string& Line) {
    return !Line.empty() && Line[0] == '*';
}

bool PartialLine(const std::string& Line) {
    return Line.size() > 2 && Line[2] == '*';
}

} // namespace

TIndexBase::TIndexBase(const std::string& Directory, const std::string& IndexFileName)
    : FDirectory(Directory),
      FIndexPath(CombinePath(Directory, IndexFileName.empty() ? "index.txt" : IndexFileName)) {
    PrepareIndexDirectory(Directory);
}

void TIndexBase::Load() {
    // Every key is rewritten as IndexKey writes it and the lines are put in key order, one per
    // key: FindKey must find the line of each record, or one that is exported would never be
    // marked and would be delivered again at every export (a damaged or hand-edited index).
    std::vector<std::string> Lines;
    for (std::string& Line : ReadTextLines(FIndexPath)) {
        TDateTime Stamp = 0;
        const std::string_view Key = KeyOf(Line);
        if (CountChar(Line, '\t') < 3 || !IsMark(GetField(Line, '\t', 0)) ||
            !IsMark(GetField(Line, '\t', 1)) || !ParseIndexKey(Key, Stamp)) {
            continue;
        }
        Line.replace(static_cast<std::size_t>(Key.data() - Line.data()), Key.size(),
                     IndexKey(Stamp));
        Lines.push_back(std::move(Line));
    }
    const auto KeyLess = [](const std::string& A, const std::string& B) {
        return KeyOf(A) < KeyOf(B);
    };
    std::stable_sort(Lines.begin(), Lines.end(), KeyLess);
    Lines.erase(std::unique(Lines.begin(), Lines.end(),
                            [](const std::string& A, const std::string& B) {
                                return KeyOf(A) == KeyOf(B);
                            }),
                Lines.end());
    FLines = std::move(Lines);
    bool LatestPartialSeen = false;
    for (std::size_t I = FLines.size(); I-- > 0;) {
        std::string& Line = FLines[I];
        if (Line[2] == '*') {
            if (LatestPartialSeen) {
                Line[2] = '-';
            }
            LatestPartialSeen = true;
        }
    }
}

void TIndexBase::Save() {
    if (FLines.size() > IndexMaxLines) {
        std::size_t Excess = FLines.size() - IndexMaxLines;
        std::erase_if(FLines, [&Excess](const std::string& Line) {
            if (Excess > 0 && Exported(Line)) {
                --Excess;
                return true;
            }
            return false;
        });
    }
    SyncDeferredDirectories(); // the exports this index records reach the disk first
    WriteFileAtomically(FIndexPath, JoinTextLines(FLines));
    FLines.clear();
}

void TIndexBase::AddFields(const TIndexDataFields& Fields, bool Partial, TDateTime Stamp) {
    std::string Data;
    for (const std::string& F : Fields) {
        Data += '\t';
        Data += F;
    }
    AddLine(Data, Partial, Stamp);
}

void TIndexBase::AddLine(std::string_view Data, bool Partial, TDateTime Stamp) {
    const std::string Key = IndexKey(Stamp);
    const char Mark = Partial ? '*' : '-';
    std::string NewLine = "-\t";
    NewLine += Mark;
    NewLine += '\t';
    NewLine += Key;
    NewLine += Data;
    std::size_t Index = 0;
    if (!FindKey(Key, Index)) {
        FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(Index), std::move(NewLine));
        return;
    }
    std::string& Old = FLines[Index];
    const std::size_t Tab = Old.size() > 4 ? Old.find('\t', 4) : std::string::npos;
    if (Tab == std::string::npos || std::string_view(Old).substr(Tab) != Data ||
        GetField(Old, '\t', 1) != std::string_view(&Mark, 1)) {
        Old = std::move(NewLine);
    }
}

void TIndexBase::MarkExported(TDateTime Stamp) {
    std::size_t Index = 0;
    if (FindKey(IndexKey(Stamp), Index)) {
        FLines[Index][0] = '*';
    }
}

bool TIndexBase::FindKey(std::string_view Key, std::size_t& Index) const {
    return FindSortedKey(FLines, Key, KeyOf, Index);
}

TDateTime TIndexBase::SlotStartOf(TDateTime Stamp) const {
    const TTimeParts T = DecodeTime(Stamp);
    const int Minutes = (T.Hour * 60 + T.Min) / FSlotMinutes * FSlotMinutes;
    return DateOf(Stamp) + EncodeTime(Minutes / 60, Minutes % 60, 0, 0);
}

void TIndexBase::Export(const std::string& Directory, const std::string& FileName) {
    BeginExport(Directory, FileName);
    try {
        ExportLines();
    } catch (...) {
        try {
            EndExport();
        } catch (...) {
            // The first error is the one to report.
        }
        throw;
    }
    EndExport();
}

void TIndexBase::ExportLines() {
    TIndexDataFields Fields;
    TDateTime Previous = -1.0;
    const std::size_t N = FLines.size();
    std::vector<TDateTime> Stamps(N, 0.0);
    for (std::size_t I = 0; I < N; ++I) {
        ParseIndexKey(KeyOf(FLines[I]), Stamps[I]);
    }
    std::size_t I = 0;
    while (I < N) {
        const TDateTime SlotStart = SlotStartOf(Stamps[I]);
        std::size_t End = I + 1;
        if (WholeSlots()) {
            while (End < N && SlotStartOf(Stamps[End]) == SlotStart) {
                ++End;
            }
            if (std::none_of(FLines.begin() + static_cast<std::ptrdiff_t>(I),
                             FLines.begin() + static_cast<std::ptrdiff_t>(End),
                             [](const std::string& L) { return !Exported(L); })) {
                I = End;
                continue;
            }
        } else if (Exported(FLines[I])) {
            I = End;
            continue;
        }
        for (std::size_t J = I; J < End; ++J) {
            DataFields(FLines[J], Fields);
            if (SlotStart != Previous) {
                NewSlot(Fields, PartialLine(FLines[J]), SlotStart, Stamps[J]);
                Previous = SlotStart;
            } else {
                SameSlot(Fields, PartialLine(FLines[J]), SlotStart, Stamps[J]);
            }
        }
        I = End;
    }
}

void TIndexCegid::NewSlot(TIndexDataFields& Fields, bool Partial, TDateTime /*SlotStart*/,
                          TDateTime Stamp) {
    if (Partial || Fields.empty()) {
        return;
    }
    FNewLines.insert(FNewLines.end(), Fields.begin(), Fields.end());
    MarkExported(Stamp);
}

void TIndexCegid::SameSlot(TIndexDataFields& Fields, bool Partial, TDateTime SlotStart,
                           TDateTime Stamp) {
    NewSlot(Fields, Partial, SlotStart, Stamp);
}

void TIndexCegid::BeginExport(const std::string& Directory, const std::string& FileName) {
    FNewLines.clear();
    FOutputPath = CombinePath(Directory, FileName);
}

void TIndexCegid::EndExport() {
    AppendBackOfficeLines(FOutputPath, FNewLines);
}

TIndexCylande::TIndexCylande(const std::string& Directory, const std::string& IndexFileName)
    : TIndexBase(Directory, IndexFileName) {
    FSlotMinutes = 30;
}

void TIndexCylande::NewSlot(TIndexDataFields& Fields, bool Partial, TDateTime SlotStart,
                            TDateTime Stamp) {
    if (FSlotStart > 0) {
        FlushSlot();
    }
    FSlotSums.assign(Fields.size(), 0);
    for (std::size_t I = 0; I < Fields.size(); ++I) {
        FSlotSums[I] = TryStrToInt(Fields[I]).value_or(0);
    }
    FSlotStart = SlotStart;
    FSlotStamps.assign(1, Stamp);
    FSlotPartial = Partial;
}

void TIndexCylande::SameSlot(TIndexDataFields& Fields, bool Partial, TDateTime /*SlotStart*/,
                             TDateTime Stamp) {
    FSlotPartial = FSlotPartial || Partial;
    FSlotStamps.push_back(Stamp);
    if (FSlotSums.size() < Fields.size()) {
        FSlotSums.resize(Fields.size(), 0);
    }
    for (std::size_t I = 0; I < Fields.size() / 3; ++I) {
        FSlotSums[3 * I + 1] += TryStrToInt(Fields[3 * I + 1]).value_or(0);
        FSlotSums[3 * I + 2] += TryStrToInt(Fields[3 * I + 2]).value_or(0);
    }
}

void TIndexCylande::FlushSlot() {
    const TDateTime Start = FSlotStart;
    FSlotStart = -1.0;
    if (FSlotPartial) {
        return;
    }
    const TDateParts D = DecodeDate(Start);
    const TTimeParts T = DecodeTime(Start);
    const std::string Prefix =
        Format("%2.2d%2.2d%4.4d;%2.2d:%2.2d;", D.Day, D.Month, D.Year, T.Hour, T.Min);
    for (std::size_t I = 0; I < FSlotSums.size() / 3; ++I) {
        FNewLines.push_back(Prefix + std::to_string(ClampCount(FSlotSums[3 * I])) + ";" +
                            std::to_string(ClampCount(FSlotSums[3 * I + 1])) + ";" +
                            std::to_string(ClampCount(FSlotSums[3 * I + 2])));
    }
    for (const TDateTime Stamp : FSlotStamps) {
        MarkExported(Stamp);
    }
}

void TIndexCylande::BeginExport(const std::string& Directory, const std::string& FileName) {
    FNewLines.clear();
    FSlotStart = -1.0;
    FSlotStamps.clear();
    FSlotPartial = false;
    FOutputPath = CombinePath(Directory, FileName);
}

void TIndexCylande::EndExport() {
    if (FSlotStart > 0) {
        FlushSlot();
    }
    FSlotSums.clear();
    AppendBackOfficeLines(FOutputPath, FNewLines);
}

void AppendBackOfficeLines(const std::string& Path, const std::vector<std::string>& Lines) {
    AppendToFileDurably(Path, JoinTextLines(Lines));
}
