// The point-of-sale journal readers: the first byte picks the reader, the rest is the journal it
// merges into the day tables of an empty directory. Converting the same journal a second time
// (its status was not recorded) must leave the same tables, and every table must read back to
// what was written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "common/errors.h"
#include "common/text.h"
#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "fuzz_dir.h"
#include "platform/files.h"
#include "retail/daytable.h"
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

// Text with the customer count of every line that is negative written as 0: the table's reader
// takes a negative count as missing (and missing is written as 0), so a journal whose receipts
// of an hour sum below zero is read back so.
std::string NegativeCustomersAsZero(std::string_view Text) {
    std::string Result;
    ForEachTextLine(Text, [&](std::string_view Line) {
        std::string_view F[5];
        if (SplitFields(Line, '|', F, 5) >= 5 && TryStrToInt(TrimView(F[3])).value_or(0) < 0) {
            Result.append(Line.substr(0, static_cast<std::size_t>(F[3].data() - Line.data())));
            Result += "      0 ";
            Result.append(Line.substr(static_cast<std::size_t>(F[4].data() - Line.data()) - 1));
        } else {
            Result += Line;
        }
        Result += "\r\n";
    });
    return Result;
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
    // Every table written reads back to what was written: nothing of a journal line (a store
    // code, a value) may break the table's layout.
    for (const TFileEntry& F : ListFiles(P.Out, "*")) {
        int Year = 0, Month = 0, Day = 0;
        if (std::sscanf(F.Name.c_str(), "%2d%2d%2d.txt", &Year, &Month, &Day) != 3) {
            __builtin_trap();
        }
        TDayTable Table;
        ReadDayTable(P.Out + "/" + F.Name, Table);
        if (FormatDayTable(Table, EncodeDate(2000 + Year, Month, Day)) !=
            NegativeCustomersAsZero(ReadFileBytes(P.Out + "/" + F.Name))) {
            __builtin_trap();
        }
    }
    Convert();
    if (Outputs() != Once) {
        __builtin_trap();
    }
    return 0;
}
