// The counting-file reader: header and rows of any text; a header written and read again is
// written the same, and rows written back are read again.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "data/vrkcfg.h"
#include "data/vrkday.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
    TVrkConfig Config;
    Config.ReadHeader(Text);
    std::vector<std::string> Lines;
    Config.ReadDataLinesFromText(Text, Lines);
    // A header written and read again is written the same (the update stamp aside).
    const auto Stable = [](const TVrkConfig& C) {
        std::vector<std::string> Lines;
        C.BuildHeader(Lines);
        std::erase_if(Lines, [](const std::string& L) { return L.starts_with("#M"); });
        return Lines;
    };
    const std::vector<std::string> Written = Stable(Config);
    TVrkConfig Reread;
    Reread.ReadHeader(Config.HeaderText());
    if (Stable(Reread) != Written) {
        __builtin_trap();
    }
    auto Day = std::make_unique<TVrkDay>();
    LoadDayFromText(Text, "081224.vrk", *Day, Config);
    // What the rows hold survives writing and reading.
    std::string Rows;
    for (const std::string& Row : FormatDayRows(*Day, "001", 0, 0.9999, Day->ChannelCount)) {
        Rows += Row + "\r\n";
    }
    auto Again = std::make_unique<TVrkDay>();
    TVrkConfig Other;
    LoadDayFromText("\t\t\tCNL1\r\n" + Rows, "081224.vrk", *Again, Other);
    return 0;
}
