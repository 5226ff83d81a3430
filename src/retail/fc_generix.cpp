#include "retail/fc_generix.h"

#include <memory>

#include "common/text.h"
#include "common/utils.h"
#include "data/qtrrecords.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "retail/keyed_file.h"

namespace {

// The lines of one half-hour, stamped with its first slot.
void PutHalfHour(TGenerixFile& Out, const TVrkConfig& Config, const TDoorSums& Sums,
                 const TVrkSlot& First, const std::array<bool, VrkDoorCount>& Halved) {
    for (int D = 1; D <= VrkDoorCount; ++D) {
        if (!Config.Doors(D).Defined) {
            continue;
        }
        const int32_t In = ClampCount(Sums.In(D));
        const int32_t Out2 = Halved[static_cast<std::size_t>(D - 1)] ? In : ClampCount(Sums.Out(D));
        Out.Put(Format("%d\t%2.2d/%2.2d/%4.4d\t%2.2d:%2.2d\t%4.4d\t%4.4d\t1", D, First.Day,
                       First.Month, First.Year, First.Hour, First.Minute / 30 * 30, In, Out2));
    }
}

} // namespace

bool ConvertGenerix(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsGenerix>(Params);
    if (P.OutDir.empty()) {
        OutputPath(P.OutDir, FileName); // raises "Output directory not set"
    }
    if (!FileExists(FileName)) {
        return true;
    }
    std::string ErrPath;
    try {
        SetAttributesNormal(FileName);
        TVrkConfig Config;
        auto Day = std::make_unique<TVrkDay>();
        ReadCountingFile(FileName, Config, *Day);
        const TDateParts Date = DecodeDate(Day->Date);
        const std::string Name = Format("%2.2d%2.2d0000", Date.Month, Date.Day);
        ErrPath = OutputPath(P.OutDir, Name + ".err");

        std::array<bool, VrkDoorCount> Halved{};
        for (int J = 1; J <= 4; ++J) {
            const TVrkChannel& Ch = Config.Channels(J);
            if (Ch.Active && Ch.Door >= 1 && Ch.Door <= VrkDoorCount &&
                ChannelHalved(Config.Flags, J)) {
                Halved[static_cast<std::size_t>(Ch.Door - 1)] = true;
            }
        }

        TGenerixFile Out(OutputPath(P.OutDir, Name + ".zul"));
        const TSlotRange Range = DataSlotRange(*Day, TimeFilterRange(P));
        TDoorSums Sums;
        int HalfHour = -1;
        const TVrkSlot* First = nullptr;
        for (int S = Range.First; S <= Range.Last; ++S) {
            if (!Day->SlotPresent[static_cast<std::size_t>(S)]) {
                continue;
            }
            if (S / 2 != HalfHour) {
                if (First != nullptr) {
                    PutHalfHour(Out, Config, Sums, *First, Halved);
                }
                Sums.Clear();
                HalfHour = S / 2;
                First = &Day->Slots[static_cast<std::size_t>(S)];
            }
            Sums.AddSlot(Config, *Day, S);
        }
        if (First != nullptr) {
            PutHalfHour(Out, Config, Sums, *First, Halved);
        }
        Out.Save();
    } catch (const std::exception& E) {
        if (!ErrPath.empty()) {
            const TDateTime Now = NowLocal();
            try {
                AppendToFile(ErrPath,
                             FormatDate(Now) + "\t" + FormatTime(Now) + "\t" + E.what() + "\r\n");
            } catch (const std::exception&) {
                // The error file is the only report; nothing is left to tell.
            }
        }
    }
    return true;
}
