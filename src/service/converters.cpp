#include "service/converters.h"

#include <array>

#include "common/errors.h"
#include "common/text.h"
#include "common/utils.h"
#include "config/fcsconfig.h"
#include "importers/fc_brickstream.h"
#include "importers/fc_cboxrt.h"
#include "platform/files.h"
#include "retail/fc_ace.h"
#include "retail/fc_acurity.h"
#include "retail/fc_aemsofts.h"
#include "retail/fc_bizplu.h"
#include "retail/fc_cegid.h"
#include "retail/fc_checkpoint.h"
#include "retail/fc_croma.h"
#include "retail/fc_cylande.h"
#include "retail/fc_generix.h"
#include "retail/fc_odeis.h"
#include "retail/fc_softtouch.h"
#include "retail/fc_winparf.h"
#include "retail/fc_xlsoft.h"
#include "transforms/fc_correction.h"
#include "transforms/fc_vrkmerge.h"
#include "transforms/fc_vrknorm.h"
#include "transforms/fc_vrksimplif.h"
#include "transforms/fc_vrksummarize.h"

namespace {

const TConverter Table[] = {
    {.Code = ctNone, .Entry = &CopyToOutDir},
    {.Code = ctAcurity, .Entry = &ConvertAcurity},
    {.Code = ctAemsofts, .Entry = &ConvertAemsofts},
    {.Code = ctBizPlu, .Entry = &ConvertBizPlu},
    {.Code = ctWinparf, .Entry = &ConvertWinparf},
    {.Code = ctGenerix, .Entry = &ConvertGenerix},
    {.Code = ctOdeis, .Entry = &ConvertOdeis},
    {.Code = ctSoftTouch, .Entry = &ConvertSoftTouch},
    {.Code = ctBrickstream, .Entry = &ImportBrickstream},
    {.Code = ctBrickstreamChld, .Entry = &ImportBrickstreamChild},
    {.Code = ctBrickstreamRt, .Entry = &ImportBrickstreamRt},
    {.Code = ctCboxRt, .Entry = &ImportCboxRt},
    {.Code = ctCorrection, .Entry = &CorrectFile, .RewritesInput = true},
    {.Code = ctVrkMerge, .Entry = &MergeFile},
    {.Code = ctVrkCbx, .Entry = &SimplifyFile},
    {.Code = ctVrkNormalize, .Entry = &NormalizeFile, .RewritesInput = true},
    {.Code = ctVrkSummarize, .Entry = &SummarizeFile},
    {.Code = ctCroma, .StoreEntry = &ConvertCroma, .StoreTrees = true},
    {.Code = ctCegid, .Entry = &ConvertCegid, .Prepare = &PrepareCegid, .OwnsOutDir = true},
    {.Code = ctCylande, .Entry = &ConvertCylande, .OwnsOutDir = true},
    {.Code = ctAce, .Entry = &ConvertAce, .OwnsOutDir = true},
    {.Code = ctCheckpoint, .Entry = &ConvertCheckpoint},
    {.Code = ctXlSoft, .Entry = &ConvertXlSoft, .OnlyFileName = "bocaisse.txt"},
};

} // namespace

std::span<const TConverter> ConverterTable() {
    return Table;
}

const TConverter* FindConverter(int Code) {
    if (FindConvType(Code) == nullptr) {
        Code = ctNone;
    }
    for (const TConverter& Row : Table) {
        if (Row.Code == Code) {
            return &Row;
        }
    }
    return nullptr;
}

bool HasConverter(int Code) {
    const TConverter* Converter = FindConverter(Code);
    return Converter != nullptr &&
           (Converter->Entry != nullptr || Converter->StoreEntry != nullptr);
}

std::vector<std::string> SharedOutDirWarnings(const TZirConfig& Config) {
    auto Owner = [&Config](int Slot) {
        const TConverter* Row = FindConverter(Config.GetConvType(Slot));
        return !Config.GetDirectory(Slot).empty() && Row != nullptr && Row->OwnsOutDir;
    };
    auto Dir = [&Config](int Slot) {
        std::string D = Config.GetParams(Slot).OutDir;
        while (D.size() > 1 && D.back() == '/') {
            D.pop_back();
        }
        return D;
    };
    std::vector<std::string> Warnings;
    for (int A = 0; A < TBaseFtConfig::MaxDirectories; ++A) {
        for (int B = A + 1; B < TBaseFtConfig::MaxDirectories && Owner(A); ++B) {
            if (Owner(B) && !Dir(A).empty() && Dir(A) == Dir(B)) {
                Warnings.push_back(
                    Format("slots %d and %d (%s, %s) share the output directory ", A, B,
                           TZirConfig::ConvTypeToText(Config.GetConvType(A)).c_str(),
                           TZirConfig::ConvTypeToText(Config.GetConvType(B)).c_str()) +
                    Dir(A));
            }
        }
    }
    return Warnings;
}

bool CopyToOutDir(const std::string& FileName, TConvParams& Params) {
    CopyFileReplacing(FileName, OutputPath(Params.OutDir, FileName));
    return true;
}
