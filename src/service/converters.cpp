#include "service/converters.h"

#include <array>

#include "common/errors.h"
#include "common/utils.h"
#include "importers/fc_brickstream.h"
#include "importers/fc_cboxrt.h"
#include "platform/files.h"
#include "transforms/fc_correction.h"
#include "transforms/fc_vrkmerge.h"
#include "transforms/fc_vrknorm.h"
#include "transforms/fc_vrksimplif.h"
#include "transforms/fc_vrksummarize.h"

namespace {

const TConverter Table[] = {
    {.Code = ctNone, .Entry = &CopyToOutDir},
    {.Code = ctBrickstream, .Entry = &ImportBrickstream},
    {.Code = ctBrickstreamChld, .Entry = &ImportBrickstreamChild},
    {.Code = ctBrickstreamRt, .Entry = &ImportBrickstreamRt},
    {.Code = ctCboxRt, .Entry = &ImportCboxRt},
    {.Code = ctCorrection, .Entry = &CorrectFile, .RewritesInput = true},
    {.Code = ctVrkMerge, .Entry = &MergeFile},
    {.Code = ctVrkCbx, .Entry = &SimplifyFile},
    {.Code = ctVrkNormalize, .Entry = &NormalizeFile, .RewritesInput = true},
    {.Code = ctVrkSummarize, .Entry = &SummarizeFile},
    {.Code = ctCroma, .StoreTrees = true},
    {.Code = ctXlSoft, .OnlyFileName = "bocaisse.txt"},
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

bool CopyToOutDir(const std::string& FileName, TConvParams& Params) {
    CopyFileReplacing(FileName, OutputPath(Params.OutDir, FileName));
    return true;
}
