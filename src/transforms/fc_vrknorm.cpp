#include "transforms/fc_vrknorm.h"

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "transforms/vrktransform.h"

namespace {

class TSeededRandom : public TRandomSource {
public:
    int Next(int Range) override {
        return std::uniform_int_distribution<int>(0, Range - 1)(FEngine);
    }

private:
    std::mt19937 FEngine{20081224u};
};

TRandomSource* CurrentRandom = nullptr;

// Draws that find nothing to take before the first removable count is taken in order, so that a
// poor generator cannot keep the conversion spinning.
constexpr int MaxMissedDraws = 100000;

int32_t& CountAt(TVrkDay& Day, int Slot, int Channel) {
    return Day.Slots[static_cast<std::size_t>(Slot)].Counts[static_cast<std::size_t>(Channel)];
}

void RemoveFromSide(TVrkDay& Day, const TVrkConfig& Header, bool Exits, int Count,
                    TRandomSource& Random) {
    const int Channels = Day.ChannelCount;
    std::vector<int64_t> Totals(static_cast<std::size_t>(Channels), 0);
    int64_t Sum = 0;
    for (int C = 0; C < Channels; ++C) {
        if (Header.Channels(C + 1).IsExit != Exits) {
            continue;
        }
        for (int S = 0; S <= Day.LastSlot; ++S) {
            if (Day.SlotPresent[static_cast<std::size_t>(S)]) {
                Totals[static_cast<std::size_t>(C)] += CountAt(Day, S, C);
            }
        }
        Sum += Totals[static_cast<std::size_t>(C)];
    }
    auto Removable = [&](int C, int S) {
        return C >= 0 && C < Channels && S >= 0 && S <= Day.LastSlot &&
               Totals[static_cast<std::size_t>(C)] >= 1 &&
               Day.SlotPresent[static_cast<std::size_t>(S)] && CountAt(Day, S, C) >= 1;
    };
    auto FirstRemovable = [&](int& C, int& S) {
        for (C = 0; C < Channels; ++C) {
            for (S = 0; S <= Day.LastSlot; ++S) {
                if (Removable(C, S)) {
                    return true;
                }
            }
        }
        return false;
    };
    int Remaining = Count;
    int Missed = 0;
    while (Sum > 0 && Remaining > 0) {
        int C = Random.Next(Channels);
        int S = Random.Next(Day.LastSlot + 1);
        if (!Removable(C, S)) {
            if (++Missed < MaxMissedDraws) {
                continue;
            }
            if (!FirstRemovable(C, S)) {
                return;
            }
        }
        Missed = 0;
        --CountAt(Day, S, C);
        --Totals[static_cast<std::size_t>(C)];
        --Sum;
        --Remaining;
    }
}

// The active channels of one side of a door (0-based, in channel order).
struct TDoorSide {
    std::array<int, VrkChannelCount> Channels{};
    std::size_t Count = 0;
};

// The sum of the side's counts in Slot, channels at or beyond the day's ChannelCount left out.
int64_t SideSum(const TVrkDay& Day, int Slot, const TDoorSide& Side) {
    int64_t Sum = 0;
    for (std::size_t I = 0; I < Side.Count; ++I) {
        const int Index = Side.Channels[I];
        if (Index < Day.ChannelCount) {
            Sum +=
                Day.Slots[static_cast<std::size_t>(Slot)].Counts[static_cast<std::size_t>(Index)];
        }
    }
    return Sum;
}

// Sets the channels of one side to Sum spread in channel order; channels at or beyond the day's
// ChannelCount take their share but are not written.
void Spread(TVrkDay& Day, int Slot, const TDoorSide& Side, int64_t Sum) {
    // A side of one channel (most are) takes the whole sum, without a division.
    const auto K = static_cast<int64_t>(Side.Count);
    const int64_t Share = K == 1 ? Sum : Sum / K;
    const int64_t Rest = K == 1 ? 0 : Sum % K;
    for (std::size_t I = 0; I < Side.Count; ++I) {
        const int Index = Side.Channels[I];
        if (Index < Day.ChannelCount) {
            CountAt(Day, Slot, Index) =
                ClampCount(Share + (static_cast<int64_t>(I) < Rest ? 1 : 0));
        }
    }
}

} // namespace

TRandomSource& StaffRandom() {
    static TSeededRandom Default;
    return CurrentRandom != nullptr ? *CurrentRandom : Default;
}

void SetStaffRandom(TRandomSource* Source) {
    CurrentRandom = Source;
}

void RemoveStaff(TVrkDay& Day, const TVrkConfig& Header, int Count, TRandomSource& Random) {
    if (Day.LastSlot < 0 || Count <= 0 || Day.ChannelCount <= 0) {
        return;
    }
    RemoveFromSide(Day, Header, false, Count, Random);
    RemoveFromSide(Day, Header, true, Count, Random);
}

void MixEntriesExits(TVrkDay& Day, const TVrkConfig& Header) {
    // The sides of every door, found in one pass over the channels.
    std::array<TDoorSide, VrkDoorCount> In, Out;
    for (int C = 1; C <= VrkChannelCount; ++C) {
        const TVrkChannel& Ch = Header.Channels(C);
        if (Ch.Active && Ch.Door >= 1 && Ch.Door <= VrkDoorCount) {
            TDoorSide& Side = (Ch.IsExit ? Out : In)[static_cast<std::size_t>(Ch.Door - 1)];
            Side.Channels[Side.Count++] = C - 1;
        }
    }
    for (int D = 1; D <= VrkDoorCount; ++D) {
        const TDoorSide& DoorIn = In[static_cast<std::size_t>(D - 1)];
        const TDoorSide& DoorOut = Out[static_cast<std::size_t>(D - 1)];
        if (!Header.Doors(D).Defined || DoorIn.Count == 0 || DoorOut.Count == 0) {
            continue;
        }
        // A door of one channel a side (most are) is mixed without the loops over the sides.
        const bool OneEach = DoorIn.Count == 1 && DoorOut.Count == 1 &&
                             std::max(DoorIn.Channels[0], DoorOut.Channels[0]) < Day.ChannelCount;
        for (int S = Day.FirstSlot; S <= Day.LastSlot; ++S) {
            if (!Day.SlotPresent[static_cast<std::size_t>(S)]) {
                continue;
            }
            if (OneEach) {
                int32_t& CountIn = CountAt(Day, S, DoorIn.Channels[0]);
                int32_t& CountOut = CountAt(Day, S, DoorOut.Channels[0]);
                if (CountIn != 0 || CountOut != 0) {
                    const int64_t Total = int64_t{CountIn} + CountOut;
                    CountIn = CountOut = ClampCount(Total / 2 + Total % 2);
                }
                continue;
            }
            const int64_t SumIn = SideSum(Day, S, DoorIn);
            const int64_t SumOut = SideSum(Day, S, DoorOut);
            if (SumIn == 0 && SumOut == 0) {
                continue;
            }
            const int64_t Total = SumIn + SumOut;
            const int64_t Half = Total / 2 + Total % 2;
            Spread(Day, S, DoorIn, Half);
            Spread(Day, S, DoorOut, Half);
        }
    }
}

bool NormalizeFile(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsVrkNormalize>(Params);
    if (!FileExists(FileName)) {
        return true;
    }
    // In place also when the output directory is the input's own, however it is spelled.
    const std::string OutPath = P.OutDir.empty() ? FileName : OutputPath(P.OutDir, FileName);
    const bool InPlace = P.OutDir.empty() || SameFile(OutPath, FileName);
    TVrkConfig Header;
    TVrkDay* const Day = &TransformDay(0);
    const TInputStamp Stamp = StampInput(FileName);
    TReadFile Read;
    ReadCountingFile(FileName, Read, Header, *Day);
    const TDateTime Start = SlotTime(Day->FirstSlot);
    const TDateTime Stop = SlotTime(Day->LastSlot);
    if (InPlace && (P.StaffRemoval || P.EXMerge || P.NoExits)) {
        CopyRawInput(FileName, Read);
    }
    if (P.StaffRemoval) {
        const int Weekday = DayOfTheWeek(Day->Date); // 1 = Monday
        RemoveStaff(*Day, Header, P.StaffCoeffs[static_cast<std::size_t>(Weekday - 1)],
                    StaffRandom());
    }
    if (P.NoExits) {
        for (int N = 1; N <= Day->ChannelCount; ++N) {
            TVrkChannel& Ch = Header.Channels(N);
            if (Ch.Active && Ch.IsExit) {
                Ch.Active = false;
                for (TVrkSlot& Slot : Day->Slots) {
                    Slot.Counts[static_cast<std::size_t>(N - 1)] = 0;
                }
            }
        }
        // Doors keep their definition; the fixed layout derives its exit channels' state from
        // the doors, so it shows them as inactive too.
        for (int D = 1; D <= VrkDoorCount; ++D) {
            Header.Doors(D).HasExits = false;
        }
        for (int N = 1; N <= VrkChannelCount; ++N) {
            const TVrkChannel& Ch = Header.Channels(N);
            if (Ch.Active && Ch.IsExit && Ch.Door >= 1 && Ch.Door <= VrkDoorCount) {
                Header.Doors(Ch.Door).HasExits = true;
            }
        }
    }
    if (P.EXMerge) {
        MixEntriesExits(*Day, Header);
    }
    if (InPlace) {
        // Rows a counter added since the read would be lost with the input it replaces.
        CheckInputUnchanged(FileName, Stamp);
    }
    WriteDayFile(*Day, OutPath, P.StoreCode, Start, Stop, 0, Header);
    return true;
}
