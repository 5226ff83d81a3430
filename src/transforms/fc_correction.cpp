#include "transforms/fc_correction.h"

#include <array>
#include <cmath>
#include <limits>
#include <memory>

#include "common/utils.h"
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

// The data rows CorrectFile writes for a day read with Header.
std::vector<std::string> CorrectedRows(const TVrkDay& Day, const TVrkConfig& Header) {
    return FormatDayRows(Day, Header.ShopName(), EncodeTime(1, 0, 0, 0), EncodeTime(0, 0, 0, 0), 0);
}

// True when the input already holds the correction of its raw copy: a correction done before
// whose status was not recorded (a crash, a failed status save). Correcting it again would apply
// the coefficients twice and replace the raw copy with corrected counts.
bool IsCorrectionOfRawCopy(const std::string& FileName, const TWeekCoeffs& Coeffs) {
    const std::string Raw = CombinePath(CombinePath(ExtractFileDir(FileName), "compteursbrut"),
                                        ExtractFileName(FileName));
    if (!FileExists(Raw)) {
        return false;
    }
    TVrkConfig RawHeader;
    auto RawDay = std::make_unique<TVrkDay>();
    ReadCountingFile(Raw, RawHeader, *RawDay);
    ApplyWeekCorrection(*RawDay, Coeffs);
    TVrkConfig Header;
    std::vector<std::string> Rows;
    Header.ReadDataLines(FileName, Rows);
    return Rows == CorrectedRows(*RawDay, RawHeader);
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
    if (IsCorrectionOfRawCopy(FileName, P.Correction)) {
        return true;
    }
    TVrkConfig Header;
    auto Day = std::make_unique<TVrkDay>();
    const TInputStamp Stamp = StampInput(FileName);
    ReadCountingFile(FileName, Header, *Day);
    CopyRawInput(FileName);
    ApplyWeekCorrection(*Day, P.Correction);
    CheckInputUnchanged(FileName, Stamp);
    Header.WriteWithRows(FileName, CorrectedRows(*Day, Header));
    return true;
}
