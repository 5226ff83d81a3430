#include "retail/fc_cegid.h"

#include <memory>

#include "common/clock.h"
#include "common/home.h"
#include "common/text.h"
#include "common/utils.h"
#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "retail/exportfiles.h"
#include "retail/index_cylande.h"

namespace {

const char* const IndexFileName = "index_cegid.txt";

// The shop fields of the lines: the standard layout ends with the last 3 characters of ShopId
// (zero-padded when shorter); the retail layout starts with Code cut or zero-padded to 6.
struct TShopFields {
    std::string Shop;
    std::string StoreCode;
};

TShopFields PrepareShopFields(const std::string& Code, const std::string& ShopId, bool RetailMode) {
    TShopFields F;
    if (RetailMode) {
        F.Shop = ShopId;
    } else if (ShopId.size() < 4) {
        F.Shop = std::string(3 - ShopId.size(), '0') + ShopId;
    } else {
        F.Shop = ShopId.substr(ShopId.size() - 3);
    }
    F.StoreCode = Code.size() < 7 ? Code + std::string(6 - Code.size(), '0') : Code.substr(0, 6);
    return F;
}

std::string CegidLine(const TShopFields& Shop, bool RetailMode, int Door, const TQtrRecord& R,
                      int32_t In, int32_t Out) {
    if (RetailMode) {
        return Shop.StoreCode +
               Format("%5.5d%2.2d%2.2d%4.4d%2.2d:%2.2d%5.5d%5.5dY", Door, R.Day, R.Month, R.Year,
                      R.Hour, R.Minute, In, Out) +
               Shop.Shop;
    }
    return Format("%5.5d%2.2d%2.2d%4.4d%2.2d%2.2d%5.5d%5.5d", Door, R.Day, R.Month, R.Year, R.Hour,
                  R.Minute, In, In) +
           Shop.Shop;
}

} // namespace

void DeployCegidInterface(const std::string& OutDir, const std::string& StubDir) {
    try {
        const std::string Source = CombinePath(StubDir, "stub.exe");
        int64_t SourceSize = 0;
        TDateTime Time = 0;
        if (!FileExists(Source) || !GetFileInfo(Source, SourceSize, Time)) {
            return;
        }
        const std::string Target = OutputPath(OutDir, "winvrk_cegidpgi.exe");
        int64_t TargetSize = 0;
        if (!GetFileInfo(Target, TargetSize, Time)) {
            TargetSize = 0;
        }
        if (TargetSize != SourceSize) {
            SetAttributesNormal(Target);
            CopyFileReplacing(Source, Target);
        }
    } catch (const std::exception&) {
        // The copy is a convenience for the back office; the export goes on without it.
    }
}

void PrepareCegid(TConvParams& Params) {
    DeployCegidInterface(Params.OutDir, ExeDir());
}

bool ConvertCegid(const std::string& FileName, TConvParams& Params) {
    return ConvertCegid(FileName, Params, SystemClock());
}

bool ConvertCegid(const std::string& FileName, TConvParams& Params, const TClock& Clock) {
    const auto& P = ParamsAs<TConvParamsCegid>(Params);
    const TSlotRange Range = TimeFilterRange(P);
    if (!FileExists(FileName)) {
        return true;
    }
    OutputPath(P.OutDir, "ZALMORET.TXT"); // "Output directory not set" before any work
    TVrkConfig Config;
    auto Day = std::make_unique<TVrkDay>();
    ReadCountingFile(FileName, Config, *Day, &Clock);
    std::vector<TQtrRecord> Records = BuildQtrRecords(*Day, Range);
    MarkTodaysLastPartial(Records, *Day, Clock.Now());
    return ExportCegidRecords(Records, Config, P.OutDir, P.Code, P.ShopId, P.RetailMode, Clock) ==
           0;
}

int ExportCegidRecords(const std::vector<TQtrRecord>& Records, const TVrkConfig& Config,
                       const std::string& OutDir, const std::string& Code,
                       const std::string& ShopId, bool RetailMode, const TClock& Clock) {
    const TShopFields Shop = PrepareShopFields(Code, ShopId, RetailMode);
    try {
        TIndexCegid Index(IndexSubdirectory(OutDir), IndexFileName);
        Index.Load();
        const TDateTime Today = DateOf(Clock.Now());
        TDoorSums Sums;
        TIndexDataFields Fields;
        for (const TQtrRecord& R : Records) {
            if (R.Date() > Today) {
                AppendCegidError(-12,
                                 Format("Wrong timestamp found %d/%d/%d", R.Year, R.Month, R.Day),
                                 OutDir, Clock.Now());
                continue;
            }
            // Every entrance door gets its line, also one whose channels all lie beyond 4.
            Sums.Clear();
            Sums.AddChannels(Config, R.Counts);
            Fields.clear();
            for (int D = 1; D <= VrkDoorCount; ++D) {
                const TVrkDoor& Door = Config.Doors(D);
                if (Door.Defined && Door.DoorType == 'D') {
                    Fields.push_back(CegidLine(Shop, RetailMode, D, R, ClampCount(Sums.In(D)),
                                               ClampCount(Sums.Out(D))));
                }
            }
            Index.AddFields(Fields, R.Partial, R.Stamp());
        }
        Index.Save();
    } catch (const std::exception& E) {
        AppendCegidError(5, std::string("File error: ") + E.what(), OutDir, Clock.Now());
        return 5;
    }
    // The back-office file is appended and flushed before the index marks its lines exported:
    // a failure in between delivers the same lines again, never loses one.
    try {
        TIndexCegid Index(IndexSubdirectory(OutDir), IndexFileName);
        Index.Load();
        Index.Export(OutDir, "ZALMORET.TXT");
        Index.Save();
    } catch (const std::exception& E) {
        AppendCegidError(5, std::string("File error: ") + E.what(), OutDir, Clock.Now());
        return 5;
    }
    return 0;
}

void AppendCegidError(int Code, const std::string& Message, const std::string& OutDir,
                      TDateTime Now) {
    AppendCodedError(OutDir, Code, Message, Now);
}
