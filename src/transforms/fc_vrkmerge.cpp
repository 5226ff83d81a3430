#include "transforms/fc_vrkmerge.h"

#include <algorithm>
#include <array>
#include <filesystem>

#include "common/text.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "transforms/vrktransform.h"

namespace {

constexpr std::size_t ChannelNameLength = 64;

std::array<uint32_t, 256> MakeCrcTable() {
    // 0xC8488DB9 is 0x9DB11213 with its bits in reverse order, as the reflected form needs.
    std::array<uint32_t, 256> Table{};
    for (uint32_t I = 0; I < 256; ++I) {
        uint32_t C = I;
        for (int K = 0; K < 8; ++K) {
            C = (C & 1) != 0 ? (C >> 1) ^ 0xC8488DB9u : C >> 1;
        }
        Table[I] = C;
    }
    return Table;
}

// The directory of FileName with its trailing "/"; a relative name is taken from the current
// directory, as the service always passes full paths.
std::string DirectoryOf(const std::string& FileName) {
    std::string Path = FileName;
    if (Path.empty() || Path[0] != '/') {
        Path = std::filesystem::absolute(std::filesystem::path(Path)).lexically_normal().string();
    }
    return Path.substr(0, Path.find_last_of('/') + 1);
}

std::string SourceName(const std::string& Dir) {
    std::string_view Rest(Dir);
    if (!Rest.empty() && Rest.back() == '/') {
        Rest.remove_suffix(1);
    }
    auto LastComponent = [&Rest]() {
        const std::size_t Slash = Rest.find_last_of('/');
        const std::string_view Part =
            Slash == std::string_view::npos ? Rest : Rest.substr(Slash + 1);
        Rest = Slash == std::string_view::npos ? std::string_view() : Rest.substr(0, Slash);
        return UpperCase(RemoveBlanks(Part));
    };
    std::string Name = LastComponent();
    if (Name == "ZALMORET" || Name == "VRK") {
        Name = LastComponent();
    }
    return Name;
}

// "<key>-<Number>" in at most 64 characters, into Name: the key's source name is cut, never the
// suffix, so two channels of one source never share a merged channel.
void MergedChannelName(const std::string& Key, int Number, std::string& Name) {
    char Digits[16];
    std::size_t Length = 0;
    for (unsigned Rest = static_cast<unsigned>(Number); Length == 0 || Rest != 0; Rest /= 10) {
        Digits[Length++] = static_cast<char>('0' + Rest % 10);
    }
    Name.assign(Key, 0, ChannelNameLength - 1 - Length);
    Name += '-';
    while (Length > 0) {
        Name += Digits[--Length];
    }
}

// The hashes of the merged channels' names (index C - 1 for channel C), kept up to date as
// channels are named, and the lowest channel that may still be free.
struct TMergedNames {
    std::array<uint64_t, VrkChannelCount> Hashes{};
    int FirstFree = 1;

    explicit TMergedNames(const TVrkConfig& Merged) {
        for (int C = 1; C <= VrkChannelCount; ++C) {
            Hashes[static_cast<std::size_t>(C - 1)] = Fnv1a64(Merged.Channels(C).Name);
        }
    }
};

// The merged channel for source channel Number of Source, found by Name (of hash Hash) or
// added; 0 when no channel or no door is free.
int MapChannel(TVrkConfig& Merged, TMergedNames& Names, const TVrkConfig& Source, int Number,
               const std::string& Name, uint64_t Hash) {
    for (int C = 1; C <= VrkChannelCount; ++C) {
        if (Names.Hashes[static_cast<std::size_t>(C - 1)] == Hash &&
            Merged.Channels(C).Name == Name) {
            return C;
        }
    }
    // Channels only become active here, at the first inactive one, so no channel below
    // FirstFree is inactive.
    int Free = 0;
    for (int C = Names.FirstFree; C <= VrkChannelCount && Free == 0; ++C) {
        if (!Merged.Channels(C).Active) {
            Free = C;
        }
    }
    if (Free == 0) {
        Names.FirstFree = VrkChannelCount + 1;
        return 0;
    }
    Names.FirstFree = Free;
    const TVrkChannel& SourceChannel = Source.Channels(Number);
    if (SourceChannel.Door < 1 || SourceChannel.Door > VrkDoorCount) {
        return 0;
    }
    const TVrkDoor& SourceDoor = Source.Doors(SourceChannel.Door);
    int Door = 0;
    for (int D = 1; D <= VrkDoorCount && Door == 0; ++D) {
        if (Merged.Doors(D).Defined && SameText(Merged.Doors(D).Name, SourceDoor.Name)) {
            Door = D;
        }
    }
    for (int D = 1; D <= VrkDoorCount && Door == 0; ++D) {
        if (!Merged.Doors(D).Defined) {
            Door = D;
            TVrkDoor& Target = Merged.Doors(D);
            Target.Name = SourceDoor.Name;
            Target.DoorType = SourceDoor.DoorType;
            Target.HasExits = SourceDoor.HasExits;
            Target.DoorNumber = SourceDoor.DoorNumber;
            Target.Defined = true;
        }
    }
    if (Door == 0) {
        return 0;
    }
    TVrkChannel& Target = Merged.Channels(Free);
    Target = SourceChannel;
    Target.Active = true;
    Target.Door = Door;
    Target.Name = Name;
    Names.Hashes[static_cast<std::size_t>(Free - 1)] = Hash;
    return Free;
}

} // namespace

uint32_t MergeCrc32(std::string_view Bytes) {
    static const std::array<uint32_t, 256> Table = MakeCrcTable();
    uint32_t Crc = 0xFFFFFFFFu;
    for (char C : Bytes) {
        Crc = (Crc >> 8) ^ Table[(Crc ^ static_cast<uint8_t>(C)) & 0xFFu];
    }
    return Crc ^ 0xFFFFFFFFu;
}

std::string MergeSourceKey(const std::string& FileName) {
    // The key of an absolute name depends on its directory alone, and a directory's files come
    // one after the other: the last directory's key is kept.
    thread_local std::string LastDir, LastKey;
    const bool Absolute = !FileName.empty() && FileName[0] == '/';
    const std::size_t DirLength = FileName.find_last_of('/') + 1;
    if (Absolute && !LastKey.empty() &&
        std::string_view(FileName).substr(0, DirLength) == LastDir) {
        return LastKey;
    }
    const std::string Dir = DirectoryOf(FileName);
    std::string Key =
        Format("%8.8X", MergeCrc32(UpperCase(RemoveBlanks(Dir)))) + ":" + SourceName(Dir);
    if (Absolute) {
        LastDir.assign(FileName, 0, DirLength);
        LastKey = Key;
    }
    return Key;
}

bool MergeFile(const std::string& FileName, TConvParams& Params) {
    TVrkConfig Source;
    TVrkDay* const SourceDay = &TransformDay(0);
    std::string OutPath;
    if (!ReadTransformInput(FileName, Params.OutDir, OutPath, Source, *SourceDay)) {
        return false;
    }
    const std::string Key = MergeSourceKey(FileName);

    std::array<int64_t, VrkChannelCount + 1> Total{};
    for (int S = SourceDay->FirstSlot; S <= SourceDay->LastSlot; ++S) {
        if (!SourceDay->SlotPresent[static_cast<std::size_t>(S)]) {
            continue;
        }
        for (int N = 1; N <= SourceDay->ChannelCount; ++N) {
            Total[static_cast<std::size_t>(N)] += SourceDay->Slots[static_cast<std::size_t>(S)]
                                                      .Counts[static_cast<std::size_t>(N - 1)];
        }
    }

    TVrkConfig Merged;
    TVrkDay* const MergedDay = &TransformDay(1);
    TReadFile Existing;
    if (ReadFileMadeWritable(OutPath, Existing)) {
        ParseCountingFile(Existing.Bytes, OutPath, Merged, *MergedDay);
        Merged.ClearUndefinedDoorNames();
    } else {
        ResetToEmptyKt9(Merged);
        InitDayFromFileName(*MergedDay, OutPath);
    }
    Merged.Flags = 0;

    // The source channels that have a merged channel, as runs of Length channels from source
    // index N - 1 on to merged index C - 1 on: a source's channels mostly keep their order.
    struct TMapped {
        std::size_t From, To, Length;
    };
    std::array<TMapped, VrkChannelCount> Mapped{};
    std::size_t MappedCount = 0;
    int32_t MappedWidth = 0; // 1 + the highest merged index mapped to
    TMergedNames Names(Merged);
    std::string Name;
    for (int N = 1; N <= SourceDay->ChannelCount; ++N) {
        if (!Source.Channels(N).Active || Total[static_cast<std::size_t>(N)] < 1) {
            continue;
        }
        MergedChannelName(Key, N, Name);
        const int C = MapChannel(Merged, Names, Source, N, Name, Fnv1a64(Name));
        if (C > 0) {
            const auto From = static_cast<std::size_t>(N - 1);
            const auto To = static_cast<std::size_t>(C - 1);
            TMapped* const Last = MappedCount == 0 ? nullptr : &Mapped[MappedCount - 1];
            if (Last != nullptr && Last->From + Last->Length == From &&
                Last->To + Last->Length == To) {
                ++Last->Length;
            } else {
                Mapped[MappedCount++] = {From, To, 1};
            }
            MappedWidth = std::max(MappedWidth, C);
        }
    }

    for (int S = SourceDay->FirstSlot; S <= SourceDay->LastSlot; ++S) {
        if (!SourceDay->SlotPresent[static_cast<std::size_t>(S)]) {
            continue;
        }
        TouchSlot(*MergedDay, S);
        if (MappedCount == 0) {
            continue;
        }
        // The counts of the slot of the same time of day replace what the merged day held.
        const int To = QuarterOfDateTime(SlotTime(S));
        TouchSlot(*MergedDay, To);
        const TVrkSlot& From = SourceDay->Slots[static_cast<std::size_t>(S)];
        TVrkSlot& Into = MergedDay->Slots[static_cast<std::size_t>(To)];
        for (std::size_t M = 0; M < MappedCount; ++M) {
            std::copy_n(From.Counts.begin() + static_cast<std::ptrdiff_t>(Mapped[M].From),
                        Mapped[M].Length,
                        Into.Counts.begin() + static_cast<std::ptrdiff_t>(Mapped[M].To));
        }
        MergedDay->ChannelCount = std::max(MergedDay->ChannelCount, MappedWidth);
    }

    int Channels = 0;
    for (int C = 1; C <= VrkChannelCount; ++C) {
        if (Merged.Channels(C).Active) {
            Channels = C;
        }
    }
    if (Merged.ShopName().empty() && !Source.ShopName().empty()) {
        Merged.SetShopName(Source.ShopName());
    }
    WriteDayFile(*MergedDay, OutPath, "001", SlotTime(MergedDay->FirstSlot),
                 SlotTime(MergedDay->LastSlot), Channels, Merged);
    return true;
}
