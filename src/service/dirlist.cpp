#include "service/dirlist.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>

#include "common/clock.h"
#include "common/errors.h"
#include "common/text.h"
#include "common/utils.h"
#include "platform/files.h"

namespace {

// A name the status file cannot hold: its fields are separated by TAB and its lines by CR or LF.
bool UnrecordableName(const std::string& Name) {
    return Name.find_first_of("\t\r\n") != std::string::npos;
}

// One date-time piece of a status line at fixed 1-based positions. A piece that is no integer
// takes Default; one outside a 16-bit word makes the whole file unreadable from this line on.
bool ReadPiece(const std::string& Text, int From, int Count, int Default, int& Value) {
    const std::optional<int32_t> Piece = TryStrToInt(CopyText(Text, From, Count));
    if (!Piece) {
        Value = Default;
        return true;
    }
    if (*Piece < 0 || *Piece > 65535) {
        return false;
    }
    Value = *Piece;
    return true;
}

// Whole seconds between two date-times, truncated.
int64_t SecondsApart(TDateTime A, TDateTime B) {
    return std::llround(std::abs(A - B) * MSecsPerDay) / 1000;
}

std::string StampText(TDateTime T, char MSecSeparator) {
    const TDateParts D = DecodeDate(T);
    const TTimeParts P = DecodeTime(T);
    return Format("%04d/%02d/%02d %02d:%02d:%02d%c%03d", D.Year, D.Month, D.Day, P.Hour, P.Min,
                  P.Sec, MSecSeparator, P.MSec);
}

} // namespace

TDirectoryList::TDirectoryList(std::string Directory, std::string FileExt, std::string ChainEntry,
                               std::string StatusFileName, const TClock& Clock, int BiasMinutes)
    : FDirectory(std::move(Directory)), FFileExt(std::move(FileExt)),
      FChainEntry(std::move(ChainEntry)), FStatusFileName(std::move(StatusFileName)), FClock(Clock),
      FBiasMinutes(BiasMinutes) {
    if (FStatusFileName.empty()) {
        FStatusFileName = "dirlist.dst";
    }
    if (!FDirectory.empty() && FDirectory.back() == '/') {
        FDirectory.pop_back();
    }
    if (!IsDirectory(FDirectory)) {
        throw ETarnoError("Directory does not exist\"" + FDirectory + "\"");
    }
    Load();
}

void TDirectoryList::Load() {
    std::vector<TFileEntry> Entries = ListFiles(FDirectory, FFileExt);
    std::vector<std::pair<std::string, TItem>> Keyed;
    Keyed.reserve(Entries.size());
    for (TFileEntry& E : Entries) {
        if (EndsWithText(E.Name, ".dst") || UnrecordableName(E.Name)) {
            continue;
        }
        std::string Key = LowerCase(E.Name);
        Keyed.emplace_back(std::move(Key), TItem{std::move(E.Name), {E.Size, E.TimeUtc, true}});
    }
    std::sort(Keyed.begin(), Keyed.end(), [](const auto& A, const auto& B) {
        return A.first != B.first ? A.first < B.first : A.second.Name < B.second.Name;
    });
    FKeys.reserve(Keyed.size());
    FFiles.reserve(Keyed.size());
    for (auto& [Key, Item] : Keyed) {
        FKeys.push_back(std::move(Key));
        FFiles.push_back(std::move(Item));
    }

    std::string Text;
    if (TryReadFileBytes(CombinePath(FDirectory, FStatusFileName), Text)) {
        ReadStatusFile(Text);
    }
}

TDirectoryList::TItem* TDirectoryList::Find(const std::string& Name) {
    const std::string Key = LowerCase(Name);
    const auto Range = std::equal_range(FKeys.begin(), FKeys.end(), Key);
    if (Range.first == Range.second) {
        return nullptr;
    }
    const auto First = static_cast<size_t>(Range.first - FKeys.begin());
    const auto Last = static_cast<size_t>(Range.second - FKeys.begin());
    for (size_t I = First; I < Last; ++I) {
        if (FFiles[I].Name == Name) {
            return &FFiles[I];
        }
    }
    return &FFiles[First];
}

void TDirectoryList::ReadStatusFile(const std::string& Text) {
    size_t Pos = 0;
    while (Pos < Text.size()) {
        size_t End = Text.find_first_of("\r\n", Pos);
        if (End == std::string::npos) {
            End = Text.size();
        }
        const std::string Line = Trim(std::string_view(Text).substr(Pos, End - Pos));
        Pos = End + 1;
        if (End + 1 < Text.size() && Text[End] == '\r' && Text[End + 1] == '\n') {
            ++Pos;
        }
        if (Line.empty() || Line[0] == '#') {
            continue;
        }
        const std::string Name = GetField(Line, '\t', 0);
        const int64_t Size = TryStrToInt64(GetField(Line, '\t', 1)).value_or(0);
        const std::string TimeText = GetField(Line, '\t', 2);
        int Year = 0, Month = 0, Day = 0, Hour = 0, Min = 0, Sec = 0, MSec = 0;
        TDateTime Stored = 0;
        if (Size < 0 || !ReadPiece(TimeText, 1, 4, 2000, Year) ||
            !ReadPiece(TimeText, 6, 2, 1, Month) || !ReadPiece(TimeText, 9, 2, 1, Day) ||
            !ReadPiece(TimeText, 12, 2, 0, Hour) || !ReadPiece(TimeText, 15, 2, 0, Min) ||
            !ReadPiece(TimeText, 18, 2, 0, Sec) || !ReadPiece(TimeText, 21, 3, 1, MSec)) {
            return;
        }
        TDateTime Date = 0, Clock = 0;
        if (!TryEncodeDate(Year, Month, Day, Date) || !TryEncodeTime(Hour, Min, Sec, MSec, Clock)) {
            return;
        }
        Stored = Date + Clock;
        if (TimeText.find("UTC") == std::string::npos) {
            Stored += FBiasMinutes / 1440.0;
        }
        TItem* Item = Find(Name);
        if (Item == nullptr) {
            continue;
        }
        Item->Status.Changed =
            !(Size == Item->Status.Size && SecondsApart(Item->Status.ModifiedUtc, Stored) <= 2);
    }
}

void TDirectoryList::Process(bool Ascending, const TProcessFileCallback& Callback) {
    const size_t Count = FFiles.size();
    for (size_t K = 0; K < Count; ++K) {
        TItem& Item = FFiles[Ascending ? K : Count - 1 - K];
        if (!Item.Status.Changed) {
            continue;
        }
        TFileVisit Visit;
        const std::string Path = CombinePath(FDirectory, Item.Name);
        try {
            const bool Ok = Callback(Path, FChainEntry, Visit);
            Item.Status.Changed = !Ok;
            if (Ok) {
                ++FOkCount;
                if (Visit.InputRewritten) {
                    GetFileInfo(Path, Item.Status.Size, Item.Status.ModifiedUtc);
                }
            } else {
                ++FBadCount;
            }
        } catch (const std::exception&) {
            // The file stays changed and is offered again at the next pass.
            continue;
        }
        if (!Visit.Continue) {
            break;
        }
    }
}

std::string TDirectoryList::StatusText() const {
    std::string Text;
    Text.reserve(128 + FFiles.size() * 64);
    Text += "# directory status file \r\n";
    Text += "# directory: " + FDirectory + "\r\n";
    Text += "# file mask: *." + FFileExt + "\r\n";
    Text += "# last update: " + StampText(FClock.Now(), ':') + " " + UtcOffsetText(FBiasMinutes) +
            "\r\n";
    for (const TItem& Item : FFiles) {
        if (Item.Status.Changed) {
            continue;
        }
        Text += Item.Name;
        Text += '\t';
        Text += std::to_string(Item.Status.Size);
        Text += '\t';
        Text += StampText(Item.Status.ModifiedUtc, '.');
        Text += " UTC\r\n";
    }
    return Text;
}

void TDirectoryList::Save() {
    const std::string Path = CombinePath(FDirectory, FStatusFileName);
    SetAttributesNormal(Path);
    WriteFileAtomically(Path, StatusText());
}
