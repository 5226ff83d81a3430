#include "retail/fc_odeis.h"

#include <memory>

#include "common/text.h"
#include "common/utils.h"
#include "data/qtrrecords.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "retail/keyed_file.h"

bool ConvertOdeis(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsOdeis>(Params);
    if (!FileExists(FileName)) {
        return true;
    }
    TVrkConfig Config;
    auto Day = std::make_unique<TVrkDay>();
    ReadCountingFile(FileName, Config, *Day);
    TOdeisFile Out(OutputPath(P.OutDir, Format("zalmoret_client_%s.txt", P.StoreCode.c_str())));
    // The first four active channels that count entries.
    std::vector<std::size_t> Entries;
    for (int J = 1; J <= Day->ChannelCount && Entries.size() < 4; ++J) {
        if (Config.Channels(J).Active && !Config.Channels(J).IsExit) {
            Entries.push_back(static_cast<std::size_t>(J - 1));
        }
    }
    const TSlotRange Range = DataSlotRange(*Day, TimeFilterRange(P));
    for (int S = Range.First; S <= Range.Last; ++S) {
        if (!Day->SlotPresent[static_cast<std::size_t>(S)]) {
            continue;
        }
        const TVrkSlot& Slot = Day->Slots[static_cast<std::size_t>(S)];
        std::string Line = Format("%s\t%2.2d/%2.2d/%4.4d\t%2.2d:%2.2d", P.StoreCode.c_str(),
                                  Slot.Day, Slot.Month, Slot.Year, Slot.Hour, Slot.Minute);
        for (std::size_t I = 0; I < 4; ++I) {
            Line += '\t';
            Line += std::to_string(I < Entries.size() ? Slot.Counts[Entries[I]] : 0);
        }
        Out.Put(Line);
    }
    Out.Sort();
    Out.Save();
    return true;
}
