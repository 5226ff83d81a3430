#include "service/verinfo.h"

#include "common/text.h"

#ifndef TARNO_VERSION
#error "TARNO_VERSION must hold the project version"
#endif

TVersionInfo::TVersionInfo(const std::string& FileName) {
    if (!FileName.empty()) {
        return;
    }
    const std::string Version = TARNO_VERSION;
    uint16_t* Parts[] = {&Major, &Minor, &Release, &Build};
    for (int I = 0; I < 4; ++I) {
        const int Value = StrToIntDef(GetField(Version, '.', I), 0);
        *Parts[I] = static_cast<uint16_t>(Value >= 0 && Value <= 65535 ? Value : 0);
    }
#ifndef NDEBUG
    Debug = true;
#endif
}
