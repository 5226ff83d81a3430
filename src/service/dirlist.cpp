#include "service/dirlist.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string_view>
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

// One date-time piece of a status line at fixed 1-based positions (clamped to the text). A
// piece that is no integer takes Default; one outside a 16-bit word makes the whole file
// unreadable from this line on.
bool ReadPiece(std::string_view Text, size_t From, size_t Count, int Default, int& Value) {
    const std::optional<int32_t> Piece =
        TryStrToInt(Text.substr(std::min(From - 1, Text.size()), Count));
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

bool IsBlank(char C) {
    return static_cast<unsigned char>(C) <= ' ';
}

// Whole seconds between two date-times, truncated.
int64_t SecondsApart(TDateTime A, TDateTime B) {
    return std::llround(std::abs(A - B) * MSecsPerDay) / 1000;
}

// "yyyy/mm/dd hh:nn:ss" + MSecSeparator + "zzz".
void AppendStamp(std::string& Text, TDateTime T, char MSecSeparator) {
    AppendSortableStamp(Text, T, true);
    Text += MSecSeparator;
    AppendZeroPadded(Text, DecodeTime(T).MSec, 3);
}

// The text without its fourth line, the stamp of the last update.
std::string_view WithoutStamp(std::string_view Text, std::string_view& Rest) {
    size_t End = 0;
    for (int Line = 0; Line < 3 && End != std::string_view::npos; ++Line) {
        End = Text.find("\r\n", End);
        End = End == std::string_view::npos ? End : End + 2;
    }
    if (End == std::string_view::npos) {
        Rest = {};
        return Text;
    }
    const size_t Next = Text.find("\r\n", End);
    Rest = Next == std::string_view::npos ? std::string_view() : Text.substr(Next);
    return Text.substr(0, End);
}

} // namespace

TDirectoryList::TDirectoryList(std::string Directory, std::string FileExt,
                               std::string StatusFileName, const TClock& Clock, int BiasMinutes)
    : FDirectory(std::move(Directory)), FFileExt(std::move(FileExt)),
      FStatusFileName(std::move(StatusFileName)), FClock(Clock), FBiasMinutes(BiasMinutes) {
    if (FStatusFileName.empty()) {
        FStatusFileName = "dirlist.dst";
    }
    if (FDirectory.size() > 1 && FDirectory.back() == '/') {
        FDirectory.pop_back(); // never the root's separator
    }
    if (!IsDirectory(FDirectory)) {
        throw ETarnoError("Directory does not exist\"" + FDirectory + "\"");
    }
    Load();
}

void TDirectoryList::Load() {
    std::vector<TFileEntry> Entries = ListFiles(FDirectory, FFileExt, &FSkippedLinks);
    // A status file planted as a link is reported as such below, not as a skipped input.
    std::erase_if(FSkippedLinks,
                  [](const std::string& Name) { return EndsWithText(Name, ".dst"); });
    std::vector<std::string> Keys;
    std::vector<uint32_t> Order;
    Keys.reserve(Entries.size());
    Order.reserve(Entries.size());
    for (size_t I = 0; I < Entries.size(); ++I) {
        const std::string& Name = Entries[I].Name;
        Keys.push_back(EndsWithText(Name, ".dst") || UnrecordableName(Name) ? std::string()
                                                                            : LowerCase(Name));
        if (!Keys.back().empty()) {
            Order.push_back(static_cast<uint32_t>(I));
        }
    }
    std::sort(Order.begin(), Order.end(), [&](uint32_t A, uint32_t B) {
        const int Cmp = Keys[A].compare(Keys[B]);
        return Cmp != 0 ? Cmp < 0 : Entries[A].Name < Entries[B].Name;
    });
    FKeys.reserve(Order.size());
    FFiles.reserve(Order.size());
    for (const uint32_t I : Order) {
        FKeys.push_back(std::move(Keys[I]));
        FFiles.push_back({std::move(Entries[I].Name), {Entries[I].Size, Entries[I].TimeUtc, true}});
    }
    const std::string StatusPath = CombinePath(FDirectory, FStatusFileName);
    std::string Error;
    if (TryReadFileBytes(StatusPath, FStatusText, &Error)) {
        ReadStatusFile();
    } else if (errno != ENOENT) {
        FStatusFileProblem = "Cannot open file \"" + StatusPath + "\". " + Error;
    }
}

TDirectoryList::TItem* TDirectoryList::Find(std::string_view Name, size_t& Hint) {
    // The status file lists the files in the list's order: try the one after the last match.
    if (Hint < FFiles.size() && FFiles[Hint].Name == Name) {
        return &FFiles[Hint++];
    }
    const std::string Key = LowerCase(Name);
    const auto Range = std::equal_range(FKeys.begin(), FKeys.end(), Key);
    if (Range.first == Range.second) {
        return nullptr;
    }
    const auto First = static_cast<size_t>(Range.first - FKeys.begin());
    const auto Last = static_cast<size_t>(Range.second - FKeys.begin());
    size_t Match = First;
    for (size_t I = First; I < Last; ++I) {
        if (FFiles[I].Name == Name) {
            Match = I;
            break;
        }
    }
    Hint = Match + 1;
    return &FFiles[Match];
}

void TDirectoryList::ReadStatusFile() {
    const std::string_view Text = FStatusText;
    size_t Pos = 0;
    size_t Hint = 0;
    while (Pos < Text.size()) {
        size_t End = Text.find_first_of("\r\n", Pos);
        if (End == std::string_view::npos) {
            End = Text.size();
        }
        std::string_view Line = Text.substr(Pos, End - Pos);
        Pos = End + 1;
        if (End + 1 < Text.size() && Text[End] == '\r' && Text[End + 1] == '\n') {
            ++Pos;
        }
        // A record holds its fields after the name; any other line is a comment. The name is
        // taken exactly, as a file name may start with "#" or a blank.
        if (Line.find('\t') == std::string_view::npos) {
            continue;
        }
        while (!Line.empty() && IsBlank(Line.back())) {
            Line.remove_suffix(1);
        }
        const std::string_view Name = FieldView(Line, '\t', 0);
        const int64_t Size = TryStrToInt64(FieldView(Line, '\t', 1)).value_or(0);
        const std::string_view TimeText = FieldView(Line, '\t', 2);
        int Year = 0, Month = 0, Day = 0, Hour = 0, Min = 0, Sec = 0, MSec = 0;
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
        TDateTime Stored = Date + Clock;
        if (TimeText.find("UTC") == std::string_view::npos) {
            Stored += FBiasMinutes / 1440.0;
        }
        TItem* Item = Find(Name, Hint);
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
            const bool Ok = Callback(Path, Visit);
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
    Text.reserve(160 + FDirectory.size() + FFiles.size() * 56);
    Text += "# directory status file \r\n";
    Text.append("# directory: ").append(FDirectory).append("\r\n");
    Text.append("# file mask: *.").append(FFileExt).append("\r\n");
    Text.append("# last update: ");
    AppendStamp(Text, FClock.Now(), ':');
    Text += ' ';
    Text += UtcOffsetText(FBiasMinutes);
    Text += "\r\n";
    for (const TItem& Item : FFiles) {
        if (Item.Status.Changed) {
            continue;
        }
        Text += Item.Name;
        Text += '\t';
        Text += std::to_string(Item.Status.Size);
        Text += '\t';
        AppendStamp(Text, Item.Status.ModifiedUtc, '.');
        Text += " UTC\r\n";
    }
    return Text;
}

void TDirectoryList::Save() {
    const std::string Text = StatusText();
    // A status file that would only get a new stamp is left as it is: its records stand.
    std::string_view OldRest, NewRest;
    if (WithoutStamp(FStatusText, OldRest) == WithoutStamp(Text, NewRest) && OldRest == NewRest &&
        !NewRest.empty()) {
        return;
    }
    const std::string Path = CombinePath(FDirectory, FStatusFileName);
    SetAttributesNormal(Path);
    WriteFileAtomically(Path, Text);
    FStatusText = Text;
}
