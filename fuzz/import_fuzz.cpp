// Whole imports: the first byte picks the importer, the rest is the file it imports into new
// day files; importing it a second time must change nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/errors.h"
#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "fuzz_dir.h"
#include "importers/fc_brickstream.h"
#include "importers/fc_cboxrt.h"
#include "platform/files.h"

namespace {

const std::string& Directory() {
    static const std::string Dir = [] {
        const std::string Made = MakeFuzzDirectory("import");
        ForceDirectories(Made + "/shop/in");
        ForceDirectories(Made + "/shop/out");
        return Made;
    }();
    return Dir;
}

// The lines of the day files of Out, the update stamps left out.
std::vector<std::string> OutputLines(const std::string& Out) {
    std::vector<std::string> Lines;
    for (const TFileEntry& F : ListFiles(Out, "*")) {
        Lines.push_back(F.Name);
        ForEachTextLine(ReadFileBytes(Out + "/" + F.Name), [&](std::string_view Line) {
            if (!Line.starts_with("#M")) {
                Lines.emplace_back(Line);
            }
        });
    }
    std::sort(Lines.begin(), Lines.end());
    return Lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size == 0) {
        return 0;
    }
    const std::string In = Directory() + "/shop/in/input.dat";
    WriteFileAtomically(In, std::string_view(reinterpret_cast<const char*>(Data) + 1, Size - 1));
    static TConvParamsBrickstream Interval;
    static TConvParamsBrickstreamChld Child;
    static TConvParamsBrickstreamRt Rt;
    static TConvParamsCboxRt Cbox;
    for (TConvParams* P : std::initializer_list<TConvParams*>{&Interval, &Child, &Rt, &Cbox}) {
        P->OutDir = Directory() + "/shop/out";
    }
    const auto Import = [&] {
        try {
            switch (Data[0] % 4) {
            case 0:
                ImportBrickstream(In, Interval);
                break;
            case 1:
                ImportBrickstreamChild(In, Child);
                break;
            case 2:
                ImportBrickstreamRt(In, Rt);
                break;
            default:
                ImportCboxRt(In, Cbox);
                break;
            }
        } catch (const ETarnoError&) {
            // a refused input, reported to the service as the file's error
        }
    };
    // Importing a file a second time (its status was not recorded) changes nothing.
    const std::string Out = Directory() + "/shop/out";
    EmptyFuzzDirectory(Out);
    Import();
    const std::vector<std::string> Once = OutputLines(Out);
    Import();
    if (OutputLines(Out) != Once) {
        __builtin_trap();
    }
    return 0;
}
