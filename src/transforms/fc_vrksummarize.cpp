#include "transforms/fc_vrksummarize.h"

#include "data/qtrrecords.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "transforms/vrktransform.h"

bool SummarizeFile(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsVrkSummarize>(Params);
    TVrkConfig In;
    TVrkDay* const InDay = &TransformDay(0);
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

    TVrkDay* const OutDay = &TransformDay(1);
    InitDayFromFileName(*OutDay, OutPath);
    const TChannelDoors Doors(In);
    TDoorSums Sums;
    for (int S = InDay->FirstSlot; S <= InDay->LastSlot; ++S) {
        if (!InDay->SlotPresent[static_cast<std::size_t>(S)]) {
            continue;
        }
        Sums.Clear();
        Sums.AddSlot(Doors, *InDay, S);
        int64_t DoorIn = 0, DoorOut = 0, CorridorIn = 0, CorridorOut = 0;
        Sums.SumsOfType(Doors, 'D', DoorIn, DoorOut);
        Sums.SumsOfType(Doors, 'C', CorridorIn, CorridorOut);
        if (P.DoorOnly) {
            CorridorIn = 0;
            CorridorOut = 0;
        }
        if (P.ZeroExits) {
            DoorOut = 0;
            CorridorOut = 0;
        }
        PutSlotCount(*OutDay, S, 0, ClampCount(DoorIn));
        PutSlotCount(*OutDay, S, 1, ClampCount(DoorOut));
        PutSlotCount(*OutDay, S, 2, ClampCount(CorridorIn));
        PutSlotCount(*OutDay, S, 3, ClampCount(CorridorOut));
    }
    if (Out.ShopName().empty() && !In.ShopName().empty()) {
        Out.SetShopName(In.ShopName());
    }
    WriteDayFile(*OutDay, OutPath, P.StoreId, SlotTime(OutDay->FirstSlot),
                 SlotTime(OutDay->LastSlot), OutDay->ChannelCount, Out);
    return true;
}
