#include "retail/fc_ace.h"

#include <memory>

#include "common/clock.h"
#include "common/text.h"
#include "common/utils.h"
#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "retail/ace_index.h"
#include "retail/exportfiles.h"

namespace {

// The output file of a day with DaylikeOut: "yymmdd.txt".
std::string DayFile(const std::string& OutDir, TDateTime Date) {
    const TDateParts D = DecodeDate(Date);
    return OutputPath(OutDir, Format("%2.2d%2.2d%2.2d.txt", D.Year - 2000, D.Month, D.Day));
}

} // namespace

bool ConvertAce(const std::string& FileName, TConvParams& Params) {
    return ConvertAce(FileName, Params, SystemClock());
}

bool ConvertAce(const std::string& FileName, TConvParams& Params, const TClock& Clock) {
    const auto& P = ParamsAs<TConvParamsAce>(Params);
    return ExportAceHours(FileName, P.OutDir, TimeFilterRange(P), P.DaylikeOut, Clock) == 0;
}

int ExportAceHours(const std::string& FileName, const std::string& OutDir, TSlotRange Range,
                   bool DaylikeOut, const TClock& Clock) {
    std::string Output = OutputPath(OutDir, "ZALMORET.TXT");
    try {
        if (!FileExists(FileName)) {
            return 0;
        }
        TVrkConfig Config;
        auto Day = std::make_unique<TVrkDay>();
        ReadCountingFile(FileName, Config, *Day, &Clock);
        if (DaylikeOut) {
            Output = DayFile(OutDir, Day->Date);
        }
        TAceIndex Index(IndexSubdirectory(OutDir));
        Index.Load();
        TDateTime Hour = -1.0;
        TDateTime LastHourAdded = 0;
        int64_t Entries = 0;
        auto AddHour = [&] {
            if (Hour > 0) {
                const std::string Field = std::to_string(ClampCount(Entries));
                Index.Add(Hour, std::span(&Field, 1));
                LastHourAdded = Hour;
            }
        };
        TDoorSums Sums;
        const TSlotRange R = DataSlotRange(*Day, Range);
        for (int S = R.First; S <= R.Last; ++S) {
            if (!Day->SlotPresent[static_cast<std::size_t>(S)]) {
                continue;
            }
            const TVrkSlot& Slot = Day->Slots[static_cast<std::size_t>(S)];
            const TDateTime SlotHour =
                EncodeDate(Slot.Year, Slot.Month, Slot.Day) + EncodeTime(Slot.Hour, 0, 0, 0);
            if (SlotHour != Hour) {
                AddHour();
                Hour = SlotHour;
                Entries = 0;
            }
            Sums.Clear();
            Sums.AddSlot(Config, *Day, S);
            Entries += Sums.InOfType(Config, 'D');
        }
        AddHour();
        Index.Save();
        // Each hour goes into the file of its own day.
        TCountingIndex::TOutputFileOf FileOfHour;
        if (DaylikeOut) {
            FileOfHour = [&OutDir](TDateTime Stamp) { return DayFile(OutDir, Stamp); };
        }
        Index.Export(Output, LastHourAdded, FileOfHour);
    } catch (const std::exception& E) {
        AppendAceError(5, std::string("File error: ") + E.what(), OutDir, Clock.Now());
        return 5;
    }
    return 0;
}

void AppendAceError(int Code, const std::string& Message, const std::string& OutDir,
                    TDateTime Now) {
    AppendCodedError(OutDir, Code, Message, Now);
}
