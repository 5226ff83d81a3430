#include "transforms/fc_vrksimplif.h"

#include "data/qtrrecords.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "transforms/vrktransform.h"

bool SimplifyFile(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsVrkSimplif>(Params);
    TVrkConfig In;
    TVrkDay* const InDay = &TransformDay(0);
    std::string OutPath;
    if (!ReadTransformInput(FileName, P.OutDir, OutPath, In, *InDay)) {
        return false;
    }

    TVrkConfig Out;
    ResetToDoorTotals(Out);

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
        const int64_t Entries = Sums.TotalIn();
        int64_t Exits = Sums.TotalOut();
        if (P.ZeroExits) {
            Exits = 0;
        }
        PutSlotCount(*OutDay, S, 0, ClampCount(Entries));
        PutSlotCount(*OutDay, S, 1, ClampCount(Exits));
    }
    OutDay->ChannelCount = 2;
    if (!In.ShopName().empty()) {
        Out.SetShopName(In.ShopName());
    }
    WriteDayFile(*OutDay, OutPath, "001", SlotTime(OutDay->FirstSlot), SlotTime(OutDay->LastSlot),
                 2, Out);
    return true;
}
