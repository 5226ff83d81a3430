#include "importers/fc_cboxrt.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

#include "common/text.h"
#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "importers/brickstream.h"

namespace {

// Channels whose halving is recorded in the "#R" flags.
constexpr int HalvingChannels = 16;

// One reading, its names pointing into the input text.
struct TCboxReading {
    bool Absolute = false;
    std::string_view Device;
    std::string_view ChannelId;
    std::string_view Zone;
    char ZoneType = 'D';
    bool Exits = false;
    bool Halved = false;
    int32_t Value = 0;
    int64_t Second = 0;
    int LineNo = 0;
};

// Running counters before absolute values, then device, channel identifier, zone, zone type,
// direction, time to the second and line.
bool Before(const TCboxReading& A, const TCboxReading& B) {
    return std::tie(A.Absolute, A.Device, A.ChannelId, A.Zone, A.ZoneType, A.Exits, A.Second,
                    A.LineNo) < std::tie(B.Absolute, B.Device, B.ChannelId, B.Zone, B.ZoneType,
                                         B.Exits, B.Second, B.LineNo);
}

// The channels of the day file being built; while they are found, a channel's name holds its
// device.
class TCboxChannels {
public:
    explicit TCboxChannels(TVrkConfig& Config) : FConfig(Config) {}

    // The channel of a reading: the channel of this device, identifier and direction on a door
    // of this zone and type; else a new channel on the door of another channel of the device with
    // this zone and type; else a new channel on a new door. 0 when no channel or door is free.
    int Find(const TCboxReading& R) {
        for (int C = 1; C <= VrkChannelCount; ++C) {
            const TVrkChannel& Ch = FConfig.Channels(C);
            if (OnZoneDoor(Ch, R) && Ch.IsExit == R.Exits &&
                FIds[static_cast<std::size_t>(C - 1)] == R.ChannelId) {
                return C;
            }
        }
        for (int C = 1; C <= VrkChannelCount; ++C) {
            if (OnZoneDoor(FConfig.Channels(C), R)) {
                return AddChannel(FConfig.Channels(C).Door, R);
            }
        }
        int Door = 0;
        for (int D = 1; D <= VrkDoorCount && Door == 0; ++D) {
            Door = FConfig.Doors(D).Defined ? 0 : D;
        }
        if (Door == 0 || FreeChannel() == 0) {
            return 0;
        }
        TVrkDoor& NewDoor = FConfig.Doors(Door);
        NewDoor.Defined = true;
        NewDoor.Name = std::string(R.Zone);
        NewDoor.DoorType = R.ZoneType;
        NewDoor.HasExits = false;
        return AddChannel(Door, R);
    }

    // Every active channel is named after its device and its identifier.
    void NameChannels() {
        for (int C = 1; C <= VrkChannelCount; ++C) {
            TVrkChannel& Ch = FConfig.Channels(C);
            if (Ch.Active) {
                Ch.Name += "_" + FIds[static_cast<std::size_t>(C - 1)];
            }
        }
    }

private:
    bool OnZoneDoor(const TVrkChannel& Ch, const TCboxReading& R) const {
        if (!Ch.Active || Ch.Name != R.Device) {
            return false;
        }
        const TVrkDoor& Door = FConfig.Doors(Ch.Door);
        return Door.Name == R.Zone && Door.DoorType == R.ZoneType;
    }

    int FreeChannel() const {
        for (int C = 1; C <= VrkChannelCount; ++C) {
            if (!FConfig.Channels(C).Active) {
                return C;
            }
        }
        return 0;
    }

    int AddChannel(int Door, const TCboxReading& R) {
        const int C = FreeChannel();
        if (C == 0) {
            return 0;
        }
        TVrkChannel& Ch = FConfig.Channels(C);
        Ch.Active = true;
        Ch.IsExit = R.Exits;
        Ch.Kind = 0;
        Ch.Door = Door;
        Ch.Name = std::string(R.Device);
        FIds[static_cast<std::size_t>(C - 1)] = R.ChannelId;
        if (R.Exits) {
            FConfig.Doors(Door).HasExits = true;
        }
        return C;
    }

    TVrkConfig& FConfig;
    std::array<std::string, VrkChannelCount> FIds;
};

// The readings grouped by mode (running counters first), then by device, then by channel
// identifier, each group holding its readings in order.
using TCbrtArray4D = std::vector<std::vector<std::vector<std::vector<TCboxReading>>>>;

TCbrtArray4D GroupReadings(std::vector<TCboxReading>& Readings) {
    std::sort(Readings.begin(), Readings.end(), Before);
    TCbrtArray4D Modes;
    const TCboxReading* Last = nullptr;
    for (TCboxReading& R : Readings) {
        if (Last == nullptr || Last->Absolute != R.Absolute) {
            Modes.emplace_back();
        }
        auto& Devices = Modes.back();
        if (Devices.empty() || Devices.back().front().front().Device != R.Device) {
            Devices.emplace_back();
        }
        auto& Ids = Devices.back();
        if (Ids.empty() || Ids.back().front().ChannelId != R.ChannelId) {
            Ids.emplace_back();
        }
        Ids.back().push_back(std::move(R));
        Last = &Ids.back().back();
    }
    return Modes;
}

// Records the readings of one mode group; a reading that finds no free channel ends the group.
void RecordModeGroup(const std::vector<std::vector<std::vector<TCboxReading>>>& Devices,
                     TCboxChannels& Channels, TVrkConfig& Config, TVrkDay& Day) {
    std::array<std::optional<int32_t>, VrkChannelCount> Last;
    for (const auto& Ids : Devices) {
        for (const std::vector<TCboxReading>& Group : Ids) {
            const TCboxReading* Previous = nullptr;
            int Channel = 0;
            for (const TCboxReading& R : Group) {
                if (Previous == nullptr || Previous->Zone != R.Zone ||
                    Previous->ZoneType != R.ZoneType || Previous->Exits != R.Exits) {
                    Channel = Channels.Find(R);
                    if (Channel == 0) {
                        return;
                    }
                }
                Previous = &R;
                if (Channel <= HalvingChannels && R.Halved) {
                    Config.Flags |= uint32_t{1} << (11 + Channel);
                }
                int32_t Value = R.Value;
                if (!R.Absolute) {
                    // The first value of a counter only starts it.
                    std::optional<int32_t>& Counter = Last[static_cast<std::size_t>(Channel - 1)];
                    Value = CounterStep(Counter.value_or(R.Value), R.Value);
                    Counter = R.Value;
                }
                PutCount(Day, Channel - 1, Value, R.Absolute, SlotTime(SlotOfSecond(R.Second)));
            }
        }
    }
}

} // namespace

bool ParseCboxLine(std::string_view Line, TCboxLine& Reading) {
    std::string_view F[10];
    SplitTrimmedFields(Line, ';', F, 10);
    if ((F[2] != "I" && F[2] != "A") || (F[4] != "D" && F[4] != "C" && F[4] != "P") ||
        (F[5] != "E" && F[5] != "X") || (F[6] != "0" && F[6] != "1")) {
        return false;
    }
    const auto Value = TryStrToInt(F[7]);
    int MSec = 0;
    if (F[3].empty() || F[8].empty() || F[9].empty() || !Value || *Value < 0 ||
        !ReadIsoDateTime(F[0], F[1], false, Reading.Second, MSec)) {
        return false;
    }
    Reading.Absolute = F[2] == "A";
    Reading.Zone = CutName(F[3]);
    Reading.ZoneType = F[4][0];
    Reading.Exits = F[5] == "X";
    Reading.Halved = F[6] == "1";
    Reading.Value = *Value;
    Reading.Device = CutName(F[8]);
    Reading.ChannelId = F[9].substr(0, 2);
    return true;
}

bool ImportCboxRt(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsCboxRt>(Params);
    std::string Text; // one buffer, which the names of the readings point into
    if (!ReadImportInput(FileName, Text)) {
        return true;
    }
    std::vector<TCboxReading> Readings;
    int LineNo = 0;
    TCboxLine Line;
    ForEachTextLine(Text, [&](std::string_view L) {
        if (ParseCboxLine(L, Line)) {
            Readings.push_back({Line.Absolute, Line.Device, Line.ChannelId, Line.Zone,
                                Line.ZoneType, Line.Exits, Line.Halved, Line.Value, Line.Second,
                                LineNo});
        }
        ++LineNo;
    });
    if (Readings.empty()) {
        return true;
    }
    const TCbrtArray4D Groups = GroupReadings(Readings);

    const std::string Path =
        DayFilePath(P.OutDir, DayOfSecond(Groups.front().front().front().front().Second));
    TVrkConfig Config;
    PrepareImportConfig(Config);
    TCboxChannels Channels(Config);
    auto Day = std::make_unique<TVrkDay>();
    InitDayFromFileName(*Day, Path);
    for (const auto& Mode : Groups) {
        RecordModeGroup(Mode, Channels, Config, *Day);
    }
    Channels.NameChannels();
    Config.SetShopName(ShopNameAboveFile(FileName));
    WriteDayFile(*Day, Path, "001", SlotTime(0), SlotTime(QuartersPerDay - 1),
                 ImportChannelColumns(Config, *Day), Config);
    return true;
}
