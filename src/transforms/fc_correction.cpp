#include "transforms/fc_correction.h"

#include <array>
#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

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

// The data rows CorrectFile writes for a day read with Header, each ended by CR LF.
std::string CorrectedRowsText(const TVrkDay& Day, const TVrkConfig& Header) {
    return DayRowsText(Day, Header.ShopName(), EncodeTime(1, 0, 0, 0), EncodeTime(0, 0, 0, 0), 0,
                       true);
}

// Corrects the present slots of a day one at a time in slot order: the rounding error of each
// channel is carried from slot to slot, so a slot's corrected counts depend on it and the slots
// before it only.
class TWeekCorrector {
public:
    explicit TWeekCorrector(const TWeekCoeffs& Coeffs) : FCoeffs(Coeffs) {}

    void Apply(TVrkDay& Day, int S) {
        TVrkSlot& Slot = Day.Slots[static_cast<std::size_t>(S)];
        TDateTime Date = Day.Date;
        TryEncodeDate(Slot.Year, Slot.Month, Slot.Day, Date);
        const double Coeff = FCoeffs[static_cast<std::size_t>(DayOfTheWeek(Date) - 1)];
        for (int K = 0; K < Day.ChannelCount; ++K) {
            double& C = FCarry[static_cast<std::size_t>(K)];
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

private:
    const TWeekCoeffs& FCoeffs;
    std::array<double, 64> FCarry{};
};

// True when Text, a counting file, has a header line: without one and without rows, reading it
// fails ("Not a counting data file").
bool HasHeaderLine(std::string_view Text) {
    bool Found = false;
    ForEachTextLine(Text, [&Found](std::string_view Line) { Found = Found || IsHeaderLine(Line); });
    return Found;
}

// True when the input already holds the correction of its raw copy: a correction done before
// whose status was not recorded (a crash, a failed status save). Correcting it again would apply
// the coefficients twice and replace the raw copy with corrected counts. Input gets the input's
// content when it is read here (InputRead).
//
// The input holds that correction when its data lines are, one for one, the rows of every slot
// of the raw copy's day up to its last (DayRowsText's rows over the whole day, headings and all;
// neither a line nor a row holds a line end, so comparing them one for one is comparing the
// texts). Each row starts with the raw copy's shop name and a TAB: an input whose first data line
// does not is told apart from the raw copy's header alone, without reading its rows (a counter
// writes its store code there, not the shop name). Otherwise the line count is compared, then
// each slot is corrected and its row formatted in turn, up to the first line that differs.
bool IsCorrectionOfRawCopy(const std::string& FileName, const TWeekCoeffs& Coeffs, TReadFile& Input,
                           bool& InputRead) {
    const std::string Raw = CombinePath(CombinePath(ExtractFileDir(FileName), "compteursbrut"),
                                        ExtractFileName(FileName));
    if (!FileExists(Raw)) {
        return false;
    }
    const std::string RawText = ReadFileBytes(Raw);
    TVrkConfig RawHeader;
    TVrkDay& RawDay = TransformDay(2);
    // A raw copy without a header line is read whole first: it may be no counting file at all,
    // which is reported before anything else.
    const bool RowsRead = !HasHeaderLine(RawText);
    if (RowsRead) {
        ParseCountingFile(RawText, Raw, RawHeader, RawDay);
    } else {
        RawHeader.ReadHeader(RawText);
    }
    std::vector<std::string_view> Lines;
    if (FileExists(FileName)) {
        ReadFileInto(FileName, Input);
        InputRead = true;
        TVrkConfig Header;
        Header.ReadDataLinesFromText(Input.Bytes,
                                     [&Lines](std::string_view Line) { Lines.push_back(Line); });
    }
    const std::string& Store = RawHeader.ShopName();
    if (!Lines.empty() && !(Lines[0].size() > Store.size() && Lines[0].starts_with(Store) &&
                            Lines[0][Store.size()] == '\t')) {
        return false;
    }
    if (!RowsRead) {
        TVrkConfig Whole; // the same header again, with the rows this time
        ParseCountingFile(RawText, Raw, Whole, RawDay);
    }
    const std::size_t Rows =
        RawDay.LastSlot < 0 ? 0 : static_cast<std::size_t>(RawDay.LastSlot) + 1;
    if (Lines.size() != Rows) {
        return false;
    }
    TWeekCorrector Corrector(Coeffs);
    for (int S = 0; S <= RawDay.LastSlot; ++S) {
        if (RawDay.SlotPresent[static_cast<std::size_t>(S)]) {
            Corrector.Apply(RawDay, S);
        }
        if (FormatDataLine(Store, RawDay.Slots[static_cast<std::size_t>(S)], RawDay.ChannelCount) !=
            Lines[static_cast<std::size_t>(S)]) {
            return false;
        }
    }
    return true;
}

} // namespace

void ApplyWeekCorrection(TVrkDay& Day, const TWeekCoeffs& Coeffs) {
    TWeekCorrector Corrector(Coeffs);
    for (int S = 0; S <= Day.LastSlot; ++S) {
        if (Day.SlotPresent[static_cast<std::size_t>(S)]) {
            Corrector.Apply(Day, S);
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
    Header.WriteWithData(FileName, CorrectedRowsText(Day, Header));
    return true;
}
