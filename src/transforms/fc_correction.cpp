#include "transforms/fc_correction.h"

#include <array>
#include <cmath>
#include <limits>

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

// The data rows CorrectFile writes for a day read with Header, each ended by CR LF; DataOnly as
// DayRowsText takes it.
std::string CorrectedRowsText(const TVrkDay& Day, const TVrkConfig& Header, bool DataOnly) {
    return DayRowsText(Day, Header.ShopName(), EncodeTime(1, 0, 0, 0), EncodeTime(0, 0, 0, 0), 0,
                       DataOnly);
}

// True when the input already holds the correction of its raw copy: a correction done before
// whose status was not recorded (a crash, a failed status save). Correcting it again would apply
// the coefficients twice and replace the raw copy with corrected counts. Input gets the input's
// content when it is read here (InputRead).
bool IsCorrectionOfRawCopy(const std::string& FileName, const TWeekCoeffs& Coeffs, TReadFile& Input,
                           bool& InputRead) {
    const std::string Raw = CombinePath(CombinePath(ExtractFileDir(FileName), "compteursbrut"),
                                        ExtractFileName(FileName));
    if (!FileExists(Raw)) {
        return false;
    }
    TVrkConfig RawHeader;
    TVrkDay& RawDay = TransformDay(2);
    ReadCountingFile(Raw, RawHeader, RawDay);
    ApplyWeekCorrection(RawDay, Coeffs);
    // The input's data lines and the corrected rows, each ended by CR LF (neither holds one).
    std::string Rows;
    if (FileExists(FileName)) {
        ReadFileInto(FileName, Input);
        InputRead = true;
        TVrkConfig Header;
        Header.ReadDataLinesFromText(Input.Bytes, [&Rows](std::string_view Line) {
            Rows += Line;
            Rows += "\r\n";
        });
    }
    return Rows == CorrectedRowsText(RawDay, RawHeader, false);
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
    // Taken before the input is first read: a change after any of its reads is seen.
    const TInputStamp Stamp = StampInput(FileName);
    TReadFile Read;
    bool InputRead = false;
    if (IsCorrectionOfRawCopy(FileName, P.Correction, Read, InputRead)) {
        return true;
    }
    TVrkConfig Header;
    TVrkDay& Day = TransformDay(0);
    if (InputRead) {
        ParseCountingFile(Read.Bytes, FileName, Header, Day);
    } else {
        ReadCountingFile(FileName, Read, Header, Day);
    }
    CopyRawInput(FileName, Read);
    ApplyWeekCorrection(Day, P.Correction);
    CheckInputUnchanged(FileName, Stamp);
    Header.WriteWithData(FileName, CorrectedRowsText(Day, Header, true));
    return true;
}
