#include "retail/fc_softtouch.h"

#include <memory>

#include "common/text.h"
#include "common/utils.h"
#include "data/qtrrecords.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "retail/keyed_file.h"

namespace {

// The in or out sums of the defined entrance doors.
int64_t EntranceSum(const TVrkConfig& Config, const TDoorSums& Sums, bool Exits) {
    int64_t Sum = 0;
    for (int D = 1; D <= VrkDoorCount; ++D) {
        const TVrkDoor& Door = Config.Doors(D);
        if (Door.Defined && Door.DoorType == 'D') {
            Sum += Exits ? Sums.Out(D) : Sums.In(D);
        }
    }
    return Sum;
}

} // namespace

bool ConvertSoftTouch(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsSoftTouch>(Params);
    if (!FileExists(FileName)) {
        return true;
    }
    TVrkConfig Config;
    auto Day = std::make_unique<TVrkDay>();
    ReadCountingFile(FileName, Config, *Day);
    const TDateTime Today = DateOf(NowLocal());
    if (P.CurrDayOnly && DateOf(Day->Date) != Today) {
        return true;
    }
    const std::vector<TQtrRecord> Records = BuildQtrRecords(*Day, TimeFilterRange(P));
    TSoftTouchFile Out(OutputPath(P.OutDir, "teller.txt"));
    // Consecutive records of one date and hour make one hour record.
    for (std::size_t I = 0; I < Records.size();) {
        TQtrRecord Hour = Records[I];
        std::array<int64_t, 4> Counts{};
        for (;
             I < Records.size() && Records[I].Year == Hour.Year && Records[I].Month == Hour.Month &&
             Records[I].Day == Hour.Day && Records[I].Hour == Hour.Hour;
             ++I) {
            for (std::size_t C = 0; C < Counts.size(); ++C) {
                Counts[C] += Records[I].Counts[C];
            }
        }
        if (Hour.Date() > Today) {
            continue;
        }
        for (std::size_t C = 0; C < Counts.size(); ++C) {
            Hour.Counts[C] = ClampCount(Counts[C]);
        }
        TDoorSums Sums;
        Sums.AddChannels(Config, Hour.Counts);
        const std::string Date = P.NoDateSeparator
                                     ? Format("%2.2d%2.2d%4.4d", Hour.Day, Hour.Month, Hour.Year)
                                     : Format("%2.2d-%2.2d-%4.4d", Hour.Day, Hour.Month, Hour.Year);
        Out.Put(P.LocationName + "," + P.LocationId + "," + Date +
                Format(",%2.2d:00,Ingang,Ingang,", Hour.Hour) +
                std::to_string(EntranceSum(Config, Sums, false)) + "," +
                std::to_string(EntranceSum(Config, Sums, true)));
    }
    Out.Save();
    return true;
}
