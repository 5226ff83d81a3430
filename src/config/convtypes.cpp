#include "config/convtypes.h"

#include <array>

namespace {

template <class T>
std::unique_ptr<TConvParams> Create() {
    return std::make_unique<T>();
}

constexpr std::array<TConvTypeInfo, 23> Table{{
    {ctNone, "NONE", &Create<TConvParamsNone>},
    {ctAce, "ACE", &Create<TConvParamsAce>},
    {ctAcurity, "ACURITY", &Create<TConvParamsAcurity>},
    {ctAemsofts, "AEMSOFTS", &Create<TConvParamsAemsofts>},
    {ctBizPlu, "BIZPLU", &Create<TConvParamsBizPlu>},
    {ctBrickstream, "BRICKSTREAM", &Create<TConvParamsBrickstream>},
    {ctBrickstreamChld, "BRICKSTREAM-CHLD", &Create<TConvParamsBrickstreamChld>},
    {ctBrickstreamRt, "BRICKSTREAM-RT", &Create<TConvParamsBrickstreamRt>},
    {ctCboxRt, "CBOX-RT", &Create<TConvParamsCboxRt>},
    {ctCorrection, "CORRECTION", &Create<TConvParamsCorrection>},
    {ctCroma, "CROMA", &Create<TConvParamsCroma>},
    {ctOdeis, "ODEIS", &Create<TConvParamsOdeis>},
    {ctVrkMerge, "VRKMERGE", &Create<TConvParamsVrkMerge>},
    {ctVrkCbx, "VRK_CBX", &Create<TConvParamsVrkSimplif>},
    {ctVrkNormalize, "VRKNORMALIZE", &Create<TConvParamsVrkNormalize>},
    {ctVrkSummarize, "VRKSUMMARIZE", &Create<TConvParamsVrkSummarize>},
    {ctXlSoft, "XLSOFT", &Create<TConvParamsXlSoft>},
    {ctCegid, "CEGID", &Create<TConvParamsCegid>},
    {ctCheckpoint, "CHECKPOINT", &Create<TConvParamsCheckpoint>},
    {ctGenerix, "GENERIX", &Create<TConvParamsGenerix>},
    {ctCylande, "CYLANDE", &Create<TConvParamsCylande>},
    {ctSoftTouch, "SOFTTOUCH", &Create<TConvParamsSoftTouch>},
    {ctWinparf, "WINPARF_CAISSE", &Create<TConvParamsWinparf>},
}};

static_assert([] {
    for (std::size_t I = 0; I < Table.size(); ++I) {
        if (Table[I].Code != static_cast<int>(I)) {
            return false;
        }
    }
    return true;
}());

} // namespace

std::span<const TConvTypeInfo> ConvTypeTable() {
    return Table;
}

const TConvTypeInfo* FindConvType(int Code) {
    if (Code < 0 || Code >= static_cast<int>(Table.size())) {
        return nullptr;
    }
    return &Table[static_cast<std::size_t>(Code)];
}
