#include "service/dirlist.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>

#include "common/clock.h"
#include "common/errors.h"
#include "common/text.h"
#include "common/utils.h"
#include "platform/files.h"

namespace {

constexpr uint64_t Ones = 0x0101010101010101ULL; // a one in every byte of a word
constexpr uint64_t Highs = 0x80 * Ones;

// The position of the first TAB, CR or LF in Text from From on (Text.size() for none): the
// separators of the status file's fields and lines.
size_t FindSeparator(std::string_view Text, size_t From) {
    for (size_t Base = From; Base < Text.size(); Base += 64) {
        if (const uint64_t Found = ByteMask64(Text, Base, '\t', '\r', '\n'); Found != 0) {
            return Base + static_cast<size_t>(std::countr_zero(Found));
        }
    }
    return Text.size();
}

// A name the status file cannot hold: its fields are separated by TAB and its lines by CR or LF.
bool UnrecordableName(std::string_view Name) {
    // Those bytes are below 14, which names seldom hold: only then is the name searched.
    const bool AnyLow = !ForEveryWordOf(
        Name, [](uint64_t Word) { return ((Word - 14 * Ones) & ~Word & Highs) == 0; });
    return AnyLow && FindSeparator(Name, 0) != Name.size();
}

unsigned char LowerByte(char C) {
    const auto U = static_cast<unsigned char>(C);
    return U >= 'A' && U <= 'Z' ? static_cast<unsigned char>(U + ('a' - 'A')) : U;
}

// A status file's name: ".dst" at the end, case ignored (tested once for every file listed).
bool IsStatusFileName(std::string_view Name) {
    const size_t N = Name.size();
    return N >= 4 && Name[N - 4] == '.' && LowerByte(Name[N - 3]) == 'd' &&
           LowerByte(Name[N - 2]) == 's' && LowerByte(Name[N - 1]) == 't';
}

// The list's order: by name with ASCII letters in lower case, then by the exact bytes.
bool ListLess(std::string_view A, std::string_view B) {
    const size_t Common = std::min(A.size(), B.size());
    size_t I = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Eight bytes at a time: the first byte that differs is the lowest of the word.
        for (; I + 8 <= Common; I += 8) {
            uint64_t X = 0, Y = 0;
            std::memcpy(&X, A.data() + I, 8);
            std::memcpy(&Y, B.data() + I, 8);
            X = LowerAsciiWord(X);
            Y = LowerAsciiWord(Y);
            if (X != Y) {
                const int Shift = std::countr_zero(X ^ Y) & ~7;
                return (X >> Shift & 0xFF) < (Y >> Shift & 0xFF);
            }
        }
    }
    for (; I < Common; ++I) {
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

// A hash of the name, alike for names that differ only in the case of ASCII letters: each byte
// gets the bit 0x20, which makes every upper-case letter lower case (and a few other bytes alike,
// which only costs a comparison). Eight bytes at a time (ForEveryWordOf).
uint64_t HashNoCase(std::string_view Name) {
    uint64_t Hash = Name.size() * 0x9E3779B97F4A7C15ULL;
    ForEveryWordOf(Name, [&Hash](uint64_t Word) {
        Hash = (Hash ^ (Word | 0x20 * Ones)) * 0xFF51AFD7ED558CCDULL;
        Hash ^= Hash >> 32;
        return true;
    });
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

// A record as Save writes it: name TAB size TAB "yyyy/mm/dd hh:nn:ss.zzz UTC" CR LF, the size
// without leading zeros.
constexpr size_t MinWrittenRecord = 33; // a name and a size of one byte each
struct TWrittenRecord {
    std::string_view Name;
    int64_t Size = 0;
    int Pieces[7] = {};
    size_t End = 0; // after the line's CR LF
};

// What follows the size in a record as Save writes it, "0" standing for any digit.
constexpr std::string_view WrittenTail = "\t0000/00/00 00:00:00.000 UTC\r\n";

// The tail in four words (little-endian), the bytes to be digits and the others with their values.
struct TTailWords {
    uint64_t Digits[4] = {};
    uint64_t Fixed[4] = {};
    uint64_t Values[4] = {};
};

constexpr TTailWords MakeTailWords() {
    TTailWords W;
    for (size_t K = 0; K < WrittenTail.size(); ++K) {
        const uint64_t Byte = uint64_t{0xFF} << (K % 8 * 8);
        if (WrittenTail[K] == '0') {
            W.Digits[K / 8] |= Byte;
        } else {
            W.Fixed[K / 8] |= Byte;
            W.Values[K / 8] |= uint64_t{static_cast<unsigned char>(WrittenTail[K])} << (K % 8 * 8);
        }
    }
    return W;
}

// Whether At (Left bytes, at least WrittenTail.size()) starts with the tail of a written record.
bool HasWrittenTail(const char* At, size_t Left) {
    if constexpr (std::endian::native == std::endian::little) {
        if (Left >= 32) {
            static constexpr TTailWords W = MakeTailWords();
            uint64_t Bad = 0;
            for (size_t K = 0; K < 4; ++K) {
                uint64_t Word = 0;
                std::memcpy(&Word, At + K * 8, 8);
                // A digit byte less '0' is below 10: adding 0x76 leaves its top bit clear.
                const uint64_t X = Word ^ ('0' * Ones);
                Bad |= ((((X & ~Highs) + 0x76 * Ones) | X) & Highs & W.Digits[K]) |
                       ((Word & W.Fixed[K]) ^ W.Values[K]);
            }
            return Bad == 0;
        }
    }
    for (size_t K = 0; K < WrittenTail.size(); ++K) {
        if (WrittenTail[K] == '0' ? At[K] < '0' || At[K] > '9' : At[K] != WrittenTail[K]) {
            return false;
        }
    }
    return true;
}

// Reads the line at Pos when it is a record as Save writes it, at once; false for any other line,
// which the general reading then takes (it reads a written record to the same values).
bool ReadWrittenRecord(std::string_view Text, size_t Pos, TWrittenRecord& Record) {
    size_t I = FindSeparator(Text, Pos);
    if (I == Text.size() || Text[I] != '\t') {
        return false;
    }
    Record.Name = Text.substr(Pos, I - Pos);
    const size_t Digits = ++I;
    int64_t Size = 0;
    while (I < Text.size() && I - Digits < 18 && Text[I] >= '0' && Text[I] <= '9') {
        Size = Size * 10 + (Text[I] - '0');
        ++I;
    }
    if (I == Digits || (Text[Digits] == '0' && I - Digits > 1) ||
        Text.size() - I < WrittenTail.size()) {
        return false;
    }
    const char* At = Text.data() + I;
    if (!HasWrittenTail(At, Text.size() - I)) {
        return false;
    }
    const auto Number = [At](size_t From, size_t Width) {
        int Value = 0;
        for (size_t K = From; K < From + Width; ++K) {
            Value = Value * 10 + (At[K] - '0');
        }
        return Value;
    };
    Record.Size = Size;
    Record.Pieces[0] = Number(1, 4);
    Record.Pieces[1] = Number(6, 2);
    Record.Pieces[2] = Number(9, 2);
    Record.Pieces[3] = Number(12, 2);
    Record.Pieces[4] = Number(15, 2);
    Record.Pieces[5] = Number(18, 2);
    Record.Pieces[6] = Number(21, 3);
    Record.End = I + WrittenTail.size();
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

// The files of the list by name, case ignored; for the records of the status file. A slot holds
// the file's index and the high half of its name's hash, which settles most mismatches without
// reading the name.
class TDirectoryList::TNameIndex {
public:
    explicit TNameIndex(const std::vector<TListed>& Files) : FFiles(Files) {
        size_t Capacity = 16;
        while (Capacity < Files.size() + Files.size() / 2) {
            Capacity *= 2;
        }
        FSlots.assign(Capacity, Empty);
        FMask = Capacity - 1;
        // The slots are far apart: those of a batch of names are asked for before they are
        // filled, so that the batch waits for the memory once.
        constexpr size_t BatchSize = 32;
        uint64_t Hashes[BatchSize];
        for (size_t From = 0; From < Files.size(); From += BatchSize) {
            const size_t Count = std::min(BatchSize, Files.size() - From);
            for (size_t K = 0; K < Count; ++K) {
                Hashes[K] = HashNoCase(Files[From + K].NameView());
                PrefetchSlot(Hashes[K]);
            }
            for (size_t K = 0; K < Count; ++K) {
                size_t Slot = Hashes[K] & FMask;
                while (FSlots[Slot] != Empty) {
                    Slot = (Slot + 1) & FMask;
                }
                FSlots[Slot] = (Hashes[K] & TagMask) | (From + K);
            }
        }
    }

    // The file of that name (Hash = HashNoCase(Name)): exact first (Exact set), else the first
    // in the list's order of those whose name differs only in case; -1 for none.
    int64_t Find(std::string_view Name, uint64_t Hash, bool& Exact) const {
        int64_t Best = -1;
        Exact = false;
        const uint64_t Tag = Hash & TagMask;
        for (size_t Slot = Hash & FMask; FSlots[Slot] != Empty; Slot = (Slot + 1) & FMask) {
            if ((FSlots[Slot] & TagMask) != Tag) {
                continue;
            }
            const auto I = static_cast<uint32_t>(FSlots[Slot]);
            const std::string_view Candidate = FFiles[I].NameView();
            if (SameBytes(Candidate, Name)) {
                Exact = true;
                return I;
            }
            if (Candidate.size() == Name.size() && SameText(Candidate, Name) &&
                (Best < 0 || Candidate < FFiles[static_cast<size_t>(Best)].NameView())) {
                Best = I;
            }
        }
        return Best;
    }

    // The lookups of names touch memory far apart: each step below asks for the memory of the
    // next one, so that it is there when that step comes.
    void PrefetchSlot(uint64_t Hash) const { __builtin_prefetch(&FSlots[Hash & FMask]); }
    // The file whose name has the hash's tag, the first along the probes (UINT32_MAX: none):
    // most likely the one Find answers. Its entry is asked for.
    uint32_t PrefetchFile(uint64_t Hash) const {
        const uint64_t Tag = Hash & TagMask;
        for (size_t Slot = Hash & FMask; FSlots[Slot] != Empty; Slot = (Slot + 1) & FMask) {
            if ((FSlots[Slot] & TagMask) == Tag) {
                const auto I = static_cast<uint32_t>(FSlots[Slot]);
                __builtin_prefetch(&FFiles[I]);
                return I;
            }
        }
        return UINT32_MAX;
    }
    void PrefetchName(uint32_t File) const {
        if (File != UINT32_MAX) {
            __builtin_prefetch(FFiles[File].Name);
        }
    }

private:
    static constexpr uint64_t Empty = UINT64_MAX; // no file has the index UINT32_MAX
    static constexpr uint64_t TagMask = 0xFFFFFFFF00000000ULL;
    const std::vector<TListed>& FFiles;
    std::vector<uint64_t> FSlots;
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
    // The status file is read first: the number of its records tells how many files to expect.
    const std::string StatusPath = CombinePath(FDirectory, FStatusFileName);
    std::string Error;
    const bool HasStatusFile = TryReadFileBytes(StatusPath, FStatusText, &Error);
    if (!HasStatusFile && errno != ENOENT) {
        FStatusFileProblem = "Cannot open file \"" + StatusPath + "\". " + Error;
    }
    // The names are kept once, in blocks; a status file (".dst") or a name the status file
    // cannot hold is never listed.
    constexpr size_t ListedAhead = 4;  // files
    constexpr size_t NamesAhead = 192; // bytes
    std::vector<TListed> Listed;
    Listed.reserve(FStatusText.size() / MinWrittenRecord + 16);
    ForEachFile(
        FDirectory, FFileExt,
        [this, &Listed](std::string_view Name, int64_t Size, TDateTime TimeUtc) {
            if (!IsStatusFileName(Name) && !UnrecordableName(Name)) {
                Listed.push_back({KeepName(Name).data(), static_cast<uint32_t>(Name.size()),
                                  Unplaced, Size, TimeUtc});
                // Each file listed waits for a system call: the memory that the next files
                // will be written to is asked for meanwhile, so that writing them finds it.
                if (Listed.size() + ListedAhead < Listed.capacity()) {
                    __builtin_prefetch(Listed.data() + Listed.size() + ListedAhead, 1);
                }
                if (FNameBlockFree > NamesAhead) {
                    __builtin_prefetch(FNameNext + NamesAhead, 1);
                }
            }
        },
        &FSkippedLinks);
    // A status file planted as a link is reported as such above, not as a skipped input.
    std::erase_if(FSkippedLinks, [](const std::string& Name) { return IsStatusFileName(Name); });
    FFiles.reserve(Listed.size());
    bool NamedSorted = true;
    if (HasStatusFile) {
        const TNameIndex Index(Listed);
        NamedSorted = ReadStatusFile(Index, Listed);
    }
    SortFiles(Listed, NamedSorted);
}

void TDirectoryList::SortFiles(const std::vector<TListed>& Listed, bool NamedSorted) {
    // The status file holds the files in the list's order, so the files it names usually come
    // sorted: then only the files it does not name are sorted and merged.
    const size_t Named = FFiles.size();
    for (const TListed& File : Listed) {
        if (File.Place == Unplaced) {
            FFiles.push_back({File.NameView(), {File.Size, File.ModifiedUtc, true}});
        }
    }
    const auto Less = [](const TItem& A, const TItem& B) { return ListLess(A.Name, B.Name); };
    if (NamedSorted) {
        const auto Middle = FFiles.begin() + static_cast<std::ptrdiff_t>(Named);
        std::sort(Middle, FFiles.end(), Less);
        std::inplace_merge(FFiles.begin(), Middle, FFiles.end(), Less);
    } else {
        std::sort(FFiles.begin(), FFiles.end(), Less);
    }
}

bool TDirectoryList::ReadStatusFile(const TNameIndex& Index, std::vector<TListed>& Listed) {
    // The lookups run a few records behind the parsing: the memory of each step of a record's
    // lookup (slot, file, name) is asked for several records before the step needs it.
    struct TRecord {
        std::string_view Name;
        int64_t Size;
        TDateTime Stored;
        uint64_t Hash;
        bool Written;    // as Save writes it, with a time that its text gives back (see Verbatim)
        uint32_t Likely; // the file likely named (see TNameIndex::PrefetchFile)
    };
    constexpr size_t Ahead = 16;    // records between the steps of a lookup
    constexpr size_t RingSize = 64; // more than the 3 * Ahead records under way
    TRecord Ring[RingSize];
    size_t Parsed = 0;
    size_t Applied = 0;
    bool NamedSorted = true;
    // Whether the records are those Save would write for the files they name: each as Save
    // writes it, naming its file exactly and first, with the file's very size and time, in the
    // list's order, and nothing but records after the first. Save then needs no comparison (see
    // SameAsStatusFile).
    bool Verbatim = true;
    size_t RecordsFrom = std::string::npos;
    const auto Apply = [&](const TRecord& Record) {
        bool Exact = false;
        const int64_t Found = Index.Find(Record.Name, Record.Hash, Exact);
        if (Found < 0) {
            Verbatim = false; // a file gone
            return;
        }
        TListed& File = Listed[static_cast<size_t>(Found)];
        const bool Same =
            Record.Size == File.Size && (Record.Stored == File.ModifiedUtc ||
                                         SecondsApart(File.ModifiedUtc, Record.Stored) <= 2);
        uint32_t& At = File.Place;
        if (At == Unplaced) {
            const std::string_view Name = File.NameView();
            if (!FFiles.empty() && ListLess(Name, FFiles.back().Name)) {
                NamedSorted = false;
            }
            At = static_cast<uint32_t>(FFiles.size());
            FFiles.push_back({Name, {File.Size, File.ModifiedUtc, true}});
            Verbatim = Verbatim && Record.Written && Exact && Record.Size == File.Size &&
                       Record.Stored == File.ModifiedUtc;
        } else {
            Verbatim = false; // a second record of the file
        }
        FFiles[At].Status.Changed = !Same;
    };
    // Takes the record just parsed into Ring[Parsed] and moves every record under way one step.
    const auto Advance = [&] {
        TRecord& Record = Ring[Parsed % RingSize];
        Record.Hash = HashNoCase(Record.Name);
        Index.PrefetchSlot(Record.Hash);
        if (Parsed >= Ahead) {
            TRecord& Earlier = Ring[(Parsed - Ahead) % RingSize];
            Earlier.Likely = Index.PrefetchFile(Earlier.Hash);
        }
        if (Parsed >= 2 * Ahead) {
            Index.PrefetchName(Ring[(Parsed - 2 * Ahead) % RingSize].Likely);
        }
        ++Parsed;
        if (Parsed > 3 * Ahead) {
            Apply(Ring[Applied++ % RingSize]);
        }
    };

    const std::string_view Text = FStatusText;
    int LastDay[3] = {-1, -1, -1};
    bool LastDayOk = false;
    TDateTime LastDate = 0;
    size_t Pos = 0;
    TWrittenRecord Written;
    while (Pos < Text.size()) {
        std::string_view Name;
        int64_t Size = 0;
        int P[7] = {};
        bool Utc = true;
        const bool IsWritten = ReadWrittenRecord(Text, Pos, Written);
        if (IsWritten) {
            if (RecordsFrom == std::string::npos) {
                RecordsFrom = Pos;
            }
            Name = Written.Name;
            Size = Written.Size;
            std::copy(std::begin(Written.Pieces), std::end(Written.Pieces), P);
            Pos = Written.End;
        } else {
            // Nothing but records may follow the first record Save would not rewrite.
            if (RecordsFrom != std::string::npos) {
                Verbatim = false;
            }
            size_t End = Pos;
            while (End < Text.size() && Text[End] != '\r' && Text[End] != '\n') {
                ++End;
            }
            std::string_view Line = Text.substr(Pos, End - Pos);
            Pos = End + 1;
            if (End + 1 < Text.size() && Text[End] == '\r' && Text[End + 1] == '\n') {
                ++Pos;
            }
            // A record holds its fields after the name; any other line is a comment. The name
            // is taken exactly, as a file name may start with "#" or a blank.
            const size_t Tab = Line.find('\t');
            if (Tab == std::string_view::npos) {
                continue;
            }
            Verbatim = false;
            while (!Line.empty() && IsBlank(Line.back())) {
                Line.remove_suffix(1);
            }
            Name = Line.substr(0, Tab);
            const std::string_view Fields = Line.substr(std::min(Tab + 1, Line.size()));
            Size = TryStrToInt64(FieldView(Fields, '\t', 0)).value_or(0);
            const std::string_view TimeText = FieldView(Fields, '\t', 1);
            if (Size < 0 ||
                (!ReadCanonicalPieces(TimeText, P) &&
                 (!ReadPiece(TimeText, 1, 4, 2000, P[0]) || !ReadPiece(TimeText, 6, 2, 1, P[1]) ||
                  !ReadPiece(TimeText, 9, 2, 1, P[2]) || !ReadPiece(TimeText, 12, 2, 0, P[3]) ||
                  !ReadPiece(TimeText, 15, 2, 0, P[4]) || !ReadPiece(TimeText, 18, 2, 0, P[5]) ||
                  !ReadPiece(TimeText, 21, 3, 1, P[6])))) {
                break; // the file is read up to a damaged record
            }
            Utc = TimeText.find("UTC") != std::string_view::npos;
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
            Verbatim = false;
            break;
        }
        TDateTime Stored = LastDate + Clock;
        if (!Utc) {
            Stored += FBiasMinutes / 1440.0;
        }
        // From the day 0 on, the stamp Save writes for this time is the text read (before it,
        // the time of day counts the other way).
        Ring[Parsed % RingSize] = {Name, Size, Stored, 0, IsWritten && LastDate >= 0, 0};
        Advance();
    }
    while (Applied < Parsed) {
        Apply(Ring[Applied++ % RingSize]);
    }
    FRecordsVerbatim =
        Verbatim && NamedSorted && RecordsFrom != std::string::npos && Pos >= Text.size();
    FRecordsFrom = RecordsFrom;
    return NamedSorted;
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
    if (FRecordsVerbatim && FOkCount == 0) {
        // Every record read is the one Save writes for the file it names and nothing has been
        // converted since: the text is the same when the records follow the header at once.
        return OldRest.data() + Pos == FStatusText.data() + FRecordsFrom;
    }
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
    FRecordsVerbatim = false;
}
