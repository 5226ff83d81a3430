// The point-of-sale journal readers: the first byte picks the reader, the rest is the journal it
// merges into the day tables of an empty directory. Converting the same journal a second time
// (its status was not recorded) must leave the same tables.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/errors.h"
#include "config/fcsconvparams.h"
#include "fuzz_dir.h"
#include "platform/files.h"
#include "retail/fc_acurity.h"
#include "retail/fc_aemsofts.h"
#include "retail/fc_bizplu.h"
#include "retail/fc_winparf.h"
#include "retail/fc_xlsoft.h"

namespace {

struct TPlace {
    std::string In, Out, Raw;
};

const TPlace& Place() {
    static const TPlace P = [] {
        const std::string Dir = MakeFuzzDirectory("journal");
        TPlace Result{Dir + "/in", Dir + "/out", Dir + "/raw"};
        ForceDirectories(Result.In);
        ForceDirectories(Result.Out);
        ForceDirectories(Result.Raw);
        return Result;
    }();
    return P;
}

// Every file of Out and Raw with its content, in name order.
std::vector<std::string> Outputs() {
    std::vector<std::string> Files;
    for (const std::string* Dir : {&Place().Out, &Place().Raw}) {
        for (const TFileEntry& F : ListFiles(*Dir, "*")) {
            Files.push_back(F.Name + "\n" + ReadFileBytes(*Dir + "/" + F.Name));
        }
    }
    std::sort(Files.begin(), Files.end());
    return Files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size == 0) {
        return 0;
    }
    const TPlace& P = Place();
    EmptyFuzzDirectory(P.Out);
    EmptyFuzzDirectory(P.Raw);
    const std::string In = P.In + "/bocaisse.txt";
    WriteFileAtomically(In, std::string_view(reinterpret_cast<const char*>(Data) + 1, Size - 1));
    static TConvParamsAcurity Acurity;
    static TConvParamsAemsofts Aemsofts;
    static TConvParamsBizPlu BizPlu;
    static TConvParamsWinparf Winparf;
    static TConvParamsXlSoft XlSoft;
    for (TConvParams* Params :
         std::initializer_list<TConvParams*>{&Acurity, &Aemsofts, &BizPlu, &Winparf, &XlSoft}) {
        Params->OutDir = P.Out;
    }
    XlSoft.RawOutDir = P.Raw;
    // The slices of the cash-register export: the three sizes the configuration allows, from
    // 09:00 to 20:00 or over the whole day.
    XlSoft.SliceSize = (Data[0] / 5) % 3 == 0 ? 1 : (Data[0] / 5) % 3 == 1 ? 30 : 60;
    XlSoft.QtrStart = Data[0] / 15 % 2 == 0 ? 0 : 36;
    XlSoft.QtrStop = Data[0] / 15 % 2 == 0 ? 95 : 80;
    const auto Convert = [&] {
        try {
            switch (Data[0] % 5) {
            case 0:
                ConvertAcurity(In, Acurity);
                break;
            case 1:
                ConvertAemsofts(In, Aemsofts);
                break;
            case 2:
                ConvertBizPlu(In, BizPlu);
                break;
            case 3:
                ConvertWinparf(In, Winparf);
                break;
            default:
                ConvertXlSoft(In, XlSoft);
                break;
            }
        } catch (const ETarnoError&) {
            // a refused journal, reported to the service as the file's error
        }
    };
    Convert();
    const std::vector<std::string> Once = Outputs();
    Convert();
    if (Outputs() != Once) {
        __builtin_trap();
    }
    return 0;
}
