#include "retail/fc_checkpoint.h"

#include <array>
#include <memory>

#include "common/clock.h"
#include "common/text.h"
#include "common/utils.h"
#include "config/fcsconvparams.h"
#include "data/qtrrecords.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "retail/exportfiles.h"

namespace {

constexpr std::size_t Columns = 6;

bool Taken(const std::string& Path) {
    int64_t Size = 0;
    TDateTime Time = 0;
    return GetFileInfo(Path, Size, Time);
}

// A name in OutDir that nothing has yet: Base + ".txt", else Base + "_n.txt".
std::string FreeOutputName(const std::string& OutDir, const std::string& Base) {
    std::string Path = OutputPath(OutDir, Base + ".txt");
    for (int N = 1; Taken(Path); ++N) {
        Path = OutputPath(OutDir, Base + "_" + std::to_string(N) + ".txt");
    }
    return Path;
}

} // namespace

bool ConvertCheckpoint(const std::string& FileName, TConvParams& Params) {
    return ConvertCheckpoint(FileName, Params, SystemClock());
}

bool ConvertCheckpoint(const std::string& FileName, TConvParams& Params, const TClock& Clock) {
    const auto& P = ParamsAs<TConvParamsCheckpoint>(Params);
    const std::string Counter = ZeroPadLeft(P.CounterId, 3);
    const TSlotRange Range = TimeFilterRange(P);
    if (!FileExists(FileName)) {
        return true;
    }
    OutputPath(P.OutDir, FileName); // "Output directory not set" before any work
    TVrkConfig Config;
    auto Day = std::make_unique<TVrkDay>();
    ReadCountingFile(FileName, Config, *Day, &Clock);
    const std::string Store = ZeroPadLeft(Config.ShopName(), 4);

    const TDateTime Now = Clock.Now();
    const TDateParts ND = DecodeDate(Now);
    const TTimeParts NT = DecodeTime(Now);
    const std::string Path =
        FreeOutputName(P.OutDir, "Checkpt" + Store +
                                     Format("%4.4d%2.2d%2.2d%2.2d%2.2d%2.2d%3.3d", ND.Year,
                                            ND.Month, ND.Day, NT.Hour, NT.Min, NT.Sec, NT.MSec));

    std::vector<std::string> Lines;
    const TSlotRange R = DataSlotRange(*Day, Range);
    for (int S = R.First; S <= R.Last; ++S) {
        if (!Day->SlotPresent[static_cast<std::size_t>(S)]) {
            continue;
        }
        const TVrkSlot& Slot = Day->Slots[static_cast<std::size_t>(S)];
        std::array<int32_t, Columns> Entries{};
        std::array<int32_t, Columns> Exits{};
        std::size_t NEntries = 0, NExits = 0;
        for (int C = 1; C <= Day->ChannelCount; ++C) {
            const TVrkChannel& Ch = Config.Channels(C);
            if (!Ch.Active) {
                continue;
            }
            const int32_t Count = Slot.Counts[static_cast<std::size_t>(C - 1)];
            if (Ch.IsExit && NExits < Columns) {
                Exits[NExits++] = Count;
            } else if (!Ch.IsExit && NEntries < Columns) {
                Entries[NEntries++] = Count;
            }
        }
        std::string Line = Store + ";" + Counter +
                           Format(";%2.2d/%2.2d/%4.4d;%2.2d:%2.2d", Slot.Day, Slot.Month, Slot.Year,
                                  Slot.Hour, Slot.Minute);
        for (const int32_t N : Entries) {
            Line += ";" + std::to_string(N);
        }
        for (const int32_t N : Exits) {
            Line += ";" + std::to_string(N);
        }
        Lines.push_back(std::move(Line));
    }
    WriteFileAtomically(Path, JoinTextLines(Lines));
    return true;
}
