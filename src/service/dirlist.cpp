#include "service/dirlist.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
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
bool UnrecordableName(std::string_view Name) {
    // One test a byte: find_first_of would search the three separators for every byte.
    return std::any_of(Name.begin(), Name.end(),
                       [](char C) { return C == '\t' || C == '\r' || C == '\n'; });
}

unsigned char LowerByte(char C) {
    const auto U = static_cast<unsigned char>(C);
    return U >= 'A' && U <= 'Z' ? static_cast<unsigned char>(U + ('a' - 'A')) : U;
}

// The list's order: by name with ASCII letters in lower case, then by the exact bytes.
bool ListLess(std::string_view A, std::string_view B) {
    const size_t Common = std::min(A.size(), B.size());
    for (size_t I = 0; I < Common; ++I) {
        const unsigned char X = LowerByte(A[I]);
        const unsigned char Y = LowerByte(B[I]);
        if (X != Y) {
            return X < Y;
        }
    }
    if (A.size() != B.size()) {
        return A.size() < B.size();
    }
    return A < B;
}

// A hash of the name with ASCII letters in lower case, eight bytes at a time.
uint64_t HashNoCase(std::string_view Name) {
    constexpr uint64_t Ones = 0x0101010101010101ULL;
    uint64_t Hash = Name.size() * 0x9E3779B97F4A7C15ULL;
    for (size_t I = 0; I < Name.size(); I += 8) {
        uint64_t Word = 0;
        std::memcpy(&Word, Name.data() + I, std::min<size_t>(8, Name.size() - I));
        // Every byte from 'A' to 'Z' gets the bit 0x20 (bytes of 0x80 and above are left alone).
        const uint64_t Low = Word & (0x7F * Ones);
        const uint64_t AboveZ = Low + (0x7F - 'Z') * Ones;
        const uint64_t FromA = Low + (0x80 - 'A') * Ones;
        const uint64_t Upper = ~Word & (FromA ^ AboveZ) & (0x80 * Ones);
        Word |= Upper >> 2;
        Hash = (Hash ^ Word) * 0xFF51AFD7ED558CCDULL;
        Hash ^= Hash >> 32;
    }
    return Hash;
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
    const TDateParts D = DecodeDate(T);
    const TTimeParts P = DecodeTime(T);
    const auto Fits = [](int Value, int Limit) { return Value >= 0 && Value < Limit; };
    if (!Fits(D.Year, 10000) || !Fits(D.Month, 100) || !Fits(D.Day, 100) || !Fits(P.Hour, 100) ||
        !Fits(P.Min, 100) || !Fits(P.Sec, 100) || !Fits(P.MSec, 1000)) {
        AppendSortableStamp(Text, T, true);
        Text += MSecSeparator;
        AppendZeroPadded(Text, P.MSec, 3);
        return;
    }
    // The common case written at once, digit by digit (one stamp a record).
    char Stamp[] = "0000/00/00 00:00:00.000";
    const auto Put = [&Stamp](size_t At, int Value, int Width) {
        for (int I = Width - 1; I >= 0; --I) {
            Stamp[At + static_cast<size_t>(I)] = static_cast<char>('0' + Value % 10);
            Value /= 10;
        }
    };
    Put(0, D.Year, 4);
    Put(5, D.Month, 2);
    Put(8, D.Day, 2);
    Put(11, P.Hour, 2);
    Put(14, P.Min, 2);
    Put(17, P.Sec, 2);
    Stamp[19] = MSecSeparator;
    Put(20, P.MSec, 3);
    Text.append(Stamp, sizeof Stamp - 1);
}

// The value of the digits Text[At, At + Width); -1 when one is no digit.
int Digits(std::string_view Text, size_t At, size_t Width) {
    int Value = 0;
    for (size_t I = At; I < At + Width; ++I) {
        if (Text[I] < '0' || Text[I] > '9') {
            return -1;
        }
        Value = Value * 10 + (Text[I] - '0');
    }
    return Value;
}

// The date-time pieces of a status record's time: "yyyy/mm/dd hh:nn:ss.zzz" at fixed places,
// as the records are written, read at once; false when a piece is no plain number, which
// ReadPiece then reads.
bool ReadCanonicalPieces(std::string_view Text, int (&Pieces)[7]) {
    static constexpr size_t At[7] = {0, 5, 8, 11, 14, 17, 20};
    static constexpr size_t Width[7] = {4, 2, 2, 2, 2, 2, 3};
    if (Text.size() < 23) {
        return false;
    }
    for (size_t I = 0; I < 7; ++I) {
        Pieces[I] = Digits(Text, At[I], Width[I]);
        if (Pieces[I] < 0) {
            return false;
        }
    }
    return true;
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

// The files of the list by name, case ignored; for the records of the status file.
class TDirectoryList::TNameIndex {
public:
    explicit TNameIndex(const std::vector<TItem>& Files) : FFiles(Files) {
        size_t Capacity = 16;
        while (Capacity < Files.size() + Files.size() / 2) {
            Capacity *= 2;
        }
        FSlots.assign(Capacity, Empty);
        FMask = Capacity - 1;
        for (size_t I = 0; I < Files.size(); ++I) {
            size_t Slot = HashNoCase(Files[I].Name) & FMask;
            while (FSlots[Slot] != Empty) {
                Slot = (Slot + 1) & FMask;
            }
            FSlots[Slot] = static_cast<uint32_t>(I);
        }
    }

    // The file of that name (Hash = HashNoCase(Name)): exact first, else the first in the
    // list's order of those whose name differs only in case; -1 for none.
    int64_t Find(std::string_view Name, uint64_t Hash) const {
        int64_t Best = -1;
        for (size_t Slot = Hash & FMask; FSlots[Slot] != Empty; Slot = (Slot + 1) & FMask) {
            const uint32_t I = FSlots[Slot];
            const std::string_view Candidate = FFiles[I].Name;
            if (Candidate == Name) {
                return I;
            }
            if (Candidate.size() == Name.size() && SameText(Candidate, Name) &&
                (Best < 0 || Candidate < FFiles[static_cast<size_t>(Best)].Name)) {
                Best = I;
            }
        }
        return Best;
    }

    // The lookups of a batch of names touch memory far apart: each step below asks for the
    // memory of the next one ahead, so that the batch waits for it once and not once a name.
    void PrefetchSlot(uint64_t Hash) const { __builtin_prefetch(&FSlots[Hash & FMask]); }
    void PrefetchFile(uint64_t Hash) const {
        const uint32_t I = FSlots[Hash & FMask];
        if (I != Empty) {
            __builtin_prefetch(&FFiles[I]);
        }
    }
    void PrefetchName(uint64_t Hash) const {
        const uint32_t I = FSlots[Hash & FMask];
        if (I != Empty) {
            __builtin_prefetch(FFiles[I].Name.data());
        }
    }

private:
    static constexpr uint32_t Empty = UINT32_MAX;
    const std::vector<TItem>& FFiles;
    std::vector<uint32_t> FSlots;
    size_t FMask = 0;
};

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

std::string_view TDirectoryList::KeepName(std::string_view Name) {
    constexpr size_t BlockSize = 64 * 1024;
    if (Name.size() > FNameBlockFree) {
        FNameBlockFree = std::max(BlockSize, Name.size());
        FNameBlocks.push_back(std::make_unique_for_overwrite<char[]>(FNameBlockFree));
        FNameNext = FNameBlocks.back().get();
    }
    std::memcpy(FNameNext, Name.data(), Name.size());
    const std::string_view Kept(FNameNext, Name.size());
    FNameNext += Name.size();
    FNameBlockFree -= Name.size();
    return Kept;
}

void TDirectoryList::Load() {
    // The names are kept once, in blocks; a status file (".dst") or a name the status file
    // cannot hold is never listed.
    ForEachFile(
        FDirectory, FFileExt,
        [this](std::string_view Name, int64_t Size, TDateTime TimeUtc) {
            if (!EndsWithText(Name, ".dst") && !UnrecordableName(Name)) {
                FFiles.push_back({KeepName(Name), {Size, TimeUtc, true}});
            }
        },
        &FSkippedLinks);
    // A status file planted as a link is reported as such below, not as a skipped input.
    std::erase_if(FSkippedLinks,
                  [](const std::string& Name) { return EndsWithText(Name, ".dst"); });
    std::vector<uint32_t> Order;
    const std::string StatusPath = CombinePath(FDirectory, FStatusFileName);
    std::string Error;
    if (TryReadFileBytes(StatusPath, FStatusText, &Error)) {
        const TNameIndex Index(FFiles);
        ReadStatusFile(Index, Order);
    } else if (errno != ENOENT) {
        FStatusFileProblem = "Cannot open file \"" + StatusPath + "\". " + Error;
    }
    SortFiles(Order);
}

void TDirectoryList::SortFiles(std::vector<uint32_t>& Order) {
    // The status file holds the files in the list's order, so the files it names usually come
    // sorted: checked in one sweep, and only the files it does not name are sorted and merged.
    const size_t Count = FFiles.size();
    const size_t Named = Order.size();
    {
        std::vector<bool> Taken(Count);
        for (const uint32_t I : Order) {
            Taken[I] = true;
        }
        Order.reserve(Count);
        for (size_t I = 0; I < Count; ++I) {
            if (!Taken[I]) {
                Order.push_back(static_cast<uint32_t>(I));
            }
        }
    }
    const auto Less = [this](uint32_t A, uint32_t B) {
        return ListLess(FFiles[A].Name, FFiles[B].Name);
    };
    const auto Middle = Order.begin() + static_cast<std::ptrdiff_t>(Named);
    if (std::is_sorted(Order.begin(), Middle, Less)) {
        std::sort(Middle, Order.end(), Less);
        std::inplace_merge(Order.begin(), Middle, Order.end(), Less);
    } else {
        std::sort(Order.begin(), Order.end(), Less);
    }
    // Moves the files to their places along the cycles of the permutation, in place.
    for (size_t Start = 0; Start < Count; ++Start) {
        if (Order[Start] == Start) {
            continue;
        }
        const TItem Held = FFiles[Start];
        size_t To = Start;
        while (true) {
            const size_t From = Order[To];
            Order[To] = static_cast<uint32_t>(To);
            if (From == Start) {
                FFiles[To] = Held;
                break;
            }
            FFiles[To] = FFiles[From];
            To = From;
        }
    }
}

void TDirectoryList::ReadStatusFile(const TNameIndex& Index, std::vector<uint32_t>& Order) {
    // The records are parsed in batches and then looked up together (see TNameIndex).
    struct TRecord {
        std::string_view Name;
        int64_t Size;
        TDateTime Stored;
        uint64_t Hash;
    };
    constexpr size_t BatchSize = 32;
    TRecord Batch[BatchSize];
    size_t Pending = 0;
    std::vector<bool> Named(FFiles.size());
    const auto Apply = [&] {
        for (size_t I = 0; I < Pending; ++I) {
            Batch[I].Hash = HashNoCase(Batch[I].Name);
            Index.PrefetchSlot(Batch[I].Hash);
        }
        for (size_t I = 0; I < Pending; ++I) {
            Index.PrefetchFile(Batch[I].Hash);
        }
        for (size_t I = 0; I < Pending; ++I) {
            Index.PrefetchName(Batch[I].Hash);
        }
        for (size_t I = 0; I < Pending; ++I) {
            const TRecord& Record = Batch[I];
            const int64_t Found = Index.Find(Record.Name, Record.Hash);
            if (Found < 0) {
                continue;
            }
            const auto At = static_cast<size_t>(Found);
            if (!Named[At]) {
                Named[At] = true;
                Order.push_back(static_cast<uint32_t>(At));
            }
            TItem& Item = FFiles[At];
            Item.Status.Changed = !(Record.Size == Item.Status.Size &&
                                    SecondsApart(Item.Status.ModifiedUtc, Record.Stored) <= 2);
        }
        Pending = 0;
    };

    const std::string_view Text = FStatusText;
    int LastDay[3] = {-1, -1, -1};
    bool LastDayOk = false;
    TDateTime LastDate = 0;
    size_t Pos = 0;
    while (Pos < Text.size()) {
        size_t End = Pos;
        while (End < Text.size() && Text[End] != '\r' && Text[End] != '\n') {
            ++End;
        }
        std::string_view Line = Text.substr(Pos, End - Pos);
        Pos = End + 1;
        if (End + 1 < Text.size() && Text[End] == '\r' && Text[End + 1] == '\n') {
            ++Pos;
        }
        // A record holds its fields after the name; any other line is a comment. The name is
        // taken exactly, as a file name may start with "#" or a blank.
        const size_t Tab = Line.find('\t');
        if (Tab == std::string_view::npos) {
            continue;
        }
        while (!Line.empty() && IsBlank(Line.back())) {
            Line.remove_suffix(1);
        }
        const std::string_view Name = Line.substr(0, Tab);
        const std::string_view Fields = Line.substr(std::min(Tab + 1, Line.size()));
        const int64_t Size = TryStrToInt64(FieldView(Fields, '\t', 0)).value_or(0);
        const std::string_view TimeText = FieldView(Fields, '\t', 1);
        int P[7] = {};
        if (Size < 0 ||
            (!ReadCanonicalPieces(TimeText, P) &&
             (!ReadPiece(TimeText, 1, 4, 2000, P[0]) || !ReadPiece(TimeText, 6, 2, 1, P[1]) ||
              !ReadPiece(TimeText, 9, 2, 1, P[2]) || !ReadPiece(TimeText, 12, 2, 0, P[3]) ||
              !ReadPiece(TimeText, 15, 2, 0, P[4]) || !ReadPiece(TimeText, 18, 2, 0, P[5]) ||
              !ReadPiece(TimeText, 21, 3, 1, P[6])))) {
            break; // the file is read up to a damaged record
        }
        // Records of one day follow each other: the day is encoded once for them.
        if (P[0] != LastDay[0] || P[1] != LastDay[1] || P[2] != LastDay[2]) {
            LastDay[0] = P[0];
            LastDay[1] = P[1];
            LastDay[2] = P[2];
            LastDayOk = TryEncodeDate(P[0], P[1], P[2], LastDate);
        }
        TDateTime Clock = 0;
        if (!LastDayOk || !TryEncodeTime(P[3], P[4], P[5], P[6], Clock)) {
            break;
        }
        const TDateTime Date = LastDate;
        TDateTime Stored = Date + Clock;
        if (TimeText.find("UTC") == std::string_view::npos) {
            Stored += FBiasMinutes / 1440.0;
        }
        Batch[Pending++] = {Name, Size, Stored, 0};
        if (Pending == BatchSize) {
            Apply();
        }
    }
    Apply();
}

void TDirectoryList::Process(bool Ascending, const TProcessFileCallback& Callback) {
    const size_t Count = FFiles.size();
    for (size_t K = 0; K < Count; ++K) {
        TItem& Item = FFiles[Ascending ? K : Count - 1 - K];
        if (!Item.Status.Changed) {
            continue;
        }
        TFileVisit Visit;
        const std::string Path = CombinePath(FDirectory, std::string(Item.Name));
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

std::string TDirectoryList::StatusHeader() const {
    std::string Text;
    Text += "# directory status file \r\n";
    Text.append("# directory: ").append(FDirectory).append("\r\n");
    Text.append("# file mask: *.").append(FFileExt).append("\r\n");
    Text.append("# last update: ");
    AppendStamp(Text, FClock.Now(), ':');
    Text += ' ';
    Text += UtcOffsetText(FBiasMinutes);
    Text += "\r\n";
    return Text;
}

void TDirectoryList::AppendRecord(std::string& Text, const TItem& Item) const {
    Text += Item.Name;
    Text += '\t';
    char Digits[24];
    const auto Size = std::to_chars(Digits, Digits + sizeof Digits, Item.Status.Size);
    Text.append(Digits, Size.ptr);
    Text += '\t';
    AppendStamp(Text, Item.Status.ModifiedUtc, '.');
    Text += " UTC\r\n";
}

std::string TDirectoryList::StatusText() const {
    std::string Text = StatusHeader();
    Text.reserve(Text.size() + FFiles.size() * 56);
    for (const TItem& Item : FFiles) {
        if (!Item.Status.Changed) {
            AppendRecord(Text, Item);
        }
    }
    return Text;
}

bool TDirectoryList::SameAsStatusFile() const {
    // Compared as StatusText would be, one record at a time, without making the whole text.
    // The records hold no line break, so the stamp line is found within the header.
    const std::string Header = StatusHeader();
    std::string_view OldRest, NewRest;
    if (WithoutStamp(FStatusText, OldRest) != WithoutStamp(Header, NewRest) ||
        !OldRest.starts_with(NewRest)) {
        return false;
    }
    size_t Pos = NewRest.size();
    std::string Record;
    for (const TItem& Item : FFiles) {
        if (Item.Status.Changed) {
            continue;
        }
        Record.clear();
        AppendRecord(Record, Item);
        if (OldRest.substr(Pos, Record.size()) != Record) {
            return false;
        }
        Pos += Record.size();
    }
    return Pos == OldRest.size();
}

void TDirectoryList::Save() {
    // A status file that would only get a new stamp is left as it is: its records stand.
    if (SameAsStatusFile()) {
        return;
    }
    // The text read is not needed any more: freed before the new one is made.
    std::string().swap(FStatusText);
    std::string Text = StatusText();
    const std::string Path = CombinePath(FDirectory, FStatusFileName);
    SetAttributesNormal(Path);
    WriteFileAtomically(Path, Text);
    FStatusText = std::move(Text);
}
