// The line readers of the importers: every line of the input through each of them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "data/vrkcfg.h"
#include "importers/brickstream.h"
#include "importers/fc_cboxrt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
    TBsStampCache Cache;
    ForEachTextLine(Text, [&](std::string_view Line) {
        TBsIntervalLine Interval;
        ParseBsIntervalLine(Line, false, Interval, &Cache);
        ParseBsIntervalLine(Line, true, Interval);
        TBsRtLine Rt;
        ParseBsRtLine(Line, Rt);
        TCboxLine Cbox;
        ParseCboxLine(Line, Cbox);
    });
    return 0;
}
