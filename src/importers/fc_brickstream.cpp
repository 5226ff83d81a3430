#include "importers/fc_brickstream.h"

#include <algorithm>
#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <numeric>
#include <span>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/text.h"
#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "importers/brickstream.h"
#include "platform/files.h"

namespace {

constexpr int IntervalMaxDoors = 32;
constexpr int ChildMaxDoors = 16;
constexpr int RtMaxZones = 16;

// The names met in one input file, each stored once; readings refer to them by number.
class TNameTable {
public:
    int32_t Intern(std::string_view Name) {
        // Files list their zones in a repeating order: the name that followed the last one the
        // time before is tried first, then the last one again (a store), and only then the
        // hash table.
        if (FLast >= 0) {
            const int32_t Guess = FNext[static_cast<std::size_t>(FLast)];
            if (Guess >= 0 && SameBytes(FNames[static_cast<std::size_t>(Guess)], Name)) {
                FLast = Guess;
                return Guess;
            }
            if (SameBytes(FNames[static_cast<std::size_t>(FLast)], Name)) {
                return FLast;
            }
        }
        return Add(Name);
    }
    const std::string& Name(int32_t Id) const { return FNames[static_cast<std::size_t>(Id)]; }
    std::size_t Count() const { return FNames.size(); }

private:
    // Intern for a name other than the last one and the one guessed after it; out of line, so
    // that the guesses are made where Intern is called.
    [[gnu::noinline]] int32_t Add(std::string_view Name) {
        auto It = FIds.find(Name);
        if (It == FIds.end()) {
            It = FIds.emplace(std::string(Name), static_cast<int32_t>(FNames.size())).first;
            FNames.emplace_back(Name);
            FNext.push_back(-1);
        }
        if (FLast >= 0) {
            FNext[static_cast<std::size_t>(FLast)] = It->second;
        }
        FLast = It->second;
        return FLast;
    }

    struct THash {
        using is_transparent = void;
        std::size_t operator()(std::string_view Text) const {
            return std::hash<std::string_view>{}(Text);
        }
    };
    std::unordered_map<std::string, int32_t, THash, std::equal_to<>> FIds;
    std::vector<std::string> FNames;
    std::vector<int32_t> FNext; // the name read after each name the last time
    int32_t FLast = -1;
};

// The first second a reading can have: readings before 1991 are dropped.
const int64_t FirstReadingSecond = [] {
    int64_t Second = 0;
    ReadingSecond(1991, 1, 1, 0, 0, 0, Second);
    return Second;
}();

// 32 bytes, so that a million readings fill fewer fresh pages.
struct TIntervalReading {
    uint32_t Offset = 0; // seconds since FirstReadingSecond: a century fits
    int32_t Zone = 0;    // number of the zone name as written
    int32_t Store = 0;
    int32_t In = 0;
    int32_t Out = 0;
    int32_t ChildIn = 0;
    int32_t ChildOut = 0;
    char ZoneType = 'D';

    int64_t Second() const { return FirstReadingSecond + Offset; }
};

// Defines door Number for a zone with its channels: entering and leaving (kind 0), and with
// Children also children entering and leaving (kind 1), the channels of door d starting at
// 2d-1 (4d-3 with Children).
void CreateZoneDoor(TVrkConfig& Config, int Number, std::string_view Zone, char ZoneType,
                    bool Children) {
    TVrkDoor& Door = Config.Doors(Number);
    Door.Defined = true;
    Door.Name = std::string(Zone);
    Door.DoorType = ZoneType;
    Door.HasExits = true;
    const int Width = Children ? 4 : 2;
    const int First = (Number - 1) * Width + 1;
    for (int K = 0; K < Width; ++K) {
        TVrkChannel& Channel = Config.Channels(First + K);
        Channel.Active = true;
        Channel.IsExit = K % 2 == 1;
        Channel.Door = Number;
        Channel.Kind = K / 2;
    }
}

// The door of a zone in an interval day file: the defined door of that name (case ignored), else
// a new one in the first free door number; 0 when the zone cannot have a door (the maximum of
// doors is reached, or the door found has no room for its channels). Bit d-1 of Made marks door d
// as made by an earlier call for another zone, one whose name differs from Zone's with case
// ignored, so that its name is not compared; the door made here is marked.
int IntervalDoor(TVrkConfig& Config, std::string_view Zone, char ZoneType, bool Children,
                 uint32_t& Made) {
    static_assert(VrkDoorCount <= 32);
    const int MaxDoors = Children ? ChildMaxDoors : IntervalMaxDoors;
    int DefinedCount = 0;
    int Free = 0;
    for (int D = 1; D <= VrkDoorCount; ++D) {
        const TVrkDoor& Door = Config.Doors(D);
        if (!Door.Defined) {
            Free = Free == 0 ? D : Free;
        } else if ((Made >> (D - 1) & 1) == 0 && SameText(Door.Name, Zone)) {
            return D <= MaxDoors ? D : 0;
        } else {
            ++DefinedCount;
        }
    }
    if (DefinedCount >= MaxDoors || Free == 0) {
        return 0;
    }
    CreateZoneDoor(Config, Free, Zone, ZoneType, Children);
    Made |= uint32_t{1} << (Free - 1);
    return Free;
}

// Raised while reading in day order when a reading of a day already taken comes.
struct TOutOfDayOrder {};

// Reads an interval file and writes its day files. Files come in time order as a rule: then
// (InDayOrder) each day is taken as soon as the next one begins, while its readings are at
// hand, and only the texts of the day files are kept until the whole file is read; a reading
// of a day already taken raises TOutOfDayOrder, and the file is read again keeping all its
// readings. Either way the days are written in order once the file is read, each from all of
// its readings.
class TIntervalImport {
public:
    TIntervalImport(const TConvParamsBrickstream& Params, bool Children, bool InDayOrder)
        : FParams(Params), FChildren(Children), FInDayOrder(InDayOrder),
          FStoreCode(Params.UseShopId ? Params.ShopId : std::string("001")) {}

    // Takes the readings of one piece of the input, whole lines.
    void ReadLines(std::string_view Text) {
        ForEachLineFields<BsIntervalFieldCount>(
            Text, '|', BsFieldLength,
            [this](std::string_view, auto Fields, std::size_t) { TakeLine(Fields); });
    }

    // Room for the readings of an input of Size bytes: no line shorter than 30 characters parses.
    void Reserve(std::size_t Size) {
        if (!FInDayOrder) {
            FMain.reserve(Size / 30 + 1);
        }
    }

    // Writes the day files of the readings taken.
    void WriteDays() {
        TakeDays();
        for (const auto& [Path, Text] : FDayTexts) {
            WriteFileAtomically(Path, Text);
        }
        if (FFailure) {
            std::rethrow_exception(FFailure);
        }
    }

private:
    // Takes the reading of one line, split into its fields. Out of line, so that the splitter
    // keeps its state in registers across the fields of a line.
    [[gnu::noinline]] void TakeLine(std::span<std::string_view, BsIntervalFieldCount> Fields) {
        // A local line, so that its fields stay in registers between the parse and their use.
        TBsIntervalLine Line;
        if (!ParseBsIntervalFields(Fields, FChildren, Line, &FStamps)) {
            return;
        }
        const auto Offset = static_cast<uint32_t>(Line.Second - FirstReadingSecond);
        if (FInDayOrder) {
            NoteDay(Offset);
        }
        const int32_t Zone = FZones.Intern(Line.Zone);
        const int32_t Store = FStores.Intern(Line.Store);
        const int32_t Out = FParams.ZeroExits ? 0 : Line.Out;
        // Filled in place: a reading put together aside and then copied was copied through the
        // stack at a stall a line.
        const bool Children = Line.ZoneType == 'A';
        TIntervalReading& R = (Children ? FChild : FMain).emplace_back();
        R.Offset = Offset;
        R.Zone = Zone;
        R.Store = Store;
        R.ZoneType = Line.ZoneType;
        (Children ? R.ChildIn : R.In) = Line.In;
        (Children ? R.ChildOut : R.Out) = Out;
    }

    // Takes the day of the reading at Offset: a new day takes the readings of the one before.
    void NoteDay(uint32_t Offset) {
        if (FHaveDay && Offset == FLastOffset) {
            return;
        }
        const int64_t DayNo = DayOfSecond(FirstReadingSecond + Offset);
        if (FHaveDay && DayNo < FDayNo) {
            throw TOutOfDayOrder{};
        }
        if (FHaveDay && DayNo > FDayNo) {
            TakeDays();
        }
        FHaveDay = true;
        FDayNo = DayNo;
        FLastOffset = Offset;
    }

    // Makes the texts of the day files of the readings held, and lets go of the readings. The
    // first failure is kept, and raised once the days before it are written: as the import of
    // all readings at once fails after writing those days.
    void TakeDays() {
        if (FFailure) {
            FMain.clear();
            FChild.clear();
            return;
        }
        if (FChildren) {
            JoinChildren();
        }
        SortReadings();
        std::size_t First = 0;
        try {
            while (First < FMain.size()) {
                const int64_t DayNo = DayOfSecond(FMain[First].Second());
                // Sorted by time: when the last reading is of this day, all the rest are.
                std::size_t End =
                    DayOfSecond(FMain.back().Second()) == DayNo ? FMain.size() : First + 1;
                while (End < FMain.size() && DayOfSecond(FMain[End].Second()) == DayNo) {
                    ++End;
                }
                std::string Path = DayFilePath(FParams.OutDir, DayNo);
                std::string Text = DayText(Path, std::span(FMain).subspan(First, End - First));
                FDayTexts.emplace_back(std::move(Path), std::move(Text));
                First = End;
            }
        } catch (...) {
            FFailure = std::current_exception();
        }
        FMain.clear();
        FChild.clear();
    }

    // A children reading goes to the reading of the same zone (exact name) and time, the last
    // one when the line is repeated, as that is the one written; without one it becomes an
    // entrance reading of its own.
    void JoinChildren() {
        struct TKeyHash {
            std::size_t operator()(const std::pair<uint32_t, int32_t>& Key) const {
                return std::hash<int64_t>{}(int64_t{Key.first} * 1000003 + Key.second);
            }
        };
        std::unordered_map<std::pair<uint32_t, int32_t>, std::size_t, TKeyHash> Index;
        for (std::size_t I = 0; I < FMain.size(); ++I) {
            Index.insert_or_assign(std::pair(FMain[I].Offset, FMain[I].Zone), I);
        }
        for (TIntervalReading C : FChild) {
            const auto [It, Added] = Index.emplace(std::pair(C.Offset, C.Zone), FMain.size());
            if (Added) {
                C.ZoneType = 'D';
                FMain.push_back(C);
            } else {
                FMain[It->second].ChildIn = C.ChildIn;
                FMain[It->second].ChildOut = C.ChildOut;
            }
        }
    }

    // By time to the whole second, then by zone with case ignored; readings that compare equal
    // keep the order of the file, so a later line wins.
    void SortReadings() {
        RankZones();
        const auto Before = [this](const TIntervalReading& A, const TIntervalReading& B) {
            return A.Offset != B.Offset ? A.Offset < B.Offset : KeyOf(A) < KeyOf(B);
        };
        // Most files come in order: they are only checked.
        bool Sorted = true;
        for (std::size_t I = 1; Sorted && I < FMain.size(); ++I) {
            Sorted = !Before(FMain[I], FMain[I - 1]);
        }
        if (!Sorted) {
            std::stable_sort(FMain.begin(), FMain.end(), Before);
        }
    }

    // Ranks the zone names in case-ignoring order (FKeyOfZone), again only when new names came.
    void RankZones() {
        const std::size_t N = FZones.Count();
        if (N == FKeyOfZone.size()) {
            return;
        }
        std::vector<std::string> Folded(N);
        std::vector<int32_t> Order(N);
        for (std::size_t I = 0; I < N; ++I) {
            Folded[I] = UpperCase(FZones.Name(static_cast<int32_t>(I)));
        }
        std::iota(Order.begin(), Order.end(), 0);
        std::sort(Order.begin(), Order.end(), [&](int32_t A, int32_t B) {
            return Folded[static_cast<std::size_t>(A)] < Folded[static_cast<std::size_t>(B)];
        });
        FKeyOfZone.assign(N, 0);
        int32_t Key = -1;
        for (std::size_t K = 0; K < N; ++K) {
            const auto Id = static_cast<std::size_t>(Order[K]);
            if (K == 0 || Folded[Id] != Folded[static_cast<std::size_t>(Order[K - 1])]) {
                ++Key;
            }
            FKeyOfZone[Id] = Key;
        }
        FKeyCount = static_cast<std::size_t>(Key + 1);
    }

    // The rank of the reading's zone name in case-ignoring order.
    int32_t KeyOf(const TIntervalReading& R) const {
        return FKeyOfZone[static_cast<std::size_t>(R.Zone)];
    }

    // The text of the day file Path with the readings of its day merged in: existing doors,
    // channels and counts stay unless a reading sets them.
    std::string DayText(const std::string& Path, std::span<const TIntervalReading> Readings) {
        TVrkConfig Config;
        if (!FDay) {
            FDay = std::make_unique<TVrkDay>();
        }
        TVrkDay& Day = *FDay;
        if (FileExists(Path)) {
            const std::string Old = ReadFileBytes(Path);
            Config.ReadHeader(Old);
            LoadDayFromText(Old, Path, Day, Config);
            Config.ClearUndefinedDoorNames();
        } else {
            PrepareImportConfig(Config);
            InitDayFromFileName(Day, Path);
        }
        ClearRFlags(Config);
        // Door of each zone key in this day file: 0 not looked up yet, -1 no door. Only the keys
        // of this day are cleared afterwards, so many days of many zones stay cheap.
        FDoorOfKey.resize(FKeyCount, 0);
        std::vector<int32_t> Keys;
        // The doors made for this day, each for a zone key of its own: IntervalDoor is asked once
        // a key, and names of different keys differ with case ignored.
        uint32_t Made = 0;
        const int Width = FChildren ? 4 : 2;
        int32_t ShopStore = -1;
        // The readings are of one day: the slot of a reading is the quarter-hour of its offset
        // from the start of that day. The readings of one time follow each other: their slot is
        // found and marked once.
        const auto DayStart = static_cast<uint32_t>(
            DayOfSecond(Readings.front().Second()) * SecondsPerDay - FirstReadingSecond);
        uint32_t SlotOffset = 0;
        TVrkSlot* Slot = nullptr;
        int Channels = Day.ChannelCount;
        for (const TIntervalReading& R : Readings) {
            const int32_t Key = KeyOf(R);
            int& Door = FDoorOfKey[static_cast<std::size_t>(Key)];
            if (Door == 0) {
                Door = IntervalDoor(Config, FZones.Name(R.Zone), R.ZoneType, FChildren, Made);
                Door = Door == 0 ? -1 : Door;
                Keys.push_back(Key);
            }
            if (Door < 0) {
                continue;
            }
            if (R.Store != ShopStore && !FStores.Name(R.Store).empty()) {
                ShopStore = R.Store;
            }
            if (Slot == nullptr || R.Offset != SlotOffset) {
                const auto Number = static_cast<int>((R.Offset - DayStart) / SecondsPerQuarter);
                TouchSlot(Day, Number);
                Slot = &Day.Slots[static_cast<std::size_t>(Number)];
                SlotOffset = R.Offset;
            }
            // A door has no number above its maximum: its last channel is 64 at most.
            const auto Channel = static_cast<std::size_t>((Door - 1) * Width);
            Slot->Counts[Channel] = R.In;
            Slot->Counts[Channel + 1] = R.Out;
            if (FChildren) {
                Slot->Counts[Channel + 2] = R.ChildIn;
                Slot->Counts[Channel + 3] = R.ChildOut;
            }
            Channels = std::max(Channels, static_cast<int>(Channel) + Width);
        }
        Day.ChannelCount = Channels;
        for (const int32_t Key : Keys) {
            FDoorOfKey[static_cast<std::size_t>(Key)] = 0;
        }
        Config.SetShopName(ShopStore >= 0 ? FStores.Name(ShopStore)
                                          : ShopNameOfOutDir(FParams.OutDir));
        return DayFileText(Day, FStoreCode, SlotTime(0), SlotTime(QuartersPerDay - 1),
                           ImportChannelColumns(Config, Day), Config);
    }

    const TConvParamsBrickstream& FParams;
    const bool FChildren;
    const bool FInDayOrder;
    const std::string FStoreCode;
    TBsStampCache FStamps;
    TNameTable FZones;
    TNameTable FStores;
    std::vector<TIntervalReading> FMain; // the readings held: of one day when FInDayOrder
    std::vector<TIntervalReading> FChild;
    std::vector<int32_t> FKeyOfZone;
    std::size_t FKeyCount = 0;
    std::vector<int> FDoorOfKey;
    std::unique_ptr<TVrkDay> FDay;
    bool FHaveDay = false; // FDayNo and FLastOffset hold the day of the readings held
    int64_t FDayNo = 0;
    uint32_t FLastOffset = 0;
    std::vector<std::pair<std::string, std::string>> FDayTexts; // path and text, day by day
    std::exception_ptr FFailure;
};

bool ImportInterval(const std::string& FileName, const TConvParamsBrickstream& Params,
                    bool Children) {
    std::size_t Size = 0;
    if (!FindImportInput(FileName, Size)) {
        return true;
    }
    for (const bool InDayOrder : {true, false}) {
        TIntervalImport Import(Params, Children, InDayOrder);
        Import.Reserve(Size);
        try {
            ReadFileInLineBlocks(FileName,
                                 [&](std::string_view Piece) { Import.ReadLines(Piece); });
        } catch (const TOutOfDayOrder&) {
            continue; // read again, keeping all readings
        }
        Import.WriteDays();
        break;
    }
    return true;
}

// One running-counter reading, its names pointing into the input text; LineNo is the index of its
// line in the input file.
struct TRtReading {
    std::string_view Device;
    std::string_view Zone;
    char ZoneType = 'D';
    int64_t Second = 0;
    std::array<int32_t, 4> Values{}; // in, out, children in, children out
    int LineNo = 0;
};

// The readings of one running-counter file, one set per device, each in zone, time and line
// order.
using TBsRtSet = std::vector<std::vector<TRtReading>>;

TBsRtSet GroupByDevice(std::vector<TRtReading>& Readings) {
    std::sort(Readings.begin(), Readings.end(), [](const TRtReading& A, const TRtReading& B) {
        return std::tie(A.Device, A.Zone, A.Second, A.LineNo) <
               std::tie(B.Device, B.Zone, B.Second, B.LineNo);
    });
    TBsRtSet Sets;
    for (TRtReading& R : Readings) {
        if (Sets.empty() || Sets.back().front().Device != R.Device) {
            Sets.emplace_back();
        }
        Sets.back().push_back(std::move(R));
    }
    return Sets;
}

} // namespace

bool ImportBrickstream(const std::string& FileName, TConvParams& Params) {
    return ImportInterval(FileName, ParamsAs<TConvParamsBrickstream>(Params), false);
}

bool ImportBrickstreamChild(const std::string& FileName, TConvParams& Params) {
    return ImportInterval(FileName, ParamsAs<TConvParamsBrickstreamChld>(Params), true);
}

bool ImportBrickstreamRt(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsBrickstreamRt>(Params);
    const std::string StoreCode = P.UseShopId ? P.ShopId : std::string("001");
    std::string Text; // one buffer, which the names of the readings point into
    if (!ReadImportInput(FileName, Text)) {
        return true;
    }
    std::vector<TRtReading> Readings;
    int LineNo = 0;
    TBsRtLine Line;
    ForEachTextLine(Text, [&](std::string_view L) {
        if (ParseBsRtLine(L, Line)) {
            Readings.push_back({Line.Device,
                                Line.Zone,
                                Line.ZoneType,
                                Line.Second,
                                {Line.In, Line.Out, Line.ChildIn, Line.ChildOut},
                                LineNo});
        }
        ++LineNo;
    });
    if (Readings.empty()) {
        return true;
    }
    const TBsRtSet Sets = GroupByDevice(Readings);

    const std::string Path = DayFilePath(P.OutDir, DayOfSecond(Sets.front().front().Second));
    TVrkConfig Config;
    PrepareImportConfig(Config);
    auto Day = std::make_unique<TVrkDay>();
    InitDayFromFileName(*Day, Path);

    // Last counter value of every channel; the zones are numbered over the whole file.
    std::array<int32_t, VrkChannelCount> Last{};
    int Zones = 0;
    for (const std::vector<TRtReading>& Set : Sets) {
        const std::string_view* CurrentZone = nullptr;
        int Channel = 0; // index of the first channel of the current zone
        for (const TRtReading& R : Set) {
            if (CurrentZone == nullptr || R.Zone != *CurrentZone) {
                if (Zones == RtMaxZones) {
                    break;
                }
                CreateZoneDoor(Config, Zones + 1, R.Zone, R.ZoneType, true);
                Channel = Zones * 4;
                ++Zones;
                CurrentZone = &R.Zone;
                // The first reading of a zone only sets the starting values.
                std::copy(R.Values.begin(), R.Values.end(),
                          Last.begin() + static_cast<std::ptrdiff_t>(Channel));
            }
            std::array<int32_t, 4> Step{};
            for (std::size_t K = 0; K < 4; ++K) {
                int32_t& Previous = Last[static_cast<std::size_t>(Channel) + K];
                Step[K] = CounterStep(Previous, R.Values[K]);
                Previous = R.Values[K];
            }
            AddCounts(*Day, Channel, Step[0], SlotTime(SlotOfSecond(R.Second)), Channel + 1,
                      Step[1], Channel + 2, Step[2], Channel + 3, Step[3]);
        }
    }
    Config.SetShopName(ShopNameAboveFile(FileName));
    WriteDayFile(*Day, Path, StoreCode, SlotTime(0), SlotTime(QuartersPerDay - 1),
                 ImportChannelColumns(Config, *Day), Config);
    return true;
}
