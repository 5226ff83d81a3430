// The INI reader and the configuration load: any text parses and loads without a crash, the
// text written back parses to the same text, and a configuration saved and loaded again saves
// the same.
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
    // A configuration saved and loaded again saves the same. The objects live across inputs, as
    // the service's configuration does across reloads: a load must not depend on the one before.
    static TZirConfig Config;
    static TZirConfig Again;
    try {
        Config.LoadFromIni(Ini);
    } catch (const ETarnoError&) {
        return 0; // a load error the loader reports itself
    }
    TIniFile Out = TIniFile::FromText("");
    Config.SaveToIni(Out);
    Again.LoadFromIni(TIniFile::FromText(Out.GetText()));
    TIniFile OutAgain = TIniFile::FromText("");
    Again.SaveToIni(OutAgain);
    if (OutAgain.GetText() != Out.GetText()) {
        __builtin_trap();
    }
    return 0;
}
