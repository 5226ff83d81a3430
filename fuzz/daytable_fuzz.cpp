// The day-table reader: every line of the input through the line reader, then the input as the
// existing table of a day into which a small table is merged. The merged table must read back
// to what was written.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/datetime.h"
#include "common/errors.h"
#include "data/vrkcfg.h"
#include "fuzz_dir.h"
#include "platform/files.h"
#include "retail/daytable.h"

namespace {

const std::string& Directory() {
    static const std::string Dir = MakeFuzzDirectory("daytable");
    return Dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
    ForEachTextLine(Text, [](std::string_view Line) {
        try {
            ParseTableLine(Line);
        } catch (const ETarnoError&) {
            // an articles field that is not a number
        }
    });

    const TDateTime Day = EncodeDate(2008, 3, 25);
    const std::string Path = DayTablePath(Directory(), Day);
    WriteFileAtomically(Path, Text);
    TDayTable New;
    ClearDayTable(New);
    New[9].Store = "S1";
    AddCustomers(New[9], 4);
    AddTurnover(New[9], 12.5);
    New[11].Store = "S1";
    AddArticles(New[11], 3);
    for (const TMergeStores Stores :
         {TMergeStores::NewRows, TMergeStores::RangeAs001, TMergeStores::AllAs001}) {
        try {
            MergeDayTable(Directory(), New, Day, Stores);
        } catch (const ETarnoError&) {
            return 0; // a damaged table is refused and left as it was
        }
        const std::string Written = ReadFileBytes(Path);
        TDayTable Read;
        ReadDayTable(Path, Read);
        if (FormatDayTable(Read, Day) != Written) {
            __builtin_trap();
        }
    }
    return 0;
}
