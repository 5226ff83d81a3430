#include "transforms/fc_vrksimplif.h"

#include <array>
#include <memory>

#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "transforms/vrktransform.h"

bool SimplifyFile(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsVrkSimplif>(Params);
    TVrkConfig In;
    auto InDay = std::make_unique<TVrkDay>();
    std::string OutPath;
    if (!ReadTransformInput(FileName, P.OutDir, OutPath, In, *InDay)) {
        return false;
    }

    TVrkConfig Out;
    ResetToDoorTotals(Out);

    auto OutDay = std::make_unique<TVrkDay>();
    InitDayFromFileName(*OutDay, OutPath);
    for (int S = InDay->FirstSlot; S <= InDay->LastSlot; ++S) {
        if (!InDay->SlotPresent[static_cast<std::size_t>(S)]) {
            continue;
        }
        std::array<int64_t, 2> Sums{};
        for (int N = 1; N <= InDay->ChannelCount; ++N) {
            const TVrkChannel& Ch = In.Channels(N);
            if (Ch.Active) {
                Sums[Ch.IsExit ? 1 : 0] += InDay->Slots[static_cast<std::size_t>(S)]
                                               .Counts[static_cast<std::size_t>(N - 1)];
            }
        }
        if (P.ZeroExits) {
            Sums[1] = 0;
        }
        const TDateTime Time = SlotTime(S);
        PutCount(*OutDay, 0, ClampCount(Sums[0]), true, Time);
        PutCount(*OutDay, 1, ClampCount(Sums[1]), true, Time);
    }
    OutDay->ChannelCount = 2;
    if (!In.ShopName().empty()) {
        Out.SetShopName(In.ShopName());
    }
    WriteDayFile(*OutDay, OutPath, "001", SlotTime(OutDay->FirstSlot), SlotTime(OutDay->LastSlot),
                 2, Out);
    return true;
}
