// What the exports of counting data and the transforms share when they read a day: the time
// filter of a slot, the quarter-hour records of channels 1 to 4, the sums of channels into doors
// and the halving digits of the "#R" flags.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/datetime.h"
#include "data/vrkcfg.h"

struct TVrkDay;
class TConvParamsWithTimeFilter;

// The quarter-hour slots a converter takes: First to Last, both included; empty when First is
// after Last.
struct TSlotRange {
    int First = 0;
    int Last = QuartersPerDay - 1;

    bool Contains(int Slot) const { return Slot >= First && Slot <= Last; }
};

// QtrStart..QtrStop when UseTimeFilter is set, else the whole day; each bound is clamped to
// 0..95, so a stop of 96 or more is the last slot.
TSlotRange TimeFilterRange(const TConvParamsWithTimeFilter& Params);

// The slots of Range that lie between the day's first and last data slot (empty for a day
// without data).
TSlotRange DataSlotRange(const TVrkDay& Day, TSlotRange Range);

// One quarter-hour of a day reduced to the counts of channels 1 to 4.
struct TQtrRecord {
    int32_t Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0;
    std::array<int32_t, 4> Counts{}; // channels 1..4
    bool Partial = false;            // the quarter-hour may still grow

    TDateTime Date() const; // midnight of the record's day
    // The record's start: its date with its hour and minute.
    TDateTime Stamp() const;
};

// One record per slot of Range that holds data, in slot order (at most 96).
std::vector<TQtrRecord> BuildQtrRecords(const TVrkDay& Day, TSlotRange Range);

// Marks the last record Partial when the day is Today's: the quarter-hour being counted now.
void MarkTodaysLastPartial(std::vector<TQtrRecord>& Records, const TVrkDay& Day, TDateTime Today);

// The doors of a header as the door sums use them, looked up once for a file rather than for
// every slot: the sum each channel adds to and the type of each door.
class TChannelDoors {
public:
    explicit TChannelDoors(const TVrkConfig& Config);

private:
    friend class TDoorSums;
    // Per channel: the index of its sum in TDoorSums (in sums first, then out sums), or
    // DiscardedSum for a channel that adds to no door.
    static constexpr int8_t DiscardedSum = 2 * VrkDoorCount;
    std::array<int8_t, VrkChannelCount> FSum{};
    std::array<char, VrkDoorCount> FDoorType{};
};

// The in and out sums of the 32 doors over the channels added to it, in 64 bits.
class TDoorSums {
public:
    void Clear();
    // Adds the count of channel N (Counts[N - 1]) for every active channel whose door is 1..32:
    // to its door's out sum when the channel counts exits, else to its in sum. Channels beyond
    // Counts (and beyond 64) are not looked at.
    void AddChannels(const TChannelDoors& Doors, std::span<const int32_t> Counts);
    void AddChannels(const TVrkConfig& Config, std::span<const int32_t> Counts);
    // AddChannels with the counts of channels 1 to the day's channel count in slot Slot.
    void AddSlot(const TChannelDoors& Doors, const TVrkDay& Day, int Slot);
    void AddSlot(const TVrkConfig& Config, const TVrkDay& Day, int Slot);

    int64_t In(int Door) const { return FSums[Index(Door)]; }                 // Door 1..32
    int64_t Out(int Door) const { return FSums[VrkDoorCount + Index(Door)]; } // Door 1..32
    // The sums of the doors of type Type ('D' entrance, 'C' corridor, ...).
    int64_t InOfType(const TChannelDoors& Doors, char Type) const;
    int64_t OutOfType(const TChannelDoors& Doors, char Type) const;
    int64_t InOfType(const TVrkConfig& Config, char Type) const;
    int64_t OutOfType(const TVrkConfig& Config, char Type) const;
    // InOfType and OutOfType at once, in one pass over the doors.
    void SumsOfType(const TChannelDoors& Doors, char Type, int64_t& In, int64_t& Out) const;
    // The sums of every door.
    int64_t TotalIn() const;
    int64_t TotalOut() const;

private:
    static std::size_t Index(int Door);
    int64_t SumOfType(const TChannelDoors& Doors, char Type, std::size_t First) const;
    // The in sums of doors 1..32, then the out sums, then what channels of no door add (so that
    // adding a channel needs no test).
    std::array<int64_t, 2 * VrkDoorCount + 1> FSums{};
};

// True when the "#R" digit of Channel (1..16) is "2" in Flags: the channel counts every person
// twice. False for other channels.
bool ChannelHalved(uint32_t Flags, int Channel);
