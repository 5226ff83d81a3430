#include "transforms/fc_vrksummarize.h"

#include <memory>

#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "transforms/vrktransform.h"

bool SummarizeFile(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsVrkSummarize>(Params);
    TVrkConfig In;
    auto InDay = std::make_unique<TVrkDay>();
    std::string OutPath;
    if (!ReadTransformInput(FileName, P.OutDir, OutPath, In, *InDay)) {
        return false;
    }

    TVrkConfig Out;
    ResetToDoorTotals(Out);
    if (!P.DoorOnly) {
        TVrkDoor& Corridor = Out.Doors(2);
        Corridor.Defined = true;
        Corridor.Name = "Corridor";
        Corridor.DoorType = 'C';
        Out.Channels(3).Active = true;
        Out.Channels(4).Active = true;
    }

    auto OutDay = std::make_unique<TVrkDay>();
    InitDayFromFileName(*OutDay, OutPath);
    for (int S = InDay->FirstSlot; S <= InDay->LastSlot; ++S) {
        if (!InDay->SlotPresent[static_cast<std::size_t>(S)]) {
            continue;
        }
        const TVrkSlot& Slot = InDay->Slots[static_cast<std::size_t>(S)];
        int64_t DoorIn = 0, DoorOut = 0, CorridorIn = 0, CorridorOut = 0;
        for (int J = 0; J < InDay->ChannelCount; ++J) {
            const TVrkChannel& Ch = In.Channels(J + 1);
            if (!Ch.Active || Ch.Door < 1 || Ch.Door > VrkDoorCount) {
                continue;
            }
            const int64_t N = Slot.Counts[static_cast<std::size_t>(J)];
            switch (In.Doors(Ch.Door).DoorType) {
            case 'D':
                (Ch.IsExit ? DoorOut : DoorIn) += N;
                break;
            case 'C':
                (Ch.IsExit ? CorridorOut : CorridorIn) += N;
                break;
            default:
                break;
            }
        }
        if (P.DoorOnly) {
            CorridorIn = 0;
            CorridorOut = 0;
        }
        if (P.ZeroExits) {
            DoorOut = 0;
            CorridorOut = 0;
        }
        const TDateTime Time = EncodeTime(Slot.Hour, Slot.Minute, 0, 0);
        PutCount(*OutDay, 0, ClampCount(DoorIn), true, Time);
        PutCount(*OutDay, 1, ClampCount(DoorOut), true, Time);
        PutCount(*OutDay, 2, ClampCount(CorridorIn), true, Time);
        PutCount(*OutDay, 3, ClampCount(CorridorOut), true, Time);
    }
    if (Out.ShopName().empty() && !In.ShopName().empty()) {
        Out.SetShopName(In.ShopName());
    }
    WriteDayFile(*OutDay, OutPath, P.StoreId, SlotTime(OutDay->FirstSlot),
                 SlotTime(OutDay->LastSlot), OutDay->ChannelCount, Out);
    return true;
}
