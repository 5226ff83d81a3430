#include "retail/fc_croma.h"

#include <memory>

#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"

bool ConvertCroma(const std::string& FileName, TConvParams& Params,
                  const std::string& /*StoreName*/) {
    ParamsAs<TConvParamsCroma>(Params);
    if (FileExists(FileName)) {
        TVrkConfig Config;
        auto Day = std::make_unique<TVrkDay>();
        ReadCountingFile(FileName, Config, *Day);
    }
    return true;
}
