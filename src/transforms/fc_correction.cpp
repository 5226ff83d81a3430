#include "transforms/fc_correction.h"

#include <array>
#include <cmath>
#include <limits>
#include <memory>

#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "transforms/vrktransform.h"

namespace {

// A corrected count as a 32-bit count: negative results become 0, the rest is saturated.
int32_t StoreCorrected(double Value) {
    if (!(Value > 0)) {
        return 0;
    }
    if (Value >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(Value);
}

} // namespace

void ApplyWeekCorrection(TVrkDay& Day, const TWeekCoeffs& Coeffs) {
    std::array<double, 64> Carry{};
    for (int S = 0; S <= Day.LastSlot; ++S) {
        if (!Day.SlotPresent[static_cast<std::size_t>(S)]) {
            continue;
        }
        TVrkSlot& Slot = Day.Slots[static_cast<std::size_t>(S)];
        TDateTime Date = Day.Date;
        TryEncodeDate(Slot.Year, Slot.Month, Slot.Day, Date);
        const double Coeff = Coeffs[static_cast<std::size_t>(DayOfTheWeek(Date) - 1)];
        for (int K = 0; K < Day.ChannelCount; ++K) {
            double& C = Carry[static_cast<std::size_t>(K)];
            int32_t& Count = Slot.Counts[static_cast<std::size_t>(K)];
            const double Product = Count * Coeff;
            double Value = std::nearbyint(Product); // halves to the even neighbour
            C += Product - Value;
            if (!std::isfinite(C)) {
                C = 0;
            }
            if (std::fabs(C) > 1.0) {
                const double Whole = std::trunc(C);
                Value += Whole;
                C -= Whole;
            }
            Count = StoreCorrected(Value);
        }
    }
}

bool CorrectFile(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsCorrection>(Params);
    if (!FileExists(FileName)) {
        return true;
    }
    TVrkConfig Header;
    auto Day = std::make_unique<TVrkDay>();
    ReadCountingFile(FileName, Header, *Day);
    CopyRawInput(FileName);
    ApplyWeekCorrection(*Day, P.Correction);
    WriteDayFile(*Day, FileName, Header.ShopName(), EncodeTime(1, 0, 0, 0), EncodeTime(0, 0, 0, 0),
                 0, Header);
    return true;
}
