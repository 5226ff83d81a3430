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

void TDoorSums::Clear() {
    FIn.fill(0);
    FOut.fill(0);
}

void TDoorSums::AddChannels(const TVrkConfig& Config, std::span<const int32_t> Counts) {
    const std::size_t N = std::min<std::size_t>(Counts.size(), VrkChannelCount);
    for (std::size_t J = 0; J < N; ++J) {
        const TVrkChannel& Ch = Config.Channels(static_cast<int>(J) + 1);
        if (!Ch.Active || Ch.Door < 1 || Ch.Door > VrkDoorCount) {
            continue;
        }
        auto& Sums = Ch.IsExit ? FOut : FIn;
        Sums[static_cast<std::size_t>(Ch.Door - 1)] += Counts[J];
    }
}

void TDoorSums::AddSlot(const TVrkConfig& Config, const TVrkDay& Day, int Slot) {
    const auto& Counts = Day.Slots.at(static_cast<std::size_t>(Slot)).Counts;
    AddChannels(Config, std::span(Counts).first(static_cast<std::size_t>(
                            std::clamp(Day.ChannelCount, 0, VrkChannelCount))));
}

int64_t TDoorSums::InOfType(const TVrkConfig& Config, char Type) const {
    int64_t Sum = 0;
    for (int D = 1; D <= VrkDoorCount; ++D) {
        if (Config.Doors(D).DoorType == Type) {
            Sum += In(D);
        }
    }
    return Sum;
}

int64_t TDoorSums::OutOfType(const TVrkConfig& Config, char Type) const {
    int64_t Sum = 0;
    for (int D = 1; D <= VrkDoorCount; ++D) {
        if (Config.Doors(D).DoorType == Type) {
            Sum += Out(D);
        }
    }
    return Sum;
}

int64_t TDoorSums::TotalIn() const {
    return std::accumulate(FIn.begin(), FIn.end(), int64_t{0});
}

int64_t TDoorSums::TotalOut() const {
    return std::accumulate(FOut.begin(), FOut.end(), int64_t{0});
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
