#include "data/qtrrecords.h"

#include <algorithm>
#include <numeric>

#include "common/errors.h"
#include "common/text.h"
#include "config/fcsconvparams.h"
#include "data/vrkday.h"

TSlotRange TimeFilterRange(const TConvParamsWithTimeFilter& Params) {
    if (!Params.UseTimeFilter) {
        return {};
    }
    return {std::clamp(Params.QtrStart, 0, QuartersPerDay - 1),
            std::clamp(Params.QtrStop, 0, QuartersPerDay - 1)};
}

TSlotRange DataSlotRange(const TVrkDay& Day, TSlotRange Range) {
    return {std::max(Range.First, Day.FirstSlot), std::min(Range.Last, Day.LastSlot)};
}

TDateTime TQtrRecord::Date() const {
    return EncodeDate(Year, Month, Day);
}

TDateTime TQtrRecord::Stamp() const {
    return Date() + EncodeTime(Hour, Minute, 0, 0);
}

std::vector<TQtrRecord> BuildQtrRecords(const TVrkDay& Day, TSlotRange Range) {
    std::vector<TQtrRecord> Records;
    const TSlotRange R = DataSlotRange(Day, Range);
    for (int S = R.First; S <= R.Last; ++S) {
        if (!Day.SlotPresent[static_cast<std::size_t>(S)]) {
            continue;
        }
        const TVrkSlot& Slot = Day.Slots[static_cast<std::size_t>(S)];
        TQtrRecord& Rec = Records.emplace_back();
        Rec.Year = Slot.Year;
        Rec.Month = Slot.Month;
        Rec.Day = Slot.Day;
        Rec.Hour = Slot.Hour;
        Rec.Minute = Slot.Minute;
        std::copy_n(Slot.Counts.begin(), Rec.Counts.size(), Rec.Counts.begin());
    }
    return Records;
}

void MarkTodaysLastPartial(std::vector<TQtrRecord>& Records, const TVrkDay& Day, TDateTime Today) {
    if (!Records.empty() && DateOf(Day.Date) == DateOf(Today)) {
        Records.back().Partial = true;
    }
}

TChannelDoors::TChannelDoors(const TVrkConfig& Config) {
    for (int N = 1; N <= VrkChannelCount; ++N) {
        const TVrkChannel& Ch = Config.Channels(N);
        const bool Counted = Ch.Active && Ch.Door >= 1 && Ch.Door <= VrkDoorCount;
        FSum[static_cast<std::size_t>(N - 1)] =
            Counted ? static_cast<int8_t>((Ch.IsExit ? VrkDoorCount : 0) + Ch.Door - 1)
                    : DiscardedSum;
    }
    for (int D = 1; D <= VrkDoorCount; ++D) {
        FDoorType[static_cast<std::size_t>(D - 1)] = Config.Doors(D).DoorType;
    }
}

void TDoorSums::Clear() {
    FSums.fill(0);
}

void TDoorSums::AddChannels(const TChannelDoors& Doors, std::span<const int32_t> Counts) {
    const std::size_t N = std::min<std::size_t>(Counts.size(), VrkChannelCount);
    for (std::size_t J = 0; J < N; ++J) {
        FSums[static_cast<std::size_t>(Doors.FSum[J])] += Counts[J];
    }
}

void TDoorSums::AddChannels(const TVrkConfig& Config, std::span<const int32_t> Counts) {
    AddChannels(TChannelDoors(Config), Counts);
}

void TDoorSums::AddSlot(const TChannelDoors& Doors, const TVrkDay& Day, int Slot) {
    const auto& Counts = Day.Slots.at(static_cast<std::size_t>(Slot)).Counts;
    AddChannels(Doors, std::span(Counts).first(static_cast<std::size_t>(
                           std::clamp(Day.ChannelCount, 0, VrkChannelCount))));
}

void TDoorSums::AddSlot(const TVrkConfig& Config, const TVrkDay& Day, int Slot) {
    AddSlot(TChannelDoors(Config), Day, Slot);
}

int64_t TDoorSums::SumOfType(const TChannelDoors& Doors, char Type, std::size_t First) const {
    int64_t Sum = 0;
    for (std::size_t D = 0; D < VrkDoorCount; ++D) {
        Sum += Doors.FDoorType[D] == Type ? FSums[First + D] : 0;
    }
    return Sum;
}

void TDoorSums::SumsOfType(const TChannelDoors& Doors, char Type, int64_t& In, int64_t& Out) const {
    In = 0;
    Out = 0;
    for (std::size_t D = 0; D < VrkDoorCount; ++D) {
        if (Doors.FDoorType[D] == Type) {
            In += FSums[D];
            Out += FSums[VrkDoorCount + D];
        }
    }
}

int64_t TDoorSums::InOfType(const TChannelDoors& Doors, char Type) const {
    return SumOfType(Doors, Type, 0);
}

int64_t TDoorSums::OutOfType(const TChannelDoors& Doors, char Type) const {
    return SumOfType(Doors, Type, VrkDoorCount);
}

int64_t TDoorSums::InOfType(const TVrkConfig& Config, char Type) const {
    return InOfType(TChannelDoors(Config), Type);
}

int64_t TDoorSums::OutOfType(const TVrkConfig& Config, char Type) const {
    return OutOfType(TChannelDoors(Config), Type);
}

int64_t TDoorSums::TotalIn() const {
    return std::accumulate(FSums.begin(), FSums.begin() + VrkDoorCount, int64_t{0});
}

int64_t TDoorSums::TotalOut() const {
    return std::accumulate(FSums.begin() + VrkDoorCount, FSums.begin() + 2 * VrkDoorCount,
                           int64_t{0});
}

std::size_t TDoorSums::Index(int Door) {
    if (Door < 1 || Door > VrkDoorCount) {
        throw ERangeError(Format("Door number %d out of range", Door));
    }
    return static_cast<std::size_t>(Door - 1);
}

bool ChannelHalved(uint32_t Flags, int Channel) {
    return Channel >= 1 && Channel <= 16 && (Flags & (uint32_t{1} << (11 + Channel))) != 0;
}
