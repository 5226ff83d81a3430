// The INI reader and the configuration load: any text parses, loads without a crash, and the
// text written back parses to the same text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/errors.h"
#include "common/ini.h"
#include "config/fcsconfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
    TIniFile Ini = TIniFile::FromText(Text);
    for (const std::string& Section : Ini.ReadSections()) {
        for (const std::string& Key : Ini.ReadSection(Section)) {
            Ini.ReadInteger(Section, Key, 0);
            Ini.ReadFloat(Section, Key, 0);
        }
    }
    const std::string Saved = Ini.GetText();
    if (TIniFile::FromText(Saved).GetText() != Saved) {
        __builtin_trap();
    }
    TZirConfig Config;
    try {
        Config.LoadFromIni(Ini);
        TIniFile Out = TIniFile::FromText("");
        Config.SaveToIni(Out);
    } catch (const ETarnoError&) {
        // a load error the loader reports itself
    }
    return 0;
}
